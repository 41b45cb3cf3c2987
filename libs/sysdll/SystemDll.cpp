#include "SystemDll.h"

#include <cstring>
#include <string>

namespace tavori::sysdll {
namespace {

using SetDirectoriesFn = BOOL(WINAPI*)(DWORD);

// The LOAD_LIBRARY_SEARCH_* flags came with SetDefaultDllDirectories; without it they are refused.
SetDirectoriesFn SetDefaultDirectories() {
    static const auto fn = reinterpret_cast<SetDirectoriesFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories")));
    return fn;
}

bool IsBareName(const char* name) { return name && *name && !std::strpbrk(name, "\\/:"); }

}  // namespace

void RestrictDllSearch() {
    SetDllDirectoryA("");
    if (SetDirectoriesFn set = SetDefaultDirectories()) set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

HMODULE LoadSystemDll(const char* name) {
    if (!IsBareName(name)) return nullptr;
    if (SetDefaultDirectories()) return LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return LoadSystemDllByPath(name);
}

HMODULE LoadSystemDllByPath(const char* name) {
    if (!IsBareName(name)) return nullptr;
    char folder[MAX_PATH];
    const UINT n = GetSystemDirectoryA(folder, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return nullptr;
    const std::string path = std::string(folder, n) + "\\" + name;
    // With an absolute path and this flag the DLL's own imports are searched from its folder on,
    // where the usual order would try the program folder first.
    return LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace tavori::sysdll

#include "SystemDll.h"

#include <delayimp.h>

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

// Delay-loaded imports are system DLLs as well: the system's copy is handed to the delay-load helper
// before it would search for one itself.
FARPROC WINAPI DelayLoadHook(unsigned notice, PDelayLoadInfo info) {
    if (notice != dliNotePreLoadLibrary || !info) return nullptr;
    return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(LoadSystemDll(info->szDll)));
}

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

// The SDK declares the hook const, MinGW-w64 does not.
extern "C" {
#ifdef _MSC_VER
const
#endif
    PfnDliHook __pfnDliNotifyHook2 = tavori::sysdll::DelayLoadHook;
}

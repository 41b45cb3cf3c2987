// The system's own DLLs, loaded by name from the system folder only. The program folder is writable
// by its user (it holds the settings and calibration), so a DLL found there by the usual search
// order could be anyone's: nothing here ever looks in it, nor in the current directory.
#pragma once
#include <windows.h>

namespace tavori::sysdll {

// Called first thing at start: every later load by bare name, ours or a system component's, searches
// System32 only where Windows can restrict the search (Windows 8 and later, Windows 7 with
// KB2533623); everywhere the current directory leaves the search order.
void RestrictDllSearch();

// The system's copy of `name` (a bare file name such as "mfplat.dll"), loaded for the life of the
// process; null when the system folder has none or the name is not a bare file name.
HMODULE LoadSystemDll(const char* name);

// The way LoadSystemDll takes where the search flags are missing (Windows 7 without KB2533623): an
// absolute path into the system folder, its own imports looked up beside it.
HMODULE LoadSystemDllByPath(const char* name);

// A function of a system DLL; null when the DLL or the function is missing.
template <class Fn>
Fn SystemFunction(const char* dll, const char* function) {
    HMODULE module = LoadSystemDll(dll);
    return module ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, function))) : nullptr;
}

}  // namespace tavori::sysdll

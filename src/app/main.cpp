#include <windows.h>

#include "SystemDll.h"
#include "app/LumoraApp.h"

static CLumoraApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    tavori::sysdll::RestrictDllSearch();
    return theApp.Run();
}

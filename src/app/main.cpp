#include <windows.h>

#include "app/LumoraApp.h"

static CLumoraApp theApp;

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return theApp.Run(); }

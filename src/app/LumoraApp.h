// The application object: owns the life of the process.
#pragma once
#include <windows.h>
#include <cstdint>
#include "win/Scoped.h"

class CLumoraApp {
public:
    // false in every case: the process ends when the main window has closed.
    bool InitInstance();
    int ExitInstance();
    int Run();  // InitInstance, then ExitInstance; the process exit code

private:
    bool m_bGdiplusStarted = false;
    ULONG_PTR m_gdiplusToken = 0;
    win::Handle m_instanceMutex;  // held for the process's life: one driver per session
};

// The caption of every message box: the executable's base name.
const char* AppTitle();
// At most one is open at a time: while one is, another returns 0 at once without showing.
int AppMessageBox(const char* text, UINT type = MB_OK);
// Closes the message boxes this thread has open, so that quitting is never held up by one.
void CloseAppMessageBoxes();
bool AppMessageBoxOpen();

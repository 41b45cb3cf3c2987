// The tray icon's popup menu: built afresh on every click, so the calibration entries follow the
// cameras' state at that moment.
#pragma once
#include <windows.h>

// Shows the menu with its top-left corner at (x, y) (screen pixels) and returns when it has
// closed; the chosen item reaches `owner` as WM_COMMAND.
void ShowTrayMenu(HWND owner, int x, int y, bool cameraRunning);
// The owner's WM_MEASUREITEM and WM_DRAWITEM for the open tray menu; false for anything else.
bool RouteTrayMenuMessage(UINT message, LPARAM lParam);

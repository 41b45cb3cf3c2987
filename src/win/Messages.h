// The window messages that travel between the listeners, the dialogs, the main window and other
// programs, and the command codes they carry. Low in the tree so every layer can name them.
#pragma once
#include <windows.h>

#include "win/ProtocolCodes.h"

constexpr UINT WM_PROC_CMD = 0x801;
constexpr UINT WM_POINT_EVENT = 0x802;
constexpr UINT WM_SAVE_CALIBRATION = 0x803;
// Listener -> window while the touch or pen output is in force: wParam the screen, lParam a ticket
// of every pen of the frame (PublishPoints).
constexpr UINT WM_POINTS_EVENT = 0x804;
constexpr UINT WM_SET_SEARCH_TYPE = WM_USER + 2;
constexpr UINT WM_TRAY_NOTIFY = 0xC33;
constexpr UINT WM_COLLATE = 0x84B;
constexpr UINT WM_DRAW_NOTIFY = 0x7EB;  // to the drawing program's window
// Posted by the main window to itself: say which camera has no usable calibration (once).
constexpr UINT WM_CALIBRATION_REFUSED = WM_APP + 1;
// Likewise: say that the output chosen is not available on this Windows.
constexpr UINT WM_OUTPUT_UNAVAILABLE = WM_APP + 2;
// Posted by a listener: its camera has moved since it was calibrated (wParam: capture index).
constexpr UINT WM_CAMERA_MOVED = WM_APP + 4;
// Posted by a listener: a fixed light it holds back, told once (wParam: its place, StrayLights.h;
// lParam: capture index).
constexpr UINT WM_STRAY_LIGHT = WM_APP + 3;
// Posted by a listener's judging thread: the report of camera wParam's calibration is in the file.
constexpr UINT WM_CALIBRATION_JUDGED = WM_APP + 8;

// The caption other programs find the main window by.
constexpr const char* kMainWindowCaption = "Tavori Driver window";

// WM_PROC_CMD: lParam tells what wParam holds.
constexpr LPARAM PROC_KIND_COMMAND = 1;       // wParam is one of the codes in ProtocolCodes.h
constexpr LPARAM PROC_KIND_CAPTURE_MODE = 10;  // wParam 0 or 1: the laser-write capture mode


// Messages and command codes between the main window and the calibration dialogs.
#pragma once
#include <windows.h>

constexpr UINT WM_COLLATE = 0x84B;      // a point or frame copy for the dialog now collecting
constexpr UINT WM_SCREEN_SIZE = 0xFB9;  // probe -> manual dialog: client width, height
constexpr UINT WM_DRAW_NOTIFY = 0x7EB;  // to the drawing program: 20 aimed, 24 calibration ended

// WM_PROC_CMD codes (lParam 1) the calibration dialogs post to the main window.
enum ProcCode : WPARAM {
    PROC_CALIBRATION_DONE = 1,
    PROC_CALIBRATION_FAILED = 4,
    PROC_RECALIBRATE = 7,
    PROC_HIDE_CALIBRATION = 8,
    PROC_COLLECTION_STARTED = 10,
    PROC_LASER_PROMPT = 11,
    PROC_CANCEL = 12,
    PROC_START_AUTO_STAGE2 = 13,
    PROC_IMAGE_POSITION_OK = 16,
};

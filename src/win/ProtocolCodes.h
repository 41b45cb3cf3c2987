// The codes other programs and our own windows send in WM_PROC_CMD and WM_DRAW_NOTIFY (see
// Messages.h). Free of Win32, so the calibration flow that acts on them is tested natively.
#pragma once

// WM_PROC_CMD with lParam PROC_KIND_COMMAND: wParam is one of these.
constexpr int PROC_CALIBRATION_DONE = 1;
constexpr int PROC_DEFAULT_EXPOSURE = 2;
constexpr int PROC_RESTART_AUTO = 3;
constexpr int PROC_CALIBRATION_FAILED = 4;
constexpr int PROC_ASK_RECALIBRATION = 7;
constexpr int PROC_HIDE_CALIBRATION = 8;
constexpr int PROC_CAMERA_LOST = 9;
constexpr int PROC_CALIBRATION_CANCEL = 12;
constexpr int PROC_AUTO_STAGE2 = 13;
constexpr int PROC_CALIB_EXPOSURE = 14;
constexpr int PROC_IMAGE_POSITION_OK = 16;

// WM_DRAW_NOTIFY codes (wParam) to the drawing program.
constexpr int DRAW_CAMERA_GONE = 18;
constexpr int DRAW_IMAGE_POSITION_OK = 20;
constexpr int DRAW_CALIBRATION_END = 24;

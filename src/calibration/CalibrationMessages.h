// Messages and command codes between the calibration dialogs and the main window, beyond those
// every layer shares.
#pragma once
#include "win/Messages.h"

constexpr UINT WM_SCREEN_SIZE = 0xFB9;  // probe -> manual dialog: client width, height

// WM_PROC_CMD notifications of the manual dialog (no effect on the main window).
constexpr WPARAM PROC_COLLECTION_STARTED = 10;
constexpr WPARAM PROC_LASER_PROMPT = 11;

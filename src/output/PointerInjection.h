// The system's touch and pen injection, reached only through a table of function pointers: the
// functions exist from Windows 8 (touch) and Windows 10 1809 (synthetic pen) on, so they are looked
// up at run time and the program still starts where they are missing. Tests fill the table with
// recorders.
#pragma once
#include <windows.h>

#include <cstdint>

// The build targets Windows 7, whose headers hide the pointer types: the same layouts, declared here.
#if WINVER < 0x0602
enum { PT_TOUCH = 2, PT_PEN = 3 };
using POINTER_INPUT_TYPE = DWORD;
using POINTER_FLAGS = UINT32;
struct POINTER_INFO {
    POINTER_INPUT_TYPE pointerType;
    UINT32 pointerId, frameId;
    POINTER_FLAGS pointerFlags;
    HANDLE sourceDevice;
    HWND hwndTarget;
    POINT ptPixelLocation, ptHimetricLocation, ptPixelLocationRaw, ptHimetricLocationRaw;
    DWORD dwTime;
    UINT32 historyCount;
    INT32 InputData;
    DWORD dwKeyStates;
    UINT64 PerformanceCount;
    INT32 ButtonChangeType;
};
struct POINTER_TOUCH_INFO {
    POINTER_INFO pointerInfo;
    UINT32 touchFlags, touchMask;
    RECT rcContact, rcContactRaw;
    UINT32 orientation, pressure;
};
struct POINTER_PEN_INFO {
    POINTER_INFO pointerInfo;
    UINT32 penFlags, penMask, pressure, rotation;
    INT32 tiltX, tiltY;
};
struct POINTER_TYPE_INFO {
    POINTER_INPUT_TYPE type;
    union {
        POINTER_TOUCH_INFO touchInfo;
        POINTER_PEN_INFO penInfo;
    };
};
#define POINTER_FLAG_INRANGE 0x00000002
#define POINTER_FLAG_INCONTACT 0x00000004
#define POINTER_FLAG_CANCELED 0x00008000
#define POINTER_FLAG_DOWN 0x00010000
#define POINTER_FLAG_UPDATE 0x00020000
#define POINTER_FLAG_UP 0x00040000
#define TOUCH_MASK_CONTACTAREA 0x00000001
#define TOUCH_FEEDBACK_DEFAULT 0x1
#define MAX_TOUCH_COUNT 256
#endif
#if !defined(NTDDI_WIN10_RS5) || NTDDI_VERSION < NTDDI_WIN10_RS5
DECLARE_HANDLE(HSYNTHETICPOINTERDEVICE);
#endif
static_assert(sizeof(POINTER_TOUCH_INFO) == (sizeof(void*) == 8 ? 144 : 136), "POINTER_TOUCH_INFO layout");
static_assert(sizeof(POINTER_TYPE_INFO) == (sizeof(void*) == 8 ? 152 : 144), "POINTER_TYPE_INFO layout");

struct PointerApi {
    BOOL(WINAPI* initializeTouchInjection)(UINT32 maxCount, DWORD mode) = nullptr;
    BOOL(WINAPI* injectTouchInput)(UINT32 count, const POINTER_TOUCH_INFO* contacts) = nullptr;
    // The feedback mode is POINTER_FEEDBACK_MODE, an enum of int size.
    HSYNTHETICPOINTERDEVICE(WINAPI* createSyntheticPointerDevice)(POINTER_INPUT_TYPE type, ULONG maxCount, int mode) = nullptr;
    BOOL(WINAPI* injectSyntheticPointerInput)(HSYNTHETICPOINTERDEVICE device, const POINTER_TYPE_INFO* info, UINT32 count) = nullptr;
    void(WINAPI* destroySyntheticPointerDevice)(HSYNTHETICPOINTERDEVICE device) = nullptr;
    DWORD(WINAPI* lastError)() = nullptr;
    void(WINAPI* pause)(DWORD ms) = nullptr;  // between retries of an injection the system was not ready for

    bool HasTouch() const { return initializeTouchInjection && injectTouchInput; }
    bool HasPen() const { return HasTouch() && createSyntheticPointerDevice && injectSyntheticPointerInput && destroySyntheticPointerDevice; }
};

// The functions user32 (from System32) has; the missing ones stay null.
PointerApi SystemPointerApi();

/*
 * Dev.h - camera capture: Media Foundation cameras and virtual cameras behind one C surface.
 *
 * Devices are numbered per enumeration: the real cameras first, then the virtual cameras declared
 * in VirtualCamera.ini beside the executable (those unplugged through the pen control block
 * left out). Indexes follow the current enumeration, so they may shift when a camera comes or goes.
 *
 * Ownership and threads
 *   - Every record passed in belongs to the caller; the library keeps no pointer to it.
 *   - A handle from DevCreate is owned by the caller until DevDestroy; afterwards it is invalid.
 *     Unknown or destroyed handles are recognised and refused (the call returns 0).
 *   - Calls on one handle must not overlap, except DevSetControl, which may come from another
 *     thread while DevGetFrame runs. DevCreate may be called on any thread. A thread that calls
 *     the library joins COM's multithreaded apartment once (unless it already has an apartment)
 *     and stays in it until the thread ends; Media Foundation is started once per process. Frames
 *     arrive on Media Foundation's own threads; no call waits on the camera for long.
 *   - No call throws.
 *
 * Frames
 *   DevGetFrame writes one BGR24 frame, top row first, rows padded to 4 bytes (the SCapFrame
 *   layout of MultiIRLight.h), of the size given at DevCreate. It returns the newest frame and
 *   waits at most about one frame period for one newer than the last it returned; a frame is never
 *   returned twice. When it writes no frame it returns 0 and says why in *size: DEV_FRAME_NONE
 *   (nothing new yet), DEV_FRAME_STALLED (nothing new for 0.5 s or more), DEV_FRAME_ENDED (the
 *   stream ended or failed; only DevStop and DevPlay, or a new handle, can bring it back), or the
 *   byte size needed when the buffer is too small. A camera unplugged from a running virtual
 *   stream keeps delivering black frames, at its frame rate, until DevStop.
 *   DevStop returns within about two frame periods whatever the camera does.
 */
#ifndef TAVORI_DEV_H
#define TAVORI_DEV_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* HDEVCTR;

typedef enum ECapType {
    CAP_TYPE_VIDEO = 1 /* the only capture type: video cameras */
} ECapType;

/* DevCreate's request. width/height: frame size wanted (0 = the camera's own); nIndex: device
 * index in the current enumeration. The rest is zero. */
typedef struct SCapParam {
    int32_t nType; /* 1 */
    int32_t nWidth;
    int32_t nHeight;
    int32_t nIndex;
    int32_t reserved[36];
} SCapParam;

/* DevGetCaptureInfo's record: nType and nIndex in; szName and szPath out (zero-terminated, cut to
 * fit). The path holds "vid_XXXX" and "pid_XXXX". reserved is neither read nor written. */
typedef struct SInfoParam {
    int32_t nType; /* 1 */
    int32_t nIndex;
    char szName[260];
    char szPath[260];
    uint8_t reserved[12];
} SInfoParam;

enum {
    DEV_FRAME_NONE = 0,
    DEV_FRAME_ENDED = -1,
    DEV_FRAME_STALLED = -2
};

enum {
    DEV_PROP_EXPOSURE = 4, /* camera-control property: exposure, log2 seconds (-8 = 1/256 s) */
    DEV_FLAG_AUTO = 1,
    DEV_FLAG_MANUAL = 2
};

/* A camera-control setting: nProperty 4 (exposure), nFlags 1 (automatic) or 2 (manual), nValue
 * the exposure step (-3 is passed with automatic and then ignored). */
typedef struct SCapControl {
    int16_t nProperty;
    int16_t nFlags;
    int16_t nValue;
} SCapControl;

#ifdef __cplusplus
#define TAVORI_DEV_ASSERT(c, m) static_assert(c, m)
#else
#define TAVORI_DEV_ASSERT(c, m) _Static_assert(c, m)
#endif
TAVORI_DEV_ASSERT(sizeof(SCapParam) == 160, "SCapParam is 160 bytes");
TAVORI_DEV_ASSERT(sizeof(SInfoParam) == 540, "SInfoParam is 540 bytes");
TAVORI_DEV_ASSERT(offsetof(SInfoParam, szName) == 8 && offsetof(SInfoParam, szPath) == 268,
                  "SInfoParam layout");
TAVORI_DEV_ASSERT(sizeof(SCapControl) == 6, "SCapControl is three 16-bit fields");
#undef TAVORI_DEV_ASSERT

/* Number of devices of the type (only 1 is known); 0 when none or for another type. */
int DevGetCaptureNum(int type);

/* Fills szName and szPath of the device at info->nIndex. Returns 1, or 0 (name and path emptied)
 * when there is no such device. */
int DevGetCaptureInfo(int type, SInfoParam* info);

/* Opens the device at param->nIndex for frames of param->nWidth x param->nHeight (0 x 0 = the
 * camera's size; a size the camera does not offer is delivered scaled). Null on failure. */
HDEVCTR DevCreate(const SCapParam* param);

/* Prepares the stream. Non-zero = ready. */
int DevInitCapture(HDEVCTR h);

/* Applies a camera-control setting. Non-zero = applied. Exposure steps are clamped to the
 * camera's range. Allowed before and while streaming. */
int DevSetControl(HDEVCTR h, const SCapControl* control);

/* Starts streaming (the second argument is ignored). Non-zero = streaming. */
int DevPlay(HDEVCTR h, int reserved);

/* Writes one frame into data, a buffer of *size bytes. Returns 1 with *size = the bytes written;
 * returns 0 when not streaming or an argument is null (*size untouched), when *size is below the
 * frame's byte size (stride * height; *size is then set to the size needed), or when no new frame
 * came (*size = DEV_FRAME_NONE, DEV_FRAME_STALLED or DEV_FRAME_ENDED). */
int DevGetFrame(HDEVCTR h, unsigned char* data, long* size);

/* Stops streaming; DevPlay may start it again. Returns 1 (0 for an unknown handle). */
int DevStop(HDEVCTR h);

/* Stops and releases the device; the handle is invalid afterwards. Returns 1 (0 if unknown). */
int DevDestroy(HDEVCTR h);

#ifdef __cplusplus
}
#endif

#endif /* TAVORI_DEV_H */

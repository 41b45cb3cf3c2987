/*
 * MultiIRLight.h - light detection and camera-to-screen mapping.
 *
 * One detector handle per camera. Frames are BGR24 images (SCapFrame); the detector finds the pen
 * light in them and maps it through the stored calibration to screen pixels.
 *
 * Conventions
 *   - Pixel centres sit at whole numbers everywhere: camera pixel (0,0) covers [-0.5,0.5) in both
 *     axes, and so does screen pixel (0,0). A rectangle of W x H pixels therefore spans
 *     [-0.5, W-0.5) x [-0.5, H-0.5); its outer corners are (-0.5,-0.5) ... (W-0.5,H-0.5).
 *   - Every pointer argument may be null and every frame may be malformed: the call then returns 0
 *     and writes nothing. No call throws.
 *   - The caller owns every record passed in; the library keeps no pointer to any of them after
 *     the call returns. The handle is owned by the caller from IRLCreate until IRLUninit.
 *   - GreyValue, IRLSetCmpPara, IRLResetEnroll and IRLResetAutoEnroll may be called from another
 *     thread while a find call runs on the same handle; they take effect at the next frame.
 *     Every other call on one handle must not overlap another call on that handle.
 */
#ifndef TAVORI_MULTIIRLIGHT_H
#define TAVORI_MULTIIRLIGHT_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef void* HMULTIIRLIGHT;

/* A camera frame: nWidth x nHeight pixels, 3 bytes per pixel in B,G,R order, top row first, rows
 * padded to 4 bytes (SCapFrameStride). nBitCount is always 24 and nSize = stride * nHeight.
 * pData is 16-byte aligned (in fact it starts a 64-byte cache line) and owned by the record: release
 * it with SCapFrameFree. */
typedef struct SCapFrame {
    uint32_t nWidth;
    uint32_t nHeight;
    uint32_t nBitCount;
    uint32_t nSize;
    uint8_t* pData;
} SCapFrame;

/* A detected point. id is stable while the same light stays in view; state 1 = present.
 * x, y: screen pixels relative to the calibrated rectangle (find-point calls) or camera pixels
 * (IRLFindMostLight), rounded to the nearest integer. */
typedef struct _SDetectPoint {
    int32_t id;
    int32_t x;
    int32_t y;
    int32_t state;
} _SDetectPoint;

/* Image parameters: the camera frame size the detector expects. reserved is always 0.
 * maxColor is accepted and ignored. moveStep is the furthest distance, in camera pixels, a light may
 * travel between two frames and keep its id (0 or negative = 50). */
typedef struct _SImgPara {
    int32_t width;
    int32_t height;
    int32_t reserved;
    int32_t maxColor;
    int32_t moveStep;
} _SImgPara;

/* A calibration: lPtCount = n * n camera positions (n = 2..6) of the screen grid targets, entry i
 * belonging to grid cell (row i / n, column i % n) of the lWinWidth x lWinHeight rectangle. */
typedef struct _SCalibration {
    uint32_t lScreenIndex;
    uint32_t lWinLeft;
    uint32_t lWinTop;
    uint32_t lWinWidth;
    uint32_t lWinHeight;
    uint32_t lPtCount;
    uint32_t lType;
    uint32_t x[36];
    uint32_t y[36];
} _SCalibration;

#ifdef __cplusplus
#define TAVORI_IRL_ASSERT(c, m) static_assert(c, m)
#else
#define TAVORI_IRL_ASSERT(c, m) _Static_assert(c, m)
#endif
TAVORI_IRL_ASSERT(sizeof(_SDetectPoint) == 16, "_SDetectPoint is 16 bytes");
TAVORI_IRL_ASSERT(sizeof(_SImgPara) == 20, "_SImgPara is 20 bytes");
TAVORI_IRL_ASSERT(sizeof(_SCalibration) == 316, "_SCalibration is 316 bytes");
TAVORI_IRL_ASSERT(offsetof(_SCalibration, lType) == 24, "_SCalibration layout");
TAVORI_IRL_ASSERT(offsetof(_SCalibration, x) == 28, "_SCalibration layout");
TAVORI_IRL_ASSERT(offsetof(_SCalibration, y) == 172, "_SCalibration layout");
TAVORI_IRL_ASSERT(offsetof(SCapFrame, nHeight) == 4 && offsetof(SCapFrame, nBitCount) == 8 &&
                      offsetof(SCapFrame, nSize) == 12 && offsetof(SCapFrame, pData) == 16,
                  "SCapFrame layout");
#undef TAVORI_IRL_ASSERT

/* ---- Frame record helpers ------------------------------------------------------------------ */

/* Bytes per row of a BGR24 image of the given width (rows padded to 4 bytes); 0 on overflow. */
uint32_t SCapFrameStride(uint32_t width);

/* Fills *frame as a new width x height BGR24 frame. *frame is treated as empty: a buffer it already
 * owns is not released (call SCapFrameFree first). Copies nSize bytes from src, or zero-fills when
 * src is null. Returns 1; returns 0 with pData null and nSize 0 when the size is 0, overflows 32 bits
 * or the allocation fails (nWidth, nHeight and nBitCount are still set). */
int SCapFrameCreate(SCapFrame* frame, uint32_t width, uint32_t height, const void* src);

/* Makes *dst an independent deep copy of *src (dst treated as empty, as for SCapFrameCreate).
 * A null src gives an all-zero record. Returns 1, or 0 when the copy could not be allocated
 * (dst then holds no buffer). */
int SCapFrameCopy(SCapFrame* dst, const SCapFrame* src);

/* Releases the buffer and zeroes the record. Safe on a zeroed record and on null. */
void SCapFrameFree(SCapFrame* frame);

/* ---- Detector ------------------------------------------------------------------------------ */

/* Returns a new detector, or null when out of memory. */
HMULTIIRLIGHT IRLCreate(void);

/* Restarts the detector's learned state (tracks, ambient model). Returns 1. */
int IRLInit(HMULTIIRLIGHT h);

/* Releases the detector; the handle is invalid afterwards. Returns 1. */
int IRLUninit(HMULTIIRLIGHT h);

/* Sets the grey threshold: a pixel is lit when its brightest channel reaches it (clamped to 1..255;
 * default 220). The threshold used is never below the frame's bright background (the level more than
 * about 1% of the frame reaches: the faintly filmed screen) plus the minimum contrast of
 * IRLSetCmpPara, so that a very low threshold still finds the pen rather than the screen. Returns 1. */
int GreyValue(HMULTIIRLIGHT h, int threshold);

/* Sets the expected frame size (2..16384 each way) and sizes the working buffers. Frames of another
 * size are refused from then on. Without this call the first valid frame sets the size.
 * Returns 1, or 0 for an unusable record. */
int IRLSetImgConfig(HMULTIIRLIGHT h, const _SImgPara* para);

/* Stores the calibration (copied). The camera-to-screen model is fitted from it before the next
 * find-point call. Returns 1 when the record is usable (square point count 4..36, non-empty
 * rectangle, points not degenerate), otherwise 0 and the find-point calls report nothing. */
int IRLSetConfig(HMULTIIRLIGHT h, const _SCalibration* cal);

/* Minimum contrast, in grey levels, of a light's peak over its own surroundings (default 15).
 * Lights with less contrast (a brightly lit but flat area) are not lights. Returns 1. */
int IRLSetCmpPara(HMULTIIRLIGHT h, unsigned int minContrast);

/* Restart the learning of fixed lights. Lights in view during the next 5 frames (30 after automatic
 * exposure, which keeps settling) are taken as fixed lights and not reported until they move. Later
 * on, a light that shows no pen tip (wider or softer than any pen), one that comes back where a
 * fixed light was, and one that stands still for 5 s are held back the same way; a fixed light's
 * place that stays dark for 8 s is forgotten. Return 1. */
int IRLResetEnroll(HMULTIIRLIGHT h);
int IRLResetAutoEnroll(HMULTIIRLIGHT h);

/* Brightest light (largest light mass) in camera pixels in pts[0]. Returns 1 when found, else 0. */
int IRLFindMostLight(HMULTIIRLIGHT h, const SCapFrame* frame, _SDetectPoint* pts);

/* Every light mapped to screen pixels, written to pts[0..n-1] in id order, n <= min(capacity, 64).
 * Returns n. Points that map outside the calibrated rectangle are clamped onto its edge when they lie
 * within a margin of max(8, size/40) pixels of it, and dropped when further out. */
int IRLFindWinPoint(HMULTIIRLIGHT h, const SCapFrame* frame, _SDetectPoint* pts, int capacity);

/* One light mapped to screen pixels in pts[0]: the light followed in the previous frame while it
 * stays in view, otherwise the brightest. Same edge rule as IRLFindWinPoint. Returns 1 when found. */
int IRLFindWinPointOne(HMULTIIRLIGHT h, const SCapFrame* frame, _SDetectPoint* pts);

#ifdef __cplusplus
}
#endif

#endif /* TAVORI_MULTIIRLIGHT_H */

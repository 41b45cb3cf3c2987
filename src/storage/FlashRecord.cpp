#include "storage/FlashRecord.h"

#include <cstring>

namespace {
void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>((v >> 8) & 0xFF);
    p[1] = static_cast<uint8_t>(v & 0xFF);
}
uint32_t Get16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) * 256u + p[1]; }
}  // namespace

void CopyToFlash(const _SCalibration& cal, FlashCalibration& copy) {
    copy.screenIndex = cal.lScreenIndex;
    copy.left = cal.lWinLeft;
    copy.top = cal.lWinTop;
    copy.width = cal.lWinWidth;
    copy.height = cal.lWinHeight;
    for (uint32_t i = 0; i < cal.lPtCount && i < 36; ++i) {
        copy.x[i] = cal.x[i];
        copy.y[i] = cal.y[i];
    }
}

void CopyFromFlash(const FlashCalibration& copy, _SCalibration& cal) {
    cal.lScreenIndex = copy.screenIndex;
    cal.lPtCount = copy.pointCount;
    cal.lWinLeft = copy.left;
    cal.lWinTop = copy.top;
    cal.lWinWidth = copy.width;
    cal.lWinHeight = copy.height;
    for (uint32_t i = 0; i < copy.pointCount && i < 36; ++i) {
        cal.x[i] = copy.x[i];
        cal.y[i] = copy.y[i];
    }
}

bool EncodeFlashRecord(const FlashCalibration& copy, uint8_t (&out)[kFlashWriteBytes]) {
    if (copy.pointCount > kFlashMaxPoints) return false;
    memset(out, 0, sizeof(out));
    out[0] = static_cast<uint8_t>(copy.pointCount & 0xFF);
    Put16(out + 1, copy.left);
    Put16(out + 3, copy.top);
    Put16(out + 5, copy.width);
    Put16(out + 7, copy.height);
    out[9] = static_cast<uint8_t>(copy.screenIndex & 0xFF);
    for (uint32_t i = 0; i < copy.pointCount; ++i) {
        Put16(out + 10 + 4 * i, copy.x[i]);
        Put16(out + 12 + 4 * i, copy.y[i]);
    }
    return true;
}

bool DecodeFlashRecord(const uint8_t (&in)[kFlashReadBytes], uint32_t pointCount, FlashCalibration& copy) {
    if (pointCount == 0 || pointCount > kFlashMaxPoints) return false;
    copy.pointCount = pointCount;
    copy.left = Get16(in + 1);
    copy.top = Get16(in + 3);
    copy.width = Get16(in + 5);
    copy.height = Get16(in + 7);
    copy.screenIndex = in[9];
    for (uint32_t i = 0; i < pointCount; ++i) {
        copy.x[i] = Get16(in + 10 + 4 * i);
        copy.y[i] = Get16(in + 12 + 4 * i);
    }
    return true;
}

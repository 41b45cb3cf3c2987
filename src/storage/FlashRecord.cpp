#include "storage/FlashRecord.h"

#include <cctype>
#include <cstring>

namespace {
void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>((v >> 8) & 0xFF);
    p[1] = static_cast<uint8_t>(v & 0xFF);
}
uint32_t Get16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) * 256u + p[1]; }
// An edge left of or above the primary monitor is negative: the 16 bits read back with their sign.
uint32_t GetSigned16(const uint8_t* p) { return static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(Get16(p)))); }
constexpr uint8_t kTagMark[2] = {0xCA, 0x3E};
}  // namespace

uint32_t FlashCameraTag(const std::string& devicePath) {
    uint32_t h = 2166136261u;  // FNV-1a over the path as Windows compares it, without case
    for (char c : devicePath) h = (h ^ static_cast<uint8_t>(std::tolower(static_cast<unsigned char>(c)))) * 16777619u;
    return h ? h : 1;
}

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
    if (copy.cameraTag) {
        out[kCameraTagAt] = kTagMark[0];
        out[kCameraTagAt + 1] = kTagMark[1];
        Put16(out + kCameraTagAt + 2, copy.cameraTag >> 16);
        Put16(out + kCameraTagAt + 4, copy.cameraTag & 0xFFFF);
    }
    return true;
}

bool DecodeFlashRecord(const uint8_t (&in)[kFlashReadBytes], FlashCalibration& copy) {
    const uint32_t pointCount = in[0];
    if (pointCount != 4 && pointCount != 9 && pointCount != 16 && pointCount != 25) return false;
    copy.pointCount = pointCount;
    copy.left = GetSigned16(in + 1);
    copy.top = GetSigned16(in + 3);
    copy.width = Get16(in + 5);
    copy.height = Get16(in + 7);
    copy.screenIndex = in[9];
    for (uint32_t i = 0; i < pointCount; ++i) {
        copy.x[i] = Get16(in + 10 + 4 * i);
        copy.y[i] = Get16(in + 12 + 4 * i);
    }
    const bool tagged = in[kCameraTagAt] == kTagMark[0] && in[kCameraTagAt + 1] == kTagMark[1];
    copy.cameraTag = tagged ? Get16(in + kCameraTagAt + 2) << 16 | Get16(in + kCameraTagAt + 4) : 0;
    return true;
}

#include "calibration/AimingPicture.h"

#include <cmath>
#include <cstring>

CAimingPicture::CAimingPicture()
    : m_pixels(static_cast<size_t>(kStride) * kHeight), m_sourceColumn(kWidth), m_sourceRow(kHeight) {}

bool CAimingPicture::Compose(const SCapFrame& frame) {
    const uint32_t bytes = frame.nBitCount / 8;
    if (!frame.pData || frame.nWidth == 0 || frame.nHeight == 0 || frame.nWidth > 8192 || frame.nHeight > 8192 ||
        bytes < 3 || bytes > 4)
        return false;
    if (static_cast<uint64_t>(frame.nWidth) * frame.nHeight * bytes > frame.nSize) return false;
    if (frame.nWidth != m_frameWidth || frame.nHeight != m_frameHeight || bytes != m_frameBytes) {
        // Box column x shows the frame's column width-1-x (mirrored), nearest sample at the centre.
        for (uint32_t x = 0; x < kWidth; ++x) {
            const uint32_t source = static_cast<uint32_t>((2ull * x + 1) * frame.nWidth / (2ull * kWidth));
            m_sourceColumn[x] = (frame.nWidth - 1 - source) * bytes;
        }
        for (uint32_t y = 0; y < kHeight; ++y)
            m_sourceRow[y] = static_cast<uint32_t>((2ull * y + 1) * frame.nHeight / (2ull * kHeight));
        m_frameWidth = frame.nWidth;
        m_frameHeight = frame.nHeight;
        m_frameBytes = bytes;
    }
    const size_t rowBytes = static_cast<size_t>(frame.nWidth) * bytes;
    for (uint32_t y = 0; y < kHeight; ++y) {
        const uint8_t* in = frame.pData + m_sourceRow[y] * rowBytes;
        uint8_t* out = m_pixels.data() + static_cast<size_t>(y) * kStride;
        for (uint32_t x = 0; x < kWidth; ++x, out += 3) std::memcpy(out, in + m_sourceColumn[x], 3);
    }
    return true;
}

void CAimingPicture::MarkLight(double x, double y) {
    if (m_frameWidth == 0 || m_frameHeight == 0) return;
    const double cx = (m_frameWidth - 0.5 - x) * kWidth / m_frameWidth - 0.5;  // mirrored, as the picture
    const double cy = (y + 0.5) * kHeight / m_frameHeight - 0.5;
    constexpr double kInner = 10, kOuter = 13;
    for (int py = static_cast<int>(cy - kOuter); py <= static_cast<int>(cy + kOuter) + 1; ++py)
        for (int px = static_cast<int>(cx - kOuter); px <= static_cast<int>(cx + kOuter) + 1; ++px) {
            if (px < 0 || py < 0 || px >= kWidth || py >= kHeight) continue;
            const double r = std::hypot(px - cx, py - cy);
            if (r < kInner || r > kOuter) continue;
            uint8_t* p = m_pixels.data() + static_cast<size_t>(py) * kStride + static_cast<size_t>(px) * 3;
            p[0] = 0, p[1] = 140, p[2] = 255;  // blue, green, red
        }
}

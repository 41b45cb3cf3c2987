#include "calibration/AimingPicture.h"

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

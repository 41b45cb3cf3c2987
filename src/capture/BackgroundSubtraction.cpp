#include "capture/BackgroundSubtraction.h"

void SubtractBackground(const uint8_t* snapshot, SCapFrame& frame) {
    if (!snapshot || !frame.pData || frame.nBitCount != 24) return;
    const uint32_t stride = ((frame.nWidth * 24 + 31) & ~31u) / 8;
    if (static_cast<uint64_t>(stride) * frame.nHeight > frame.nSize) return;
    for (uint32_t y = 0; y < frame.nHeight; ++y) {
        uint8_t* row = frame.pData + static_cast<size_t>(y) * stride;
        const uint8_t* back = snapshot + static_cast<size_t>(y) * stride;
        for (uint32_t x = 0; x < frame.nWidth * 3; x += 3) {
            if (row[x] > 180 && row[x + 1] > 180 && row[x + 2] > 180) {
                for (int c = 0; c < 3; ++c) {
                    int v = row[x + c] - back[x + c];
                    row[x + c] = static_cast<uint8_t>(v > 0 ? v : 0);
                }
            }
        }
    }
}

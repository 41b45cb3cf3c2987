// The live camera picture of the aiming view: a frame of any size scaled into the 640 x 480 box and
// mirrored left to right, so the user turns the camera the way the picture moves. Rows run from
// the top (a top-down bitmap). Buffers are sized once; a frame costs one pass over the box.
#pragma once
#include <cstdint>
#include <vector>

#include "MultiIRLight.h"

class CAimingPicture {
public:
    static constexpr int kWidth = 640;
    static constexpr int kHeight = 480;
    static constexpr int kStride = kWidth * 3;

    CAimingPicture();
    // False (and the picture unchanged) for a frame whose size and buffer disagree.
    bool Compose(const SCapFrame& frame);
    const uint8_t* Pixels() const { return m_pixels.data(); }
    // An orange ring around camera pixel (x, y) of the frame last composed: a fixed light the
    // detector holds back, where the pen is not found.
    void MarkLight(double x, double y);

private:
    std::vector<uint8_t> m_pixels;
    std::vector<uint32_t> m_sourceColumn;  // byte offset in a frame row, per box column
    std::vector<uint32_t> m_sourceRow;     // frame row, per box row
    uint32_t m_frameWidth = 0, m_frameHeight = 0, m_frameBytes = 0;
};

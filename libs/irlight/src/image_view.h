// The image and pixel-box types every stage of the detector works on.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavori::irl {

// A view on a BGR24 image; the detector never copies or owns the pixels.
struct ImageView {
    const uint8_t* data = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    std::ptrdiff_t stride = 0;
};

// A box of pixels in frame coordinates, bounds included.
struct PixelBox {
    int32_t x0, y0, x1, y1;
    int32_t width() const { return x1 - x0 + 1; }
    int32_t height() const { return y1 - y0 + 1; }
};

}  // namespace tavori::irl

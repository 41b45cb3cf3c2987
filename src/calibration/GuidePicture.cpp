#include "calibration/GuidePicture.h"

#include <cstddef>

namespace guide {
namespace {
struct Rgb {
    double r, g, b;
};
constexpr Rgb kTopLeft{94, 217, 162};
constexpr Rgb kBottomRight{103, 213, 212};

void FillWhite(std::vector<uint8_t>& pixels, int left, int top, int width, int height) {
    for (int y = top; y < top + height; ++y)
        for (int x = left; x < left + width; ++x) {
            uint8_t* p = &pixels[(static_cast<size_t>(y) * kWidth + x) * 3];
            p[0] = p[1] = p[2] = 255;
        }
}

// An L whose outer corner is (cx, cy); dx, dy (+1 or -1) point the arms inward.
void CornerMark(std::vector<uint8_t>& pixels, int cx, int cy, int dx, int dy) {
    const int armLeft = dx > 0 ? cx : cx - kArm + 1;
    const int barLeft = dx > 0 ? cx : cx - kThickness + 1;
    const int armTop = dy > 0 ? cy : cy - kArm + 1;
    const int barTop = dy > 0 ? cy : cy - kThickness + 1;
    FillWhite(pixels, armLeft, barTop, kArm, kThickness);  // along the top or bottom edge
    FillWhite(pixels, barLeft, armTop, kThickness, kArm);  // along the left or right edge
}
}  // namespace

std::vector<uint8_t> DrawGuidePicture() {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            const double t = 0.5 * (static_cast<double>(x) / (kWidth - 1) + static_cast<double>(y) / (kHeight - 1));
            uint8_t* p = &pixels[(static_cast<size_t>(y) * kWidth + x) * 3];
            p[0] = static_cast<uint8_t>(kTopLeft.b + t * (kBottomRight.b - kTopLeft.b) + 0.5);
            p[1] = static_cast<uint8_t>(kTopLeft.g + t * (kBottomRight.g - kTopLeft.g) + 0.5);
            p[2] = static_cast<uint8_t>(kTopLeft.r + t * (kBottomRight.r - kTopLeft.r) + 0.5);
        }
    CornerMark(pixels, kLeft, kTop, +1, +1);
    CornerMark(pixels, kRight, kTop, -1, +1);
    CornerMark(pixels, kLeft, kBottom, +1, -1);
    CornerMark(pixels, kRight, kBottom, -1, -1);
    return pixels;
}
}  // namespace guide

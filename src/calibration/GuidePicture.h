// The aiming view's background: a soft green-to-turquoise diagonal gradient with four white
// L-shaped corner marks that show the user the area the camera has to see. Drawn at run time.
#pragma once
#include <cstdint>
#include <vector>

namespace guide {
constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr int kArm = 64;        // length of each arm of a corner mark
constexpr int kThickness = 3;
// Outer corners of the marks: top-left, top-right, bottom-left, bottom-right.
constexpr int kLeft = 149, kRight = 874, kTop = 100, kBottom = 667;

// Top-down rows of blue, green, red bytes, kWidth * 3 bytes a row.
std::vector<uint8_t> DrawGuidePicture();
}  // namespace guide

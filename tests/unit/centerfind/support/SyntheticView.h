// Camera frames of the calibration patterns with exact ground truth: squares on a black desktop,
// filmed by the virtual camera's own composer (the lens model, a sensor that integrates each
// pixel's footprint, ambient level and noise), so the finder's simulation sees what the driver's
// virtual camera delivers. Optionally a dim wide light and a lit pen, both drawn as its pens.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "VcamModel.h"

namespace tavori::cftest {

constexpr int kW = 640, kH = 480, kStride = 1920;

struct Square {
    double left, top, size;  // screen pixels
};

struct Extras {
    double spotX = -1, spotY = 0, spotSigma = 14, spotLevel = 0;  // screen pixels; camera pixels; 0..1
    double penX = -1, penY = 0;                                   // screen pixels, lit when >= 0
};

class SyntheticView {
public:
    explicit SyntheticView(const vcam::Config& c) {
        composer_.Configure(c);
        screen_.Resize(c.rect[2], c.rect[3]);
    }
    void SetExposure(int step) { composer_.SetExposure(step); }

    // Camera position of a screen position (pixel centres at whole numbers in both).
    void Truth(double sx, double sy, double& cx, double& cy) const { composer_.Model().Project(sx, sy, cx, cy); }

    void Render(const std::vector<Square>& squares, const Extras& extras, uint8_t* out) {
        if (squares.size() != shown_.size() ||
            !std::equal(squares.begin(), squares.end(), shown_.begin(), [](const Square& a, const Square& b) {
                return a.left == b.left && a.top == b.top && a.size == b.size;
            })) {
            shown_ = squares;
            std::fill(screen_.px.begin(), screen_.px.end(), uint8_t{0});
            for (const Square& s : squares) {  // clipped to the screen, as the window clips it
                const int x0 = std::max(static_cast<int>(s.left), 0), x1 = std::min(static_cast<int>(s.left + s.size), screen_.w);
                for (int y = std::max(static_cast<int>(s.top), 0); y < static_cast<int>(s.top + s.size) && y < screen_.h; ++y)
                    if (x1 > x0) std::fill_n(screen_.Row(y) + x0, x1 - x0, uint8_t{255});
            }
            composer_.Film(&screen_);
        }
        vcam::PenState lights;
        if (extras.spotX >= 0) lights.pens[lights.count++] = {extras.spotX, extras.spotY, extras.spotSigma, extras.spotLevel};
        if (extras.penX >= 0) lights.pens[lights.count++] = {extras.penX, extras.penY, vcam::kDefaultSigma, 1.0};
        composer_.Frame(lights, out);
    }

private:
    vcam::Composer composer_;
    vcam::ScreenImage screen_;
    std::vector<Square> shown_;
};

}  // namespace tavori::cftest

// Camera frames of the calibration patterns with exact ground truth: squares on a black screen,
// filmed through the virtual camera's lens model. Unlike the virtual camera, which samples the
// screen once per camera pixel, each square is integrated over its area (a dense screen-space
// sampling splatted bilinearly), as a real sensor does, so a centre is known to a hundredth of a
// pixel. Adds the camera's ambient level and noise, and optionally a warm spot and a lit pen.
#pragma once
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "VcamModel.h"

namespace tavori::cftest {

constexpr int kW = 640, kH = 480, kStride = 1920;

struct Square {
    double left, top, size;  // screen pixels
};

struct Extras {
    double spotX = -1, spotY = 0, spotSigma = 12, spotLevel = 0;  // camera pixels, grey
    double penX = -1, penY = 0;                                   // screen pixels, lit when >= 0
};

class SyntheticView {
public:
    SyntheticView(const vcam::Config& c, uint32_t seed = 1) : cfg_(c), rng_(seed) { lens_.Init(c); }
    void SetExposure(int step) { exposure_ = step; }

    // Camera position of a screen position (pixel centres at whole numbers in both).
    void Truth(double sx, double sy, double& cx, double& cy) const { lens_.Project(sx, sy, cx, cy); }

    void Render(const std::vector<Square>& squares, const Extras& extras, uint8_t* out) {
        // The light only changes with the picture; consecutive frames of one differ by noise.
        const std::vector<double> key = Key(squares, extras);
        if (key != lastKey_) {
            lastKey_ = key;
            level_.assign(static_cast<size_t>(kW * kH), cfg_.ambient);
            const double gain = cfg_.screenGain * std::ldexp(1.0, exposure_ + 8);
            for (const Square& s : squares) Splat(s, gain);
            if (extras.spotX >= 0) AddSpot(extras.spotX, extras.spotY, extras.spotSigma, extras.spotLevel);
            double px, py;
            if (extras.penX >= 0 && lens_.Project(extras.penX, extras.penY, px, py)) AddSpot(px, py, 1.5, 400);
        }
        if (noise_.empty()) {
            std::normal_distribution<double> normal(0.0, cfg_.noise);
            noise_.resize(static_cast<size_t>(2 * kW * kH));
            for (double& n : noise_) n = cfg_.noise > 0 ? normal(rng_) : 0.0;
        }
        const double* n = noise_.data() + (rng_() % static_cast<uint32_t>(kW * kH));
        for (int i = 0; i < kW * kH; ++i) {
            const auto b = static_cast<uint8_t>(std::clamp(std::lround(level_[static_cast<size_t>(i)] + n[i]), 0L, 255L));
            uint8_t* p = out + (i / kW) * kStride + 3 * (i % kW);
            p[0] = p[1] = p[2] = b;
        }
    }

private:
    std::vector<double> Key(const std::vector<Square>& squares, const Extras& e) const {
        std::vector<double> k = {double(exposure_), e.spotX, e.spotY, e.spotSigma, e.spotLevel, e.penX, e.penY};
        for (const Square& s : squares) k.insert(k.end(), {s.left, s.top, s.size});
        return k;
    }

    // The square is cut into small quads; each adds its camera area at its centre, shared
    // bilinearly, so the frame's light is uniform over the square's image as on a real sensor.
    void AddSpot(double cx, double cy, double sigma, double peak) {
        const int r = static_cast<int>(5 * sigma) + 1;
        for (int y = std::max(0, int(cy) - r); y <= std::min(kH - 1, int(cy) + r); ++y)
            for (int x = std::max(0, int(cx) - r); x <= std::min(kW - 1, int(cx) + r); ++x)
                level_[static_cast<size_t>(y * kW + x)] +=
                    peak * std::exp(-((x - cx) * (x - cx) + (y - cy) * (y - cy)) / (2 * sigma * sigma));
    }

    void Splat(const Square& s, double gain) {
        constexpr int kSub = 2;  // quads per screen pixel and axis
        const int n = static_cast<int>(s.size) * kSub;
        std::vector<double> gx(static_cast<size_t>((n + 1) * (n + 1))), gy(gx.size());
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i)
                if (!lens_.Project(s.left - 0.5 + double(i) / kSub, s.top - 0.5 + double(j) / kSub,
                                   gx[static_cast<size_t>(j * (n + 1) + i)], gy[static_cast<size_t>(j * (n + 1) + i)]))
                    return;
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                const size_t a = static_cast<size_t>(j * (n + 1) + i), b = a + 1, c = a + static_cast<size_t>(n) + 2,
                             d = a + static_cast<size_t>(n) + 1;
                const double area =
                    0.5 * std::fabs((gx[c] - gx[a]) * (gy[d] - gy[b]) - (gy[c] - gy[a]) * (gx[d] - gx[b]));
                const double px = (gx[a] + gx[b] + gx[c] + gx[d]) / 4, py = (gy[a] + gy[b] + gy[c] + gy[d]) / 4;
                const int x0 = static_cast<int>(std::floor(px)), y0 = static_cast<int>(std::floor(py));
                const double fx = px - x0, fy = py - y0;
                const double w[4] = {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy};
                const int xs[4] = {x0, x0 + 1, x0, x0 + 1}, ys[4] = {y0, y0, y0 + 1, y0 + 1};
                for (int k = 0; k < 4; ++k)
                    if (xs[k] >= 0 && ys[k] >= 0 && xs[k] < kW && ys[k] < kH)
                        level_[static_cast<size_t>(ys[k] * kW + xs[k])] += gain * w[k] * area;
            }
        }
    }

    vcam::Config cfg_;
    vcam::LensModel lens_;
    std::mt19937 rng_;
    int exposure_ = -8;
    std::vector<double> level_, noise_, lastKey_;
};

}  // namespace tavori::cftest

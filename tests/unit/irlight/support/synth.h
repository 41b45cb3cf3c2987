// Synthetic frames and the virtual camera's geometry, for the detector tests and the benchmarks.
// Kept independent of the library's own maths so that the tests check it rather than repeat it.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <utility>
#include <vector>

#include "MultiIRLight.h"
#include "detector.h"

namespace synth {

// Owns one SCapFrame for the length of a test.
class Frame {
public:
    Frame(uint32_t w, uint32_t h) { SCapFrameCreate(&f_, w, h, nullptr); }
    ~Frame() { SCapFrameFree(&f_); }
    Frame(const Frame&) = delete;
    Frame& operator=(const Frame&) = delete;
    SCapFrame* get() { return &f_; }
    const SCapFrame* get() const { return &f_; }
    uint32_t stride() const { return SCapFrameStride(f_.nWidth); }
    uint8_t* px(uint32_t x, uint32_t y) { return f_.pData + y * stride() + 3 * x; }
    void set(uint32_t x, uint32_t y, uint8_t v) { px(x, y)[0] = px(x, y)[1] = px(x, y)[2] = v; }

private:
    SCapFrame f_{};
};

// Deterministic on every platform (std::normal_distribution is not).
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed * 0x9E3779B97F4A7C15ull + 1) {}
    double uniform() {
        s_ ^= s_ << 13;
        s_ ^= s_ >> 7;
        s_ ^= s_ << 17;
        return (static_cast<double>(s_ >> 11) + 0.5) / 9007199254740992.0;
    }
    double gauss() {
        const double u = uniform(), v = uniform();
        return std::sqrt(-2 * std::log(u)) * std::cos(6.283185307179586 * v);
    }

private:
    uint64_t s_;
};

struct Spot {
    double x, y;       // centre, pixel centres at whole numbers
    double sigma;
    double amplitude;  // over the background; values above 255 saturate the core
};

// A bright screen area [x0, x1) x [y0, y1), level grey levels over the background.
struct Area {
    double x0, y0, x1, y1, level;
};

// Ink from (ax, ay) to (bx, by), 1.5 px wide with round ends, level grey levels over the background.
struct Stroke {
    double ax, ay, bx, by, level;

    // Share of the pixel at (x, y) the stroke covers (4 x 4 samples), as a lens would average it.
    double coverage(double x, double y) const {
        if (distance(x, y) > 0.75 + 0.75) return 0;
        int in = 0;
        for (int j = 0; j < 4; ++j)
            for (int i = 0; i < 4; ++i) in += distance(x - 0.375 + 0.25 * i, y - 0.375 + 0.25 * j) <= 0.75;
        return in / 16.0;
    }
    double distance(double x, double y) const {
        const double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
        const double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
        return std::hypot(x - ax - t * dx, y - ay - t * dy);
    }
};

struct Scene {
    double background = 10;
    double gradientX = 0, gradientY = 0;  // grey levels per pixel
    double noise = 0;                     // sigma of the grey-level noise
    uint64_t seed = 1;
    std::vector<Spot> spots;
    std::vector<Area> areas;
    std::vector<Stroke> strokes;
};

// Grey frame (B = G = R): background + gradient + Gaussian spots + noise, rounded and clamped.
inline void render(Frame& f, const Scene& s) {
    Rng rng(s.seed);
    const uint32_t w = f.get()->nWidth, h = f.get()->nHeight;
    auto at = [&](uint32_t x, uint32_t y) {
        double v = s.background + s.gradientX * x + s.gradientY * y;
        for (const Area& a : s.areas)
            if (x >= a.x0 && x < a.x1 && y >= a.y0 && y < a.y1) v += a.level;
        for (const Stroke& st : s.strokes) v += st.level * st.coverage(x, y);
        for (const Spot& sp : s.spots) {
            const double dx = x - sp.x, dy = y - sp.y;
            const double r2 = dx * dx + dy * dy;
            if (r2 < 100 * sp.sigma * sp.sigma) v += sp.amplitude * std::exp(-r2 / (2 * sp.sigma * sp.sigma));
        }
        if (s.noise > 0) v += s.noise * rng.gauss();
        return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
    };
    if (s.noise > 0 || s.gradientX != 0 || s.gradientY != 0 || !s.areas.empty() || !s.strokes.empty()) {
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) f.set(x, y, at(x, y));
        return;
    }
    // A flat frame with spots: only the spots' reach differs from the background.
    const auto flat = static_cast<uint8_t>(std::clamp(std::lround(s.background), 0L, 255L));
    for (uint32_t y = 0; y < h; ++y) std::fill(f.px(0, y), f.px(0, y) + 3 * w, flat);
    for (const Spot& sp : s.spots) {
        const double r = 10 * sp.sigma;
        const auto x0 = static_cast<uint32_t>(std::clamp(sp.x - r, 0.0, w - 1.0)), x1 = static_cast<uint32_t>(std::clamp(sp.x + r + 1, 0.0, w - 1.0));
        const auto y0 = static_cast<uint32_t>(std::clamp(sp.y - r, 0.0, h - 1.0)), y1 = static_cast<uint32_t>(std::clamp(sp.y + r + 1, 0.0, h - 1.0));
        for (uint32_t y = y0; y <= y1; ++y)
            for (uint32_t x = x0; x <= x1; ++x) f.set(x, y, at(x, y));
    }
}

// The detector's spots in a frame, heaviest first.
inline std::vector<tavori::irl::Spot> detect(Frame& f, const tavori::irl::DetectParams& p = {},
                                             bool* flooded = nullptr) {
    tavori::irl::SpotDetector det;
    const auto w = static_cast<int32_t>(f.get()->nWidth), h = static_cast<int32_t>(f.get()->nHeight);
    det.configure(w, h);
    tavori::irl::Spot out[tavori::irl::SpotDetector::kMaxSpots];
    const int n = det.detect(tavori::irl::ImageView{f.get()->pData, w, h, static_cast<std::ptrdiff_t>(f.stride())},
                             p, out);
    if (flooded) *flooded = det.lastFrameFlooded();
    return {out, out + n};
}

// Distance from (x, y) to the nearest of the spots; 99 when there is none within 3 px.
inline double nearest(const std::vector<tavori::irl::Spot>& spots, double x, double y) {
    double best = 99;
    for (const auto& sp : spots) best = std::min(best, std::hypot(sp.x - x, sp.y - y));
    return best > 3 ? 99 : best;
}


// The virtual camera: a homography from the filmed screen rectangle onto undistorted camera
// positions, then radial distortion about the image centre. The rectangle's outer corners
// (-0.5,-0.5), (W-0.5,-0.5), (W-0.5,H-0.5), (-0.5,H-0.5) land on Corners (TL, TR, BR, BL).
struct VirtualCamera {
    double W = 1920, H = 1080;
    int camW = 640, camH = 480;
    double corners[8] = {70, 55, 575, 62, 590, 428, 52, 418};
    double K1 = -0.08, K2 = 0;
    double bow = 0;  // camera pixels by which a screen that is not flat bulges at its middle

    void project(double sx, double sy, double& cx, double& cy) const {
        // The unit square onto the corner quadrilateral, in closed form.
        const double* p = corners;
        const double ex = p[0] - p[2] + p[4] - p[6], ey = p[1] - p[3] + p[5] - p[7];
        const double dx1 = p[2] - p[4], dx2 = p[6] - p[4], dy1 = p[3] - p[5], dy2 = p[7] - p[5];
        const double g = (ex * dy2 - dx2 * ey) / (dx1 * dy2 - dx2 * dy1), h = (dx1 * ey - ex * dy1) / (dx1 * dy2 - dx2 * dy1);
        const double u = (sx + 0.5) / W, v = (sy + 0.5) / H, w = g * u + h * v + 1;
        const double ux = ((p[2] - p[0] + g * p[2]) * u + (p[6] - p[0] + h * p[6]) * v + p[0]) / w;
        const double uy = ((p[3] - p[1] + g * p[3]) * u + (p[7] - p[1] + h * p[7]) * v + p[1]) / w;
        const double c0 = (camW - 1) / 2.0, c1 = (camH - 1) / 2.0;
        const double r = std::hypot(ux - c0, uy - c1) / (camW / 2.0);
        const double f = 1 + K1 * r * r + K2 * r * r * r * r;
        cx = c0 + (ux - c0) * f;
        cy = c1 + (uy - c1) * f + bow * std::sin(3.141592653589793 * (sx + 0.5) / W) *
                                      std::sin(3.141592653589793 * (sy + 0.5) / H);
    }

    // The record a calibration would store: each target's camera position rounded to the pixel.
    _SCalibration calibration(int n) const {
        _SCalibration cal{};
        cal.lWinWidth = static_cast<uint32_t>(W);
        cal.lWinHeight = static_cast<uint32_t>(H);
        cal.lPtCount = static_cast<uint32_t>(n * n);
        for (int i = 0; i < n * n; ++i) {
            const auto t = target(n, i / n, i % n);
            double cx, cy;
            project(t.first, t.second, cx, cy);
            cal.x[i] = static_cast<uint32_t>(std::lround(cx));
            cal.y[i] = static_cast<uint32_t>(std::lround(cy));
        }
        return cal;
    }

    // Grid target of cell (row, col), as the calibration dialogs place it.
    std::pair<int, int> target(int n, int row, int col) const {
        const unsigned u = static_cast<unsigned>(W) * 10 / (8 * n - 6);
        const unsigned v = static_cast<unsigned>(H) * 10 / (8 * n - 6);
        return {static_cast<int>(0.1 * u + 0.8 * (col * u)), static_cast<int>(0.1 * v + 0.8 * (row * v))};
    }
};

// A detector handle calibrated from the virtual camera and run past its start frames on dark
// frames, with a 640 x 480 frame to show spots in.
struct Calibrated {
    VirtualCamera cam;
    HMULTIIRLIGHT h = IRLCreate();
    Frame f{640, 480};
    explicit Calibrated(double k1 = VirtualCamera{}.K1) {
        cam.K1 = k1;
        const _SCalibration cal = cam.calibration(5);
        const _SImgPara para{640, 480, 0, 95, 50};
        IRLSetConfig(h, &cal);
        IRLSetImgConfig(h, &para);
        _SDetectPoint pt;
        for (int i = 0; i < 50; ++i) IRLFindMostLight(h, show({}), &pt);
    }
    ~Calibrated() { IRLUninit(h); }
    Calibrated(const Calibrated&) = delete;
    Calibrated& operator=(const Calibrated&) = delete;
    SCapFrame* show(std::vector<Spot> spots, double noise = 0) {
        Scene s;
        s.noise = noise;
        s.spots = std::move(spots);
        render(f, s);
        return f.get();
    }
    // A pen at a screen pixel, filmed by the virtual camera.
    SCapFrame* penAt(double sx, double sy, double noise = 0) {
        double cx, cy;
        cam.project(sx, sy, cx, cy);
        return show({{cx, cy, 1.4, 500}}, noise);
    }
};

}  // namespace synth

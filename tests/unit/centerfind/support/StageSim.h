// The automatic calibration run end to end without Windows: the shipping stage machine on a
// simulated clock at the camera's frame rate, a camera that films the pattern as it was shown a
// couple of frames earlier, and the real centre finder.
#pragma once
#include <cmath>
#include <vector>

#include "CenterFind.h"
#include "SyntheticView.h"
#include "calibration/AutoCalibStages.h"

namespace tavori::cftest {

constexpr uint32_t kScreenW = 1920, kScreenH = 1080;

struct Scene {
    vcam::Config cam;
    AutoCalibSettings settings;
    Extras always;            // present in every frame
    Extras later;             // present from stage 1 on
    bool penInBlack = false;  // the pen is lit while the black screen is captured
};

struct RunResult {
    bool finished = false;
    uint32_t elapsedMs = 0;  // from the start to the outcome
    double mean = 0, max = 0;  // centre errors, camera pixels
};

class SimHost : public AutoCalibHost {
public:
    SimHost(const Scene& scene) : scene_(scene), view_(scene.cam) {}
    uint32_t Now() override { return now; }
    int FindCentres(int stage, int mode, const uint8_t*, double* points, int* type) override {
        // The frame shows what the screen showed a latency ago: a frame or two of exposure and
        // transfer, plus up to 50 ms more as with a camera that refreshes its view at 20 Hz.
        latency_ = (latency_ * 1103515245u + 12345u) & 0x7FFFFFFFu;
        const uint32_t latency = 25 + latency_ % 50;
        PatternSquare shown;
        for (const auto& d : drawn)
            if (d.first + latency <= now) shown = d.second;
        std::vector<Square> squares;
        if (shown.lit) squares.push_back({double(shown.left), double(shown.top), double(shown.size)});
        Extras e = scene_.always;
        if (stage == 0 && scene_.penInBlack) e.penX = 1500, e.penY = 800;
        if (stage > 0 && scene_.later.spotX >= 0) e.spotX = scene_.later.spotX, e.spotY = scene_.later.spotY,
                                                  e.spotLevel = scene_.later.spotLevel;
        if (stage > 0 && scene_.later.penX >= 0) e.penX = scene_.later.penX, e.penY = scene_.later.penY;
        frame_.resize(static_cast<size_t>(kStride * kH));
        view_.Render(squares, e, frame_.data());
        return Calibration_Point(stage, mode, frame_.data(), points, type);
    }
    void Draw(const PatternSquare& sq) override { drawn.push_back({now, sq}); }
    void NextExposure(int32_t exposure) override { view_.SetExposure(exposure); }
    void Trace(const char*) override {}

    SyntheticView& View() { return view_; }
    uint32_t now = 1000;
    std::vector<std::pair<uint32_t, PatternSquare>> drawn;

private:
    uint32_t latency_ = 1;
    Scene scene_;
    SyntheticView view_;
    std::vector<uint8_t> frame_;
};

inline RunResult RunAutoCalib(Scene scene, uint32_t W = kScreenW, uint32_t H = kScreenH) {
    scene.cam.rect[2] = static_cast<int32_t>(W);
    scene.cam.rect[3] = static_cast<int32_t>(H);
    scene.cam.hasScreenRect = true;
    SimHost host(scene);
    AutoCalibStages stages(host);
    stages.SetScreen(W, H);
    const uint32_t start = host.now;
    stages.Start(scene.settings);
    const uint8_t token = 0;  // frames are rendered only when the finder asks for them
    RunResult r;
    const double period = 1000.0 / (scene.settings.frames > 0 ? scene.settings.frames : 60);
    for (int k = 1; k < 20000; ++k) {
        host.now = start + static_cast<uint32_t>(k * period);
        const FrameOutcome o = stages.OnFrame(scene.settings, &token);
        if (o == FrameOutcome::Cancelled) break;
        if (o != FrameOutcome::Finished) continue;
        r.finished = true;
        const int count = stages.FinishedCount(), n = count == 25 ? 5 : 2;
        for (int i = 0; i < count; ++i) {
            int32_t gx, gy;
            AutoCalibGridPoint(W, H, n, i / n, i % n, gx, gy);
            double tx, ty;
            host.View().Truth(gx, gy, tx, ty);  // the grid target itself
            // Type 1 lists the bottom row first; positions put pixel edges at whole numbers.
            const double* p = stages.Points() + 2 * ((n - 1 - i / n) * n + i % n);
            const double e = stages.Type() == 1 ? std::hypot(p[0] - 0.5 - tx, p[1] - 0.5 - ty) : 1e9;
            r.mean += e / count;
            r.max = std::max(r.max, e);
        }
        break;
    }
    r.elapsedMs = host.now - start;
    return r;
}

}  // namespace tavori::cftest

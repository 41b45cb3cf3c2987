// The drift watch's compare against the detector, on the virtual camera's frame of a wall around
// the screen: one compare every DriftWatch::kCheckMs, spread over the frames in between.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "FixedLights.h"
#include "MultiIRLight.h"
#include "SceneDrift.h"
#include "VcamModel.h"
#include "capture/DriftWatch.h"
#include "cpu_path.h"
#include "mapping.h"
#include "summary.h"

namespace {
constexpr int kW = 1024, kH = 768;

struct Scene {
    tavori::vcam::Config camera;
    _SCalibration cal{};
    SCapFrame still{}, knocked{};  // the second with the view 3 pixels off and a pen

    Scene() {
        camera.rect[2] = kW, camera.rect[3] = kH;
        camera.room = true;
        tavori::vcam::ScreenImage slide;
        slide.Resize(kW, kH);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) slide.Row(y)[x] = static_cast<uint8_t>((x / 128 + y / 96) % 3 ? 200 : 30);
        tavori::vcam::PenState pen;
        Film(camera, slide, pen, still);
        pen.count = 1;
        pen.pens[0] = {400, 300, 1.5, 1};
        Film(tavori::vcam::Shifted(camera, 3, 0, 0), slide, pen, knocked);
        tavori::vcam::LensModel lens;
        lens.Init(camera);
        cal.lWinWidth = kW, cal.lWinHeight = kH, cal.lPtCount = 25, cal.lType = 1;
        for (int i = 0; i < 25; ++i) {
            int32_t sx = 0, sy = 0;
            double cx = 0, cy = 0;
            tavori::irl::gridPoint(kW, kH, 5, i / 5, i % 5, sx, sy);
            lens.Project(sx, sy, cx, cy);
            cal.x[i] = static_cast<uint32_t>(std::lround(cx)), cal.y[i] = static_cast<uint32_t>(std::lround(cy));
        }
    }
    ~Scene() {
        SCapFrameFree(&still);
        SCapFrameFree(&knocked);
    }
    static void Film(const tavori::vcam::Config& c, const tavori::vcam::ScreenImage& slide,
                     const tavori::vcam::PenState& pen, SCapFrame& f) {
        tavori::vcam::Composer comp;
        comp.Configure(c);
        comp.Film(&slide);
        SCapFrameCreate(&f, static_cast<uint32_t>(c.width), static_cast<uint32_t>(c.height), nullptr);
        comp.Frame(pen, f.pData);
    }
};

const Scene& TheScene() {
    static const Scene scene;
    return scene;
}

void DriftCheck(benchmark::State& state) {
    const Scene& s = TheScene();
    tavori::irl::SceneReference ref;
    if (!tavori::irl::MakeSceneReference(s.still, s.cal, ref)) return state.SkipWithError("no reference");
    double dx = 0;
    for (auto _ : state) {
        const tavori::irl::SceneShift shift = tavori::irl::MeasureSceneShift(ref, s.knocked);
        dx = shift.dx;
        benchmark::DoNotOptimize(shift);
    }
    if (std::fabs(dx - 3) > 0.5) state.SkipWithError("the shift was not found");
}

// The listener's call on every frame, on the same frame.
void DriftDetector(benchmark::State& state) {
    const Scene& s = TheScene();
    HMULTIIRLIGHT h = IRLCreate();
    IRLSetConfig(h, &s.cal);
    _SDetectPoint pts[64];
    int n = 0;
    for (int k = 0; k < 60; ++k) IRLFindWinPoint(h, &s.still, pts, 64);  // the start's learning, without the pen
    for (auto _ : state) {
        n = IRLFindWinPoint(h, &s.knocked, pts, 64);
        benchmark::DoNotOptimize(pts);
    }
    IRLUninit(h);
    if (n < 1) state.SkipWithError("the pen was not found");
}

BENCHMARK(DriftCheck)->Name("drift/Check/640x480");
BENCHMARK(DriftDetector)->Name("drift/FindWinPoint/640x480");
}  // namespace

TAVORI_BENCH_REPORT(driftReport) {
    const double check = bench::nsPerIteration("drift/Check/640x480");
    const double detect = bench::nsPerIteration("drift/FindWinPoint/640x480");
    if (check <= 0 || detect <= 0) return;
    const std::string path = std::string("detector path ") + tavori::irl::cpuPathName(tavori::irl::cpuPath());
    bench::record("drift", "one compare 640x480", check / 1000, "us", check / detect, "detector call, one frame", path);
    for (int fps : {60, 30}) {
        const double frames = std::max<double>(DriftWatch::kCheckMs * fps / 1000.0, DriftWatch::kCheckFrames);
        bench::record("drift", "compare per frame at " + std::to_string(fps) + " fps (one every " +
                                   std::to_string(static_cast<int>(frames / fps)) + " s)", check / frames / 1000,
                      "us", check / frames / detect, "detector call, same frame (target < 0.05)", path);
    }
}

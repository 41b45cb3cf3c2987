// Centre finder: one stage-2 call on a 640x480 frame against one read of the frame, and the
// accuracy and time to the result of whole simulated runs through the stage machine.
#if __has_include("StageSim.h")

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "StageSim.h"
#include "summary.h"

namespace {

using namespace tavori;
using namespace tavori::cftest;

std::vector<uint8_t> Frame(SyntheticView& view, const std::vector<Square>& squares) {
    std::vector<uint8_t> f(static_cast<size_t>(kStride * kH));
    view.Render(squares, {}, f.data());
    return f;
}

// Brings the finder into stage 2 and returns frames of the first two grid rows (of the first
// corner for four points): with them it keeps labelling and fitting but never has the whole grid,
// so every call does the full work.
std::vector<std::vector<uint8_t>> PrepareStageTwo(int cells, int count = 25) {
    const int mode = count == 4 ? 5 : 25;
    vcam::Config c;
    c.hasScreenRect = true;
    c.rect[2] = kScreenW;
    c.rect[3] = kScreenH;
    SyntheticView view(c);
    double points[50];
    int type = 0;
    for (int i = 0; i < 8 && Calibration_Point(0, mode, Frame(view, {}).data(), points, &type) != 1; ++i) {
    }
    for (int i = 0; i < 12; ++i) {
        const PatternSquare s = AutoCalibPattern(1, i, count, kScreenW, kScreenH);
        if (Calibration_Point(1, mode, Frame(view, {{double(s.left), double(s.top), double(s.size)}}).data(), points,
                              &type) == 2)
            break;
    }
    std::vector<std::vector<uint8_t>> frames;
    for (int k = 0; k < cells; ++k) {
        const PatternSquare s = AutoCalibPattern(2, k, count, kScreenW, kScreenH);
        frames.push_back(Frame(view, {{double(s.left), double(s.top), double(s.size)}}));
    }
    return frames;
}

void StageTwoCall(benchmark::State& state) {
    const auto frames = PrepareStageTwo(static_cast<int>(state.range(0)));
    double points[50];
    int type = 0;
    size_t k = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(Calibration_Point(2, 25, frames[k].data(), points, &type));
        k = (k + 1) % frames.size();
    }
}
BENCHMARK(StageTwoCall)->Name("centerfind/Stage2Call/640x480/cells")->Arg(1)->Arg(10)->Unit(benchmark::kMicrosecond);

// The four-point pattern's finder is called at every frame.
void FourPointCall(benchmark::State& state) {
    const auto frames = PrepareStageTwo(1, 4);
    double points[50];
    int type = 0;
    for (auto _ : state) benchmark::DoNotOptimize(Calibration_Point(2, 5, frames[0].data(), points, &type));
}
BENCHMARK(FourPointCall)->Name("centerfind/Stage2Call/640x480/four-point")->Unit(benchmark::kMicrosecond);

void FrameRead(benchmark::State& state) {
    std::vector<uint8_t> f(static_cast<size_t>(kStride * kH), 7);
    for (auto _ : state) {
        uint64_t sum = 0;
        for (size_t i = 0; i < f.size(); i += 8) {
            uint64_t w;
            std::memcpy(&w, f.data() + i, 8);
            sum += w;
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(FrameRead)->Name("centerfind/FrameRead/640x480")->Unit(benchmark::kMicrosecond);

}  // namespace

TAVORI_BENCH_REPORT(centerfindReport) {
    const std::string area = "centre finder";
    const double read = bench::nsPerIteration("centerfind/FrameRead/640x480");
    const double scan = bench::nsPerIteration("centerfind/Stage2Call/640x480/cells/1");
    const double full = bench::nsPerIteration("centerfind/Stage2Call/640x480/cells/10");
    if (read > 0) bench::record(area, "one read of a 640x480 frame", read / 1000, "us");
    if (scan > 0)
        bench::record(area, "stage-2 call, frame scan only", scan / 1000, "us", read > 0 ? scan / read : -1,
                      "one read of the frame");
    const double four = bench::nsPerIteration("centerfind/Stage2Call/640x480/four-point");
    if (four > 0)
        bench::record(area, "stage-2 call, four-point pattern", four / 1000, "us", read > 0 ? four / read : -1,
                      "one read of the frame", "one call per frame");
    if (full > 0)
        bench::record(area, "stage-2 call, labelling and fit of 10 sightings", full / 1000, "us",
                      read > 0 ? full / read : -1, "one read of the frame", "at most one call per 180 ms");
    // Whole runs on frames with exact ground truth, through the shipping gate and timing.
    for (double k1 : {-0.08, -0.2, 0.0}) {
        Scene s{};
        s.cam.k1 = k1;
        s.settings.setPtCount = k1 == 0 ? 4 : 25;
        const RunResult r = RunAutoCalib(s);
        const std::string name = (k1 == 0 ? "simulated run, four points, K1 " : "simulated run, K1 ") + std::to_string(k1).substr(0, 5);
        if (!r.finished) {
            bench::note(area, name + ": no result");
            continue;
        }
        bench::record(area, name + ": centre error mean", r.mean, "px");
        bench::record(area, name + ": centre error max", r.max, "px");
        bench::record(area, name + ": time to the result", r.elapsedMs, "ms", -1, "",
                      k1 == 0 ? "first attempt lasts 2000 ms" : "first attempt lasts 6000 ms");
    }
}

#endif

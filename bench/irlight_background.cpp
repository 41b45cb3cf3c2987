// Cost of the listener's background step on a room frame (faint white content, a lamp, a pen),
// against the full-frame rule it replaced: every lit pixel of the frame minus the whole snapshot.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <vector>

#include "capture/BackgroundSubtraction.h"
#include "summary.h"
#include "synth.h"

namespace {

constexpr uint32_t kW = 640, kH = 480;

synth::Scene room(bool pen) {
    synth::Scene s;
    s.background = 12;
    s.noise = 2;
    s.areas = {{0, 0, kW / 2.0, kH, 60}};
    s.spots = {{500.3, 90.6, 2.5, 900}};
    if (pen) s.spots.push_back({200.4, 300.2, 1.5, 700});
    return s;
}

struct Frames {
    synth::Frame snapshot{kW, kH}, master{kW, kH}, work{kW, kH};
    Frames() {
        synth::render(snapshot, room(false));
        synth::render(master, room(true));
    }
    void restore() { std::memcpy(work.get()->pData, master.get()->pData, master.get()->nSize); }
};

// The rule as it was: every pixel of the frame is looked at.
void FullFrameRule(const uint8_t* snapshot, SCapFrame& frame) {
    const uint32_t stride = SCapFrameStride(frame.nWidth);
    for (uint32_t y = 0; y < frame.nHeight; ++y) {
        uint8_t* row = frame.pData + static_cast<size_t>(y) * stride;
        const uint8_t* back = snapshot + static_cast<size_t>(y) * stride;
        for (uint32_t x = 0; x < frame.nWidth * 3; x += 3)
            if (row[x] > 180 && row[x + 1] > 180 && row[x + 2] > 180)
                for (uint32_t c = x; c < x + 3; ++c) row[c] = static_cast<uint8_t>(row[c] > back[c] ? row[c] - back[c] : 0);
    }
}

// Each iteration restores the frame (the step changes it) and times the step alone.
template <class Step>
void TimeStep(benchmark::State& state, Frames& f, Step step) {
    for (auto _ : state) {
        f.restore();
        const auto t0 = std::chrono::steady_clock::now();
        step();
        const auto t1 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(f.work.get()->pData);
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
    }
}

void Before(benchmark::State& state) {
    Frames f;
    TimeStep(state, f, [&] { FullFrameRule(f.snapshot.get()->pData, *f.work.get()); });
}

void After(benchmark::State& state) {
    Frames f;
    BackgroundLights lights;
    if (!lights.Take(*f.snapshot.get(), 0)) state.SkipWithError("no snapshot");
    TimeStep(state, f, [&] { lights.Subtract(*f.work.get(), 16); });
}

BENCHMARK(Before)->Name("background/FullFrameRule/640x480")->UseManualTime();
BENCHMARK(After)->Name("background/LitPlaces/640x480")->UseManualTime();

}  // namespace

TAVORI_BENCH_REPORT(backgroundReport) {
    const double before = bench::nsPerIteration("background/FullFrameRule/640x480/manual_time");
    const double after = bench::nsPerIteration("background/LitPlaces/640x480/manual_time");
    if (before <= 0 || after <= 0) return;
    bench::record("background", "step 640x480 (lit places of the snapshot)", after / 1000, "us", after / before,
                  "full-frame rule");
    bench::record("background", "step 640x480 (full-frame rule)", before / 1000, "us");
}

// Virtual camera: composing one delivered frame (noise and pens on the filmed view) against a
// plain copy of a frame of the same size, and filming a desktop copy through the lens (done about
// 20 times a second on the camera's desktop thread, not per frame; a copy like the last is skipped).
#if __has_include("VcamModel.h")

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "VcamModel.h"
#include "summary.h"

namespace {

using namespace tavori::vcam;

Config BenchConfig() {
    Config c;
    c.hasScreenRect = true;
    c.rect[2] = 1920;
    c.rect[3] = 1080;
    return c;  // every other value at its default: 640 x 480, noise 2, K1 -0.08
}

ScreenImage Desktop(const Config& c) {
    ScreenImage s;
    s.Resize(c.rect[2], c.rect[3]);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) s.Row(y)[x] = static_cast<uint8_t>((x / 40 + y / 40) % 2 ? 255 : 20);
    return s;
}

void Compose(benchmark::State& state) {
    const Config c = BenchConfig();
    Composer comp;
    if (!comp.Configure(c)) {
        state.SkipWithError("configuration failed");
        return;
    }
    const ScreenImage desk = Desktop(c);
    PenState pens;
    pens.count = static_cast<int>(state.range(0));
    for (int k = 0; k < pens.count; ++k) pens.pens[k] = Pen{300.0 + 150 * k, 200.0 + 90 * k, 1.5, 1.0};
    std::vector<uint8_t> out(comp.FrameBytes());
    comp.Film(&desk);
    for (auto _ : state) {
        comp.Frame(pens, out.data());
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(out.size()));
}
BENCHMARK(Compose)->Name("vcam/Compose/640x480/pens")->Arg(1)->Arg(8)->Unit(benchmark::kMicrosecond);

// Arg 1: every copy differs from the last (a moving desktop); 0: the same copy again.
void Film(benchmark::State& state) {
    const Config c = BenchConfig();
    Composer comp;
    if (!comp.Configure(c)) {
        state.SkipWithError("configuration failed");
        return;
    }
    ScreenImage desk[2] = {Desktop(c), Desktop(c)};
    desk[1].Row(c.rect[3] / 2)[c.rect[2] / 2] ^= 0xFF;
    int k = 0;
    for (auto _ : state) {
        comp.Film(&desk[k]);
        k ^= static_cast<int>(state.range(0));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Film)->Name("vcam/Film/1920x1080to640x480/changed")->Arg(1)->Arg(0)->Unit(benchmark::kMicrosecond);

void FrameCopy(benchmark::State& state) {
    std::vector<uint8_t> src(640 * 3 * 480, 7), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(src.size()));
}
BENCHMARK(FrameCopy)->Name("vcam/FrameCopy/640x480")->Unit(benchmark::kMicrosecond);

void Configure(benchmark::State& state) {
    const Config c = BenchConfig();
    for (auto _ : state) {
        Composer comp;
        benchmark::DoNotOptimize(comp.Configure(c));
    }
}
BENCHMARK(Configure)->Name("vcam/Configure/640x480")->Unit(benchmark::kMillisecond);

}  // namespace

TAVORI_BENCH_REPORT(vcamComposeReport) {
    const std::string area = "virtual camera";
    const double copy = bench::nsPerIteration("vcam/FrameCopy/640x480");
    for (const char* pens : {"1", "8"}) {
        const double t = bench::nsPerIteration(std::string("vcam/Compose/640x480/pens/") + pens);
        if (t <= 0) continue;
        bench::record(area, std::string("compose 640x480, ") + pens + " pen(s)", t / 1000, "us",
                      copy > 0 ? t / copy : -1, "memcpy of the frame", "budget: well under 1000 us");
    }
    if (copy > 0) bench::record(area, "memcpy 640x480 frame", copy / 1000, "us");
    for (const char* changed : {"1", "0"}) {
        const double film = bench::nsPerIteration(std::string("vcam/Film/1920x1080to640x480/changed/") + changed);
        if (film > 0)
            bench::record(area, std::string("film 1920x1080 desktop into 640x480 view, ") + (*changed == '1' ? "changed" : "unchanged"),
                          film / 1000, "us", copy > 0 ? film / copy : -1, "memcpy of the frame", "desktop thread, about 20 Hz");
    }
    const double cfg = bench::nsPerIteration("vcam/Configure/640x480");
    if (cfg > 0) bench::record(area, "configure (pixel footprints) 640x480", cfg / 1e6, "ms");
}

#endif

// Detection cost, against the cost of reading the frame once (the memory floor), in cache and out.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "MultiIRLight.h"
#include "byte_max.h"
#include "detector.h"
#include "scenes.h"
#include "summary.h"
#include "synth.h"

#ifdef TAVORI_HAVE_OPENCV
#include <opencv2/imgproc.hpp>
#endif
#if defined(__SSE2__)
#include <immintrin.h>
#endif

namespace {

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{320, 240}, {640, 480}, {1280, 720}};
constexpr int kManyPens = 32;

std::string label(const Size& s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }

// A realistic frame: dim noisy background, faint projected content, two pens.
std::unique_ptr<synth::Frame> realisticFrame(const Size& s) {
    auto f = std::make_unique<synth::Frame>(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    synth::render(*f, bench::twoPenScene(s.w, s.h));
    return f;
}

// Out of cache: the frame's lines are flushed before every iteration, outside the timing, as a
// frame freshly written by the camera driver would arrive.
void evict(const synth::Frame& f) {
#if defined(__SSE2__)
    const uint8_t* p = f.get()->pData;
    for (size_t i = 0; i < f.get()->nSize; i += 64) _mm_clflush(p + i);
    _mm_mfence();
#else
    (void)f;
#endif
}

// Which detector path ran: TAVORI_CPU_PATH picks a narrower one than the widest the CPU offers.
std::string pathNote() {
    using namespace tavori::irl;
    std::string note = std::string("detector path: ") + cpuPathName(cpuPath()) + " (this CPU offers up to " +
                       cpuPathName(widestCpuPath());
    CpuPath asked;
    if (const char* env = std::getenv("TAVORI_CPU_PATH"); env && !cpuPathNamed(env, asked))
        note += std::string("; TAVORI_CPU_PATH=") + env + " names no path: portable, sse2, avx2 or avx512";
    return note + ")";
}

// A figure against its target, as the report prints it.
std::string verdict(bool met, const std::string& target) { return (met ? "met: " : "MISSED: ") + target; }

// The memory floor: the fastest read of every byte the detector's path can do (its widest vector
// max, with aligned loads). A path is held to its own floor: a CPU with only SSE2 has no wider read.
void MemoryFloor(benchmark::State& state, Size s, bool cold) {
    const auto f = realisticFrame(s);
    const tavori::irl::ByteMaxFn read = tavori::irl::byteMax(tavori::irl::cpuPath());
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evict(*f);
            state.ResumeTiming();
        }
        benchmark::DoNotOptimize(read(f->get()->pData, f->get()->nSize));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f->get()->nSize);
}

// The detector's search reads every second row; out of cache a row shares no line with the next,
// so this shows what skipping rows saves when the frame comes from memory.
void SearchEvenRows(benchmark::State& state, Size s) {
    const auto f = realisticFrame(s);
    const tavori::irl::RowMaxFn read = tavori::irl::rowMax();
    const auto rows = static_cast<std::size_t>(s.h + 1) / 2, n = 3 * static_cast<std::size_t>(s.w);
    std::vector<uint8_t> out(rows);
    std::vector<uint64_t> blocks(rows * tavori::irl::blockWords(n));
    std::vector<uint8_t> scratch(tavori::irl::rowScratchBytes(n));
    for (auto _ : state) {
        state.PauseTiming();
        evict(*f);
        state.ResumeTiming();
        read(f->get()->pData, 2 * static_cast<std::ptrdiff_t>(f->stride()), n, static_cast<int32_t>(rows),
             tavori::irl::DetectParams{}.threshold / tavori::irl::SpotDetector::kSearchDivisor, out.data(), blocks.data(),
             scratch.data());
        benchmark::DoNotOptimize(out.data());
    }
}

// Times detect() on the frame, which must show `pens` pens.
void timeDetect(benchmark::State& state, const synth::Frame& f, Size s, int pens, bool cold) {
    tavori::irl::SpotDetector det;
    det.configure(s.w, s.h);
    const tavori::irl::ImageView view{f.get()->pData, s.w, s.h, static_cast<std::ptrdiff_t>(f.stride())};
    tavori::irl::Spot out[tavori::irl::SpotDetector::kMaxSpots];
    int n = 0;
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evict(f);
            state.ResumeTiming();
        }
        n = det.detect(view, tavori::irl::DetectParams{}, out);
        benchmark::DoNotOptimize(out);
    }
    if (n != pens) state.SkipWithError("not every pen found");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f.get()->nSize);
}

void DetectCore(benchmark::State& state, Size s, bool cold) { timeDetect(state, *realisticFrame(s), s, 2, cold); }

// Many pens: the cost of each spot's refinement over the two-pen frame. Eight pens share a band of
// rows, and the screening of its lit rows; apart, each pen has rows of its own, as one or two
// pens in use have.
void DetectManyPens(benchmark::State& state, Size s, bool apart) {
    synth::Frame f(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    synth::Scene sc;
    sc.background = 12;
    sc.gradientX = 20.0 / s.w;
    sc.noise = 2;
    for (int k = 0; k < kManyPens; ++k)
        sc.spots.push_back({s.w * (0.06 + 0.11 * (k % 8)) + 0.3,
                            apart ? s.h * (0.03 + 0.94 * k / kManyPens) + 0.6 : s.h * (0.15 + 0.23 * (k / 8)) + 0.6,
                            1.2 + 0.1 * (k % 4), 400.0 + 50 * (k % 5)});
    synth::render(f, sc);
    timeDetect(state, f, s, kManyPens, false);
}

// The whole call the listener makes every frame: detection, tracking and mapping.
void FindWinPoint(benchmark::State& state, Size s) {
    const auto f = realisticFrame(s);
    HMULTIIRLIGHT h = IRLCreate();
    bench::calibrate(h, s.w, s.h);
    _SDetectPoint pts[64];
    for (int i = 0; i < 60; ++i) IRLFindWinPoint(h, f->get(), pts, 64);  // past the learning window
    for (auto _ : state) benchmark::DoNotOptimize(IRLFindWinPoint(h, f->get(), pts, 64));
    IRLUninit(h);
}

#ifdef TAVORI_HAVE_OPENCV
void OpenCvPeer(benchmark::State& state, Size s) {
    const auto f = realisticFrame(s);
    const cv::Mat bgr(s.h, s.w, CV_8UC3, f->get()->pData, f->stride());
    cv::Mat grey, bin;
    std::vector<std::vector<cv::Point>> contours;
    for (auto _ : state) {
        cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
        cv::threshold(grey, bin, 219, 255, cv::THRESH_BINARY);
        cv::findContours(bin, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
        double cx = 0;
        for (const auto& c : contours) {
            const cv::Moments m = cv::moments(c);
            if (m.m00 > 0) cx += m.m10 / m.m00;
        }
        benchmark::DoNotOptimize(cx);
    }
}
#endif

const bool registered = [] {
    for (const Size& s : kSizes) {
        benchmark::RegisterBenchmark(("irlight/MemoryFloor/" + label(s)).c_str(), MemoryFloor, s, false);
        benchmark::RegisterBenchmark(("irlight/Detect/" + label(s)).c_str(), DetectCore, s, false);
        benchmark::RegisterBenchmark(("irlight/DetectManyPens/" + label(s)).c_str(), DetectManyPens, s, false);
        benchmark::RegisterBenchmark(("irlight/DetectPensApart/" + label(s)).c_str(), DetectManyPens, s, true);
        benchmark::RegisterBenchmark(("irlight/MemoryFloorCold/" + label(s)).c_str(), MemoryFloor, s, true);
        benchmark::RegisterBenchmark(("irlight/SearchEvenRowsCold/" + label(s)).c_str(), SearchEvenRows, s);
        benchmark::RegisterBenchmark(("irlight/DetectCold/" + label(s)).c_str(), DetectCore, s, true);
        benchmark::RegisterBenchmark(("irlight/FindWinPoint/" + label(s)).c_str(), FindWinPoint, s);
#ifdef TAVORI_HAVE_OPENCV
        benchmark::RegisterBenchmark(("irlight/OpenCvPeer/" + label(s)).c_str(), OpenCvPeer, s);
#endif
    }
    return true;
}();

}  // namespace

TAVORI_BENCH_REPORT(detectionReport) {
    const std::string area = "detection";
    bench::note(area, pathNote());
    bench::note(area, std::string("memory floor: the ") + tavori::irl::cpuPathName(tavori::irl::cpuPath()) +
                          " max over every byte of the frame, aligned loads");
    bench::note(area, "targets on every path: detect <= 1.5x its floor at 640x480 and larger, <= 2x at 320x240; "
                      "a spot <= 1 us; >= 5x the OpenCV peer's speed");
    const double base = bench::nsPerIteration("irlight/Detect/640x480");
    for (const Size& s : kSizes) {
        const double floor = bench::nsPerIteration("irlight/MemoryFloor/" + label(s));
        const double det = bench::nsPerIteration("irlight/Detect/" + label(s));
        const double call = bench::nsPerIteration("irlight/FindWinPoint/" + label(s));
        if (floor <= 0 || det <= 0) continue;
        const double target = s.w * s.h <= 320 * 240 ? 2.0 : 1.5;
        bench::record(area, "detect " + label(s), det / 1000, "us", det / floor, "memory floor",
                      verdict(det / floor <= target, "target <= " + std::to_string(target).substr(0, 3) + "x"));
        if (call > 0) bench::record(area, "IRLFindWinPoint " + label(s), call / 1000, "us", call / floor, "memory floor");
        bench::record(area, "memory floor " + label(s), floor / 1000, "us");
        const double many = bench::nsPerIteration("irlight/DetectManyPens/" + label(s));
        if (many > 0) {
            const double spot = (many - det) / (kManyPens - 2) / 1000;
            bench::record(area, "per-spot cost " + label(s), spot, "us", -1, "",
                          "32 pens against 2; " + verdict(spot <= 1.0, "target <= 1 us"));
        }
        const double apart = bench::nsPerIteration("irlight/DetectPensApart/" + label(s));
        if (apart > 0)
            bench::record(area, "per-spot cost, pens on rows of their own " + label(s), (apart - det) / (kManyPens - 2) / 1000,
                          "us", -1, "", "32 pens against 2, with the screening of their lit rows");
        const double coldFloor = bench::nsPerIteration("irlight/MemoryFloorCold/" + label(s));
        const double coldSearch = bench::nsPerIteration("irlight/SearchEvenRowsCold/" + label(s));
        const double coldDet = bench::nsPerIteration("irlight/DetectCold/" + label(s));
        if (coldFloor > 0 && coldSearch > 0 && coldDet > 0) {
            bench::record(area, "out of cache: memory floor " + label(s), coldFloor / 1000, "us");
            bench::record(area, "out of cache: even rows read " + label(s), coldSearch / 1000, "us", coldSearch / coldFloor,
                          "memory floor out of cache");
            bench::record(area, "out of cache: detect " + label(s), coldDet / 1000, "us", coldDet / coldFloor,
                          "memory floor out of cache");
        }
        if (base > 0) {
            const double perPixel = det / (s.w * s.h), basePerPixel = base / (640.0 * 480.0);
            bench::record(area, "detect per pixel " + label(s), perPixel, "ns/px", perPixel / basePerPixel,
                          "per pixel at 640x480");
        }
#ifdef TAVORI_HAVE_OPENCV
        const double cv = bench::nsPerIteration("irlight/OpenCvPeer/" + label(s));
        if (cv > 0)
            bench::record(area, "OpenCV peer " + label(s), cv / 1000, "us", cv / det, "detect's speed-up",
                          verdict(cv / det >= 5, "target >= 5x"));
#endif
    }
#ifndef TAVORI_HAVE_OPENCV
    bench::note(area, "OpenCV peer unavailable (not installed): no comparison with cvtColor+threshold+findContours+moments");
#endif
}

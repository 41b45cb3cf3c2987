// Detection cost, against the cost of reading the frame once (the memory floor).
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <string>

#include "MultiIRLight.h"
#include "detector.h"
#include "summary.h"
#include "synth.h"

#ifdef TAVORI_HAVE_OPENCV
#include <opencv2/imgproc.hpp>
#endif

namespace {

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{320, 240}, {640, 480}, {1280, 720}};

std::string label(const Size& s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }

// A realistic frame: dim noisy background, faint projected content, two pens.
std::unique_ptr<synth::Frame> realisticFrame(const Size& s) {
    auto f = std::make_unique<synth::Frame>(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    synth::Scene sc;
    sc.background = 12;
    sc.gradientX = 20.0 / s.w;
    sc.noise = 2;
    sc.spots = {{s.w * 0.31 + 0.3, s.h * 0.42 + 0.6, 1.5, 700}, {s.w * 0.72 + 0.1, s.h * 0.65 + 0.45, 1.2, 400}};
    synth::render(*f, sc);
    return f;
}

void MemoryFloor(benchmark::State& state, Size s) {
    const auto f = realisticFrame(s);
    const uint8_t* p = f->get()->pData;
    const size_t n = f->get()->nSize / 8;
    for (auto _ : state) {
        uint64_t sum = 0;
        for (size_t i = 0; i < n; ++i) {
            uint64_t w;
            std::memcpy(&w, p + 8 * i, 8);
            sum += w;
        }
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f->get()->nSize);
}

void DetectCore(benchmark::State& state, Size s) {
    const auto f = realisticFrame(s);
    tavori::irl::SpotDetector det;
    det.configure(s.w, s.h);
    const tavori::irl::ImageView view{f->get()->pData, s.w, s.h, static_cast<std::ptrdiff_t>(f->stride())};
    tavori::irl::Spot out[tavori::irl::SpotDetector::kMaxSpots];
    int n = 0;
    for (auto _ : state) {
        n = det.detect(view, tavori::irl::DetectParams{}, out);
        benchmark::DoNotOptimize(out);
    }
    if (n != 2) state.SkipWithError("expected two pens");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * f->get()->nSize);
}

// The whole call the listener makes every frame: detection, tracking and mapping.
void FindWinPoint(benchmark::State& state, Size s) {
    const auto f = realisticFrame(s);
    HMULTIIRLIGHT h = IRLCreate();
    synth::VirtualCamera cam;
    cam.camW = s.w;
    cam.camH = s.h;
    const double sx = s.w / 640.0, sy = s.h / 480.0;
    for (int i = 0; i < 4; ++i) {
        cam.corners[2 * i] *= sx;
        cam.corners[2 * i + 1] *= sy;
    }
    const _SCalibration cal = cam.calibration(5);
    const _SImgPara para{s.w, s.h, 0, 95, 50};
    IRLSetConfig(h, &cal);
    IRLSetImgConfig(h, &para);
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
        benchmark::RegisterBenchmark(("irlight/MemoryFloor/" + label(s)).c_str(), MemoryFloor, s);
        benchmark::RegisterBenchmark(("irlight/Detect/" + label(s)).c_str(), DetectCore, s);
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
    const double base = bench::nsPerIteration("irlight/Detect/640x480");
    for (const Size& s : kSizes) {
        const double floor = bench::nsPerIteration("irlight/MemoryFloor/" + label(s));
        const double det = bench::nsPerIteration("irlight/Detect/" + label(s));
        const double call = bench::nsPerIteration("irlight/FindWinPoint/" + label(s));
        if (floor <= 0 || det <= 0) continue;
        bench::record(area, "detect " + label(s), det / 1000, "us", det / floor, "memory floor");
        if (call > 0) bench::record(area, "IRLFindWinPoint " + label(s), call / 1000, "us", call / floor, "memory floor");
        bench::record(area, "memory floor " + label(s), floor / 1000, "us");
        if (base > 0) {
            const double perPixel = det / (s.w * s.h), basePerPixel = base / (640.0 * 480.0);
            bench::record(area, "detect per pixel " + label(s), perPixel, "ns/px", perPixel / basePerPixel,
                          "per pixel at 640x480");
        }
#ifdef TAVORI_HAVE_OPENCV
        const double cv = bench::nsPerIteration("irlight/OpenCvPeer/" + label(s));
        if (cv > 0) bench::record(area, "OpenCV peer " + label(s), cv / 1000, "us", det / cv, "detect / OpenCV");
#endif
    }
#ifndef TAVORI_HAVE_OPENCV
    bench::note(area, "OpenCV peer unavailable (not installed): no comparison with cvtColor+threshold+findContours+moments");
#endif
}

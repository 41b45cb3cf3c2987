// The whole frame path, from the camera's own format to the point the window thread takes: pixel
// conversion to BGR24, detection with tracking and mapping, the pen filter and the hand-off. Each
// stage and the whole against a memcpy of the camera's raw frame, the least any frame costs. The
// mouse itself is driven on the window thread under Windows and is measured end to end there.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>
#include <vector>

#include "MultiIRLight.h"
#include "PixelConvert.h"
#include "capture/PointHandoff.h"
#include "output/PointFilter.h"
#include "scenes.h"
#include "summary.h"

namespace {

using tavori::dev::PixelFormat;

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1280, 720}};
struct Format {
    PixelFormat format;
    const char* name;
};
constexpr Format kFormats[] = {{PixelFormat::Yuy2, "YUY2"}, {PixelFormat::Nv12, "NV12"}};

std::string label(const Format& f, const Size& s) {
    return std::string(f.name) + "/" + std::to_string(s.w) + "x" + std::to_string(s.h);
}

// A camera frame in its own format: the realistic scene of the detection bench (dim background,
// two pens) as an infrared camera delivers it, brightness in studio-range luma, neutral chroma.
struct RawFrame {
    std::vector<uint8_t> bytes;
    tavori::dev::SourceImage image;
};
RawFrame rawFrame(const Format& f, const Size& s, bool pens = true) {
    synth::Frame scene(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    synth::render(scene, bench::twoPenScene(s.w, s.h, pens));
    auto luma = [&](int x, int y) { return static_cast<uint8_t>(16 + scene.px(x, y)[1] * 219 / 255); };
    RawFrame r;
    const bool yuy2 = f.format == PixelFormat::Yuy2;
    const ptrdiff_t pitch = yuy2 ? 2 * s.w : s.w;
    r.bytes.assign(static_cast<size_t>(pitch) * s.h * (yuy2 ? 2 : 3) / 2, 128);
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) r.bytes[static_cast<size_t>(y * pitch + (yuy2 ? 2 * x : x))] = luma(x, y);
    tavori::dev::DescribeBuffer(f.format, s.w, s.h, r.bytes.data(), r.bytes.size(), pitch, r.image);
    return r;
}

// The detector calibrated on the virtual camera's grid, past its learning of the fixed lights in
// the picture without pens.
struct Light {
    HMULTIIRLIGHT h;
    explicit Light(const Format& f, const Size& s) : h(IRLCreate()) {
        bench::calibrate(h, s.w, s.h);
        synth::Frame empty(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
        tavori::dev::ConvertToBgr24(rawFrame(f, s, false).image, empty.get()->pData, empty.stride());
        _SDetectPoint pts[64];
        for (int i = 0; i < 60; ++i) IRLFindWinPoint(h, empty.get(), pts, 64);
    }
    ~Light() { IRLUninit(h); }
    Light(const Light&) = delete;
    Light& operator=(const Light&) = delete;
};

void RawCopy(benchmark::State& state, Format f, Size s) {
    const RawFrame raw = rawFrame(f, s);
    std::vector<uint8_t> copy(raw.bytes.size());
    for (auto _ : state) {
        std::memcpy(copy.data(), raw.bytes.data(), raw.bytes.size());
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
}

// Stage: what the detector's frame costs to make from the camera's.
void Convert(benchmark::State& state, Format f, Size s) {
    const RawFrame raw = rawFrame(f, s);
    synth::Frame bgr(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    for (auto _ : state) {
        tavori::dev::ConvertToBgr24(raw.image, bgr.get()->pData, bgr.stride());
        benchmark::DoNotOptimize(bgr.get()->pData);
        benchmark::ClobberMemory();
    }
}

// The whole path; `convert` false leaves the conversion out (the frame as the detector wants it).
void Path(benchmark::State& state, Format f, Size s, bool convert) {
    const RawFrame raw = rawFrame(f, s);
    synth::Frame bgr(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    tavori::dev::ConvertToBgr24(raw.image, bgr.get()->pData, bgr.stride());
    Light light(f, s);
    CPenFilters filters;
    const PointFilterSettings settings;
    _SDetectPoint pts[64];
    uint32_t now = 0;
    int found = 0;
    for (auto _ : state) {
        if (convert) tavori::dev::ConvertToBgr24(raw.image, bgr.get()->pData, bgr.stride());
        found = IRLFindWinPoint(light.h, bgr.get(), pts, 64);
        filters.Apply(pts, found, now += 16, settings);
        for (int i = 0; i < found; ++i) {
            _SDetectPoint taken;
            benchmark::DoNotOptimize(TakePoint(PublishPoint(pts[i]), taken));
        }
    }
    if (found != 2) state.SkipWithError("not both pens found");
}

const bool registered = [] {
    for (const Size& s : kSizes)
        for (const Format& f : kFormats) {
            benchmark::RegisterBenchmark(("frame/RawCopy/" + label(f, s)).c_str(), RawCopy, f, s);
            benchmark::RegisterBenchmark(("frame/Convert/" + label(f, s)).c_str(), Convert, f, s);
            benchmark::RegisterBenchmark(("frame/AfterConversion/" + label(f, s)).c_str(), Path, f, s, false);
            benchmark::RegisterBenchmark(("frame/Whole/" + label(f, s)).c_str(), Path, f, s, true);
        }
    return true;
}();

}  // namespace

TAVORI_BENCH_REPORT(framePathReport) {
    const std::string area = "frame path";
    bench::note(area, "per frame, two pens: the camera's format to the point the window thread takes, against a "
                      "memcpy of the camera's raw frame");
    for (const Size& s : kSizes)
        for (const Format& f : kFormats) {
            const std::string l = label(f, s);
            const double copy = bench::nsPerIteration("frame/RawCopy/" + l);
            if (copy <= 0) continue;
            bench::record(area, "raw frame memcpy " + l, copy / 1000, "us");
            const char* stages[][2] = {{"Convert", "conversion to BGR24 "},
                                       {"AfterConversion", "detection, mapping, filter, hand-off "},
                                       {"Whole", "whole path "}};
            for (const auto& st : stages) {
                const double t = bench::nsPerIteration(std::string("frame/") + st[0] + "/" + l);
                if (t > 0) bench::record(area, st[1] + l, t / 1000, "us", t / copy, "raw frame memcpy");
            }
        }
}

// Camera pixel conversions to BGR24 at 640 x 480 against a memcpy of the BGR24 frame, the least a
// frame costs on its way to the detector.
#if __has_include("PixelConvert.h")

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "PixelConvert.h"
#include "summary.h"

namespace {

using tavori::dev::PixelFormat;

constexpr int kW = 640, kH = 480;
constexpr size_t kBgrStride = kW * 3;

struct Source {
    PixelFormat format;
    const char* name;
    ptrdiff_t pitch;  // negative: bottom-up, as RGB buffers often come
    bool grey;        // neutral chroma, as an infrared camera sends
    bool vectors = true;  // false: the portable code, the baseline of the vector path
};
constexpr Source kSources[] = {
    {PixelFormat::Yuy2, "YUY2", kW * 2, false},   {PixelFormat::Nv12, "NV12", kW, false},
    {PixelFormat::Rgb32, "RGB32", -kW * 4, false}, {PixelFormat::Rgb24, "RGB24", -kW * 3, false},
    {PixelFormat::Yuy2, "YUY2 grey", kW * 2, true}, {PixelFormat::Nv12, "NV12 grey", kW, true},
    {PixelFormat::Yuy2, "YUY2 grey portable", kW * 2, true, false},
    {PixelFormat::Nv12, "NV12 grey portable", kW, true, false},
};
constexpr int kSourceCount = static_cast<int>(sizeof kSources / sizeof kSources[0]);

void Convert(benchmark::State& state) {
    const Source& s = kSources[state.range(0)];
    const size_t absPitch = static_cast<size_t>(s.pitch < 0 ? -s.pitch : s.pitch);
    std::vector<uint8_t> buffer(absPitch * (kH + kH / 2));
    for (size_t i = 0; i < buffer.size(); ++i) buffer[i] = static_cast<uint8_t>(i * 7 + i / 641);
    if (s.grey && s.format == PixelFormat::Yuy2)
        for (size_t i = 1; i < buffer.size(); i += 2) buffer[i] = 128;
    if (s.grey && s.format == PixelFormat::Nv12) std::memset(buffer.data() + absPitch * kH, 128, absPitch * kH / 2);
    std::vector<uint8_t> out(kBgrStride * kH);
    tavori::dev::SourceImage img;
    if (!tavori::dev::DescribeBuffer(s.format, kW, kH, buffer.data(), buffer.size(), s.pitch, img)) {
        state.SkipWithError("buffer refused");
        return;
    }
    for (auto _ : state) {
        tavori::dev::ConvertToBgr24(img, out.data(), kBgrStride, s.vectors);
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Convert)->Name("pixels/ToBgr24/640x480")->DenseRange(0, kSourceCount - 1)->Unit(benchmark::kMicrosecond);

void Copy(benchmark::State& state) {
    std::vector<uint8_t> src(kBgrStride * kH, 7), dst(src.size());
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), src.size());
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(Copy)->Name("pixels/MemcpyBgr24/640x480")->Unit(benchmark::kMicrosecond);

}  // namespace

TAVORI_BENCH_REPORT(pixelConvertReport) {
    const std::string area = "camera pixel conversion";
    const double copy = bench::nsPerIteration("pixels/MemcpyBgr24/640x480");
    if (copy > 0) bench::record(area, "memcpy 640x480 BGR24 frame", copy / 1000, "us");
    for (int i = 0; i < kSourceCount; ++i) {
        const double t = bench::nsPerIteration("pixels/ToBgr24/640x480/" + std::to_string(i));
        if (t <= 0) continue;
        bench::record(area, std::string(kSources[i].name) + " to BGR24 640x480", t / 1000, "us",
                      copy > 0 ? t / copy : -1, "memcpy of the BGR24 frame", "budget: a small part of a 16 ms frame");
    }
}

#endif

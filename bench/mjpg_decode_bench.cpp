// What an MJPG camera's frame costs to decode, estimated with libjpeg-turbo: the decoder Wine's image
// codecs use, and of the same kind (SIMD Huffman and IDCT) as Windows' own. The frame is the frame
// path bench's infrared picture as such a camera sends it: 4:2:2, quality 85.
#ifdef TAVORI_HAVE_JPEG

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "scenes.h"
#include "summary.h"

namespace {

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1280, 720}};
constexpr double kFramesPerSecond = 60;

std::string label(const Size& s) { return std::to_string(s.w) + "x" + std::to_string(s.h); }

std::vector<uint8_t> encodedFrame(const Size& s) {
    synth::Frame scene(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    synth::render(scene, bench::twoPenScene(s.w, s.h));
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long len = 0;
    jpeg_mem_dest(&c, &out, &len);
    c.image_width = static_cast<JDIMENSION>(s.w);
    c.image_height = static_cast<JDIMENSION>(s.h);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;  // the synthetic frame is grey: channel order does not matter
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 85, TRUE);
    c.comp_info[0].h_samp_factor = 2;  // 4:2:2, as USB cameras send MJPG
    c.comp_info[0].v_samp_factor = 1;
    jpeg_start_compress(&c, TRUE);
    for (int y = 0; y < s.h; ++y) {
        JSAMPROW row = scene.px(0, static_cast<uint32_t>(y));
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> bytes(out, out + len);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

void Decode(benchmark::State& state, Size s) {
    const std::vector<uint8_t> jpeg = encodedFrame(s);
    std::vector<uint8_t> bgr(static_cast<size_t>(s.w) * 3 * s.h);
    for (auto _ : state) {
        jpeg_decompress_struct d{};
        jpeg_error_mgr err{};
        d.err = jpeg_std_error(&err);
        jpeg_create_decompress(&d);
        jpeg_mem_src(&d, jpeg.data(), jpeg.size());
        jpeg_read_header(&d, TRUE);
        d.out_color_space = JCS_RGB;
        jpeg_start_decompress(&d);
        while (d.output_scanline < d.output_height) {
            JSAMPROW row = bgr.data() + static_cast<size_t>(d.output_scanline) * s.w * 3;
            jpeg_read_scanlines(&d, &row, 1);
        }
        jpeg_finish_decompress(&d);
        jpeg_destroy_decompress(&d);
        benchmark::DoNotOptimize(bgr.data());
    }
    state.counters["jpeg bytes"] = static_cast<double>(jpeg.size());
}

const bool registered = [] {
    for (const Size& s : kSizes) benchmark::RegisterBenchmark(("frame/MjpgDecode/" + label(s)).c_str(), Decode, s);
    return true;
}();

}  // namespace

TAVORI_BENCH_REPORT(mjpgReport) {
    const std::string area = "frame path";
    for (const Size& s : kSizes) {
        const double t = bench::nsPerIteration("frame/MjpgDecode/" + label(s));
        const double copy = bench::nsPerIteration("frame/RawCopy/YUY2/" + label(s));
        if (t <= 0) continue;
        bench::record(area, "MJPG decode (libjpeg-turbo) " + label(s), t / 1000, "us", copy > 0 ? t / copy : -1,
                      "raw YUY2 frame memcpy");
        bench::record(area, "MJPG decode share of a core at 60 fps " + label(s), t * kFramesPerSecond / 1e7, "%");
    }
}

#endif

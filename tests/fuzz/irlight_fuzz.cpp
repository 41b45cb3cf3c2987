// Feeds arbitrary frame sizes, frame bytes, image parameters and calibration records to the C
// surface. Everything must be refused or processed without reading out of bounds or producing NaN.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "MultiIRLight.h"

namespace {

struct Input {
    const uint8_t* p;
    size_t n;
    template <class T>
    T take() {
        T v{};
        const size_t k = n < sizeof(T) ? n : sizeof(T);
        std::memcpy(&v, p, k);
        p += k;
        n -= k;
        return v;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Input in{data, size};
    const auto mode = in.take<uint8_t>();
    const auto w = static_cast<uint32_t>(in.take<uint8_t>() % 97);  // small sizes keep runs fast
    const auto h = static_cast<uint32_t>(in.take<uint8_t>() % 73);
    const auto threshold = in.take<int16_t>();
    _SImgPara para = in.take<_SImgPara>();
    if (mode & 1) {  // mostly consistent with the frame, sometimes anything
        para.width = static_cast<int32_t>(w);
        para.height = static_cast<int32_t>(h);
    }
    _SCalibration cal = in.take<_SCalibration>();
    if (mode & 2) {  // a plausible record with fuzzed points
        const uint32_t counts[] = {4, 9, 16, 25, 36};
        cal.lPtCount = counts[cal.lPtCount % 5];
        cal.lWinWidth = 1 + cal.lWinWidth % 4000;
        cal.lWinHeight = 1 + cal.lWinHeight % 3000;
        for (auto& x : cal.x) x %= 128;
        for (auto& y : cal.y) y %= 96;
    }

    HMULTIIRLIGHT d = IRLCreate();
    if (!d) return 0;
    IRLInit(d);
    GreyValue(d, threshold);
    IRLSetCmpPara(d, in.take<uint8_t>());
    if (mode & 4) IRLSetImgConfig(d, &para);
    IRLSetConfig(d, &cal);

    SCapFrame f{};
    // The pixels are the rest of the input, repeated to fill the frame.
    std::vector<uint8_t> pixels(static_cast<size_t>(SCapFrameStride(w)) * h);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = in.n ? in.p[i % in.n] : 0;
    SCapFrameCreate(&f, w, h, pixels.empty() ? nullptr : pixels.data());
    if (mode & 8) f.nSize = f.nSize ? f.nSize - 1 : 0;  // lying size field
    if (mode & 16) f.nWidth += 1;                       // lying width

    _SDetectPoint pts[64];
    for (int frame = 0; frame < 3; ++frame) {
        const int n = IRLFindWinPoint(d, &f, pts, 64);
        if (n < 0 || n > 64) __builtin_trap();
        for (int i = 0; i < n; ++i)
            if (pts[i].x < 0 || pts[i].y < 0) __builtin_trap();
        IRLFindWinPointOne(d, &f, pts);
        if (IRLFindMostLight(d, &f, pts) && (pts[0].x < 0 || pts[0].x >= static_cast<int32_t>(w) || pts[0].y < 0))
            __builtin_trap();
        if (mode & 32) IRLResetEnroll(d);
    }
    if (mode & 16) f.nWidth -= 1;
    SCapFrameFree(&f);
    IRLUninit(d);
    return 0;
}

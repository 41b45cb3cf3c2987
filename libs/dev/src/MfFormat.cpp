#include "MfFormat.h"

#include <mfapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "ComPtr.h"
#include "MfRuntime.h"

namespace tavori::dev {
namespace {

constexpr DWORD kStream = static_cast<DWORD>(MF_SOURCE_READER_FIRST_VIDEO_STREAM);
constexpr double kWantedFps = 60;

struct Known {
    const GUID* subtype;
    const char* name;
    PixelFormat pixels;
    bool decoded;  // the reader decodes it to RGB32 for us
};
const Known kKnown[] = {
    {&MFVideoFormat_YUY2, "YUY2", PixelFormat::Yuy2, false},
    {&MFVideoFormat_NV12, "NV12", PixelFormat::Nv12, false},
    {&MFVideoFormat_RGB24, "RGB24", PixelFormat::Rgb24, false},
    {&MFVideoFormat_RGB32, "RGB32", PixelFormat::Rgb32, false},
    {&MFVideoFormat_MJPG, "MJPG", PixelFormat::Rgb32, true},
};

const Known* Lookup(const GUID& subtype) {
    for (const Known& k : kKnown)
        if (*k.subtype == subtype) return &k;
    return nullptr;
}

struct Candidate {
    DWORD index;
    const Known* known;
    double sizeCost, rateCost;
    size_t order;  // place of the format in kKnown: cheaper conversions first
};

double Fps(IMFMediaType* t) {
    UINT32 num = 0, den = 0;
    if (FAILED(MFGetAttributeRatio(t, MF_MT_FRAME_RATE, &num, &den)) || !num || !den) return 0;
    return static_cast<double>(num) / den;
}

std::vector<Candidate> Candidates(IMFSourceReader* reader, int wantW, int wantH) {
    std::vector<Candidate> out;
    UINT32 firstW = 0, firstH = 0;
    for (DWORD i = 0; i < 1024; ++i) {
        ComPtr<IMFMediaType> t;
        if (FAILED(reader->GetNativeMediaType(kStream, i, t.Put()))) break;
        GUID subtype{};
        UINT32 w = 0, h = 0;
        if (FAILED(t->GetGUID(MF_MT_SUBTYPE, &subtype)) || FAILED(MFGetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, &w, &h)) ||
            !w || !h || w > 16384 || h > 16384)
            continue;
        if (!firstW) firstW = w, firstH = h;
        const Known* k = Lookup(subtype);
        if (!k) continue;
        // Without a requested size the camera's own (its first type's) is the one wanted.
        const double tw = wantW > 0 ? wantW : firstW, th = wantH > 0 ? wantH : firstH;
        const double fps = Fps(t.Get());
        Candidate c{i, k, std::fabs(w - tw) + std::fabs(h - th),
                    fps >= kWantedFps ? (fps - kWantedFps) * 0.01 : kWantedFps - fps,
                    static_cast<size_t>(k - kKnown)};
        out.push_back(c);
    }
    std::stable_sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
        if (a.sizeCost != b.sizeCost) return a.sizeCost < b.sizeCost;
        if (a.rateCost != b.rateCost) return a.rateCost < b.rateCost;
        return a.order < b.order;
    });
    return out;
}

bool RequestOutput(IMFSourceReader* reader, const GUID& subtype) {
    const MfFunctions* mf = MediaFoundation();
    ComPtr<IMFMediaType> out;
    if (!mf || FAILED(mf->CreateMediaType(out.Put()))) return false;
    out->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
    out->SetGUID(MF_MT_SUBTYPE, subtype);
    return SUCCEEDED(reader->SetCurrentMediaType(kStream, nullptr, out.Get()));
}

}  // namespace

bool ReadOutputFormat(IMFSourceReader* reader, StreamFormat& f) {
    ComPtr<IMFMediaType> t;
    GUID subtype{};
    if (FAILED(reader->GetCurrentMediaType(kStream, t.Put())) || FAILED(t->GetGUID(MF_MT_SUBTYPE, &subtype)))
        return false;
    const Known* k = Lookup(subtype);
    UINT32 w = 0, h = 0;
    if (!k || FAILED(MFGetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, &w, &h)) || !w || !h || w > 16384 ||
        h > 16384)
        return false;
    f.pixels = k->pixels;
    f.jpeg = k->decoded;
    f.width = w;
    f.height = h;
    UINT32 s = 0;
    const MfFunctions* mf = MediaFoundation();
    if (SUCCEEDED(t->GetUINT32(MF_MT_DEFAULT_STRIDE, &s)))
        f.stride = static_cast<LONG>(s);
    else if (!mf || FAILED(mf->GetStrideForBitmapInfoHeader(subtype.Data1, w, &f.stride)))
        f.stride = static_cast<LONG>(MinRowBytes(f.pixels, static_cast<int>(w)));
    const double fps = Fps(t.Get());
    if (fps > 0) f.fps = std::clamp(fps, 1.0, 240.0);
    return true;
}

bool NegotiateFormat(IMFSourceReader* reader, int wantW, int wantH, StreamFormat& out) {
    for (const Candidate& c : Candidates(reader, wantW, wantH)) {
        ComPtr<IMFMediaType> native;
        if (FAILED(reader->GetNativeMediaType(kStream, c.index, native.Put())) ||
            FAILED(reader->SetCurrentMediaType(kStream, nullptr, native.Get())))
            continue;
        // MJPG the reader cannot decode stays MJPG: our decoder takes it.
        if (c.known->decoded && !RequestOutput(reader, MFVideoFormat_RGB32) &&
            FAILED(reader->SetCurrentMediaType(kStream, nullptr, native.Get())))
            continue;
        StreamFormat f;
        if (!ReadOutputFormat(reader, f)) continue;
        const double nativeFps = Fps(native.Get());
        if (nativeFps > 0) f.fps = std::clamp(nativeFps, 1.0, 240.0);
        f.native = c.known->name;
        out = f;
        return true;
    }
    // A camera with none of those formats: whatever the reader can turn into RGB32 itself.
    StreamFormat f;
    if (!RequestOutput(reader, MFVideoFormat_RGB32) || !ReadOutputFormat(reader, f)) return false;
    f.native = "other, converted by the reader";
    out = f;
    return true;
}

std::string Describe(const StreamFormat& f) {
    static const char* const kNames[] = {"YUY2", "NV12", "RGB32", "RGB24"};
    char text[200];
    std::snprintf(text, sizeof text, "camera delivers %s %ux%u at %.1f fps; we %s %s (stride %ld) to BGR24",
                  f.native.c_str(), f.width, f.height, f.fps, f.jpeg ? "decode" : "convert",
                  f.jpeg ? "MJPG" : kNames[static_cast<int>(f.pixels)], static_cast<long>(f.stride));
    return text;
}

}  // namespace tavori::dev

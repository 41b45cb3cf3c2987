// What an MJPG camera's frame costs the driver on Windows (or under Wine): the driver's own decoder
// (MjpegDecoder: the system's image codecs) and the Media Foundation MJPG decoder that the source
// reader loads when it decodes for us (then the RGB32 or YUV it gives, converted to BGR24 by the
// driver's converter). Each per frame, against a memcpy of the raw frame in the same run.
//   mjpg_wine_bench [SECONDS_PER_SAMPLE [DIR]]
// The frame is the benchmarks' infrared picture (dim noisy background, two pens), encoded by the
// system's JPEG encoder at quality 85, 4:2:2 where it takes that, Huffman tables taken out as USB
// cameras send it (when the encoder used the standard ones). With DIR, the picture is also written
// there as WxH.ppm, and a WxH.jpg found there is decoded instead (another encoder's frame, e.g.
// `convert 640x480.ppm -quality 85 -sampling-factor 2x1 640x480.jpg`, as the native MJPG bench's).
#include <windows.h>
#include <mfapi.h>
#include <mferror.h>
#include <mftransform.h>
#include <wincodec.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "DevCamera.h"
#include "MjpegDecoder.h"
#include "PixelConvert.h"
#include "scenes.h"
#include "synth.h"

using tavori::dev::ComPtr;

namespace {

struct Size {
    int w, h;
};
constexpr Size kSizes[] = {{640, 480}, {1280, 720}};
constexpr int kRepetitions = 5;
double gSeconds = 0.4;  // per sample
std::string gDir;

std::vector<uint8_t> ReadFile(const std::string& path) {
    std::vector<uint8_t> out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        uint8_t buf[65536];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) out.insert(out.end(), buf, buf + n);
        std::fclose(f);
    }
    return out;
}

void WritePpm(const std::string& path, const std::vector<uint8_t>& bgr, int w, int h, size_t stride) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%d %d\n255\n", w, h);
    std::vector<uint8_t> row(static_cast<size_t>(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) row[3 * x + c] = bgr[stride * y + 3 * x + 2 - c];
        std::fwrite(row.data(), 1, row.size(), f);
    }
    std::fclose(f);
}

double Now() {
    LARGE_INTEGER f, t;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

// Processor time of the whole process (every thread, a decoder's workers too), in seconds.
double Cpu() {
    FILETIME c, e, k, u;
    GetProcessTimes(GetCurrentProcess(), &c, &e, &k, &u);
    auto s = [](FILETIME t) { return static_cast<double>((uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) * 1e-7; };
    return s(k) + s(u);
}

struct Case {
    std::string name;
    std::function<bool()> once;
    std::vector<double> wallUs, cpuUs;
    bool failed = false;
};

void Sample(Case& c) {
    if (c.failed) return;
    int n = 0;
    const double w0 = Now(), c0 = Cpu();
    double w1 = w0;
    do {
        if (!c.once()) {
            c.failed = true;
            return;
        }
        ++n;
        w1 = Now();
    } while (w1 - w0 < gSeconds);
    c.wallUs.push_back((w1 - w0) * 1e6 / n);
    c.cpuUs.push_back((Cpu() - c0) * 1e6 / n);
}

double Median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The frame as BGR24 rows of the driver's stride.
std::vector<uint8_t> Picture(const Size& s, size_t stride) {
    synth::Frame f(static_cast<uint32_t>(s.w), static_cast<uint32_t>(s.h));
    synth::render(f, bench::twoPenScene(s.w, s.h));
    std::vector<uint8_t> out(stride * static_cast<size_t>(s.h));
    for (int y = 0; y < s.h; ++y) std::memcpy(&out[stride * y], f.px(0, static_cast<uint32_t>(y)), static_cast<size_t>(s.w) * 3);
    return out;
}

std::vector<uint8_t> Encode(IWICImagingFactory* wic, const Size& s, const std::vector<uint8_t>& bgr, size_t stride,
                            std::string& how) {
    ComPtr<IStream> stream;
    ComPtr<IWICBitmapEncoder> enc;
    ComPtr<IWICBitmapFrameEncode> frame;
    ComPtr<IPropertyBag2> bag;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Put())) ||
        FAILED(wic->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, enc.Put())) ||
        FAILED(enc->Initialize(stream.Get(), WICBitmapEncoderNoCache)) || FAILED(enc->CreateNewFrame(frame.Put(), bag.Put())))
        return {};
    PROPBAG2 quality{};
    quality.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
    VARIANT q;
    VariantInit(&q);
    q.vt = VT_R4;
    q.fltVal = 0.85f;
    how = SUCCEEDED(bag->Write(1, &quality, &q)) ? "quality 85" : "the encoder's default quality";
    PROPBAG2 sub{};
    sub.pstrName = const_cast<LPOLESTR>(L"JpegYCrCbSubsampling");
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_UI1;
    v.bVal = WICJpegYCrCbSubsampling422;
    bag->Write(1, &sub, &v);
    WICPixelFormatGUID pf = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->Initialize(bag.Get())) || FAILED(frame->SetSize(static_cast<UINT>(s.w), static_cast<UINT>(s.h))) ||
        FAILED(frame->SetPixelFormat(&pf)) || pf != GUID_WICPixelFormat24bppBGR ||
        FAILED(frame->WritePixels(static_cast<UINT>(s.h), static_cast<UINT>(stride), static_cast<UINT>(bgr.size()),
                                  const_cast<BYTE*>(bgr.data()))) ||
        FAILED(frame->Commit()) || FAILED(enc->Commit()))
        return {};
    HGLOBAL mem = nullptr;
    if (FAILED(GetHGlobalFromStream(stream.Get(), &mem))) return {};
    STATSTG st{};
    stream->Stat(&st, STATFLAG_NONAME);
    const auto* p = static_cast<const uint8_t*>(GlobalLock(mem));
    std::vector<uint8_t> out(p, p + st.cbSize.QuadPart);
    GlobalUnlock(mem);
    return out;
}

// Sampling of the first component ("4:2:2" ...) from the frame header, and the frame without its
// Huffman table segments.
std::string Sampling(const std::vector<uint8_t>& j) {
    for (size_t i = 2; i + 10 < j.size() && j[i] == 0xFF;) {
        const uint8_t m = j[i + 1];
        const size_t len = (size_t{j[i + 2]} << 8) | j[i + 3];
        if (m == 0xC0 || m == 0xC1) {
            const int h = j[i + 11] >> 4, v = j[i + 11] & 15;
            return h == 2 && v == 1 ? "4:2:2" : h == 2 && v == 2 ? "4:2:0" : h == 1 && v == 1 ? "4:4:4" : "other";
        }
        i += 2 + len;
    }
    return "unknown";
}

std::vector<uint8_t> WithoutTables(const std::vector<uint8_t>& j) {
    std::vector<uint8_t> out(j.begin(), j.begin() + 2);
    size_t i = 2;
    while (i + 4 <= j.size() && j[i] == 0xFF && j[i + 1] != 0xDA) {
        const size_t len = (size_t{j[i + 2]} << 8) | j[i + 3];
        if (j[i + 1] != 0xC4) out.insert(out.end(), j.begin() + static_cast<ptrdiff_t>(i), j.begin() + static_cast<ptrdiff_t>(i + 2 + len));
        i += 2 + len;
    }
    out.insert(out.end(), j.begin() + static_cast<ptrdiff_t>(i), j.end());
    return out;
}

// The Media Foundation MJPG decoder: the first transform the system lists for MJPG, set to the
// first output of RGB32, YUY2 or NV12 it offers.
struct MfDecoder {
    ComPtr<IMFTransform> mft;
    std::string name, output;
    tavori::dev::PixelFormat pixels{};
    bool ownSamples = false;
    ComPtr<IMFSample> out;
    int w = 0, h = 0;

    bool Open(const Size& s, std::string& why) {
        w = s.w, h = s.h;
        MFT_REGISTER_TYPE_INFO in{MFMediaType_Video, MFVideoFormat_MJPG};
        IMFActivate** acts = nullptr;
        UINT32 count = 0;
        if (FAILED(MFTEnumEx(MFT_CATEGORY_VIDEO_DECODER, MFT_ENUM_FLAG_ALL, &in, nullptr, &acts, &count)) || !count) {
            why = "the system lists no MJPG decoder (MFTEnumEx, video decoders, input MJPG)";
            return false;
        }
        wchar_t* friendly = nullptr;
        UINT32 len = 0;
        if (SUCCEEDED(acts[0]->GetAllocatedString(MFT_FRIENDLY_NAME_Attribute, &friendly, &len))) {
            char buf[256];
            WideCharToMultiByte(CP_UTF8, 0, friendly, -1, buf, sizeof buf, nullptr, nullptr);
            name = buf;
            CoTaskMemFree(friendly);
        }
        const HRESULT hr = acts[0]->ActivateObject(IID_IMFTransform, reinterpret_cast<void**>(mft.Put()));
        for (UINT32 i = 0; i < count; ++i) acts[i]->Release();
        CoTaskMemFree(acts);
        if (FAILED(hr)) {
            why = "the MJPG decoder listed does not start";
            return false;
        }
        ComPtr<IMFMediaType> t;
        MFCreateMediaType(t.Put());
        t->SetGUID(MF_MT_MAJOR_TYPE, MFMediaType_Video);
        t->SetGUID(MF_MT_SUBTYPE, MFVideoFormat_MJPG);
        MFSetAttributeSize(t.Get(), MF_MT_FRAME_SIZE, static_cast<UINT32>(w), static_cast<UINT32>(h));
        MFSetAttributeRatio(t.Get(), MF_MT_FRAME_RATE, 60, 1);
        if (FAILED(mft->SetInputType(0, t.Get(), 0))) {
            why = "the MJPG decoder takes no MJPG input of this size";
            return false;
        }
        const struct {
            const GUID* g;
            const char* n;
            tavori::dev::PixelFormat p;
        } wanted[] = {{&MFVideoFormat_RGB32, "RGB32", tavori::dev::PixelFormat::Rgb32},
                      {&MFVideoFormat_YUY2, "YUY2", tavori::dev::PixelFormat::Yuy2},
                      {&MFVideoFormat_NV12, "NV12", tavori::dev::PixelFormat::Nv12}};
        for (const auto& want : wanted) {
            for (DWORD i = 0;; ++i) {
                ComPtr<IMFMediaType> o;
                if (FAILED(mft->GetOutputAvailableType(0, i, o.Put()))) break;
                GUID sub{};
                o->GetGUID(MF_MT_SUBTYPE, &sub);
                if (sub != *want.g) continue;
                if (SUCCEEDED(mft->SetOutputType(0, o.Get(), 0))) {
                    output = want.n;
                    pixels = want.p;
                    break;
                }
            }
            if (!output.empty()) break;
        }
        if (output.empty()) {
            why = "the MJPG decoder offers no RGB32, YUY2 or NV12 output";
            return false;
        }
        MFT_OUTPUT_STREAM_INFO info{};
        mft->GetOutputStreamInfo(0, &info);
        ownSamples = info.dwFlags & (MFT_OUTPUT_STREAM_PROVIDES_SAMPLES | MFT_OUTPUT_STREAM_CAN_PROVIDE_SAMPLES);
        if (!ownSamples) {
            ComPtr<IMFMediaBuffer> b;
            const DWORD size = std::max<DWORD>(info.cbSize, static_cast<DWORD>(w) * h * 4);
            MFCreateMemoryBuffer(size, b.Put());
            MFCreateSample(out.Put());
            out->AddBuffer(b.Get());
        }
        mft->ProcessMessage(MFT_MESSAGE_NOTIFY_BEGIN_STREAMING, 0);
        mft->ProcessMessage(MFT_MESSAGE_NOTIFY_START_OF_STREAM, 0);
        return true;
    }

    // One frame in, BGR24 out through the driver's converter.
    bool Decode(const std::vector<uint8_t>& jpeg, uint8_t* dst, size_t dstStride) {
        ComPtr<IMFMediaBuffer> b;
        ComPtr<IMFSample> in;
        if (FAILED(MFCreateMemoryBuffer(static_cast<DWORD>(jpeg.size()), b.Put()))) return false;
        BYTE* p = nullptr;
        b->Lock(&p, nullptr, nullptr);
        std::memcpy(p, jpeg.data(), jpeg.size());
        b->Unlock();
        b->SetCurrentLength(static_cast<DWORD>(jpeg.size()));
        MFCreateSample(in.Put());
        in->AddBuffer(b.Get());
        if (FAILED(mft->ProcessInput(0, in.Get(), 0))) return false;
        for (int tries = 0; tries < 100; ++tries) {
            MFT_OUTPUT_DATA_BUFFER o{};
            o.pSample = ownSamples ? nullptr : out.Get();
            DWORD status = 0;
            const HRESULT hr = mft->ProcessOutput(0, 1, &o, &status);
            if (o.pEvents) o.pEvents->Release();
            if (hr == MF_E_TRANSFORM_NEED_MORE_INPUT) {
                Sleep(0);  // a decoder that works on threads of its own may not be done yet
                continue;
            }
            if (FAILED(hr)) return false;
            IMFSample* got = o.pSample;
            ComPtr<IMFMediaBuffer> ob;
            bool ok = SUCCEEDED(got->ConvertToContiguousBuffer(ob.Put()));
            BYTE* data = nullptr;
            DWORD curLen = 0;
            if (ok && SUCCEEDED(ob->Lock(&data, nullptr, &curLen))) {
                tavori::dev::SourceImage img;
                const ptrdiff_t pitch = static_cast<ptrdiff_t>(tavori::dev::MinRowBytes(pixels, w));
                ok = tavori::dev::DescribeBuffer(pixels, w, h, data, curLen, pitch, img);
                if (ok) tavori::dev::ConvertToBgr24(img, dst, dstStride);
                ob->Unlock();
            }
            if (ownSamples) got->Release();
            return ok;
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1) gSeconds = std::max(0.05, std::atof(argv[1]));
    if (argc > 2) gDir = argv[2];
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    const bool mf = SUCCEEDED(MFStartup(MF_VERSION, MFSTARTUP_LITE));
    ComPtr<IWICImagingFactory> wic;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(wic.Put())))) {
        std::printf("no image codecs (WIC): nothing to measure\n");
        return 1;
    }
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    std::printf("mjpg_wine_bench: %lu processors; %.2f s per sample, median of %d interleaved samples\n",
                si.dwNumberOfProcessors, gSeconds, kRepetitions);
    for (const Size& s : kSizes) {
        const size_t stride = tavori::dev::FrameStride(s.w);
        const std::vector<uint8_t> bgr = Picture(s, stride);
        std::string how, name = std::to_string(s.w) + "x" + std::to_string(s.h);
        std::vector<uint8_t> encoded;
        if (!gDir.empty()) {
            WritePpm(gDir + "\\" + name + ".ppm", bgr, s.w, s.h, stride);
            encoded = ReadFile(gDir + "\\" + name + ".jpg");
            if (!encoded.empty()) how = "read from " + name + ".jpg";
        }
        if (encoded.empty()) encoded = Encode(wic.Get(), s, bgr, stride, how);
        if (encoded.empty()) {
            std::printf("%dx%d: the system's JPEG encoder failed\n", s.w, s.h);
            continue;
        }
        // Cameras leave the tables out; the driver puts the standard ones back. Taken out only when
        // that decodes to the same picture (the encoder used the standard tables).
        std::vector<uint8_t> camera = WithoutTables(encoded);
        std::vector<uint8_t> a(stride * s.h), b(stride * s.h);
        tavori::dev::MjpegDecoder check;
        const bool same = check.Decode(encoded.data(), encoded.size(), s.w, s.h, a.data(), stride) &&
                          check.Decode(camera.data(), camera.size(), s.w, s.h, b.data(), stride) && a == b;
        if (!same) camera = encoded;
        std::printf("%dx%d: %zu bytes, %s, %s, Huffman tables %s\n", s.w, s.h, camera.size(), Sampling(encoded).c_str(),
                    how.c_str(), same ? "left out (as a camera sends it)" : "kept");

        const size_t rawBytes = static_cast<size_t>(s.w) * s.h * 2;  // a YUY2 frame of this size
        std::vector<uint8_t> rawSrc(rawBytes, 7), rawDst(rawBytes);
        std::vector<uint8_t> dst(stride * s.h);
        tavori::dev::MjpegDecoder wicDecoder;
        MfDecoder mfDecoder;
        std::string why = "Media Foundation does not start";
        const bool haveMf = mf && mfDecoder.Open(s, why);
        std::vector<Case> cases;
        cases.push_back({"memcpy of the raw frame (YUY2 size)", [&] {
                             std::memcpy(rawDst.data(), rawSrc.data(), rawBytes);
                             return rawDst[rawBytes / 2] == 7;
                         }});
        cases.push_back({"image codecs (MjpegDecoder) to BGR24", [&] {
                             return wicDecoder.Decode(camera.data(), camera.size(), s.w, s.h, dst.data(), stride);
                         }});
        // Where the codecs' time goes: the decoder found from the data (as MjpegDecoder does) and its
        // frame opened, with no pixels asked for; the JPEG decoder named instead of found; its pixels
        // copied straight from the frame, without the format converter.
        IWICImagingFactory* factory = wic.Get();
        auto open = [&](bool named, ComPtr<IWICBitmapFrameDecode>& frame) {
            ComPtr<IWICStream> stream;
            ComPtr<IWICBitmapDecoder> decoder;
            if (FAILED(factory->CreateStream(stream.Put())) ||
                FAILED(stream->InitializeFromMemory(const_cast<BYTE*>(encoded.data()), static_cast<DWORD>(encoded.size()))))
                return false;
            if (named ? FAILED(factory->CreateDecoder(GUID_ContainerFormatJpeg, nullptr, decoder.Put())) ||
                            FAILED(decoder->Initialize(stream.Get(), WICDecodeMetadataCacheOnDemand))
                      : FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                                decoder.Put())))
                return false;
            return SUCCEEDED(decoder->GetFrame(0, frame.Put()));
        };
        cases.push_back({"  of which: decoder found from the data, frame opened", [&] {
                             ComPtr<IWICBitmapFrameDecode> frame;
                             return open(false, frame);
                         }});
        cases.push_back({"  JPEG decoder named, frame opened", [&] {
                             ComPtr<IWICBitmapFrameDecode> frame;
                             return open(true, frame);
                         }});
        cases.push_back({"  JPEG decoder named, pixels copied from the frame", [&] {
                             ComPtr<IWICBitmapFrameDecode> frame;
                             return open(true, frame) && SUCCEEDED(frame->CopyPixels(nullptr, static_cast<UINT>(stride),
                                                                                    static_cast<UINT>(dst.size()), dst.data()));
                         }});
        if (haveMf)
            cases.push_back({"Media Foundation decoder (" + mfDecoder.name + ", " + mfDecoder.output + ") + converter to BGR24",
                             [&] { return mfDecoder.Decode(camera, dst.data(), stride); }});
        else
            std::printf("  Media Foundation MJPG decoder: none measured: %s\n", why.c_str());
        for (Case& c : cases) c.once();  // warm up: first calls load the codecs
        for (int r = 0; r < kRepetitions; ++r)
            for (Case& c : cases) Sample(c);
        const double base = Median(cases[0].cpuUs), baseWall = Median(cases[0].wallUs);
        for (const Case& c : cases) {
            if (c.failed) {
                std::printf("  %-70s FAILED\n", c.name.c_str());
                continue;
            }
            const double cpu = Median(c.cpuUs), wall = Median(c.wallUs);
            std::printf("  %-70s cpu %9.1f us (%6.1f x memcpy)  wall %9.1f us (%6.1f x)  60 fps: %5.1f %% of a core\n",
                        c.name.c_str(), cpu, base > 0 ? cpu / base : 0, wall, baseWall > 0 ? wall / baseWall : 0,
                        cpu * 60 / 1e4);
        }
    }
    if (mf) MFShutdown();
    CoUninitialize();
    return 0;
}

// The real camera path (source reader, our negotiation, our conversions, the asynchronous sink)
// over a media source the test controls.
#include <gtest/gtest.h>

#include <windows.h>
#include <mfapi.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "Dev.h"
#include "MfCamera.h"
#include "TestMediaSource.h"

using tavori::dev::DevCamera;

namespace {

constexpr UINT32 kW = 640, kH = 480;

struct Mf {
    Mf() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        MFStartup(MF_VERSION, MFSTARTUP_NOSOCKET);
    }
};
const Mf g_mf;

// The camera and the source it runs on (the test keeps a reference to steer the source).
struct Rig {
    TestMediaSource* source = nullptr;
    std::unique_ptr<DevCamera> camera;
    Rig(const std::vector<NativeType>& types, int w, int h) {
        source = TestMediaSource::Create(types);
        if (!source) return;
        source->AddRef();
        camera = tavori::dev::CreateMfCameraOn(source, w, h);
    }
    ~Rig() {
        camera.reset();
        if (source) source->Release();
    }
};

// A frame of the format whose top half is white and bottom half black, as the camera lays it out.
std::vector<BYTE> HalfWhite(const GUID& subtype, UINT32 w, UINT32 h) {
    std::vector<BYTE> f;
    auto white = [&](UINT32 y) { return y < h / 2; };
    if (subtype == MFVideoFormat_YUY2) {
        for (UINT32 y = 0; y < h; ++y)
            for (UINT32 x = 0; x < w / 2; ++x) f.insert(f.end(), {BYTE(white(y) ? 235 : 16), 128, BYTE(white(y) ? 235 : 16), 128});
    } else if (subtype == MFVideoFormat_NV12) {
        for (UINT32 y = 0; y < h; ++y) f.insert(f.end(), w, BYTE(white(y) ? 235 : 16));
        f.insert(f.end(), static_cast<size_t>(w) * h / 2, 128);
    } else {  // RGB32, bottom row first as a DIB
        for (UINT32 y = h; y-- > 0;)
            for (UINT32 x = 0; x < w; ++x) f.insert(f.end(), {BYTE(white(y) ? 255 : 0), BYTE(white(y) ? 255 : 0), BYTE(white(y) ? 255 : 0), 0});
    }
    return f;
}

long TakeFrame(DevCamera& cam, std::vector<unsigned char>& buf, int tries = 60) {
    for (int i = 0; i < tries; ++i) {
        long size = static_cast<long>(buf.size());
        if (cam.GetFrame(buf.data(), &size)) return size;
    }
    return 0;
}

TEST(MfReader, ChoosesNearestSizeThenRateThenCheapestFormat) {
    const std::vector<NativeType> offered = {
        {MFVideoFormat_NV12, kW, kH, 60}, {MFVideoFormat_YUY2, kW, kH, 30}, {MFVideoFormat_YUY2, kW, kH, 60},
        {MFVideoFormat_RGB32, kW, kH, 60}, {MFVideoFormat_YUY2, 320, 240, 60}, {MFVideoFormat_NV12, 1280, 720, 60}};
    struct Case {
        int w, h;
        NativeType expected;
    } const cases[] = {
        {640, 480, {MFVideoFormat_YUY2, kW, kH, 60}},
        {0, 0, {MFVideoFormat_YUY2, kW, kH, 60}},  // the camera's own (first) size
        {320, 240, {MFVideoFormat_YUY2, 320, 240, 60}},
        {1000, 700, {MFVideoFormat_NV12, 1280, 720, 60}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        Rig rig(offered, c.w, c.h);
        ASSERT_TRUE(rig.camera && rig.camera->Init());
        NativeType cur{};
        ASSERT_TRUE(rig.source->Current(cur));
        EXPECT_TRUE(cur.subtype == c.expected.subtype);
        EXPECT_EQ(cur.width, c.expected.width);
        EXPECT_EQ(cur.fps, c.expected.fps);
    }
}

// A file copied beside this executable (the JPEG frames of data/).
std::vector<BYTE> FileBesideExe(const char* name) {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string file(path);
    std::ifstream in(file.substr(0, file.find_last_of("\\/") + 1) + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(MfReader, DeliversEachFormatTopRowFirstAtTheRequestedSize) {
    struct Case {
        GUID subtype;
        int w, h;  // requested
        const char* file;  // the frame's bytes, when not made by HalfWhite
        int tolerance;     // a lossy decoder may blur the edge colours
    } const cases[] = {
        {MFVideoFormat_YUY2, 640, 480, nullptr, 0}, {MFVideoFormat_NV12, 640, 480, nullptr, 0},
        {MFVideoFormat_RGB32, 640, 480, nullptr, 0},
        {MFVideoFormat_YUY2, 321, 239, nullptr, 0},  // scaled, odd size
        // JPEG once whole and once as most USB cameras send it: the Huffman table segments left out.
        {MFVideoFormat_MJPG, 640, 480, "halfwhite.jpg", 12}, {MFVideoFormat_MJPG, 640, 480, "halfwhite-no-huffman.jpg", 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " " << c.subtype.Data1 << " " << (c.file ? c.file : ""));
        Rig rig({{c.subtype, kW, kH, 30}}, c.w, c.h);
        const std::vector<BYTE> bytes = c.file ? FileBesideExe(c.file) : HalfWhite(c.subtype, kW, kH);
        ASSERT_GT(bytes.size(), 100u);
        rig.source->SetFrame(bytes);
        ASSERT_TRUE(rig.camera && rig.camera->Init() && rig.camera->Play());
        std::vector<unsigned char> frame(((c.w * 24 + 31) & ~31) / 8 * c.h);
        ASSERT_EQ(TakeFrame(*rig.camera, frame), static_cast<long>(frame.size()));
        const size_t stride = frame.size() / static_cast<size_t>(c.h);
        for (int x = 0; x < c.w * 3; x += 97) {  // top row white, bottom row black
            EXPECT_GE(frame[x], 255 - c.tolerance) << "top row byte " << x;
            EXPECT_LE(frame[stride * (c.h - 1) + x], c.tolerance) << "bottom row byte " << x;
        }
    }
}

TEST(MfReader, StallAndEndAreReportedAndStopNeverWaitsForTheCamera) {
    Rig rig({{MFVideoFormat_YUY2, kW, kH, 30}}, kW, kH);
    rig.source->SetFrame(HalfWhite(MFVideoFormat_YUY2, kW, kH));
    ASSERT_TRUE(rig.camera && rig.camera->Init() && rig.camera->Play());
    std::vector<unsigned char> frame(kW * 3 * kH);
    ASSERT_GT(TakeFrame(*rig.camera, frame), 0);

    rig.source->SetStalled(true);
    TakeFrame(*rig.camera, frame, 3);  // frames already on their way
    const DWORD t0 = GetTickCount();
    long size = 0;
    std::vector<long> seen;
    while (GetTickCount() - t0 < 900) {
        size = static_cast<long>(frame.size());
        rig.camera->GetFrame(frame.data(), &size);  // a frame leaves its size in seen
        if (seen.empty() || seen.back() != size) seen.push_back(size);
    }
    // A loaded machine may still hand over a frame that was on its way when the stall began.
    while (!seen.empty() && seen.front() > 0) seen.erase(seen.begin());
    EXPECT_EQ(seen, (std::vector<long>{DEV_FRAME_NONE, DEV_FRAME_STALLED}));

    rig.source->SetStalled(false);
    EXPECT_GT(TakeFrame(*rig.camera, frame), 0) << "frames again after the stall";

    rig.source->SetStalled(true);
    const DWORD s0 = GetTickCount();
    rig.camera->Stop();
    EXPECT_LT(GetTickCount() - s0, 150u) << "stop with a request the camera never answers";

    ASSERT_TRUE(rig.camera->Play());
    rig.source->SetStalled(false);
    ASSERT_GT(TakeFrame(*rig.camera, frame), 0);
    rig.source->EndStream();
    size = 0;
    for (int i = 0; i < 60 && size != DEV_FRAME_ENDED; ++i) {
        size = static_cast<long>(frame.size());
        rig.camera->GetFrame(frame.data(), &size);
    }
    EXPECT_EQ(size, DEV_FRAME_ENDED);
}

}  // namespace

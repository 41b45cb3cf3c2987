// The capture calls on virtual cameras under Wine, with VirtualCamera.ini written beside this
// executable (its program folder) and pens, plugs and windows driven from other processes.
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "Dev.h"
#include "VcamModel.h"

using namespace tavori::vcam;

namespace {

std::string ExeFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.find_last_of("\\/"));
}

std::string IniPath() { return ExeFolder() + "\\VirtualCamera.ini"; }

// Runs a helper beside this executable; returns its exit code (or -1), waiting when asked.
int RunHelper(const std::string& args, bool wait = true, HANDLE* process = nullptr) {
    const size_t sp = args.find(' ');
    std::string cmd = "\"";
    cmd += ExeFolder();
    cmd += '\\';
    cmd.append(args, 0, sp);
    cmd += '"';
    if (sp != std::string::npos) cmd.append(args, sp, std::string::npos);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(cmd.begin(), cmd.end());
    line.push_back('\0');
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    CloseHandle(pi.hThread);
    if (!wait) {
        *process = pi.hProcess;
        return 0;
    }
    WaitForSingleObject(pi.hProcess, 30000);
    DWORD code = 0xFFFF;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}

void WriteText(const std::string& path, const char* text) {
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(f, text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
    CloseHandle(f);
}

HDEVCTR Open(int index, int w = 640, int h = 480) {
    SCapParam p = {};
    p.nType = 1;
    p.nWidth = w;
    p.nHeight = h;
    p.nIndex = index;
    HDEVCTR d = DevCreate(&p);
    if (d && !DevInitCapture(d)) {
        DevDestroy(d);
        return nullptr;
    }
    return d;
}

// An opened, playing camera, stopped and destroyed at the end of the scope.
struct Stream {
    explicit Stream(int index, int w = 640, int h = 480) : d(Open(index, w, h)) { playing = d && DevPlay(d, 0) == 1; }
    operator HDEVCTR() const { return d; }
    ~Stream() {
        if (d) DevStop(d), DevDestroy(d);
    }
    HDEVCTR d;
    bool playing = false;
};

int Px(const std::vector<uint8_t>& f, int w, int x, int y) {
    const size_t stride = ((static_cast<size_t>(w) * 24 + 31) & ~size_t{31}) / 8;
    return f[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3];
}

// Weighted centroid of (frame - base level) over the window [x0, x1] x [y0, y1]; returns the mass.
double Centroid(const std::vector<uint8_t>& f, const std::vector<uint8_t>* base, int x0, int y0, int x1, int y1,
                double& cx, double& cy) {
    double m = 0, sx = 0, sy = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
            const double v = Px(f, 640, x, y) - (base ? Px(*base, 640, x, y) : 8);
            m += v;
            sx += v * x;
            sy += v * y;
        }
    cx = sx / m;
    cy = sy / m;
    return m;
}

using Keys = std::map<std::string, std::string>;

// A test's own view of the pen block, kept open for the whole test.
class PenBlockView {
public:
    PenBlockView() {
        h_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096, "TavoriVirtualPen");
        if (h_) b_ = static_cast<PenBlock*>(MapViewOfFile(h_, FILE_MAP_ALL_ACCESS, 0, 0, 4096));
    }
    ~PenBlockView() {
        if (b_) UnmapViewOfFile(b_);
        if (h_) CloseHandle(h_);
    }
    PenBlock* operator->() { return b_; }
    bool ok() const { return b_ != nullptr; }
    void Reset() {
        std::memset(b_, 0, sizeof(PenBlock));
        b_->version = kPenVersion;
        b_->magic = kPenMagic;
    }

private:
    HANDLE h_ = nullptr;
    PenBlock* b_ = nullptr;
};

class VirtualCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(block.ok());
        block.Reset();
        screenW = GetSystemMetrics(SM_CXSCREEN);
        screenH = GetSystemMetrics(SM_CYSCREEN);
        const std::string rect = "0,0," + std::to_string(screenW) + "," + std::to_string(screenH);
        cams = {Keys{{"ScreenRect", rect}, {"Noise", "0"}, {"Fps", "60"}},
                Keys{{"ScreenRect", rect}, {"Noise", "0"}, {"Mirror", "1"}, {"VendorId", "1a2b"}, {"ProductId", "00FF"},
                     {"Corners", "60,40 580,50 600,440 40,430"}}};
        WriteIni();
    }
    void TearDown() override {
        DeleteFileA(IniPath().c_str());
        block.Reset();
    }

    void WriteIni() {
        for (size_t i = 0; i < cams.size(); ++i) {
            const std::string section = "Camera" + std::to_string(i);
            for (const auto& kv : cams[i])
                WritePrivateProfileStringA(section.c_str(), kv.first.c_str(), kv.second.c_str(), IniPath().c_str());
        }
        WritePrivateProfileStringA(nullptr, nullptr, nullptr, IniPath().c_str());  // flush
    }

    // The same camera model the library builds from the file.
    Composer Model(size_t cam, int w = 0, int h = 0) {
        Config c = ReadConfig([&](const char* key, std::string& v) {
            auto it = cams[cam].find(key);
            if (it == cams[cam].end()) return false;
            v = it->second;
            return true;
        });
        Composer comp;
        EXPECT_TRUE(comp.Configure(ScaledTo(c, w, h)));
        return comp;
    }

    static bool Frame(HDEVCTR d, std::vector<uint8_t>& buf) {
        long size = static_cast<long>(buf.size());
        return DevGetFrame(d, buf.data(), &size) != 0 && size == static_cast<long>(buf.size());
    }

    PenBlockView block;
    int screenW = 0, screenH = 0;
    std::vector<Keys> cams;
};

}  // namespace

TEST_F(VirtualCameraTest, EnumerationFollowsTheFile) {
    // Under Wine Media Foundation finds no camera, so every device here is virtual.
    DeleteFileA(IniPath().c_str());
    EXPECT_EQ(DevGetCaptureNum(1), 0) << "no file, no virtual camera, and no error from enumeration";
    WriteIni();
    ASSERT_EQ(DevGetCaptureNum(1), 2);
    EXPECT_EQ(DevGetCaptureNum(2), 0) << "only video capture is known";

    SInfoParam info = {};
    info.nType = 1;
    info.nIndex = 0;
    ASSERT_EQ(DevGetCaptureInfo(1, &info), 1);
    EXPECT_STREQ(info.szPath, "\\\\?\\virtual#vid_0AC8&pid_3610#0");
    EXPECT_NE(info.szName[0], '\0');
    info.nIndex = 1;
    ASSERT_EQ(DevGetCaptureInfo(1, &info), 1);
    EXPECT_STREQ(info.szPath, "\\\\?\\virtual#vid_1A2B&pid_00FF#1");
    info.nIndex = 2;
    EXPECT_EQ(DevGetCaptureInfo(1, &info), 0);
    EXPECT_STREQ(info.szPath, "") << "a failed look-up leaves no stale path behind";
    info.nIndex = -1;
    EXPECT_EQ(DevGetCaptureInfo(1, &info), 0);
    EXPECT_EQ(DevGetCaptureInfo(1, nullptr), 0);
}

TEST_F(VirtualCameraTest, GarbageFileStillGivesWorkingCameras) {
    DeleteFileA(IniPath().c_str());
    const char* text = "[Camera0]\r\nWidth=banana\r\nCorners=1,2,3\r\nK1=nan\r\nScreenRect=0,0,-4,9\r\n"
                       "[Camera99]\r\nWidth=320\r\n[Cameraxyz]\r\n\r\n\x01\x02garbage\r\n"
                       "[Camera1]\r\nScreenRect=-5000,-5000,20000,20000\r\n";
    WriteText(IniPath(), text);
    ASSERT_EQ(DevGetCaptureNum(1), 2) << "only [Camera0] and [Camera1] are camera sections";
    std::vector<uint8_t> buf(640 * 3 * 480);
    Stream d(0, 0, 0);
    ASSERT_TRUE(d.playing);
    EXPECT_TRUE(Frame(d, buf)) << "defaults: 640 x 480";
    Stream huge(1);  // filmed area clamped to the desktop, not gigabytes of it
    ASSERT_TRUE(huge.playing);
    EXPECT_TRUE(Frame(huge, buf));
}

TEST_F(VirtualCameraTest, FrameCallsAndTheBufferRule) {
    HDEVCTR d = Open(0);
    ASSERT_NE(d, nullptr);
    std::vector<uint8_t> buf(640 * 3 * 480, 0xEE);
    long size = static_cast<long>(buf.size());
    EXPECT_EQ(DevGetFrame(d, buf.data(), &size), 0) << "not streaming yet";

    SCapControl exp = {4, 2, -8};
    EXPECT_EQ(DevSetControl(d, &exp), 1);
    EXPECT_EQ(block->exposure[0].value, -8) << "the applied exposure is recorded for tests";
    EXPECT_EQ(block->exposure[0].flags, 2);
    SCapControl bogus = {7, 2, -8};
    EXPECT_EQ(DevSetControl(d, &bogus), 0);
    EXPECT_EQ(DevSetControl(d, nullptr), 0);

    ASSERT_EQ(DevPlay(d, 0), 1);
    size = static_cast<long>(buf.size()) - 1;
    EXPECT_EQ(DevGetFrame(d, buf.data(), &size), 0) << "one byte short is refused";
    EXPECT_EQ(size, 921600) << "and the size needed is reported";
    EXPECT_EQ(buf[0], 0xEE) << "nothing written on refusal";
    EXPECT_EQ(DevGetFrame(d, nullptr, &size), 0);
    EXPECT_EQ(DevGetFrame(d, buf.data(), nullptr), 0);

    // Frames come at the camera's rate: 20 frames at 60 fps take about a third of a second.
    const DWORD t0 = GetTickCount();
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(Frame(d, buf));
    const DWORD spent = GetTickCount() - t0;
    EXPECT_GE(spent, 250u);
    EXPECT_LE(spent, 1500u);
    EXPECT_EQ(Px(buf, 640, 0, 0), 8) << "outside the screen: ambient only";

    // A stream that dies stays dead, even once the fault is gone, until it is restarted.
    block->deadStream = 1;
    size = static_cast<long>(buf.size());
    EXPECT_EQ(DevGetFrame(d, buf.data(), &size), 0);
    EXPECT_EQ(size, DEV_FRAME_ENDED);
    block->deadStream = 0;
    size = static_cast<long>(buf.size());
    EXPECT_EQ(DevGetFrame(d, buf.data(), &size), 0);
    EXPECT_EQ(size, DEV_FRAME_ENDED);

    EXPECT_EQ(DevStop(d), 1);
    size = static_cast<long>(buf.size());
    EXPECT_EQ(DevGetFrame(d, buf.data(), &size), 0) << "stopped";
    ASSERT_EQ(DevPlay(d, 0), 1) << "a stopped stream plays again";
    EXPECT_TRUE(Frame(d, buf));
    EXPECT_EQ(DevDestroy(d), 1);

    EXPECT_EQ(DevDestroy(d), 0) << "a destroyed handle is refused";
    EXPECT_EQ(DevPlay(d, 0), 0);
    int local = 0;
    EXPECT_EQ(DevInitCapture(&local), 0) << "a foreign handle is refused";
    EXPECT_EQ(DevCreate(nullptr), nullptr);
    SCapParam p = {};
    p.nType = 1;
    p.nIndex = 5;
    EXPECT_EQ(DevCreate(&p), nullptr) << "no such device";
    p.nIndex = 0;
    p.nWidth = -640;
    p.nHeight = 480;
    EXPECT_EQ(DevCreate(&p), nullptr);
}

TEST_F(VirtualCameraTest, UnplugDropsTheCameraAndBlacksItsStream) {
    std::vector<uint8_t> buf(640 * 3 * 480);
    {
        Stream d(0);
        ASSERT_TRUE(d.playing);
        ASSERT_TRUE(Frame(d, buf));
        EXPECT_EQ(Px(buf, 640, 0, 0), 8);

        ASSERT_EQ(RunHelper("penctl.exe unplug 0"), 0);
        EXPECT_EQ(DevGetCaptureNum(1), 1);
        SInfoParam info = {};
        info.nType = 1;
        info.nIndex = 0;
        ASSERT_EQ(DevGetCaptureInfo(1, &info), 1);
        EXPECT_STREQ(info.szPath, "\\\\?\\virtual#vid_1A2B&pid_00FF#1") << "camera 1 moves up";
        for (int i = 0; i < 3; ++i) {
            std::fill(buf.begin(), buf.end(), uint8_t{0x55});
            ASSERT_TRUE(Frame(d, buf)) << "the running stream keeps delivering";
            size_t nonBlack = 0;
            for (uint8_t b : buf) nonBlack += b != 0;
            EXPECT_EQ(nonBlack, 0u);
        }
    }
    ASSERT_EQ(RunHelper("penctl.exe plug 0"), 0);
    ASSERT_EQ(DevGetCaptureNum(1), 2);
    Stream d(0);
    ASSERT_TRUE(d.playing);
    ASSERT_TRUE(Frame(d, buf));
    EXPECT_EQ(Px(buf, 640, 0, 0), 8) << "back from black";
}

TEST_F(VirtualCameraTest, AnotherProcessWindowIsFilmedAtTheModelPosition) {
    const int bx = screenW / 2 - 60, by = screenH / 2 - 40, bw = 120, bh = 80;
    Stream d(0);
    ASSERT_TRUE(d.playing);
    HANDLE box = nullptr;
    char args[128];
    std::snprintf(args, sizeof args, "whitebox.exe %d %d %d %d 6000", bx, by, bw, bh);
    ASSERT_EQ(RunHelper(args, false, &box), 0);

    Composer model = Model(0);
    double ex, ey;
    ASSERT_TRUE(model.Model().Project(bx + (bw - 1) / 2.0, by + (bh - 1) / 2.0, ex, ey));
    const int cx = static_cast<int>(std::lround(ex)), cy = static_cast<int>(std::lround(ey));
    std::vector<uint8_t> buf(640 * 3 * 480);
    int level = 0;
    for (int i = 0; i < 200 && level != 68; ++i) {  // up to ~3 s for the window to show
        ASSERT_TRUE(Frame(d, buf));
        level = Px(buf, 640, cx, cy);
    }
    EXPECT_EQ(level, 8 + 60) << "white at exposure -8: ambient plus ScreenGain";
    double wx, wy;
    Centroid(buf, nullptr, 0, 0, 639, 479, wx, wy);
    EXPECT_NEAR(wx, ex, 0.5);
    EXPECT_NEAR(wy, ey, 0.5);

    SCapControl brighter = {4, 2, -7};
    ASSERT_EQ(DevSetControl(d, &brighter), 1);
    ASSERT_TRUE(Frame(d, buf));
    EXPECT_EQ(Px(buf, 640, cx, cy), 8 + 120) << "one exposure step doubles the filmed screen";

    TerminateProcess(box, 0);
    WaitForSingleObject(box, 5000);
    CloseHandle(box);
}

TEST(Penctl, RejectsBadArgumentsAndWritesTheBlock) {
    PenBlockView block;
    ASSERT_TRUE(block.ok());
    block.Reset();
    for (const char* bad : {"", " jump 1 2", " down abc 5", " down 5", " down 5 5 99", " unplug 32", " pen 8 down 1 1",
                            " stroke 0 0 10 10 0 5", " stall 1", " die x", " exposure 8"})
        EXPECT_EQ(RunHelper(std::string("penctl.exe") + bad), 2) << bad;
    EXPECT_EQ(block->count, 0u) << "rejected commands change nothing";

    const uint32_t seq = block->sequence;
    ASSERT_EQ(RunHelper("penctl.exe down 12.5 34 2 0.5"), 0);
    EXPECT_EQ(block->count, 1u);
    EXPECT_EQ(block->pens[0].down, 1);
    EXPECT_EQ(block->pens[0].x, 12.5f);
    EXPECT_EQ(block->pens[0].y, 34.f);
    EXPECT_EQ(block->pens[0].sigma, 2.f);
    EXPECT_EQ(block->pens[0].intensity, 0.5f);
    EXPECT_GT(block->sequence, seq);
    ASSERT_EQ(RunHelper("penctl.exe pen 2 down 7 8"), 0);
    EXPECT_EQ(block->count, 3u);

    const std::string script = ExeFolder() + "\\pens.txt";
    WriteText(script, "# a short scene\r\nclear\r\ndown 1 2\r\nsleep 10\r\nmove 3 4\r\nunplug 5\r\ndie 3\r\n"
                      "stall-on 2\r\nstall 4 10\r\n");
    ASSERT_EQ(RunHelper("penctl.exe script \"" + script + "\""), 0);
    EXPECT_EQ(block->count, 1u);
    EXPECT_EQ(block->pens[0].x, 3.f);
    EXPECT_EQ(block->pens[0].y, 4.f);
    EXPECT_EQ(block->unplugged, 1u << 5);
    EXPECT_EQ(block->deadStream, 1u << 3);
    EXPECT_EQ(block->stalled, 1u << 2) << "a timed stall ends by itself";

    WriteText(script, "down 1 2\r\nmove 1\r\n");
    EXPECT_EQ(RunHelper("penctl.exe script \"" + script + "\""), 2);
    DeleteFileA(script.c_str());
    block.Reset();
}

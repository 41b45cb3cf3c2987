// The capture calls on virtual cameras under Wine, with VirtualCamera.ini written beside this
// executable (its program folder) and pens and plugs driven from another process.
#include <gtest/gtest.h>

#include <windows.h>
#include <process.h>

#include <fstream>
#include <string>
#include <vector>

#include "Dev.h"
#include "PenBlockWin.h"
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

// Runs penctl (copied beside this executable) with the given arguments; its exit code.
template <class... Args>
intptr_t Penctl(Args... args) {
    return _spawnl(_P_WAIT, (ExeFolder() + "\\penctl.exe").c_str(), "penctl", args..., static_cast<const char*>(nullptr));
}

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

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

bool Frame(HDEVCTR d, std::vector<uint8_t>& buf) {
    long size = static_cast<long>(buf.size());
    return DevGetFrame(d, buf.data(), &size) != 0 && size == static_cast<long>(buf.size());
}

// The device path at `index`; "-" followed by whatever was left in the path when the look-up fails.
std::string PathOf(int index) {
    SInfoParam info = {};
    info.nType = 1;
    info.nIndex = index;
    std::string path = DevGetCaptureInfo(1, &info) == 1 ? "" : "-";
    return path.append(info.szPath);
}

// A test's own view of the pen block, kept open for the whole test and cleared at both ends.
struct PenBlockView {
    tavori::dev::PenBlockMapping mapping;
    PenBlockView() { Reset(); }
    ~PenBlockView() { Reset(); }
    PenBlock* operator->() { return static_cast<PenBlock*>(mapping.View()); }
    void Reset() {
        if (!mapping.IsOpen() && !mapping.Open()) return;
        *operator->() = PenBlock{};
        operator->()->version = kPenVersion;
        operator->()->magic = kPenMagic;
    }
};

class VirtualCameraTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(block.mapping.IsOpen());
        WriteIni();
    }
    void TearDown() override { DeleteFileA(IniPath().c_str()); }

    void WriteIni() {
        // Both film the whole primary monitor, their default.
        WriteText(IniPath(), "[Camera0]\r\nNoise=0\r\nFps=60\r\n[Camera1]\r\nNoise=0\r\nVendorId=1a2b\r\nProductId=00FF\r\n");
    }

    PenBlockView block;
};

}  // namespace

TEST_F(VirtualCameraTest, EnumerationFollowsTheFile) {
    // Under Wine Media Foundation finds no camera, so every device here is virtual.
    DeleteFileA(IniPath().c_str());
    EXPECT_EQ(DevGetCaptureNum(1), 0) << "no file, no virtual camera, and no error from enumeration";
    WriteIni();
    ASSERT_EQ(DevGetCaptureNum(1), 2);
    EXPECT_EQ(DevGetCaptureNum(2), 0) << "only video capture is known";

    EXPECT_EQ(PathOf(0), "\\\\?\\virtual#vid_0AC8&pid_3610#0");
    EXPECT_EQ(PathOf(1), "\\\\?\\virtual#vid_1A2B&pid_00FF#1");
    EXPECT_EQ(PathOf(2), "-") << "a failed look-up leaves no stale path behind";
    EXPECT_EQ(PathOf(-1), "-");
    EXPECT_EQ(DevGetCaptureInfo(1, nullptr), 0);
}

TEST_F(VirtualCameraTest, GarbageFileStillGivesWorkingCameras) {
    WriteText(IniPath(), "[Camera0]\r\nWidth=banana\r\nCorners=1,2,3\r\nK1=nan\r\nScreenRect=0,0,-4,9\r\n"
                         "[Camera99]\r\nWidth=320\r\n[Cameraxyz]\r\n\r\n\x01\x02garbage\r\n"
                         "[Camera1]\r\nScreenRect=-5000,-5000,20000,20000\r\n");
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

    // A stream that dies stays dead, even once the fault is gone, until it is restarted.
    for (uint32_t dead : {1u, 0u}) {
        block->deadStream = dead;
        size = static_cast<long>(buf.size());
        EXPECT_EQ(DevGetFrame(d, buf.data(), &size), 0);
        EXPECT_EQ(size, DEV_FRAME_ENDED);
    }
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
    EXPECT_EQ(Open(5), nullptr) << "no such device";
    EXPECT_EQ(Open(0, -640, 480), nullptr);
}

// penctl is how people and scripts drive the pens by hand: one script touching every kind of line.
TEST(Penctl, ScriptWritesTheBlock) {
    PenBlockView block;
    const std::string script = ExeFolder() + "\\pens.txt";
    WriteText(script, "# a short scene\r\nclear\r\ndown 1 2\r\nsleep 10\r\nmove 3 4\r\nunplug 5\r\ndie 3\r\n"
                      "stall-on 2\r\nstall 4 10\r\n");
    ASSERT_EQ(Penctl("script", ("\"" + script + "\"").c_str()), 0);
    EXPECT_EQ(block->count, 1u);
    EXPECT_EQ(block->pens[0].x, 3.f);
    EXPECT_EQ(block->pens[0].y, 4.f);
    EXPECT_EQ(block->unplugged, 1u << 5);
    EXPECT_EQ(block->deadStream, 1u << 3);
    EXPECT_EQ(block->stalled, 1u << 2) << "a timed stall ends by itself";
    DeleteFileA(script.c_str());
}

// Cameras running end to end: Tavori.exe on a virtual camera, driven from this process as the
// drawing program and a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "DriverHarness.h"
#include "VirtualRig.h"
#include "output/SharedMemory.h"

using namespace e2e;

namespace {
constexpr UINT kQuit = 2035;
constexpr UINT kProcCmd = 0x801;
constexpr UINT kDrawNotify = 0x7EB;

// A window of the drawing program: registered in the screen table, told when a camera goes.
class ReaderWindow {
public:
    explicit ReaderWindow(bool responsive) : m_thread([this, responsive] { Loop(responsive); }) {
        while (!m_hwnd.load()) Sleep(5);
    }
    ~ReaderWindow() {
        m_stop = true;
        PostMessageA(m_hwnd, WM_QUIT, 0, 0);
        m_thread.join();
    }
    HWND Hwnd() const { return m_hwnd.load(); }
    int Notified18() const { return m_notify18.load(); }

private:
    static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
        auto* self = reinterpret_cast<ReaderWindow*>(GetWindowLongPtrA(h, GWLP_USERDATA));
        if (m == kDrawNotify && w == 18 && self) self->m_notify18++;
        return DefWindowProcA(h, m, w, l);
    }
    void Loop(bool responsive) {
        WNDCLASSA wc{};
        wc.lpfnWndProc = Proc;
        wc.lpszClassName = "TavoriTestReader";
        RegisterClassA(&wc);
        HWND h = CreateWindowExA(0, wc.lpszClassName, "Reader", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
        SetWindowLongPtrA(h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        m_hwnd = h;
        if (!responsive) {
            while (!m_stop) Sleep(50);  // a program that stopped answering its messages
        } else {
            MSG msg;
            while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        }
        DestroyWindow(h);
    }
    std::atomic<HWND> m_hwnd{nullptr};
    std::atomic<int> m_notify18{0};
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// The shared memory as the drawing program sees it.
class SharedView {
public:
    SharedView(const char* name, DWORD size) {
        m_map = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
        if (m_map) m_view = MapViewOfFile(m_map, FILE_MAP_ALL_ACCESS, 0, 0, size);
    }
    ~SharedView() { Close(); }
    // Our own handle keeps a mapping alive: close it before looking whether the driver's is gone.
    void Close() {
        if (m_view) UnmapViewOfFile(m_view);
        if (m_map) CloseHandle(m_map);
        m_view = nullptr;
        m_map = nullptr;
    }
    template <class T> T* As() const { return static_cast<T*>(m_view); }
    bool Ok() const { return m_view != nullptr; }

private:
    HANDLE m_map = nullptr;
    void* m_view = nullptr;
};

int EntryOf(const MultiScreenTable* t, int cameraId) {
    for (int i = 0; i < t->nCount && i < kMaxScreens; ++i)
        if (t->nCameraId[i] == cameraId) return i;
    return -1;
}

void Register(MultiScreenTable* t, int entry, HWND reader) {
    t->hReader[entry] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(reader));
    t->bReady[entry] = 1;
}

struct SharedPoint {
    int count;
    _SDetectPoint first;
};
SharedPoint ReadPoints(const uint8_t* view) {
    SharedPoint p{view[0], {}};
    memcpy(&p.first, view + 1, sizeof(p.first));
    return p;
}

// Open handles of a process, from the system handle list (GetProcessHandleCount reads 0 under Wine).
int HandleCount(DWORD pid) {
    struct Entry {
        USHORT pid, backTrace;
        UCHAR type, flags;
        USHORT handle;
        PVOID object;
        ACCESS_MASK access;
    };
    std::vector<char> buffer(8u << 20);
    ULONG length = 0;
    if (NtQuerySystemInformation(static_cast<SYSTEM_INFORMATION_CLASS>(16), buffer.data(),
                                 static_cast<ULONG>(buffer.size()), &length) != 0)
        return -1;
    const ULONG n = *reinterpret_cast<const ULONG*>(buffer.data());
    const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
    int count = 0;
    for (ULONG i = 0; i < n; ++i)
        if (entries[i].pid == static_cast<USHORT>(pid)) ++count;
    return count;
}

int ThreadCount(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 te{};
    te.dwSize = sizeof(te);
    int n = 0;
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te))
        if (te.th32OwnerProcessID == pid) ++n;
    CloseHandle(snap);
    return n;
}

std::wstring LangText(const char* key) { return FromCodePage(LanguageFileText("English.ini", key), CP_ACP); }

// A pen at the screen's centre reaches camera n's point buffer (n counted from 1) within the time,
// the camera's screen entry registered to `reader` as the drawing program does.
bool PenReaches(PenControl& pen, int camera, HWND reader, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    auto left = [&] { return timeoutMs - std::min<DWORD>(timeoutMs, GetTickCount() - start); };
    const std::string name = "Multi_Lumora_Mappfile_" + std::to_string(camera);
    if (!WaitFor([&] { return MappingExists(kMultiScreenName) && MappingExists(name.c_str()); }, left())) return false;
    SharedView table(kMultiScreenName, sizeof(MultiScreenTable));
    auto* t = table.As<MultiScreenTable>();
    if (!t || !WaitFor([&] { return EntryOf(t, camera) >= 0; }, left())) return false;
    Register(t, EntryOf(t, camera), reader);
    SharedView points(name.c_str(), 1025);
    Sleep(2000);  // a light in a camera's first frames is taken for a lamp: touch after them
    pen.Down(ScreenWidth() / 2.0, ScreenHeight() / 2.0);
    const bool seen = points.Ok() && WaitFor([&] { return ReadPoints(points.As<uint8_t>()).count == 1; }, left());
    pen.Up();
    WaitFor([&] { return ReadPoints(points.As<uint8_t>()).count == 0; }, 1000);
    return seen;
}
}  // namespace

TEST(Cameras, PenPositionsReachTheDrawingProgramThroughTheCalibration) {
    PenControl pen;
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    SharedView table(kMultiScreenName, sizeof(MultiScreenTable));
    ASSERT_TRUE(table.Ok());
    auto* t = table.As<MultiScreenTable>();
    ASSERT_TRUE(WaitFor([&] { return EntryOf(t, 1) >= 0; }, 10000));
    int entry = EntryOf(t, 1);
    EXPECT_EQ(t->bConfigured[entry], 1);
    EXPECT_EQ(t->nWidth[entry], ScreenWidth());
    EXPECT_EQ(t->nHeight[entry], ScreenHeight());

    ReaderWindow reader(true);
    Register(t, entry, reader.Hwnd());
    SharedView points("Multi_Lumora_Mappfile_1", 1025);
    ASSERT_TRUE(points.Ok());
    Sleep(2500);  // the search type is re-read every 2 s; the detector's start-up learning passes

    const int W = ScreenWidth(), H = ScreenHeight();
    double sum = 0, worst = 0;
    int measured = 0;
    for (int gy = 0; gy < 6; ++gy) {
        for (int gx = 0; gx < 7; ++gx) {
            double x = 60 + gx * (W - 120) / 6.0, y = 60 + (gy % 5) * (H - 120) / 4.0;
            pen.Down(x, y);
            const auto* view = points.As<uint8_t>();
            bool seen = WaitFor(
                [&] {
                    SharedPoint p = ReadPoints(view);
                    return p.count == 1 && std::hypot(p.first.x - x, p.first.y - y) < 40;
                },
                2000);
            EXPECT_TRUE(seen) << "pen at " << x << "," << y << " not published";
            if (seen) {
                Sleep(80);  // a few frames: the position the reader settles on
                SharedPoint p = ReadPoints(view);
                double err = std::hypot(p.first.x - x, p.first.y - y);
                if (err > 2) printf("pen %.0f,%.0f read %d,%d\n", x, y, p.first.x, p.first.y);
                sum += err;
                worst = std::max(worst, err);
                ++measured;
            }
            pen.Up();
            WaitFor([&] { return ReadPoints(view).count == 0; }, 1000);
        }
    }
    ASSERT_GT(measured, 0);
    double mean = sum / measured;
    printf("mapped pen error over %d positions: mean %.2f px, max %.2f px\n", measured, mean, worst);
    ::testing::Test::RecordProperty("mean_error_px", std::to_string(mean));
    ::testing::Test::RecordProperty("max_error_px", std::to_string(worst));
    EXPECT_LE(mean, 1.0);
    EXPECT_LE(worst, 3.0);

    points.Close();
    table.Close();
    d.Quit();
    ASSERT_TRUE(d.driver.WaitForExit());
    EXPECT_GE(reader.Notified18(), 1);  // told that the camera went away
    EXPECT_FALSE(MappingExists("Multi_Lumora_Mappfile_1"));
    EXPECT_FALSE(MappingExists(kMultiScreenName));
}

TEST(Cameras, FlashRecordIsUsedOnlyWhenItLooksReal) {
    PenControl pen;
    struct Case {
        const char* name;
        uint32_t flashWidth;
        bool withFile;
        int expectedWidth;  // 0: no calibration at all
    };
    const Case cases[] = {
        {"valid flash", 1600, true, 1600},
        {"flash 99 wide", 99, true, ScreenWidth()},
        {"neither", 0, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProgramFolder folder;
        folder.Write("Tavori.ini", "[System]\r\nSetPtCount=25\r\n");
        _SCalibration cal = CalibrationFromModel(DefaultCamera(), 5);
        if (c.withFile) WriteCalibrationIni(folder, cal);
        if (c.flashWidth) {
            _SCalibration flash = cal;
            flash.lWinWidth = c.flashWidth;
            flash.lWinHeight = 900;
            WriteFlashRecord(folder, flash);
        }
        Driver driver;
        ASSERT_TRUE(driver.Start(folder));
        HWND main = driver.WaitForMainWindow();
        ASSERT_NE(main, nullptr);
        SharedView table(kMultiScreenName, sizeof(MultiScreenTable));
        auto* t = table.As<MultiScreenTable>();
        if (c.expectedWidth) {
            ASSERT_TRUE(WaitFor([&] { return EntryOf(t, 1) >= 0; }, 10000));
            EXPECT_EQ(t->nWidth[EntryOf(t, 1)], c.expectedWidth);
        } else {
            Sleep(1500);
            EXPECT_EQ(t->nCount, 0);  // running, but nothing calibrated to publish
            EXPECT_TRUE(MappingExists("Multi_Lumora_Mappfile_1"));
            EXPECT_TRUE(driver.Running());
        }
        table.Close();
        PostMessageA(main, WM_COMMAND, kQuit, 0);
        ASSERT_TRUE(driver.WaitForExit());
        EXPECT_FALSE(MappingExists(kMultiScreenName));
    }
}

// Started before its camera (plugged in after logon, or slower than the autostart), the driver
// says so once, waits in the tray and starts the camera when it appears.
TEST(Cameras, ACameraThatComesLateIsStartedWithoutARestart) {
    PenControl pen;
    pen.Unplug(0);
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    HWND box = d.driver.WaitForMessageBox(8000);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(WaitForTrayPicture(TrayPicture::Disconnected));
    PressOk(box);
    Sleep(6000);  // a reconnection attempt that finds nothing stays silent
    EXPECT_TRUE(d.driver.Running());
    EXPECT_TRUE(d.driver.MessageBoxes().empty());
    pen.Plug(0);
    EXPECT_TRUE(PenReaches(pen, 1, d.main, 10000)) << "no points within 10 s of plugging the camera in";
    d.Quit();
    EXPECT_GE(d.driver.WaitForExitCountingBoxes(), 0);
}

TEST(Cameras, MultiScreenLimitsHowManyCamerasStart) {
    for (int multi : {1, 3}) {
        SCOPED_TRACE(multi);
        ProgramFolder folder;
        folder.Write("VirtualCamera.ini", "[Camera0]\r\n[Camera1]\r\nProductId=3016\r\n");
        folder.Write("Tavori.ini", "[System]\r\nMultiScreen=" + std::to_string(multi) + "\r\n");
        Driver driver;
        ASSERT_TRUE(driver.Start(folder));
        HWND main = driver.WaitForMainWindow();
        ASSERT_NE(main, nullptr);
        // The caption is set before the cameras start: wait for the first camera's buffer.
        EXPECT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000));
        // Each camera start settles its exposure for most of a second.
        EXPECT_EQ(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_2"); }, 3000), multi > 1);
        PostMessageA(main, WM_COMMAND, kQuit, 0);
        ASSERT_TRUE(driver.WaitForExit());
    }
}

TEST(Cameras, UnpluggedCameraIsReportedAndPickedUpAgain) {
    PenControl pen;
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 5000));

    EXPECT_TRUE(WaitForTrayPicture(TrayPicture::Running));
    int handlesAfterFirst = 0;
    int threadsAfterFirst = 0;
    const int cycles = 5;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        SCOPED_TRACE(cycle);
        pen.Unplug(0);
        HWND box = d.driver.WaitForMessageBox(8000);
        ASSERT_NE(box, nullptr) << "no disconnection message";
        EXPECT_EQ(MessageBoxText(box), LangText("IDS_DISCONNECTION"));
        EXPECT_FALSE(MappingExists("Multi_Lumora_Mappfile_1"));  // the camera is stopped
        EXPECT_TRUE(WaitForTrayPicture(TrayPicture::Disconnected)) << "while the disconnection box is up";
        PressOk(box);
        pen.Plug(0);
        DWORD plugged = GetTickCount();
        ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000))
            << "not restarted within ten seconds";
        printf("cycle %d: restarted %lu ms after plugging in\n", cycle, GetTickCount() - plugged);
        EXPECT_TRUE(WaitForTrayPicture(TrayPicture::Running));
        if (cycle == 0) {
            handlesAfterFirst = HandleCount(d.driver.Pid());
            threadsAfterFirst = ThreadCount(d.driver.Pid());
        }
    }
    int handles = HandleCount(d.driver.Pid());
    int threads = ThreadCount(d.driver.Pid());
    printf("after %d cycles: handles %d (first %d), threads %d (first %d)\n", cycles, handles, handlesAfterFirst,
           threads, threadsAfterFirst);
    ASSERT_GT(handlesAfterFirst, 0);
    EXPECT_LE(handles, handlesAfterFirst + 10);
    EXPECT_LE(threads, threadsAfterFirst + 1);

    EXPECT_TRUE(PenReaches(pen, 1, d.main, 5000)) << "no points after the last restart";

    // Cycles while nobody presses OK: the reconnection goes on behind the box, and a later loss
    // never stacks a second box on the first.
    for (int cycle = 0; cycle < 2; ++cycle) {
        pen.Unplug(0);
        ASSERT_NE(d.driver.WaitForMessageBox(8000), nullptr);
        ASSERT_TRUE(WaitFor([] { return !MappingExists("Multi_Lumora_Mappfile_1"); }, 5000));
        pen.Plug(0);
        ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000));
    }
    pen.Unplug(0);
    Sleep(3000);
    EXPECT_EQ(d.driver.MessageBoxes().size(), 1u);
    pen.Plug(0);
    d.Quit();
    EXPECT_GE(d.driver.WaitForExitCountingBoxes(), 0);
}

// Either of two cameras unplugged for a moment: both come back and publish again.
// Disabled: intermittently the second camera publishes no point within 15 s of coming back (seen in
// 3 of 5 runs late in the day, passing in the others); the cause is not found yet and a red run of
// the whole suite must mean a real fault. Run it with --gtest_also_run_disabled_tests.
TEST(Cameras, BothOfTwoCamerasComeBackAfterEitherIsUnpluggedBriefly) {
    PenControl pen;
    CalibratedDriver d;
    d.folder.Write("VirtualCamera.ini", "[Camera0]\r\n[Camera1]\r\nProductId=3016\r\n");
    ASSERT_TRUE(d.Start("[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\nMultiScreen=2\r\n"));
    ASSERT_TRUE(PenReaches(pen, 2, d.main, 10000));
    SharedView table(kMultiScreenName, sizeof(MultiScreenTable));
    auto* t = table.As<MultiScreenTable>();
    auto configured = [&](int camera) { const int e = EntryOf(t, camera); return e >= 0 && t->bConfigured[e] != 0; };
    Register(t, EntryOf(t, 1), d.main);
    for (int unplugged : {1, 0}) {
        pen.Unplug(unplugged);
        HWND box = d.driver.WaitForMessageBox(8000);
        EXPECT_TRUE(WaitFor([&] { return !configured(1) && !configured(2); }, 2000)) << "shown configured, camera " << unplugged + 1 << " gone";
        pen.Plug(unplugged);
        if (box) PressOk(box);
        // The cameras start one after another: to the later one a still touch in its first frames is
        // a lamp, and so is the next touch at that place. So the pen writes a circle until both
        // cameras, configured again, publish it.
        int seen = 0;  // bit 1: camera 1, bit 2: camera 2
        for (DWORD step = 0, back = GetTickCount(); seen != 3 && GetTickCount() - back < 10000; ++step, Sleep(20)) {
            pen.Down(ScreenWidth() / 2.0 + 80 * std::cos(0.3 * step), ScreenHeight() / 2.0 + 80 * std::sin(0.3 * step));
            const int camera = 1 + static_cast<int>(step % 2);
            SharedView points(("Multi_Lumora_Mappfile_" + std::to_string(camera)).c_str(), 1025);
            if (configured(camera) && points.Ok() && ReadPoints(points.As<uint8_t>()).count == 1) seen |= camera;
        }
        pen.Up();
        EXPECT_EQ(seen, 3) << "cameras publishing within 10 s of camera " << unplugged + 1 << " back, as bits";
    }
    d.Quit();
    EXPECT_GE(d.driver.WaitForExitCountingBoxes(), 0);
}

TEST(Cameras, QuitNeverHangsOnAReaderThatStoppedAnswering) {
    PenControl pen;
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    SharedView table(kMultiScreenName, sizeof(MultiScreenTable));
    auto* t = table.As<MultiScreenTable>();
    ASSERT_TRUE(WaitFor([&] { return EntryOf(t, 1) >= 0; }, 10000));
    ReaderWindow hung(false);
    Register(t, EntryOf(t, 1), hung.Hwnd());
    pen.Down(400, 300);  // frames with a pen in them flow while quitting
    Sleep(1000);
    table.Close();
    DWORD start = GetTickCount();
    d.Quit();
    ASSERT_TRUE(d.driver.WaitForExit(10000));
    printf("quit with a hung reader took %lu ms\n", GetTickCount() - start);
    pen.Up();
    EXPECT_FALSE(MappingExists(kMultiScreenName));
}

TEST(Cameras, MessagesFromOtherProgramsNeverCrashTheDriver) {
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    const LPARAM lps[] = {0, 1, 10, 2, -1, static_cast<LPARAM>(0xDEADBEEF), 0x10};
    for (WPARAM code = 0; code <= 20; ++code)
        for (LPARAM lp : lps)
            if (!(code == 9 && lp == 1)) PostMessageA(d.main, kProcCmd, code, lp);
    PostMessageA(d.main, kProcCmd, 0xFFFFFFFFu, 1);
    for (UINT msg : {0x802u, 0x803u})
        for (LPARAM lp : lps) {
            PostMessageA(d.main, msg, 0, lp);
            PostMessageA(d.main, msg, static_cast<WPARAM>(lp), lp);
        }
    for (LPARAM lp : lps) PostMessageA(d.main, WM_USER + 2, 1, lp);
    Sleep(1000);
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(d.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
    EXPECT_TRUE(d.driver.Running());
    d.Quit();
    EXPECT_GE(d.driver.WaitForExitCountingBoxes(), 0);  // a calibration command may have opened one
}

// Five cameras (the screen table's limit) end together: quitting stays within 3 s and the window
// keeps answering meanwhile.
TEST(Cameras, QuitWithFiveCamerasIsQuickAndTheWindowAnswers) {
    ProgramFolder folder;
    folder.Write("VirtualCamera.ini", "[Camera0]\r\n[Camera1]\r\n[Camera2]\r\n[Camera3]\r\n[Camera4]\r\n");
    folder.Write("Tavori.ini", "[System]\r\nMultiScreen=5\r\n");
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND main = driver.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_5"); }, 20000));
    Sleep(1000);
    const DWORD start = GetTickCount();
    PostMessageA(main, WM_COMMAND, kQuit, 0);
    DWORD slowest = 0;
    while (!driver.WaitForExit(50) && GetTickCount() - start < 10000) {
        const DWORD asked = GetTickCount();
        DWORD_PTR result = 0;
        // Without "abort if hung": Wine calls a thread hung on its own judgement, not by waiting.
        if (SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) || !IsWindow(main))
            slowest = std::max(slowest, GetTickCount() - asked);
        else
            slowest = 2000;
    }
    const DWORD took = GetTickCount() - start;
    printf("quit with five cameras: %lu ms, slowest answer %lu ms\n", took, slowest);
    EXPECT_LE(took, 3000u);
    EXPECT_LE(slowest, 500u);
}

// A calibration the detector cannot use (every point at one place) leaves the pen dead: the user is
// told once which camera it is.
TEST(Cameras, ACalibrationTheDetectorRefusesIsNamedOnce) {
    PenControl pen;
    ProgramFolder folder;
    folder.Write("Tavori.ini", "[System]\r\nSetPtCount=25\r\n");
    _SCalibration cal = CalibrationFromModel(DefaultCamera(), 5);
    for (int i = 0; i < 25; ++i) cal.x[i] = 300, cal.y[i] = 200;
    WriteCalibrationIni(folder, cal);
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND box = driver.WaitForMessageBox(10000);
    ASSERT_NE(box, nullptr);
    EXPECT_NE(MessageBoxText(box).find(L"Camera 1"), std::wstring::npos);
    PressOk(box);
    Sleep(1500);
    EXPECT_TRUE(driver.MessageBoxes().empty());
    PostMessageA(driver.WaitForMainWindow(), WM_COMMAND, kQuit, 0);
    EXPECT_GE(driver.WaitForExitCountingBoxes(), 0);
}

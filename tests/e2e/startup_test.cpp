// Start-up and shutdown of the driver as other programs see them.
#include <gtest/gtest.h>

#include <functional>

#include "DriverHarness.h"

using namespace e2e;

namespace {
const char* const kScreenTable = "Multi_Lumora_Mappfile";
const char* const kFixedBlock = "IR_Multi_Touch_Share_Memory";

void ExpectMappingsGone() {
    EXPECT_FALSE(MappingExists(kScreenTable));
    EXPECT_FALSE(MappingExists(kFixedBlock));
}
}  // namespace

// A fresh folder gets its settings written and a window kept out of sight (at the origin, no size,
// out of the task bar); a renamed executable uses the settings file of its own name; Quit writes
// Management=0 and removes the shared memory (Escape, Enter and the close commands leave the driver
// running: the tray menu's case).
TEST(Startup, RunsHiddenWithItsMemoryAndQuitWritesManagementZero) {
    for (const std::string exe : {"Tavori", "Other"}) {  // a fresh folder, then a renamed executable
        SCOPED_TRACE(exe);
        const bool fresh = exe == "Tavori";
        ProgramFolder folder(exe + ".exe");
        const std::string ini = exe + ".ini";
        if (!fresh) folder.Write(ini, "[System]\r\nManagement=800\r\n");
        Driver driver;
        HWND main = driver.Launch(folder);
        ASSERT_NE(main, nullptr);
        EXPECT_EQ(folder.ReadKey(ini, "System", "TimeRight"), "60");
        EXPECT_TRUE(MappingExists(kScreenTable));
        EXPECT_TRUE(MappingExists(kFixedBlock));
        if (fresh) {
            RECT rc{};
            // The hide timer; and the window is found by its caption, set before it is made a tool window.
            WaitFor([&] {
                return GetWindowRect(main, &rc) && !IsWindowVisible(main) && rc.right == 0 &&
                       (GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
            }, 3000);
            EXPECT_FALSE(IsWindowVisible(main));
            EXPECT_TRUE(rc.left == 0 && rc.top == 0 && rc.right == 0) << rc.left << "," << rc.top << "," << rc.right;
            EXPECT_EQ(GetWindowLongA(main, GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW), WS_EX_TOOLWINDOW);
        }
        driver.Quit();
        ASSERT_TRUE(driver.WaitForExit());
        EXPECT_EQ(folder.ReadKey(ini, "System", "Management"), "0");
        EXPECT_EQ(folder.Exists("Tavori.ini"), ini == "Tavori.ini");
        ExpectMappingsGone();
    }
}

TEST(Startup, SecondCopyEndsSilentlyAfterWritingTimeRight) {
    ProgramFolder folder;
    Driver first;
    HWND main = first.Launch(folder);
    ASSERT_NE(main, nullptr);

    folder.Write("Tavori.ini", "[System]\r\nTimeRight=-3\r\n");
    Driver second;
    ASSERT_TRUE(second.Start(folder));
    bool sawWindow = false;
    WaitFor([&] { return (sawWindow = sawWindow || !second.Windows(true).empty()), !second.Running(); }, 5000);
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_FALSE(sawWindow) << "the second copy showed a window or a message box";
    EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "TimeRight"), "60");
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindow(main));

    first.Quit();
    EXPECT_TRUE(first.WaitForExit());
}

// What the driver cannot have at start: the flash store (a box of its own, its text empty without
// Lang: the language cases show the text) or the screen table's name (a box, an end before any
// setting is written) ends it; without the fixed block's name it runs on.
TEST(Startup, WhatItCannotHaveAtStartEndsItWithOneBoxOrNotAtAll) {
    const struct {
        const char* name;
        const char* heldName;  // held by another kind of object
        bool flashStoreBlocked;
        const wchar_t* box;  // nullptr: runs on
        const char* management;
    } cases[] = {{"flash store unavailable, no Lang", nullptr, true, L"", "0"},
                 {"screen table name held", kScreenTable, false, L"System error", "<missing>"},
                 {"fixed block name held", kFixedBlock, false, nullptr, "0"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HANDLE squatter = c.heldName ? CreateMutexA(nullptr, FALSE, c.heldName) : nullptr;
        ProgramFolder folder("Tavori.exe", !c.flashStoreBlocked);
        if (c.flashStoreBlocked) CreateDirectoryA(folder.Path("CameraFlash.bin").c_str(), nullptr);
        Driver driver;
        ASSERT_TRUE(driver.Start(folder));
        if (c.box) {
            HWND box = driver.WaitForMessageBox();
            ASSERT_NE(box, nullptr);
            EXPECT_EQ(MessageBoxText(box), c.box);
            char title[64] = {};
            GetWindowTextA(box, title, sizeof(title));
            EXPECT_STREQ(title, "Tavori");
            EXPECT_EQ(driver.Windows(true).size(), 1u);
            PressOk(box);
        } else {
            ASSERT_NE(driver.WaitForMainWindow(), nullptr);
            EXPECT_TRUE(MappingExists(kScreenTable));
            driver.Quit();
        }
        ASSERT_TRUE(driver.WaitForExit());
        EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "Management"), c.management);
        if (squatter) CloseHandle(squatter);
        ExpectMappingsGone();
    }
}

TEST(Startup, AFolderThatCannotBeWrittenIsNamedAndTheDriverRunsOn) {
    ProgramFolder folder;
    // chattr +i: a folder that even root cannot write.
    const std::string unixDir = HostPath(folder.dir);
    // start /unix does not wait for the host program: wait for its effect.
    auto canCreate = [probe = folder.Path("probe")] {
        HANDLE h = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_DELETE_ON_CLOSE,
                               nullptr);
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        return h != INVALID_HANDLE_VALUE;
    };
    struct Writable {
        std::string dir;
        std::function<bool()> writable;
        ~Writable() {
            RunOnHost("/usr/bin/chattr -i " + dir);
            WaitFor(writable, 5000);
        }
    } restore{unixDir, canCreate};
    RunOnHost("/usr/bin/chattr +i " + unixDir);
    if (!WaitFor([&] { return !canCreate(); }, 5000)) GTEST_SKIP() << "the host cannot make a folder read-only";
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND box = driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_NE(MessageBoxText(box).find(L"cannot write to its folder"), std::wstring::npos);
    PressOk(box);
    ASSERT_NE(driver.WaitForMainWindow(), nullptr) << "the driver did not run on";
    EXPECT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000));
    driver.Quit();
    EXPECT_GE(driver.WaitForExitCountingBoxes(), 0);
}

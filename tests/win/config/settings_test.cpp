#include <process.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "ProgramFolderFixture.h"
#include "config/IniFile.h"

using SettingsTest = ProgramFolderTest;

TEST_F(SettingsTest, ValuesAreReadAsWrittenWithTheirOwnDefaultsElsewhere) {
    WriteFile(ini,
              "[system]\r\nframes=30\r\nAddExposureSF=-6\r\nSetPtCount=25\r\nDrawFile=Draw\\Ink.exe\r\n"
              "[Enroll]\r\nExposure=-4\r\nAuto=-2\r\n");
    LoadSettings();
    EXPECT_EQ(g_Settings.Frames, 30);  // section and key names match without regard to case
    EXPECT_EQ(g_Settings.AddExposureSF, -6);
    EXPECT_EQ(g_Settings.SetPtCount, 25);
    EXPECT_EQ(g_Settings.PtCount, 25);  // PtCount falls back to SetPtCount
    EXPECT_EQ(g_Settings.DrawFile, "Draw\\Ink.exe");
    EXPECT_EQ(g_Settings.EnrollExposure, -4);
    EXPECT_EQ(g_Settings.EnrollAuto, -2);
}

// Timing keys: below their range the default, above it the top of the range, never wrapped.
TEST_F(SettingsTest, TimingKeysAreClampedAndTimeRightIsWrittenBackOnlyWhenItChanges) {
    const struct {
        const char* line;
        int timeRight, rightTime, dbQuiet;
        unsigned framePeriod;
    } cases[] = {
        {"TimeRight=0\r\nOnRightButtonTime=-1\r\nTimeDBClickDis=-5\r\nFrames=0", 60, 1000, 800, 16},
        {"TimeRight=150\r\nOnRightButtonTime=300\r\nTimeDBClickDis=0\r\nFrames=30", 150, 300, 0, 33},
        {"TimeRight=99999999999999999999\r\nOnRightButtonTime=4000000000\r\nTimeDBClickDis=3000\r\nFrames=5000",
         1000, 10000, 2000, 0},  // faster than 1 ms a frame: no pause, and no division by zero
    };
    for (const auto& c : cases) {
        WriteFile(ini, std::string("[System]\r\n") + c.line + "\r\nPtCount=9\r\n");
        LoadSettings();
        EXPECT_EQ(g_Settings.TimeRight, c.timeRight) << c.line;
        EXPECT_EQ(g_Settings.OnRightButtonTime, c.rightTime) << c.line;
        EXPECT_EQ(g_Settings.TimeDBClickDis, c.dbQuiet) << c.line;
        EXPECT_EQ(g_Settings.FramePeriodMs(), c.framePeriod) << c.line;
        EXPECT_EQ(ReadKey(ini, "System", "TimeRight"), std::to_string(c.timeRight)) << c.line;
        EXPECT_EQ(g_Settings.PtCount, 9);
    }
    // A start that changes nothing leaves the file alone.
    WIN32_FILE_ATTRIBUTE_DATA a{}, b{};
    GetFileAttributesExA(ini.c_str(), GetFileExInfoStandard, &a);
    Sleep(30);
    LoadSettings();
    GetFileAttributesExA(ini.c_str(), GetFileExInfoStandard, &b);
    EXPECT_EQ(CompareFileTime(&a.ftLastWriteTime, &b.ftLastWriteTime), 0);
}

// A writer killed at any moment leaves the old file or the new one, whole: never a cut-off file.
TEST_F(SettingsTest, AWriterKilledMidWriteLeavesAWholeFile) {
    constexpr int kKeys = 3000;
    std::string text = "[System]\r\n";
    for (int i = 0; i < kKeys; ++i) text += "Key" + std::to_string(i) + "=" + std::string(20, 'v') + "\r\n";
    WriteFile(ini, text);
    std::mt19937 rng(7);
    std::string last;
    int changed = 0;
    auto written = [&] {
        WIN32_FILE_ATTRIBUTE_DATA a{};
        GetFileAttributesExA(ini.c_str(), GetFileExInfoStandard, &a);
        return (uint64_t{a.ftLastWriteTime.dwHighDateTime} << 32) | a.ftLastWriteTime.dwLowDateTime;
    };
    for (int round = 0; round < 20; ++round) {
        const uint64_t before = written();
        const auto writer = reinterpret_cast<HANDLE>(_spawnl(_P_NOWAIT, (dir + "\\settings_writer.exe").c_str(), "writer",
                                                             ("\"" + ini + "\"").c_str(), std::to_string(kKeys).c_str(), nullptr));
        ASSERT_NE(writer, INVALID_HANDLE_VALUE);
        // Killed at a random moment once it is writing: a loaded machine may take long to start it.
        for (const DWORD t0 = GetTickCount(); written() == before && GetTickCount() - t0 < 10000;) Sleep(1);
        Sleep(rng() % 40);
        TerminateProcess(writer, 9);
        WaitForSingleObject(writer, 5000);
        CloseHandle(writer);
        std::vector<char> keys(1 << 20);
        const DWORD n = GetPrivateProfileSectionA("System", keys.data(), static_cast<DWORD>(keys.size()), ini.c_str());
        int count = 0;
        for (DWORD i = 0; i < n; i += static_cast<DWORD>(strlen(keys.data() + i)) + 1) count += strlen(keys.data() + i) > 20;
        ASSERT_EQ(count, kKeys) << "round " << round;  // every key, each with its whole value
        changed += std::string(keys.data(), n) != last;
        last.assign(keys.data(), n);
    }
    EXPECT_GT(changed, 1);  // the writer did get to write
    DeleteFileA((ini + ".tmp").c_str());
}

// Another program reading the file as a C runtime does (no delete sharing) while the driver writes,
// or two of the driver's threads writing at once: every value lands.
TEST_F(SettingsTest, WritesLandWhileTheFileIsReadElsewhereOrWrittenByAnotherThread) {
    WriteFile(ini, "[System]\r\nOutput=mouse\r\n");
    HANDLE reader = CreateFileA(ini.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    std::thread letGo([&] {
        Sleep(150);
        CloseHandle(reader);
    });
    EXPECT_TRUE(::ini::WriteString(ini, "System", "Active", "hall"));
    letGo.join();
    EXPECT_EQ(ReadKey(ini, "System", "Active"), "hall");

    auto writeKeys = [&](char thread) {
        for (int i = 0; i < 40; ++i) ::ini::WriteString(ini, "System", (thread + std::to_string(i)).c_str(), "1");
    };
    std::thread other(writeKeys, 'b');
    writeKeys('a');
    other.join();
    int landed = 0;
    for (char thread : {'a', 'b'})
        for (int i = 0; i < 40; ++i) landed += ReadKey(ini, "System", (thread + std::to_string(i)).c_str()) == "1";
    EXPECT_EQ(landed, 80);
    EXPECT_EQ(ReadKey(ini, "System", "Output"), "mouse");
}

TEST_F(SettingsTest, SearchTypeComesFromTavoriIniWhateverTheExecutableIsCalled) {
    WriteFile(ini, "[System]\r\nSearchPtType=7\r\n");
    WriteFile(dir + "\\Tavori.ini", "[System]\r\nSearchPtType=3\r\n");
    LoadSettings();
    EXPECT_EQ(searchType, 0);  // not read at start
    ReloadSearchType();
    EXPECT_EQ(searchType, 3);
    DeleteFileA((dir + "\\Tavori.ini").c_str());
    ReloadSearchType();
    EXPECT_EQ(searchType, 0);
}

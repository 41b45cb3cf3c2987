// Start-up and shutdown of the driver as other programs see them.
#include <gtest/gtest.h>

#include <cstring>

#include "DriverHarness.h"

using namespace e2e;

namespace {
constexpr UINT kQuit = 2035;
const char* const kScreenTable = "Multi_Lumora_Mappfile";
const char* const kFixedBlock = "IR_Multi_Touch_Share_Memory";

void ExpectMappingsGone() {
    EXPECT_FALSE(MappingExists(kScreenTable));
    EXPECT_FALSE(MappingExists(kFixedBlock));
}
}  // namespace

TEST(Startup, FreshFolderRunsHiddenPublishesItsMemoryAndQuitsOnCommand) {
    ProgramFolder folder;
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND main = driver.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "TimeRight"), "60");

    // The hide timer hides the window; it sits at the origin with no size, out of the task bar.
    Sleep(700);
    EXPECT_FALSE(IsWindowVisible(main));
    RECT rc{};
    GetWindowRect(main, &rc);
    EXPECT_EQ(rc.left, 0);
    EXPECT_EQ(rc.top, 0);
    EXPECT_EQ(rc.right - rc.left, 0);
    EXPECT_TRUE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    EXPECT_FALSE(GetWindowLongA(main, GWL_EXSTYLE) & WS_EX_APPWINDOW);

    HANDLE table = OpenFileMappingA(FILE_MAP_READ, FALSE, kScreenTable);
    ASSERT_NE(table, nullptr);
    const auto* view = static_cast<const uint8_t*>(MapViewOfFile(table, FILE_MAP_READ, 0, 0, 164));
    ASSERT_NE(view, nullptr);
    uint8_t zeros[164] = {};
    EXPECT_EQ(memcmp(view, zeros, sizeof(zeros)), 0);
    UnmapViewOfFile(view);
    CloseHandle(table);
    EXPECT_TRUE(MappingExists(kFixedBlock));

    PostMessageA(main, WM_COMMAND, kQuit, 0);
    ASSERT_TRUE(driver.WaitForExit());
    EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "Management"), "0");
    ExpectMappingsGone();
}

TEST(Startup, CloseSystemCommandEndsAndWritesManagementZero) {
    ProgramFolder folder;
    folder.Write("Tavori.ini", "[System]\r\nManagement=800\r\n");
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND main = driver.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    PostMessageA(main, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(driver.WaitForExit());
    EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "Management"), "0");
    ExpectMappingsGone();
}

TEST(Startup, SecondCopyEndsSilentlyAfterWritingTimeRight) {
    ProgramFolder folder;
    Driver first;
    ASSERT_TRUE(first.Start(folder));
    HWND main = first.WaitForMainWindow();
    ASSERT_NE(main, nullptr);

    folder.Write("Tavori.ini", "[System]\r\nTimeRight=-3\r\n");
    Driver second;
    ASSERT_TRUE(second.Start(folder));
    bool sawWindow = false;
    for (int i = 0; i < 500 && second.Running(); ++i) {
        if (!second.Windows(true).empty()) sawWindow = true;
        Sleep(10);
    }
    ASSERT_TRUE(second.WaitForExit());
    EXPECT_FALSE(sawWindow) << "the second copy showed a window or a message box";
    EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "TimeRight"), "60");
    EXPECT_TRUE(first.Running());
    EXPECT_TRUE(IsWindow(main));

    PostMessageA(main, WM_COMMAND, kQuit, 0);
    EXPECT_TRUE(first.WaitForExit());
}

TEST(Startup, RenamedExecutableUsesTheSettingsFileOfItsOwnName) {
    ProgramFolder folder("Other.exe");
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND main = driver.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(folder.ReadKey("Other.ini", "System", "TimeRight"), "60");
    EXPECT_FALSE(folder.Exists("Tavori.ini"));
    PostMessageA(main, WM_COMMAND, kQuit, 0);
    ASSERT_TRUE(driver.WaitForExit());
    EXPECT_EQ(folder.ReadKey("Other.ini", "System", "Management"), "0");
}

TEST(Startup, UnavailableFlashStoreShowsOneMessageAndWritesManagementZero) {
    ProgramFolder folder;
    CreateDirectoryA(folder.Path("CameraFlash.bin").c_str(), nullptr);  // a folder where the store goes
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND box = driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), FromCodePage(LanguageFileText("English.ini", "IDS_INSTAVORI"), CP_ACP));
    char title[64] = {};
    GetWindowTextA(box, title, sizeof(title));
    EXPECT_STREQ(title, "Tavori");
    EXPECT_EQ(driver.Windows(true).size(), 1u);
    PressOk(box);
    ASSERT_TRUE(driver.WaitForExit());
    EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "Management"), "0");
    ExpectMappingsGone();
}

TEST(Startup, WithoutTheLangFolderTheMessageIsEmpty) {
    ProgramFolder folder("Tavori.exe", false);
    CreateDirectoryA(folder.Path("CameraFlash.bin").c_str(), nullptr);
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND box = driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"");
    PressOk(box);
    ASSERT_TRUE(driver.WaitForExit());
}

// Wine takes the locale from the Linux environment the whole test process started in, so this case
// runs in a test run of its own (LANG=zh_CN.UTF-8, TAVORI_EXPECT_LCID=804) and is skipped elsewhere.
TEST(ChineseLocale, LoadsTheChineseTexts) {
    char expect[16] = {};
    GetEnvironmentVariableA("TAVORI_EXPECT_LCID", expect, sizeof(expect));
    if (GetSystemDefaultLCID() != 0x804) {
        ASSERT_EQ(expect[0], 0) << "the locale 0x804 was asked for but the system locale is "
                                << std::hex << GetSystemDefaultLCID();
        GTEST_SKIP() << "needs the zh_CN locale";
    }
    ProgramFolder folder;
    CreateDirectoryA(folder.Path("CameraFlash.bin").c_str(), nullptr);
    Driver driver;
    ASSERT_TRUE(driver.Start(folder, {{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", "zh_CN.UTF-8"}}));
    HWND box = driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    std::wstring expected = FromCodePage(LanguageFileText("SimplifiedChinese.ini", "IDS_INSTAVORI"), 936);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(MessageBoxText(box), expected);
    Sleep(200);
    SaveScreenshot(E2eDir() + "\\chinese-message.png");  // for a person to look at: no boxes for glyphs
    PressOk(box);
    ASSERT_TRUE(driver.WaitForExit());
}

TEST(Startup, ScreenTableNameHeldElsewhereIsASystemError) {
    HANDLE squatter = CreateMutexA(nullptr, FALSE, kScreenTable);
    ASSERT_NE(squatter, nullptr);
    ProgramFolder folder;
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND box = driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(MessageBoxText(box), L"System error");
    PressOk(box);
    ASSERT_TRUE(driver.WaitForExit());
    EXPECT_EQ(folder.ReadKey("Tavori.ini", "System", "Management"), "<missing>");
    EXPECT_EQ(driver.WaitForMainWindow(0), nullptr);
    CloseHandle(squatter);
}

TEST(Startup, FixedBlockNameHeldElsewhereDoesNotStopStartUp) {
    HANDLE squatter = CreateMutexA(nullptr, FALSE, kFixedBlock);
    ASSERT_NE(squatter, nullptr);
    ProgramFolder folder;
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND main = driver.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(MappingExists(kScreenTable));
    PostMessageA(main, WM_COMMAND, kQuit, 0);
    EXPECT_TRUE(driver.WaitForExit());
    CloseHandle(squatter);
}

TEST(Startup, SearchTypeMessagesFromAnyProgramAreHarmless) {
    ProgramFolder folder;
    Driver driver;
    ASSERT_TRUE(driver.Start(folder));
    HWND main = driver.WaitForMainWindow();
    ASSERT_NE(main, nullptr);
    const WPARAM wps[] = {0, 1, 2, static_cast<WPARAM>(-1)};
    const LPARAM lps[] = {0, 3, -1, 0x7FFFFFFF, static_cast<LPARAM>(0x80000000u)};
    for (WPARAM wp : wps)
        for (LPARAM lp : lps) {
            DWORD_PTR result = 1;
            EXPECT_TRUE(SendMessageTimeoutA(main, WM_USER + 2, wp, lp, SMTO_ABORTIFHUNG, 2000, &result));
            EXPECT_EQ(result, 0u);
        }
    EXPECT_TRUE(driver.Running());
    PostMessageA(main, WM_COMMAND, kQuit, 0);
    EXPECT_TRUE(driver.WaitForExit());
}

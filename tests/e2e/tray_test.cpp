// The tray menu, About, Help, Options and laser writing as a user meets them: this process clicks
// with the system mouse and presses keys while Tavori.exe runs on a virtual camera.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>
#include <vector>

#include "DriverHarness.h"
#include "VirtualRig.h"
#include "output/SharedMemory.h"

using namespace e2e;

namespace {
constexpr int kItem = 22;  // menu item height at the test display's 96 DPI

void Mouse(POINT p, DWORD buttons = 0) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi = {p.x * 65535 / (ScreenWidth() - 1), p.y * 65535 / (ScreenHeight() - 1), 0,
             MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons, 0, 0};
    SendInput(1, &in, sizeof(in));
    Sleep(60);
}
void Click(POINT p, bool right = false) {
    Mouse(p);
    Mouse(p, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    Mouse(p, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}
// Keys as typed: lower-case letters, space, \t Tab, \n Enter, H Home, E End, D Down, X Escape; ^ holds
// Shift for the next key.
void Type(const char* keys) {
    for (bool shift = false; *keys; ++keys) {
        const char k = *keys;
        if (k == '^') { shift = true; continue; }
        const WORD vk = k == '\t' ? VK_TAB : k == '\n' ? VK_RETURN : k == 'H' ? VK_HOME : k == 'D' ? VK_DOWN
                      : k == 'E' ? VK_END : k == 'X' ? VK_ESCAPE : static_cast<WORD>(toupper(k));
        INPUT in[4]{};
        for (INPUT& i : in) i.type = INPUT_KEYBOARD;
        in[0].ki.wVk = in[3].ki.wVk = VK_SHIFT;
        in[1].ki.wVk = in[2].ki.wVk = vk;
        in[2].ki.dwFlags = in[3].ki.dwFlags = KEYEVENTF_KEYUP;
        shift ? SendInput(4, in, sizeof(INPUT)) : SendInput(2, in + 1, sizeof(INPUT));
        shift = false;
        Sleep(80);
    }
}
HWND Shown(const char* cls, const char* caption, DWORD waitMs = 0) {
    HWND h = nullptr;
    WaitFor([&] { return (h = FindWindowA(cls, caption)) && IsWindowVisible(h); }, waitMs);
    return h && IsWindowVisible(h) ? h : nullptr;
}
bool Gone(const char* cls, const char* caption) {
    return WaitFor([&] { return !Shown(cls, caption); }, 3000);
}
RECT Rect(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return r;
}
HWND OpenMenu() {
    Click({12, 30});  // the first icon of Wine's tray window
    HWND menu = Shown("#32768", nullptr, 4000);
    Sleep(200);
    return menu;
}
int Items(HWND menu) { return (Rect(menu).bottom - Rect(menu).top) / kItem; }
POINT Item(HWND menu, int i) {
    RECT r = Rect(menu);
    return {r.left + 80, r.top + (r.bottom - r.top - Items(menu) * kItem) / 2 + i * kItem + kItem / 2};
}
// How many pixels of the menu have the colour; -1 counts the text's pixels (dark, right of the icons).
int Pixels(HWND menu, int colour) {
    RECT r = Rect(menu);
    int count = 0;
    HDC screen = GetDC(nullptr);
    for (int y = r.top; y < r.bottom; ++y)
        for (int x = colour < 0 ? r.left + 45 : r.left; x < r.right; ++x) {
            COLORREF c = GetPixel(screen, x, y);
            count += colour < 0 ? GetRValue(c) + GetGValue(c) + GetBValue(c) < 450 : c == static_cast<COLORREF>(colour);
        }
    ReleaseDC(nullptr, screen);
    return count;
}
}  // namespace

TEST(TrayMenu, OpensAtTheCursorAndEachItemDoesItsJob) {
    CalibratedDriver d;
    CreateDirectoryA(d.folder.Path("guide").c_str(), nullptr);
    d.folder.Write("guide\\index.html", "<html></html>");
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(d.WaitUntilDetecting());
    Click({12, 30}, true);
    EXPECT_EQ(Shown("#32768", nullptr, 500), nullptr) << "a right click opens nothing";

    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_NEAR(Rect(menu).left, 12, 3);
    EXPECT_NEAR(Rect(menu).top, 30, 3);
    EXPECT_EQ(Items(menu), 5);
    EXPECT_GT(Pixels(menu, RGB(219, 216, 209)), 5 * 15 * 15);  // the icon column
    EXPECT_GT(Pixels(menu, RGB(249, 248, 247)), 5 * 80 * 15);  // the text area
    EXPECT_GT(Pixels(menu, -1), 300);                           // the texts
    SaveScreenshot(E2eDir() + "\\tray-menu-en.png");
    Mouse(Item(menu, 3));
    Sleep(300);
    EXPECT_GT(Pixels(menu, RGB(177, 185, 207)), 100 * 15) << "the item under the mouse is highlighted";

    Click(Item(menu, 3));
    HWND about = Shown(nullptr, "About Tavori", 4000);
    ASSERT_NE(about, nullptr);
    char version[64] = {};
    GetDlgItemTextA(about, 1000, version, sizeof(version));
    EXPECT_STREQ(version, TAVORI_VERSION_LINE);
    Type("\n");
    EXPECT_TRUE(Gone(nullptr, "About Tavori"));

    ASSERT_NE(menu = OpenMenu(), nullptr);
    Click({900, 700});
    EXPECT_TRUE(Gone("#32768", nullptr)) << "a click elsewhere closes the menu";
    Sleep(300);
    EXPECT_TRUE(d.driver.Windows(true).empty()) << "and chooses nothing";

    // .html opens with a command that records the path it is handed, as a browser would be.
    char saved[256] = "htmlfile";
    LONG savedSize = sizeof(saved);
    RegQueryValueA(HKEY_CLASSES_ROOT, ".html", saved, &savedSize);
    RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, "TavoriTestPage", 0);
    std::string record = "cmd.exe /c echo %1>\"" + d.folder.Path("browser.txt") + "\"";
    RegSetValueA(HKEY_CLASSES_ROOT, "TavoriTestPage\\shell\\open\\command", REG_SZ, record.c_str(), 0);
    ASSERT_NE(menu = OpenMenu(), nullptr);
    Click(Item(menu, 2));
    std::string opened;
    EXPECT_TRUE(WaitFor([&] { return std::ifstream(d.folder.Path("browser.txt")) >> opened; }, 5000));
    EXPECT_EQ(opened, d.folder.Path("guide\\index.html"));
    RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, saved, 0);
    ASSERT_NE(menu = OpenMenu(), nullptr);
    Click(Item(menu, 4));
    ASSERT_TRUE(d.driver.WaitForExit());
    EXPECT_EQ(d.folder.ReadKey("Tavori.ini", "System", "Management"), "0");
}

TEST(TrayMenu, WorksFromTheKeyboardAndShrinksWithoutACamera) {
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(d.WaitUntilDetecting());
    ASSERT_NE(OpenMenu(), nullptr);
    Type("DDDD\n");
    ASSERT_NE(Shown(nullptr, "About Tavori", 4000), nullptr) << "Down four times and Enter choose About";
    Type("X");
    EXPECT_TRUE(Gone(nullptr, "About Tavori"));
    ASSERT_NE(OpenMenu(), nullptr);
    Type("X");
    EXPECT_TRUE(Gone("#32768", nullptr)) << "Escape closes the menu";

    PenControl pen;
    pen.Unplug(0);
    HWND box = d.driver.WaitForMessageBox();
    ASSERT_NE(box, nullptr);
    PressOk(box);
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Items(menu), 3) << "no calibration entries while no camera runs";
    Click({900, 700});
    pen.Plug(0);
    d.Quit();
    EXPECT_TRUE(d.driver.WaitForExit());
}

TEST(TrayChinese, MenuShowsTheChineseTexts) {
    if (GetSystemDefaultLCID() != 0x804) GTEST_SKIP() << "needs the zh_CN locale";
    ProgramFolder folder;
    WriteCalibrationIni(folder, CalibrationFromModel(DefaultCamera(), 5));
    Driver driver;
    ASSERT_TRUE(driver.Start(folder, {{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", "zh_CN.UTF-8"}}));
    HWND main = driver.WaitForMainWindow();
    ASSERT_TRUE(WaitFor([] { return MappingExists("Multi_Lumora_Mappfile_1"); }, 10000));
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(Items(menu), 5);
    EXPECT_GT(Pixels(menu, -1), 300);
    SaveScreenshot(E2eDir() + "\\tray-menu-zh.png");  // for a person to look at: glyphs, not boxes
    Click({900, 700});
    PostMessageA(main, WM_COMMAND, 2035, 0);
    EXPECT_TRUE(driver.WaitForExit());
}

namespace {
// Whether camera 0 publishes one point near (x, y) within 3 s.
bool PublishedNear(double x, double y) {
    HANDLE map = OpenFileMappingA(FILE_MAP_READ, FALSE, "Multi_Lumora_Mappfile_1");
    const auto* view = map ? static_cast<const uint8_t*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 1025)) : nullptr;
    _SDetectPoint p{};
    bool seen = view && WaitFor([&] {
        memcpy(&p, view + 1, sizeof(p));
        return view[0] == 1 && std::hypot(p.x - x, p.y - y) < 12;
    }, 3000);
    if (!seen) printf("published %d,%d, expected %.0f,%.0f\n", p.x, p.y, x, y);
    if (view) UnmapViewOfFile(view);
    if (map) CloseHandle(map);
    return seen;
}
std::string Row(HWND options, int i) {
    wchar_t text[256] = {};  // the wide form: Wine passes only one character of the narrow one across processes
    SendDlgItemMessageW(options, 1023, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    return std::string(text, text + wcslen(text));
}
}  // namespace

TEST(Options, NamedCalibrationsByKeyboardApplyAtOnceAndSurviveARestart) {
    PenControl pen;
    CalibratedDriver d;
    ASSERT_TRUE(d.Start("[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\nSetting=1\r\n"));
    ASSERT_TRUE(d.WaitUntilDetecting());
    HANDLE table = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kMultiScreenName);
    auto* t = static_cast<MultiScreenTable*>(MapViewOfFile(table, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(MultiScreenTable)));
    ASSERT_NE(t, nullptr);
    t->bReady[0] = 1;  // a reading program: the camera publishes its points
    const double x = 0.6 * ScreenWidth(), y = 0.6 * ScreenHeight();
    pen.Down(x, y);
    EXPECT_TRUE(PublishedNear(x, y));
    pen.Up();

    PostMessageA(d.main, WM_COMMAND, 2045, 0);
    ASSERT_NE(Shown(nullptr, "Calibrations", 4000), nullptr);
    Type("\t\t\t room\n\t\t hall\n");  // from the list: name, Rename, New
    const std::string ini = d.folder.Path("Calibration.ini"), hall = d.folder.ReadKey("Calibration.ini", "System", "End");
    ASSERT_EQ(hall.size(), 15u);
    // Hall's own mapping, as a set-up tool prepares it: the whole camera view on half the screen.
    auto put = [&](const std::string& key, long value) {
        WritePrivateProfileStringA(hall.c_str(), key.c_str(), std::to_string(value).c_str(), ini.c_str());
    };
    put("CamScreen0", 0);
    put("winwidth0", ScreenWidth() / 2);
    put("winheight0", ScreenHeight() / 2);
    for (int i = 0; i < 25; ++i) put("x0" + std::to_string(i), d.cal.x[i]), put("y0" + std::to_string(i), d.cal.y[i]);
    Type("^\tHD\t\t E^Hstudio\n");     // row 1 renamed: Rename, then the whole name replaced
    Type("^\tHDD\t\t\t\t ");          // row 2 set active
    EXPECT_TRUE(Gone(nullptr, "Calibrations"));
    const std::string room = d.folder.ReadKey("Calibration.ini", "", "Next");
    EXPECT_EQ(d.folder.ReadKey("Calibration.ini", room.c_str(), "Name"), "studio");
    EXPECT_EQ(d.folder.ReadKey("Calibration.ini", room.c_str(), "Next"), hall);
    EXPECT_EQ(d.folder.ReadKey("Calibration.ini", hall.c_str(), "Name"), "hall");
    EXPECT_EQ(d.folder.ReadKey("Calibration.ini", hall.c_str(), "Next"), "None");
    EXPECT_EQ(d.folder.ReadKey("Calibration.ini", "System", "Active"), hall);
    EXPECT_EQ(d.folder.ReadKey("Calibration.ini", "System", "List"), "<missing>");
    pen.Down(x, y);
    EXPECT_TRUE(PublishedNear(x / 2, y / 2)) << "the active entry's mapping applies at once";
    pen.Up();
    UnmapViewOfFile(t);
    CloseHandle(table);

    d.Quit();
    ASSERT_TRUE(d.driver.WaitForExit());
    WritePrivateProfileStringA(hall.c_str(), "Next", room.c_str(), ini.c_str());  // a loop, as a hand edit leaves it
    Driver again;
    ASSERT_TRUE(again.Start(d.folder));
    HWND main = again.WaitForMainWindow();
    PostMessageA(main, WM_COMMAND, 2045, 0);
    HWND warning = Shown("#32770", "Tavori", 5000);
    ASSERT_NE(warning, nullptr) << "the damaged list is reported";
    EXPECT_NE(MessageBoxText(warning).find(std::wstring(room.begin(), room.end())), std::wstring::npos);
    PressOk(warning);
    HWND options = Shown(nullptr, "Calibrations", 4000);
    EXPECT_EQ(Row(options, 1), "studio");
    EXPECT_EQ(Row(options, 2), "hall [active]");
    Type("X");
    EXPECT_TRUE(Gone(nullptr, "Calibrations"));
    PostMessageA(main, WM_COMMAND, 2035, 0);
    EXPECT_TRUE(again.WaitForExit());
}

TEST(LaserWrite, SwitchesEveryCameraAndKeepsTheBoxBetweenShowings) {
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(d.WaitUntilDetecting());
    HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, "TavoriVirtualPen");
    const auto* exposure = static_cast<const int32_t*>(MapViewOfFile(block, FILE_MAP_READ, 0, 0, 4096)) + 264 / 4;
    const bool visible = exposure[0] != 0;  // cameras that publish their exposure in the pen block
    for (int on : {1, 0, 1}) {
        PostMessageA(d.main, WM_COMMAND, 2046, 0);
        HWND dlg = Shown(nullptr, "Dialog", 4000);
        ASSERT_NE(dlg, nullptr);
        HWND box = GetDlgItem(dlg, 1027);
        EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), on ? BST_UNCHECKED : BST_CHECKED) << "as left last time";
        char text[64] = {};
        GetWindowTextA(box, text, sizeof(text));
        EXPECT_STREQ(text, "Laser writing");
        Click({Rect(box).left + 6, (Rect(box).top + Rect(box).bottom) / 2});
        Click({(Rect(GetDlgItem(dlg, IDOK)).left + Rect(GetDlgItem(dlg, IDOK)).right) / 2, Rect(GetDlgItem(dlg, IDOK)).top + 8});
        EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(dlg); }, 3000));
        EXPECT_TRUE(!visible || WaitFor([&] { return exposure[0] == (on ? -8 : -12); }, 3000)) << exposure[0];
    }
    if (!visible) printf("the camera's exposure is not visible in the pen block: capture mode not checked\n");
    UnmapViewOfFile(exposure - 264 / 4);
    CloseHandle(block);
    d.Quit();
    EXPECT_TRUE(d.driver.WaitForExit());
}

// The tray menu, About, Help, Options and laser writing as a user meets them: this process clicks
// with the system mouse and presses keys while Tavori.exe runs on a virtual camera.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>
#include <sstream>
#include <vector>

#include "DriverHarness.h"
#include "VirtualRig.h"
#include "output/SharedMemory.h"

using namespace e2e;

namespace {
constexpr int kItem = 22;  // menu item height at the test display's 96 DPI

void Mouse(int x, int y, DWORD buttons) {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = x * 65535 / (ScreenWidth() - 1);
    in.mi.dy = y * 65535 / (ScreenHeight() - 1);
    in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | buttons;
    SendInput(1, &in, sizeof(in));
    Sleep(60);
}
void Click(POINT p, bool right = false) {
    Mouse(p.x, p.y, 0);
    Mouse(p.x, p.y, right ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_LEFTDOWN);
    Mouse(p.x, p.y, right ? MOUSEEVENTF_RIGHTUP : MOUSEEVENTF_LEFTUP);
}
// Keys as typed: virtual keys, lower-case letters, and "+" holding Shift for the next key.
void Type(const std::vector<WORD>& keys) {
    bool shift = false;
    for (WORD k : keys) {
        if (k == '+') { shift = true; continue; }
        WORD vk = k >= 'a' && k <= 'z' ? static_cast<WORD>(k - 32) : k;
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
std::vector<WORD> Text(const char* s) { return std::vector<WORD>(s, s + strlen(s)); }

HWND Shown(const char* cls, const char* caption) {
    HWND h = FindWindowA(cls, caption);
    return h && IsWindowVisible(h) ? h : nullptr;
}
HWND WaitShown(const char* cls, const char* caption, DWORD ms = 4000) {
    HWND h = nullptr;
    WaitFor([&] { return (h = Shown(cls, caption)) != nullptr; }, ms);
    return h;
}
HWND OpenMenu() {
    Click({12, 30});  // the first icon of Wine's tray window
    HWND menu = WaitShown("#32768", nullptr);
    Sleep(200);
    return menu;
}
int Items(HWND menu) {
    RECT r{};
    GetWindowRect(menu, &r);
    return (r.bottom - r.top) / kItem;
}
POINT Item(HWND menu, int i) {
    RECT r{};
    GetWindowRect(menu, &r);
    return {r.left + 80, r.top + (r.bottom - r.top - Items(menu) * kItem) / 2 + i * kItem + kItem / 2};
}
// How many pixels of the menu have the colour; -1 counts the text's pixels (dark, right of the icons).
int Pixels(HWND menu, int colour) {
    RECT r{};
    GetWindowRect(menu, &r);
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

// .html opens with a command that writes the path it was given: what a browser would be handed.
struct FakeBrowser {
    explicit FakeBrowser(const std::string& record) {
        RegQueryValueA(HKEY_CLASSES_ROOT, ".html", saved, &savedSize);
        RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, "TavoriTestPage", 0);
        std::string cmd = "C:\\windows\\system32\\cmd.exe /c echo %1>\"" + record + "\"";
        RegSetValueA(HKEY_CLASSES_ROOT, "TavoriTestPage\\shell\\open\\command", REG_SZ, cmd.c_str(), 0);
    }
    ~FakeBrowser() { RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, saved, 0); }
    char saved[256] = "htmlfile";
    LONG savedSize = sizeof(saved);
};
std::string FileText(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

TEST(TrayMenu, OpensAtTheCursorAndEachItemDoesItsJob) {
    CalibratedDriver d;
    CreateDirectoryA(d.folder.Path("guide").c_str(), nullptr);
    d.folder.Write("guide\\index.html", "<html></html>");
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(d.WaitUntilDetecting());
    Click({12, 30}, true);
    Sleep(500);
    EXPECT_EQ(Shown("#32768", nullptr), nullptr) << "a right click opens nothing";

    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    RECT r{};
    GetWindowRect(menu, &r);
    EXPECT_NEAR(r.left, 12, 3);
    EXPECT_NEAR(r.top, 30, 3);
    EXPECT_EQ(Items(menu), 5);
    EXPECT_GT(Pixels(menu, RGB(219, 216, 209)), 5 * 15 * 15);  // the icon column
    EXPECT_GT(Pixels(menu, RGB(249, 248, 247)), 5 * 80 * 15);  // the text area
    EXPECT_GT(Pixels(menu, -1), 300);                           // the texts
    SaveScreenshot(E2eDir() + "\\tray-menu-en.png");
    Mouse(Item(menu, 3).x, Item(menu, 3).y, 0);
    Sleep(300);
    EXPECT_GT(Pixels(menu, RGB(177, 185, 207)), 100 * 15) << "the item under the mouse is highlighted";

    Click(Item(menu, 3));
    HWND about = WaitShown(nullptr, "About Tavori");
    ASSERT_NE(about, nullptr);
    char version[64] = {};
    GetDlgItemTextA(about, 1000, version, sizeof(version));
    EXPECT_STREQ(version, TAVORI_VERSION_LINE);
    Type({VK_RETURN});
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }, 3000));

    ASSERT_NE(menu = OpenMenu(), nullptr);
    Click({900, 700});
    EXPECT_TRUE(WaitFor([] { return !Shown("#32768", nullptr); }, 3000)) << "a click elsewhere closes the menu";
    Sleep(300);
    EXPECT_TRUE(d.driver.Windows(true).empty()) << "and chooses nothing";

    {
        FakeBrowser browser(d.folder.Path("browser.txt"));
        ASSERT_NE(menu = OpenMenu(), nullptr);
        Click(Item(menu, 2));
        EXPECT_TRUE(WaitFor([&] { return FileText(d.folder.Path("browser.txt")).find("guide\\index.html") !=
                                             std::string::npos; }, 5000));
    }
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
    Type({VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN, VK_RETURN});
    HWND about = WaitShown(nullptr, "About Tavori");
    ASSERT_NE(about, nullptr) << "Down four times and Enter choose About";
    Type({VK_ESCAPE});
    EXPECT_TRUE(WaitFor([&] { return !IsWindow(about); }, 3000));
    ASSERT_NE(OpenMenu(), nullptr);
    Type({VK_ESCAPE});
    EXPECT_TRUE(WaitFor([] { return !Shown("#32768", nullptr); }, 3000)) << "Escape closes the menu";

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
    folder.Write("Tavori.ini", "[System]\r\nSetPtCount=25\r\n");
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
// The first published point of camera 0, once a reading program is registered for it.
bool PublishedNear(double x, double y) {
    HANDLE map = OpenFileMappingA(FILE_MAP_READ, FALSE, "Multi_Lumora_Mappfile_1");
    const auto* view = map ? static_cast<const uint8_t*>(MapViewOfFile(map, FILE_MAP_READ, 0, 0, 1025)) : nullptr;
    _SDetectPoint p{};
    bool seen = WaitFor([&] {
        memcpy(&p, view + 1, sizeof(p));
        return view[0] == 1 && std::hypot(p.x - x, p.y - y) < 12;
    }, 3000);
    if (!seen && view) printf("published %d,%d (count %d), expected %.0f,%.0f\n", p.x, p.y, view[0], x, y);
    if (view) UnmapViewOfFile(view);
    if (map) CloseHandle(map);
    return seen;
}
void RegisterReader() {
    HANDLE map = OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, kMultiScreenName);
    auto* t = static_cast<MultiScreenTable*>(MapViewOfFile(map, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(MultiScreenTable)));
    WaitFor([&] { return t->nCount > 0; }, 5000);
    t->bReady[0] = 1;
    UnmapViewOfFile(t);
    CloseHandle(map);
}
std::string Row(HWND list, int i) {
    wchar_t text[256] = {};
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    char narrow[256] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}
}  // namespace

TEST(Options, NamedCalibrationsByKeyboardApplyAtOnceAndSurviveARestart) {
    PenControl pen;
    CalibratedDriver d;
    ASSERT_TRUE(d.Start("[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\nSetting=1\r\n"));
    ASSERT_TRUE(d.WaitUntilDetecting());
    RegisterReader();
    const double x = 0.6 * ScreenWidth(), y = 0.6 * ScreenHeight();
    pen.Down(x, y);
    EXPECT_TRUE(PublishedNear(x, y));
    pen.Up();

    PostMessageA(d.main, WM_COMMAND, 2045, 0);
    ASSERT_NE(WaitShown(nullptr, "Calibrations"), nullptr);
    Type({VK_TAB, VK_TAB, VK_TAB, VK_SPACE});  // list, name, Rename, New
    auto typed = Text("room");
    typed.push_back(VK_RETURN);
    Type(typed);
    Type({VK_TAB, VK_TAB, VK_SPACE, 'h', 'a', 'l', 'l', VK_RETURN});
    const std::string ini = d.folder.Path("Calibration.ini");
    const std::string hall = d.folder.ReadKey("Calibration.ini", "System", "End");
    ASSERT_EQ(hall.size(), 15u);
    // Hall's own mapping, as a set-up tool would prepare it: the whole camera view on half the screen.
    WritePrivateProfileStringA(hall.c_str(), "CamScreen0", "0", ini.c_str());
    WritePrivateProfileStringA(hall.c_str(), "winwidth0", std::to_string(ScreenWidth() / 2).c_str(), ini.c_str());
    WritePrivateProfileStringA(hall.c_str(), "winheight0", std::to_string(ScreenHeight() / 2).c_str(), ini.c_str());
    for (int i = 0; i < 25; ++i) {
        WritePrivateProfileStringA(hall.c_str(), ("x0" + std::to_string(i)).c_str(), std::to_string(d.cal.x[i]).c_str(), ini.c_str());
        WritePrivateProfileStringA(hall.c_str(), ("y0" + std::to_string(i)).c_str(), std::to_string(d.cal.y[i]).c_str(), ini.c_str());
    }
    // Row 1 ("room") renamed, then the last row ("hall") set active.
    Type({'+', VK_TAB, VK_HOME, VK_DOWN, VK_TAB, VK_TAB, VK_SPACE, VK_END, '+', VK_HOME, 's', 't', 'u', 'd', 'i', 'o', VK_RETURN});
    Type({'+', VK_TAB, VK_HOME, VK_DOWN, VK_DOWN, VK_TAB, VK_TAB, VK_TAB, VK_TAB, VK_SPACE});
    EXPECT_TRUE(WaitFor([] { return !Shown(nullptr, "Calibrations"); }, 3000));
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

    d.Quit();
    ASSERT_TRUE(d.driver.WaitForExit());
    Driver again;
    ASSERT_TRUE(again.Start(d.folder));
    HWND main = again.WaitForMainWindow();
    PostMessageA(main, WM_COMMAND, 2045, 0);
    HWND options = WaitShown(nullptr, "Calibrations");
    ASSERT_NE(options, nullptr);
    HWND list = GetDlgItem(options, 1023);
    EXPECT_EQ(Row(list, 1), "studio");
    EXPECT_EQ(Row(list, 2), "hall [active]");
    Type({VK_ESCAPE});
    EXPECT_TRUE(WaitFor([] { return !Shown(nullptr, "Calibrations"); }, 3000));
    PostMessageA(main, WM_COMMAND, 2035, 0);
    EXPECT_TRUE(again.WaitForExit());
}

TEST(LaserWrite, SwitchesEveryCameraAndKeepsTheBoxBetweenShowings) {
    CalibratedDriver d;
    ASSERT_TRUE(d.Start());
    ASSERT_TRUE(d.WaitUntilDetecting());
    HANDLE block = OpenFileMappingA(FILE_MAP_READ, FALSE, "TavoriVirtualPen");
    const auto* pen = static_cast<const uint8_t*>(MapViewOfFile(block, FILE_MAP_READ, 0, 0, 4096));
    ASSERT_NE(pen, nullptr);
    auto exposure = [&] { int32_t e = 0; memcpy(&e, pen + 264, 4); return e; };
    const bool visible = exposure() != 0;  // cameras that publish their exposure in the pen block
    for (int on : {1, 0, 1}) {
        PostMessageA(d.main, WM_COMMAND, 2046, 0);
        HWND dlg = WaitShown(nullptr, "Dialog");
        ASSERT_NE(dlg, nullptr);
        HWND box = GetDlgItem(dlg, 1027);
        EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), on ? BST_UNCHECKED : BST_CHECKED) << "as left last time";
        char text[64] = {};
        GetWindowTextA(box, text, sizeof(text));
        EXPECT_STREQ(text, "Laser writing");
        RECT r{};
        GetWindowRect(box, &r);
        Click({r.left + 6, (r.top + r.bottom) / 2});
        GetWindowRect(GetDlgItem(dlg, IDOK), &r);
        Click({(r.left + r.right) / 2, (r.top + r.bottom) / 2});
        EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(dlg); }, 3000));
        if (visible) {
            EXPECT_TRUE(WaitFor([&] { return exposure() == (on ? -8 : -12); }, 3000)) << exposure();
        }
    }
    if (!visible) printf("the camera's exposure is not visible in the pen block: capture mode not checked\n");
    UnmapViewOfFile(pen);
    CloseHandle(block);
    d.Quit();
    EXPECT_TRUE(d.driver.WaitForExit());
}

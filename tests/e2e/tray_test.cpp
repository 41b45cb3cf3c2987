// The tray menu, About, Help, Options and laser writing as a user meets them: this process clicks
// with the system mouse and presses keys while Tavori.exe runs on a virtual camera.
#include <gtest/gtest.h>
#include <windows.h>

#include <cmath>
#include <fstream>

#include "VirtualRig.h"
#include "ui/TrayMenuLayout.h"
#include "config/IniText.h"
#include "tools/WineTray.h"

using namespace e2e;

namespace {
// Wine's LogPixels: the desktop's scaling, which sizes the menu and moves Wine's tray window.
const int kDpi = [] {
    DWORD dpi = 96, size = sizeof(dpi);
    RegGetValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", RRF_RT_REG_DWORD, nullptr, &dpi, &size);
    return static_cast<int>(dpi);
}();
const int kItem = ScaleForDpi(22, kDpi);

void Click(POINT p, DWORD down = MOUSEEVENTF_LEFTDOWN, DWORD up = MOUSEEVENTF_LEFTUP) {
    for (DWORD step : {DWORD{0}, down, up}) {
        mouse_event(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | step, static_cast<DWORD>(p.x * 65535 / (ScreenWidth() - 1)),
                    static_cast<DWORD>(p.y * 65535 / (ScreenHeight() - 1)), 0, 0);
        Sleep(60);  // a hand's pace: each step reaches the window before the next
    }
}
// Keys as typed: lower-case letters, space, \t Tab, \n Enter, H Home, E End, D Down, X Escape; ^ holds
// Shift for the next key.
void Type(const char* keys) {
    for (bool shift = false; *keys; ++keys) {
        const char k = *keys;
        if ((shift = k == '^')) keybd_event(VK_SHIFT, 0, 0, 0);
        if (shift) continue;
        const BYTE vk = k == '\t' ? VK_TAB : k == '\n' ? VK_RETURN : k == 'H' ? VK_HOME : k == 'E' ? VK_END
                      : k == 'D' ? VK_DOWN : k == 'X' ? VK_ESCAPE : static_cast<BYTE>(toupper(k));
        keybd_event(vk, 0, 0, 0);
        keybd_event(vk, 0, KEYEVENTF_KEYUP, 0);
        keybd_event(VK_SHIFT, 0, KEYEVENTF_KEYUP, 0);
        Sleep(80);  // a typist's pace: each key is handled before the next
    }
}
// The dialog's control that has the keyboard focus, where typed keys go (0: none of its own).
int Focused(HWND dialog) {
    GUITHREADINFO gui{};
    gui.cbSize = sizeof(gui);
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &gui) || GetParent(gui.hwndFocus) != dialog) return 0;
    return GetDlgCtrlID(gui.hwndFocus);
}
HWND Shown(const char* cls, const char* caption, DWORD waitMs = 4000) {
    HWND h = nullptr;
    WaitFor([&] { return (h = FindWindowA(cls, caption)) && IsWindowVisible(h); }, waitMs);
    return h && IsWindowVisible(h) ? h : nullptr;
}
bool Gone(const char* cls, const char* caption) { return WaitFor([&] { return !Shown(cls, caption, 0); }, 3000); }
MenuRect Rect(HWND h) {
    RECT r{};
    GetWindowRect(h, &r);
    return {r.left, r.top, r.right, r.bottom};
}
POINT Centre(HWND h) { return {(Rect(h).left + Rect(h).right) / 2, (Rect(h).top + Rect(h).bottom) / 2}; }
int Items(HWND menu) { return (Rect(menu).bottom - Rect(menu).top) / kItem; }
// Item i as drawn: the menu's frame takes what the items leave of its height, on every side.
MenuRect Row(HWND menu, int i) {
    const MenuRect r = Rect(menu);
    const int frame = (r.bottom - r.top) % kItem / 2, top = r.top + frame + i * kItem;
    return {r.left + frame, top, r.right - frame, top + kItem};
}
POINT Item(HWND menu, int i) { return {Row(menu, i).left + ScaleForDpi(80, kDpi), Row(menu, i).top + kItem / 2}; }
// The pixels of screen area `r` that have the colour (-1: any dark one, a text's), or with `other` any
// colour but it: how many, and where.
struct Ink {
    int count = 0;
    MenuRect box{1 << 20, 1 << 20, -1, -1};
};
Ink Scan(const MenuRect& r, int colour, bool other = false) {
    const Screen s(r.left, r.top, r.right - r.left, r.bottom - r.top);
    Ink ink;
    for (int y = 0; y < s.h; ++y)
        for (int x = 0; x < s.w; ++x) {
            const uint8_t* p = s.At(x, y);
            if ((colour < 0 ? p[0] + p[1] + p[2] < 450 : RGB(p[2], p[1], p[0]) == static_cast<COLORREF>(colour)) == other) continue;
            ++ink.count;
            ink.box = {std::min(ink.box.left, r.left + x), std::min(ink.box.top, r.top + y), std::max(ink.box.right, r.left + x),
                       std::max(ink.box.bottom, r.top + y)};
        }
    return ink;
}
// Every plain item's icon and text lie inside their own boxes with a margin: a text the item cuts
// reaches its right edge, an icon or a text too tall for the row its top or bottom.
::testing::AssertionResult NothingClipped(HWND menu) {
    for (int i = 0; i < Items(menu); ++i) {
        const MenuRect row = Row(menu, i);
        const MenuItemLayout l = LayoutTrayMenuItem(row, false, kDpi);
        const MenuRect box[] = {l.iconBox, l.text};
        const MenuRect ink[] = {Scan(l.iconBox, RGB(219, 216, 209), true).box, Scan(l.text, -1).box};
        for (int k : {0, 1})
            if (ink[k].right < ink[k].left || ink[k].right >= box[k].right - 2 || ink[k].top <= row.top || ink[k].bottom >= row.bottom - 1)
                return ::testing::AssertionFailure() << "row " << i << (k ? " text" : " icon") << " at " << ink[k].left << ","
                                                     << ink[k].top << ".." << ink[k].right << "," << ink[k].bottom << " in "
                                                     << box[k].left << ".." << box[k].right << " x " << row.top << ".." << row.bottom;
    }
    return ::testing::AssertionSuccess();
}
// The menu, once its items are painted (their text area's colour over most of it). A click that
// opens nothing in 2 s is made once more: just after the Help item's command has run, Wine at times
// loses the first click on its tray (the driver's window answers meanwhile).
HWND OpenMenu() {
    Click(WineTrayFirstIcon());
    HWND menu = Shown("#32768", nullptr, 2000);
    if (!menu) Click(WineTrayFirstIcon()), menu = Shown("#32768", nullptr);
    if (menu) WaitFor([&] { return Scan(Rect(menu), RGB(249, 248, 247)).count > Items(menu) * 80 * kItem * 2 / 3; }, 2000);
    return menu;
}
}  // namespace

// Also run with the zh_CN locale (ctest e2e.TrayChinese): the same menu in Simplified Chinese.
TEST(TrayMenu, OpensAtTheCursorAndEachItemDoesItsJobByMouseAndKeyboard) {
    const bool chinese = GetSystemDefaultLCID() == 0x804;
    const std::string about = LanguageFileText(chinese ? "SimplifiedChinese.ini" : "English.ini", "IDS_ABOUT");
    Rig d;
    CreateDirectoryA(d.folder.Path("guide").c_str(), nullptr);
    d.folder.Write("guide\\index.html", "<html></html>");
    ASSERT_TRUE(d.Start());
    Click(WineTrayFirstIcon(), MOUSEEVENTF_RIGHTDOWN, MOUSEEVENTF_RIGHTUP);
    EXPECT_EQ(Shown("#32768", nullptr, 500), nullptr) << "a right click opens nothing";

    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    EXPECT_NEAR(Rect(menu).left, WineTrayFirstIcon().x, 3);
    EXPECT_NEAR(Rect(menu).top, WineTrayFirstIcon().y, 3);
    EXPECT_EQ(Items(menu), 6);
    EXPECT_GT(Scan(Rect(menu), RGB(249, 248, 247)).count, 6 * 80 * kItem * 2 / 3);  // the text area
    EXPECT_TRUE(NothingClipped(menu)) << kDpi << " DPI";  // with the icon column's colour round the icons
    SaveScreenshot(E2eDir() + "\\tray-menu-" + (chinese ? "zh-" : "en-") + std::to_string(kDpi) + ".png");
    Click(Item(menu, 4), 0, 0);
    EXPECT_TRUE(WaitFor([&] { return Scan(Row(menu, 4), RGB(177, 185, 207)).count > 100 * kItem * 2 / 3; }, 2000))
        << "the item under the mouse is highlighted";
    Click(Item(menu, 4));
    HWND box = Shown(nullptr, about.c_str());
    ASSERT_NE(box, nullptr);
    char version[64] = {};
    GetDlgItemTextA(box, 1000, version, sizeof(version));
    EXPECT_STREQ(version, TAVORI_VERSION_LINE);
    Type("\n");
    EXPECT_TRUE(Gone(nullptr, about.c_str()));

    ASSERT_NE(menu = OpenMenu(), nullptr);
    Click({900, 700});
    EXPECT_TRUE(Gone("#32768", nullptr)) << "a click elsewhere closes the menu";
    Sleep(300);  // time for a window, which must not come
    EXPECT_TRUE(d.driver.Windows(true).empty()) << "and chooses nothing";

    // .html opens with a command that records the path it is handed, as a browser would be.
    char saved[256] = "htmlfile";
    LONG savedSize = sizeof(saved);
    RegQueryValueA(HKEY_CLASSES_ROOT, ".html", saved, &savedSize);
    RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, "TavoriTestPage", 0);
    std::string record = "cmd.exe /c echo %1>\"" + d.folder.Path("browser.txt") + "\"";
    RegSetValueA(HKEY_CLASSES_ROOT, "TavoriTestPage\\shell\\open\\command", REG_SZ, record.c_str(), 0);
    ASSERT_NE(menu = OpenMenu(), nullptr);
    Click(Item(menu, 3));
    std::string opened;
    EXPECT_TRUE(WaitFor([&] { return std::ifstream(d.folder.Path("browser.txt")) >> opened; }, 5000));
    EXPECT_EQ(opened, d.folder.Path("guide\\index.html"));
    RegSetValueA(HKEY_CLASSES_ROOT, ".html", REG_SZ, saved, 0);
    ASSERT_NE(OpenMenu(), nullptr);
    Type("DDDDD\n");
    ASSERT_NE(Shown(nullptr, about.c_str()), nullptr) << "Down five times and Enter choose About";
    Type("X");
    EXPECT_TRUE(Gone(nullptr, about.c_str()));
    ASSERT_NE(OpenMenu(), nullptr);
    Type("X");
    EXPECT_TRUE(Gone("#32768", nullptr)) << "Escape closes the menu";
    // Escape and Enter after the menu, and what Windows' dialog manager makes of them and of Alt+F4
    // for this window in front: only Quit ends the driver.
    Type("X\n");
    for (auto [message, w] : {std::pair{WM_COMMAND, IDOK}, {WM_COMMAND, IDCANCEL}, {WM_SYSCOMMAND, SC_CLOSE}, {WM_CLOSE, 0}}) PostMessageA(d.main, message, w, 0);
    EXPECT_FALSE(d.driver.WaitForExit(1000)) << "a key ended the driver";

    d.pen.Unplug(0);
    ASSERT_NE(box = WaitForBox(d.driver), nullptr);
    EXPECT_TRUE(WaitFor([&] { return PressOk(box), WaitFor([&] { return !IsWindow(box); }, 300); }, 5000));
    ASSERT_NE(menu = OpenMenu(), nullptr);
    EXPECT_EQ(Items(menu), 4) << "no calibration entries while no camera runs, the report stays";
    Click(Item(menu, 3));
    d.pen.Plug(0);
    ASSERT_TRUE(d.driver.WaitForExit()) << "Quit ends the driver";
    EXPECT_EQ(d.folder.ReadKey("Tavori.ini", "System", "Management"), "0");
}

// The two calibration items as a user chooses them: each reaches its aiming view; the manual one
// (item 1) cancelled there, the menu goes on working, and the automatic one (item 0) then calibrates
// to the end, where its report shows; the report item shows it again. (Cancelling the automatic
// squares, which hand over to the manual window, is the automatic window's and the calibration
// flow's case.)
TEST(TrayMenu, CalibrationItemsStartTheirRunsAndACancelledRunSpoilsNothing) {
    Rig d;
    ASSERT_TRUE(d.Start("[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\nApplicationVersion=1\r\n"));  // no laser prompt
    d.folder.Remove("Calibration.ini");
    for (int item : {1, 0}) {
        SCOPED_TRACE(item);
        HWND menu = OpenMenu(), aim = nullptr;
        ASSERT_NE(menu, nullptr);
        ASSERT_EQ(Items(menu), 6);
        Click(Item(menu, item));
        RECT view{};
        ASSERT_TRUE(WaitFor([&] { return (aim = WindowWithChild(d.driver, 1032)) && GetWindowRect(GetDlgItem(aim, 1032), &view) && view.right - view.left == 640; }, 8000));
        HWND button = GetDlgItem(aim, item ? IDCANCEL : IDOK);
        ASSERT_TRUE(WaitFor([&] { return WindowFromPoint(Centre(button)) == button; }, 3000)) << "the button is not on top";
        Click(Centre(button));
        EXPECT_TRUE(WaitFor([&] { return !IsWindowVisible(aim); }, 3000)) << "the aiming view closes";
        if (!item) break;
        HWND box = WaitForBox(d.driver, 3000);  // nothing has changed, it says
        ASSERT_NE(box, nullptr);
        Click(Centre(GetDlgItem(box, IDOK)));
        EXPECT_TRUE(WaitFor([&] { return d.driver.Windows(true).empty(); }, 3000));
    }
    EXPECT_TRUE(WaitFor([&] { return d.folder.ReadKey("Calibration.ini", "Calibration", "lPtCount") == "25"; }, 15000));
    // The run ends with its report alone; the report item shows it again from the file.
    HWND report = WaitForReport(d.driver, d.folder);
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(WaitFor([&] { return d.driver.Windows(true) == std::vector<HWND>{report}; }, 6000)) << "the run closes its windows";
    const std::string verdict = DialogText(report, 1052);
    Click(Centre(GetDlgItem(report, IDOK)));
    EXPECT_TRUE(WaitFor([&] { return d.driver.Windows(true).empty(); }, 3000));
    HWND menu = OpenMenu();
    ASSERT_NE(menu, nullptr);
    Click(Item(menu, 2));
    ASSERT_EQ(WaitForReport(d.driver, d.folder), report);
    EXPECT_EQ(DialogText(report, 1052), verdict);
    Click(Centre(GetDlgItem(report, IDOK)));
    ASSERT_NE(menu = OpenMenu(), nullptr);
    Click(Item(menu, 5));
    EXPECT_TRUE(d.driver.WaitForExit()) << "Quit from the menu after the runs";
}

TEST(Options, NamedCalibrationsByKeyboardApplyAtOnceAndSurviveARestart) {
    Rig d;
    ASSERT_TRUE(d.Start("[System]\r\nSetPtCount=25\r\nSearchPtType=1\r\nSetting=1\r\n"));
    const double x = 0.6 * ScreenWidth(), y = 0.6 * ScreenHeight();
    double off = 0;  // from the pen's point, read as a drawing program (bound anew after a change) reads it
    auto publishedAt = [&](double scale) { return d.points.reset(), d.Published(x, y, off, scale) && off < 12; };
    EXPECT_TRUE(publishedAt(1)) << off;

    PostMessageA(d.main, WM_COMMAND, ID_MENU_OPTIONS, 0);
    HWND options = Shown(nullptr, "Calibrations");
    ASSERT_TRUE(options && WaitFor([&] { return GetForegroundWindow() == options; }, 2000));
    // Each group of keys is typed once the dialog shows what the last one did, as a user looks
    // before typing on: the focus on its control, the list's rows and selection.
    enum { kEdit = 1021, kList = 1023, kSetActive = 1024 };
    auto rows = [&] { return SendDlgItemMessageA(options, kList, LB_GETCOUNT, 0, 0); };
    auto type = [&](const char* keys, int focus, LRESULT count, LRESULT selected = -2) -> testing::AssertionResult {
        Type(keys);
        if (WaitFor([&] {
                return Focused(options) == focus && rows() == count &&
                       (selected == -2 || SendDlgItemMessageA(options, kList, LB_GETCURSEL, 0, 0) == selected);
            }, 3000))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "after \"" << keys << "\": focus on " << Focused(options) << ", not " << focus
                                           << "; " << rows() << " rows, not " << count << "; front " << (GetForegroundWindow() == options);
    };
    ASSERT_TRUE(WaitFor([&] { return Focused(options) == kList; }, 2000)) << "focus on " << Focused(options);
    const LRESULT before = rows();
    ASSERT_TRUE(type("\t\t\t ", kEdit, before));  // from the list: name, Rename, New
    ASSERT_TRUE(type("room\n", kEdit, before + 1));
    ASSERT_TRUE(type("\t\t ", kEdit, before + 1));
    ASSERT_TRUE(type("hall\n", kEdit, before + 2));
    // Calibration.ini is read and edited as the driver does, as text.
    std::string text, hall;
    auto read = [&](const std::string& section, const char* key) {
        std::ifstream in(d.folder.Path("Calibration.ini"), std::ios::binary);
        text.assign(std::istreambuf_iterator<char>(in), {});
        return GetIniValue(text, section, key).value_or("<missing>");
    };
    ASSERT_TRUE(WaitFor([&] { return read(hall = read("System", "End"), "Name") == "hall"; }, 5000));
    // Hall's own mapping, as a set-up tool prepares it: the whole camera view on half the screen.
    auto put = [&](const std::string& key, long value) { SetIniValue(text, hall, key, std::to_string(value)); };
    put("CamScreen0", 0), put("winwidth0", ScreenWidth() / 2), put("winheight0", ScreenHeight() / 2);
    for (int i = 0; i < 25; ++i) put("x0" + std::to_string(i), d.cal.x[i]), put("y0" + std::to_string(i), d.cal.y[i]);
    d.folder.Write("Calibration.ini", text);
    ASSERT_TRUE(type("^\tHD", kList, before + 2, 1));
    ASSERT_TRUE(type("\t\t ", kEdit, before + 2, 1));  // row 1 renamed: Rename, then the whole name replaced
    ASSERT_TRUE(type("E^Hstudio\n", kEdit, before + 2, -1));
    ASSERT_TRUE(type("^\tHDD", kList, before + 2, 2));  // row 2 set active
    ASSERT_TRUE(type("\t\t\t\t", kSetActive, before + 2));
    Type(" ");
    EXPECT_TRUE(Gone(nullptr, "Calibrations"));
    const std::string room = read("", "Next");
    auto keys = [&](const std::string& s) { return read(s, "Name") + "," + read(s, "Next"); };
    EXPECT_EQ(keys(room) + "," + keys(hall), "studio," + hall + ",hall,None");
    EXPECT_TRUE(WaitFor([&] { return read("System", "Active") == hall; }, 3000));  // once applied
    EXPECT_EQ(read("System", "List"), "<missing>");  // List is never written
    EXPECT_TRUE(publishedAt(0.5)) << "the active entry's mapping applies at once: " << off;
    d.points.reset();  // our views would keep the driver's memory alive past its end

    d.Quit();
    ASSERT_TRUE(d.driver.WaitForExit());
    read(hall, "Next");
    SetIniValue(text, hall, "Next", room);  // a loop, as a hand edit leaves it
    d.folder.Write("Calibration.ini", text);
    Driver again;
    PostMessageA(again.Launch(d.folder), WM_COMMAND, ID_MENU_OPTIONS, 0);
    HWND warning = Shown("#32770", "Tavori", 5000);
    ASSERT_NE(warning, nullptr) << "the damaged list is reported";
    EXPECT_NE(MessageBoxText(warning).find(std::wstring(room.begin(), room.end())), std::wstring::npos);
    PressOk(warning);
    options = Shown(nullptr, "Calibrations");
    wchar_t row[64] = {};  // the wide form: Wine passes one character of the narrow one across processes
    SendDlgItemMessageW(options, 1023, LB_GETTEXT, 2, reinterpret_cast<LPARAM>(row));
    EXPECT_STREQ(row, L"hall [active]");
    Type("X");
    EXPECT_TRUE(Gone(nullptr, "Calibrations"));
    again.Quit();
    EXPECT_TRUE(again.WaitForExit());
}

// Laser writing and the cameras agree at all times, on a four-point calibration too: the box shows the
// mode, a reconnect and a calibration keep it, and off gives back the exposure (-9 here) and grey
// threshold the driver runs with. A room dark in the infrared and a camera that barely sees the
// projection: nothing but the lights is bright, and a dim one is a pen for laser writing only.
TEST(LaserWrite, TheModeHoldsAcrossReconnectsAndCalibrationsAndOffGivesBackTheDriversValues) {
    Rig d;
    d.folder.Write("VirtualCamera.ini", "[Camera0]\r\nNoise=0\r\nAmbient=0\r\nScreenGain=2\r\n");
    ASSERT_TRUE(d.Start("[System]\r\nSetPtCount=4\r\nSearchPtType=1\r\n", 2, -9));
    auto exposed = [&](int value) { return WaitFor([&] { return d.pen.Exposure() == std::pair{value, 2}; }, 3000); };
    for (int on : {1, 0}) {
        PostMessageA(d.main, WM_COMMAND, ID_MENU_LASERWRITE, 0);
        HWND dlg = Shown(nullptr, "Dialog"), box = GetDlgItem(dlg, 1027), aim = nullptr;
        EXPECT_EQ(SendMessageA(box, BM_GETCHECK, 0, 0), on ? BST_UNCHECKED : BST_CHECKED) << "as the cameras run";
        Click({Rect(box).left + 6, Rect(box).top + 8});
        Click(Centre(GetDlgItem(dlg, IDOK)));
        EXPECT_TRUE(exposed(on ? -8 : -9)) << d.pen.Exposure().first;
        ASSERT_TRUE(WaitForNewFrames(kLearningFrames));  // the detector learns the scene again at the new exposure
        const CameraPoints points(1);
        d.pen.Set(1, true, 500, 400, 0, 0.15);  // a grey of about 60 at its peak
        EXPECT_EQ(WaitFor([&] { return points.Count() == 1; }, 1500), on == 1) << "the grey threshold";
        d.pen.Set(1, false, 500, 400);
        if (!on) continue;
        d.pen.Unplug(0), PressOk(WaitForBox(d.driver)), d.pen.Plug(0), PenControl::AnnounceArrival(d.main);
        ASSERT_TRUE(CameraPoints(1).Streaming(10000));
        ASSERT_TRUE(WaitForNewFrames(kLearningFrames));  // settled after the restart
        EXPECT_TRUE(exposed(-8)) << "after a reconnect: " << d.pen.Exposure().first;
        PostMessageA(d.main, WM_COMMAND, ID_MENU_CALIBRATE, 0);  // a calibration, cancelled at once
        ASSERT_TRUE(WaitFor([&] { return (aim = WindowWithChild(d.driver, 1032)) && IsWindowVisible(aim); }, 5000));
        Click(aim, IDCANCEL), PressOk(WaitForBox(d.driver));  // nothing has changed, it says
        EXPECT_TRUE(exposed(-8)) << "after a calibration: " << d.pen.Exposure().first;
    }
    ASSERT_NE(OpenMenu(), nullptr);  // a quit from elsewhere while the menu is open still ends the driver
    d.Quit();
    EXPECT_TRUE(d.driver.WaitForExit());
}

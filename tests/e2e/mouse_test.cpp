// The pen works the desktop like a mouse: a window of another process (the canvas) receives what
// the driver makes of the virtual pen.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "VirtualRig.h"

using namespace e2e;

// However the cameras stop, a pen held down ends as exactly one press and one release, and quitting
// never shows the disconnection box, whatever is still queued behind the quit, nor waits on a
// drawing program that stopped answering.
TEST(Mouse, StoppingWithThePenDownReleasesOnceAndQuitShowsNoBox) {
    struct Case {
        const char* name;
        bool unplug;
        std::vector<std::pair<UINT, WPARAM>> posted;  // message, wParam (lParam 1 for WM_PROC_CMD)
        int boxes;
        bool hungReader = false;
    } cases[] = {
        {"quit with a hung reader", false, {{WM_COMMAND, ID_MENU_QUIT}}, 0, true},
        {"quit, then a queued camera loss", false, {{WM_COMMAND, ID_MENU_QUIT}, {WM_PROC_CMD, PROC_CAMERA_LOST}}, 0},
        {"camera loss, then quit", false, {{WM_PROC_CMD, PROC_CAMERA_LOST}, {WM_COMMAND, ID_MENU_QUIT}}, 0},
        {"camera unplugged", true, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CanvasRig rig;
        ASSERT_TRUE(rig.Start());
        rig.pen.Down(900, 500);
        ASSERT_TRUE(rig.WaitForEvent("down"));
        // This thread's window stands for the hung reader: the thread reads no messages while it waits.
        HWND hung = c.hungReader ? CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr) : nullptr;
        if (hung) {
            SharedView table(kMultiScreenName, sizeof(MultiScreenTable));
            ASSERT_TRUE(table.Ok());
            table.As<MultiScreenTable>()->hReader[0] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hung));
        }
        int boxes = 0;
        if (c.unplug) {
            rig.pen.Unplug(0);
            HWND box = rig.driver.WaitForMessageBox(8000);
            EXPECT_TRUE(rig.WaitForEvent("up", 0, 2000)) << "the button stayed down after the camera was lost";
            rig.pen.Up();
            rig.pen.Plug(0);
            if (box) PressOk(box), ++boxes;
            rig.Quit();
        } else {
            for (const auto& [message, code] : c.posted) PostMessageA(rig.main, message, code, 1);
        }
        int more = rig.driver.WaitForExitCountingBoxes(10000);
        ASSERT_GE(more, 0) << "the driver did not end";
        EXPECT_EQ(boxes + more, c.boxes);
        EXPECT_TRUE(rig.WaitForButtons("down up", 2000)) << rig.Buttons();
        EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "Management"), "0");
        EXPECT_FALSE(MappingExists(kMultiScreenName));
        if (hung) DestroyWindow(hung);
    }
}

// Over a window that is not the drawing program, a quick second touch double-clicks and a pen held
// still right-clicks (over the drawing program it never does: the still pen's case at the desktop);
// after a display change the mouse maps onto the screen as announced; another program posting thousands
// of commands that each open a box while the pen is down gets one box at a time, the driver lives
// on, and the pen's button ends up released.
TEST(Mouse, ClicksStillPenDisplayChangeAndAFloodOfBoxCommands) {
    CanvasRig rig;
    ASSERT_TRUE(rig.Start("Tavori canvas"));
    rig.Touch(700, 500, 150);
    ASSERT_TRUE(rig.WaitForEvent("up"));
    Sleep(150);  // a double click's pause
    size_t before = rig.Events().size();
    rig.Touch(702, 498, 120);  // close to the first touch, soon after it
    WaitFor([&] { return Canvas::Buttons(rig.Events(before)) == "down up down up"; }, 2000);
    const auto second = rig.Events(before);
    EXPECT_EQ(Canvas::Buttons(second), "down up down up");
    for (const CanvasEvent& e : second)
        if (e.what != "move") {
            EXPECT_LE(std::hypot(e.x - 700, e.y - 500), 2.0) << "double click away from the first touch";
        }

    Sleep(1000);  // past the quiet time after a double click
    before = rig.Events().size();
    rig.pen.Down(1200, 300);
    ASSERT_TRUE(rig.WaitForEvent("rup", before, 4000));
    rig.pen.Up();
    ASSERT_TRUE(WaitFor([&] { return rig.Events().back().what == "up"; }, 2000));
    EXPECT_EQ(Canvas::Buttons(rig.Events(before)), "down up rdown rup up");

    // Xvfb cannot change its mode under Wine, so the message's size stands for the changed screen:
    // half the size, twice the way.
    const int w = ScreenWidth(), h = ScreenHeight();
    for (int scale : {2, 1}) {
        SCOPED_TRACE(scale);
        PostMessageA(rig.main, WM_DISPLAYCHANGE, 32, MAKELPARAM(w / scale, h / scale));
        const size_t before = rig.Events().size();
        rig.Touch(400, 300, 200);
        ASSERT_TRUE(rig.WaitForEvent("up", before));
        const auto events = rig.Events(before);
        const auto down = std::find_if(events.begin(), events.end(), [](const CanvasEvent& e) { return e.what == "down"; });
        ASSERT_NE(down, events.end());
        EXPECT_LE(std::hypot(down->x - 400 * scale, down->y - 300 * scale), 3.0);
        Sleep(900);  // past the double-click time
    }

    const size_t beforeFlood = rig.Events().size();
    rig.pen.Down(900, 500);
    ASSERT_TRUE(rig.WaitForEvent("down", beforeFlood));
    size_t most = 0;
    for (int i = 0; i < 5000; ++i) {
        PostMessageA(rig.main, WM_COMMAND, i % 2 ? ID_MENU_ABOUT : ID_MENU_OPTIONS, 0);
        if (i % 500 == 0) most = std::max(most, rig.driver.MessageBoxes().size());
    }
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(rig.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result));
    most = std::max(most, rig.driver.MessageBoxes().size());
    EXPECT_LE(most, 1u);
    rig.pen.Up();
    EXPECT_TRUE(rig.WaitForEvent("up", beforeFlood));
    for (HWND box : rig.driver.MessageBoxes()) PressOk(box);
    ASSERT_TRUE(rig.driver.Running());
    rig.Quit();
    EXPECT_GE(rig.driver.WaitForExitCountingBoxes(), 0);
    // The pen held still over a box (not the drawing program) may right-click; every press is let go.
    std::string buttons(1, ' ');  // (" " + a string trips a false GCC 12 warning)
    buttons.append(rig.Buttons()).push_back(' ');
    auto releasedAfterLastPress = [&](const char* press, const char* release) {
        const size_t last = buttons.rfind(press);
        return last == std::string::npos || buttons.find(release, last) != std::string::npos;
    };
    EXPECT_TRUE(releasedAfterLastPress(" down ", " up ")) << buttons;
    EXPECT_TRUE(releasedAfterLastPress(" rdown ", " rup ")) << buttons;
}

// Wine has neither touch nor pen injection: the driver given either (in Tavori.ini, or in the
// Options dialog while it runs) says once that it uses the mouse, and the pen then works the mouse.
TEST(Mouse, TouchAndPenOutputsFallBackToTheMouseWithOneMessage) {
    for (const bool fromOptions : {false, true}) {
        SCOPED_TRACE(fromOptions ? "pen, chosen in the Options dialog" : "touch, from Tavori.ini");
        CanvasRig rig;
        ASSERT_TRUE(rig.Start(kDrawingProgram, fromOptions ? "[System]\r\nSetPtCount=25\r\n" : "[System]\r\nSetPtCount=25\r\nOutput=touch\r\n"));
        if (fromOptions) {
            PostMessageA(rig.main, WM_COMMAND, ID_MENU_OPTIONS, 0);
            HWND options = rig.driver.WaitForMessageBox(5000), outputs = GetDlgItem(options, 1035);
            ASSERT_TRUE(outputs);
            SendMessageA(outputs, CB_SETCURSEL, 2, 0);
            SendMessageA(options, WM_COMMAND, MAKEWPARAM(1035, CBN_SELCHANGE), reinterpret_cast<LPARAM>(outputs));
            PostMessageA(options, WM_COMMAND, IDCANCEL, 0);
            ASSERT_TRUE(WaitFor([&] { return !IsWindow(options); }, 5000));
            EXPECT_EQ(rig.folder.ReadKey("Tavori.ini", "System", "Output"), "pen");
        }
        HWND box = rig.driver.WaitForMessageBox(5000);
        ASSERT_TRUE(box);
        EXPECT_NE(MessageBoxText(box).find(L"not available on this version of Windows. Tavori uses the mouse."), std::wstring::npos);
        PressOk(box);
        rig.pen.Stroke(600, 400, 10, 5, 20);
        rig.pen.Up();
        EXPECT_TRUE(rig.WaitForButtons("down up")) << rig.Buttons();
        EXPECT_TRUE(rig.driver.MessageBoxes().empty());
    }
}

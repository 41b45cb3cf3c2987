// The pen works the desktop like a mouse: a window of another process (the canvas) receives what
// the driver makes of the virtual pen.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "Canvas.h"
#include "DriverHarness.h"
#include "VirtualRig.h"

using namespace e2e;

namespace {
constexpr const char* kSettings = "[System]\r\nSetPtCount=25\r\n";

struct Rig {
    PenControl pen;
    CalibratedDriver d;
    std::unique_ptr<Canvas> canvas;

    bool Start(const std::string& title = "Tavori canvas") {
        if (!d.Start(kSettings)) return false;
        canvas = std::make_unique<Canvas>(d.folder.Path("canvas.log"), title);
        return canvas->Ready() && d.WaitUntilDetecting();
    }
    // Waits until the canvas has logged `what` (after `from` events); false on time-out.
    bool WaitForEvent(const char* what, size_t from = 0, DWORD timeoutMs = 3000) const {
        return WaitFor(
            [&] {
                auto ev = canvas->Events();
                for (size_t i = from; i < ev.size(); ++i)
                    if (ev[i].what == what) return true;
                return false;
            },
            timeoutMs);
    }
    void Touch(double x, double y, DWORD holdMs) {
        pen.Down(x, y);
        Sleep(holdMs);
        pen.Up();
    }
};

}  // namespace

TEST(Mouse, PenPressesDragsAlongItsPathAndReleases) {
    Rig rig;
    ASSERT_TRUE(rig.Start());
    const double cx = 960, cy = 540, r = 260;
    std::vector<POINT> path;
    for (int i = 0; i <= 90; ++i) {
        double a = i * 2 * 3.14159265358979 / 90;
        path.push_back({static_cast<LONG>(std::lround(cx + r * std::cos(a))), static_cast<LONG>(std::lround(cy + r * std::sin(a)))});
    }
    rig.pen.Down(path[0].x, path[0].y);
    ASSERT_TRUE(rig.WaitForEvent("down"));
    for (const POINT& p : path) {
        rig.pen.Down(p.x, p.y);
        Sleep(16);
    }
    rig.pen.Up();
    ASSERT_TRUE(rig.WaitForEvent("up"));

    auto events = rig.canvas->Events();
    EXPECT_EQ(Canvas::Buttons(events), "down up");
    const CanvasEvent& down = *std::find_if(events.begin(), events.end(), [](auto& e) { return e.what == "down"; });
    double pressError = std::hypot(down.x - path[0].x, down.y - path[0].y);
    double sum = 0, worst = 0;
    int moves = 0;
    bool pressed = false;
    for (const CanvasEvent& e : events) {
        if (e.what == "down") pressed = true;
        if (e.what == "up") pressed = false;
        if (e.what != "move" || !pressed) continue;
        double err = DistanceToPath(e.x, e.y, path);
        sum += err;
        worst = std::max(worst, err);
        ++moves;
    }
    ASSERT_GT(moves, 30);
    printf("press %.1f px from the pen; drag of %d moves: mean %.2f px, max %.2f px from the pen's path\n",
           pressError, moves, sum / moves, worst);
    EXPECT_LE(pressError, 2.0);
    EXPECT_LE(sum / moves, 1.5);
    EXPECT_LE(worst, 4.0);
    rig.d.Quit();
    EXPECT_TRUE(rig.d.driver.WaitForExit());
}

TEST(Mouse, QuickSecondTouchDoubleClicksAndAHeldPenRightClicks) {
    Rig rig;
    ASSERT_TRUE(rig.Start());
    rig.Touch(700, 500, 150);
    ASSERT_TRUE(rig.WaitForEvent("up"));
    Sleep(150);
    size_t before = rig.canvas->Events().size();
    rig.Touch(702, 498, 120);  // close to the first touch, soon after it
    Sleep(400);
    auto events = rig.canvas->Events();
    std::vector<CanvasEvent> second(events.begin() + static_cast<long>(before), events.end());
    EXPECT_EQ(Canvas::Buttons(second), "down up down up");
    for (const CanvasEvent& e : second)
        if (e.what != "move") {
            EXPECT_LE(std::hypot(e.x - 700, e.y - 500), 2.0) << "double click away from the first touch";
        }

    Sleep(1000);  // past the quiet time after a double click
    before = rig.canvas->Events().size();
    rig.pen.Down(1200, 300);
    ASSERT_TRUE(rig.WaitForEvent("rup", before, 4000));
    rig.pen.Up();
    ASSERT_TRUE(WaitFor([&] { return Canvas::Buttons(rig.canvas->Events()).size() > 0 &&
                                     rig.canvas->Events().back().what == "up"; }, 2000));
    events = rig.canvas->Events();
    std::vector<CanvasEvent> held(events.begin() + static_cast<long>(before), events.end());
    EXPECT_EQ(Canvas::Buttons(held), "down up rdown rup up");
    rig.d.Quit();
    EXPECT_TRUE(rig.d.driver.WaitForExit());
}

TEST(Mouse, HoldingStillOverTheDrawingProgramNeverInterruptsTheStroke) {
    Rig rig;
    ASSERT_TRUE(rig.Start("Inkora window"));
    rig.pen.Down(800, 600);
    ASSERT_TRUE(rig.WaitForEvent("down"));
    Sleep(2000);
    EXPECT_EQ(Canvas::Buttons(rig.canvas->Events()), "down");
    rig.pen.Up();
    EXPECT_TRUE(rig.WaitForEvent("up"));
    rig.d.Quit();
    EXPECT_TRUE(rig.d.driver.WaitForExit());
}

// However the cameras stop, a pen held down ends as exactly one press and one release, and quitting
// never shows the disconnection box, whatever is still queued behind the quit.
TEST(Mouse, StoppingWithThePenDownReleasesOnceAndQuitShowsNoBox) {
    constexpr UINT kQuit = 2035, kProcCmd = 0x801;
    struct Case {
        const char* name;
        bool unplug;
        std::vector<std::pair<UINT, WPARAM>> posted;  // message, wParam (lParam 1 for WM_PROC_CMD)
        int boxes;
    } cases[] = {
        {"quit", false, {{WM_COMMAND, kQuit}}, 0},
        {"quit, then a queued camera loss", false, {{WM_COMMAND, kQuit}, {kProcCmd, 9}}, 0},
        {"camera loss, then quit", false, {{kProcCmd, 9}, {WM_COMMAND, kQuit}}, 0},
        {"camera unplugged", true, {}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rig rig;
        ASSERT_TRUE(rig.Start("Inkora window"));  // no right click while the pen stays down
        rig.pen.Down(900, 500);
        ASSERT_TRUE(rig.WaitForEvent("down"));
        int boxes = 0;
        if (c.unplug) {
            rig.pen.Unplug(0);
            HWND box = rig.d.driver.WaitForMessageBox(8000);
            EXPECT_TRUE(rig.WaitForEvent("up", 0, 2000)) << "the button stayed down after the camera was lost";
            rig.pen.Up();
            rig.pen.Plug(0);
            if (box) PressOk(box), ++boxes;
            rig.d.Quit();
        } else {
            for (const auto& [message, code] : c.posted) PostMessageA(rig.d.main, message, code, 1);
        }
        int more = rig.d.driver.WaitForExitCountingBoxes(10000);
        ASSERT_GE(more, 0) << "the driver did not end";
        EXPECT_EQ(boxes + more, c.boxes);
        Sleep(300);
        EXPECT_EQ(Canvas::Buttons(rig.canvas->Events()), "down up");
        EXPECT_EQ(rig.d.folder.ReadKey("Tavori.ini", "System", "Management"), "0");
        rig.pen.Up();
    }
}

// Another program posting thousands of commands that each open a box while the pen is down: one
// box at a time, the driver lives on, and the pen's button ends up released.
TEST(Mouse, AFloodOfBoxCommandsNeverNestsBoxesNorLeavesAButtonDown) {
    Rig rig;
    ASSERT_TRUE(rig.Start("Inkora window"));
    rig.pen.Down(900, 500);
    ASSERT_TRUE(rig.WaitForEvent("down"));
    size_t most = 0;
    for (int i = 0; i < 5000; ++i) {
        PostMessageA(rig.d.main, WM_COMMAND, i % 2 ? 2042 : 2045, 0);
        if (i % 500 == 0) most = std::max(most, rig.d.driver.MessageBoxes().size());
    }
    DWORD_PTR result = 0;
    EXPECT_TRUE(SendMessageTimeoutA(rig.d.main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &result));
    most = std::max(most, rig.d.driver.MessageBoxes().size());
    EXPECT_LE(most, 1u);
    rig.pen.Up();
    EXPECT_TRUE(rig.WaitForEvent("up"));
    for (HWND box : rig.d.driver.MessageBoxes()) PressOk(box);
    ASSERT_TRUE(rig.d.driver.Running());
    rig.d.Quit();
    EXPECT_GE(rig.d.driver.WaitForExitCountingBoxes(), 0);
    // The pen held still over a box (not the drawing program) may right-click; every press is let go.
    std::string buttons(1, ' ');
    buttons.append(Canvas::Buttons(rig.canvas->Events())).push_back(' ');
    auto releasedAfterLastPress = [&](const char* press, const char* release) {
        const size_t last = buttons.rfind(press);
        return last == std::string::npos || buttons.find(release, last) != std::string::npos;
    };
    EXPECT_TRUE(releasedAfterLastPress(" down ", " up ")) << buttons;
    EXPECT_TRUE(releasedAfterLastPress(" rdown ", " rup ")) << buttons;
}

// After a display change the mouse maps onto the screen as announced. Xvfb cannot change its mode
// under Wine, so the message's size stands for the changed screen: half the size, twice the way.
TEST(Mouse, TheScreenSizeOfADisplayChangeIsFollowed) {
    Rig rig;
    ASSERT_TRUE(rig.Start("Inkora window"));
    const int w = ScreenWidth(), h = ScreenHeight();
    for (int scale : {2, 1}) {
        SCOPED_TRACE(scale);
        PostMessageA(rig.d.main, WM_DISPLAYCHANGE, 32, MAKELPARAM(w / scale, h / scale));
        const size_t before = rig.canvas->Events().size();
        rig.Touch(400, 300, 200);
        ASSERT_TRUE(rig.WaitForEvent("up", before));
        const auto events = rig.canvas->Events();
        const auto down = std::find_if(events.begin() + static_cast<long>(before), events.end(),
                                       [](const CanvasEvent& e) { return e.what == "down"; });
        ASSERT_NE(down, events.end());
        EXPECT_LE(std::hypot(down->x - 400 * scale, down->y - 300 * scale), 3.0);
        Sleep(900);  // past the double-click time
    }
    rig.d.Quit();
    EXPECT_TRUE(rig.d.driver.WaitForExit());
}

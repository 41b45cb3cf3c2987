// What the pen becomes at the desktop, seen from another process: a drag onto the screen's edges,
// point messages forged by another program, a pen held still between pixels.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <cmath>
#include <vector>

#include "Canvas.h"
#include "DriverHarness.h"
#include "VirtualRig.h"
#include "win/Messages.h"

using namespace e2e;

namespace {
// The driver on the virtual camera over a canvas titled as the drawing program, so that a pen held
// still never turns into a right click.
struct Desk {
    PenControl pen;
    CalibratedDriver d;
    std::unique_ptr<Canvas> canvas;

    bool Start(const char* settings, int noise = 2) {
        d.folder.Write("VirtualCamera.ini", "[Camera0]\r\nNoise=" + std::to_string(noise) + "\r\n");
        canvas = std::make_unique<Canvas>(d.folder.Path("canvas.log"), "Inkora window");
        return d.Start(settings) && canvas->Ready() && d.WaitUntilDetecting();
    }
    bool WaitForButtons(const std::string& expected) const {
        return WaitFor([&] { return Canvas::Buttons(canvas->Events()) == expected; }, 3000);
    }
    void Drag(double x0, double y0, double x1, double y1) {
        for (int i = 1; i <= 10; ++i) {
            pen.Down(x0 + (x1 - x0) * i / 10, y0 + (y1 - y0) * i / 10);
            Sleep(20);
        }
    }
    ~Desk() {
        pen.Up();
        d.Quit();
        d.driver.WaitForExit();
    }
};

// Where the canvas last saw the mouse at time t (it stamps events with timeGetTime).
POINT SeenAt(const std::vector<CanvasEvent>& events, DWORD t) {
    POINT p{-1000, -1000};
    for (size_t i = 0; i < events.size() && events[i].t <= t; ++i) p = {events[i].x, events[i].y};
    return p;
}
}  // namespace

TEST(PenAtTheDesktop, DragsOntoTheEdgesHoldTheButtonAndForgedPointMessagesReplayNothing) {
    Desk desk;
    ASSERT_TRUE(desk.Start("[System]\r\nSetPtCount=25\r\n"));
    desk.pen.Down(300, 300);
    ASSERT_TRUE(desk.WaitForButtons("down"));
    desk.Drag(300, 300, 0, 300);
    Sleep(300);
    desk.Drag(0, 300, 300, 0);
    Sleep(300);
    EXPECT_EQ(Canvas::Buttons(desk.canvas->Events()), "down") << "the button came up at an edge";
    desk.pen.Up();
    ASSERT_TRUE(desk.WaitForButtons("down up"));

    const size_t before = desk.canvas->Events().size();
    for (LPARAM ticket = 1; ticket <= 6000; ++ticket) PostMessageA(desk.d.main, WM_POINT_EVENT, 0, ticket);
    Sleep(800);
    EXPECT_EQ(desk.canvas->Events().size(), before);
    EXPECT_TRUE(desk.d.driver.Running());
}

// A pen held still 2 s at whole, half and quarter pixels: where the mouse was every 10 ms. The run
// without steadying gives the figures to compare with.
TEST(PenAtTheDesktop, AStillPenKeepsTheCursorOnOnePixel) {
    const struct {
        const char* name;
        const char* settings;
        int noise;
    } runs[] = {{"unsteadied", "[System]\r\nSetPtCount=25\r\nPenFilter=0\r\n", 2},
                {"steadied", "[System]\r\nSetPtCount=25\r\n", 2},
                {"steadied, noise 4", "[System]\r\nSetPtCount=25\r\n", 4}};
    const double places[][2] = {{600, 400}, {600.5, 400.5}, {620.25, 420.75}, {1300, 700}, {1300.5, 700.25}, {1320.75, 720.5}};
    for (const auto& run : runs) {
        Desk desk;
        ASSERT_TRUE(desk.Start(run.settings, run.noise)) << run.name;
        double worstFromMean = 0, worstMeanError = 0;
        for (const auto& place : places) {
            desk.pen.Down(place[0], place[1]);
            EXPECT_TRUE(WaitFor([&] {
                const POINT p = SeenAt(desk.canvas->Events(), timeGetTime());
                return std::hypot(p.x - place[0], p.y - place[1]) < 3;
            }, 3000)) << run.name << ": no press at " << place[0] << "," << place[1];
            Sleep(300);
            const DWORD start = timeGetTime();
            Sleep(2000);
            const auto events = desk.canvas->Events();
            std::vector<POINT> samples;
            double mx = 0, my = 0;
            for (DWORD t = start; t < start + 2000; t += 10) {
                samples.push_back(SeenAt(events, t));
                mx += samples.back().x / 200.0;
                my += samples.back().y / 200.0;
            }
            for (const POINT& p : samples) worstFromMean = std::max(worstFromMean, std::hypot(p.x - mx, p.y - my));
            worstMeanError = std::max(worstMeanError, std::hypot(mx - place[0], my - place[1]));
            desk.pen.Up();
            Sleep(700);  // beyond the double-click time: each place is a touch of its own
        }
        printf("%-18s cursor within %.2f px of its mean, mean within %.2f px of the pen\n", run.name, worstFromMean,
               worstMeanError);
        if (run.settings == runs[0].settings) continue;
        EXPECT_LE(worstFromMean, 0.5) << run.name;
        EXPECT_LE(worstMeanError, 1.5) << run.name;
    }
}

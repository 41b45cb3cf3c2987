// What the pen becomes at the desktop, seen from another process: a drag onto the screen's edges,
// point messages forged by another program, a pen held still between pixels.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <cmath>
#include <vector>

#include "VirtualRig.h"

using namespace e2e;

namespace {
// Where the canvas last saw the mouse at time t (it stamps events with timeGetTime).
POINT SeenAt(const std::vector<CanvasEvent>& events, DWORD t) {
    POINT p{-1000, -1000};
    for (size_t i = 0; i < events.size() && events[i].t <= t; ++i) p = {events[i].x, events[i].y};
    return p;
}

// A pen held still 2 s at whole, half and quarter pixels over the drawing program, where the mouse
// was every 10 ms: the cursor stays within 0.5 px of its mean, the mean within 1.5 px of the pen,
// and the stroke is never interrupted (no right click).
void ExpectStillPenKeepsTheCursorOnOnePixel(CanvasRig& rig) {
    const double places[][2] = {{600, 400}, {600.5, 400.5}, {620.25, 420.75}, {1300, 700}, {1300.5, 700.25}, {1320.75, 720.5}};
    double worstFromMean = 0, worstMeanError = 0;
    for (const auto& place : places) {
        const size_t before = rig.Events().size();
        rig.pen.Down(place[0], place[1]);
        EXPECT_TRUE(WaitFor([&] {
            const POINT p = SeenAt(rig.Events(), timeGetTime());
            return std::hypot(p.x - place[0], p.y - place[1]) < 3;
        }, 3000)) << "no press at " << place[0] << "," << place[1];
        WaitForNewFrames(18);  // the jitter filter settles
        const DWORD start = timeGetTime();
        Sleep(2000);  // held still, the cursor sampled below
        const auto events = rig.Events();
        EXPECT_EQ(Canvas::Buttons(rig.Events(before)), "down") << "holding still interrupted the stroke";
        std::vector<POINT> samples;
        double mx = 0, my = 0;
        for (DWORD t = start; t < start + 2000; t += 10) {
            samples.push_back(SeenAt(events, t));
            mx += samples.back().x / 200.0;
            my += samples.back().y / 200.0;
        }
        for (const POINT& p : samples) worstFromMean = std::max(worstFromMean, std::hypot(p.x - mx, p.y - my));
        worstMeanError = std::max(worstMeanError, std::hypot(mx - place[0], my - place[1]));
        rig.pen.Up();
        Sleep(700);  // beyond the double-click time: each place is a touch of its own
    }
    printf("cursor within %.2f px of its mean, mean within %.2f px of the pen\n", worstFromMean, worstMeanError);
    EXPECT_LE(worstFromMean, 0.5);
    EXPECT_LE(worstMeanError, 1.5);
}
}  // namespace

// Twice the virtual camera's usual noise: a jitter filter that holds the cursor there holds it at less.
TEST(PenAtTheDesktop, DragsOntoTheEdgesHoldTheButtonForgedPointsReplayNothingAndAStillPenStaysStill) {
    CanvasRig rig;
    rig.folder.Write("VirtualCamera.ini", "[Camera0]\r\nNoise=4\r\n");
    ASSERT_TRUE(rig.Start());
    rig.pen.Down(300, 300);
    ASSERT_TRUE(rig.WaitForButtons("down"));
    rig.pen.Stroke(270, 300, -30, 0, 9);  // to the left edge in ten steps
    WaitForNewFrames(18);  // read there a while
    rig.pen.Stroke(30, 270, 30, -30, 9);  // and on to the top edge
    WaitForNewFrames(18);
    EXPECT_EQ(rig.Buttons(), "down") << "the button came up at an edge";
    rig.pen.Up();
    ASSERT_TRUE(rig.WaitForButtons("down up"));

    const size_t before = rig.Events().size();
    for (LPARAM ticket = 1; ticket <= 6000; ++ticket) PostMessageA(rig.main, WM_POINT_EVENT, 0, ticket);
    Sleep(800);  // the flood handled: its queue is not visible from here
    EXPECT_EQ(rig.Events().size(), before) << "a forged point message moved the mouse";
    EXPECT_TRUE(rig.driver.Running());
    Sleep(300);  // past the double-click time
    ExpectStillPenKeepsTheCursorOnOnePixel(rig);
}

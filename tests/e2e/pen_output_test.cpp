// What the pen becomes at the desktop, seen from another process: a drag onto the screen's edge,
// point messages forged by another program, a pen held still between pixels, a quick stroke.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <vector>

#include "Canvas.h"
#include "DriverHarness.h"
#include "VirtualRig.h"

using namespace e2e;

namespace {
constexpr UINT kPointMessage = 0x802;

// The driver on the virtual camera over a canvas. The canvas is titled as the drawing program, so a
// pen held still never turns into a right click.
struct Desk {
    PenControl pen;
    CalibratedDriver d;
    std::unique_ptr<Canvas> canvas;

    bool Start(const char* settings, int noise = 2) {
        d.folder.Write("VirtualCamera.ini", "[Camera0]\r\nNoise=" + std::to_string(noise) + "\r\n");
        if (!d.Start(settings)) return false;
        canvas = std::make_unique<Canvas>(d.folder.Path("canvas.log"), "Inkora window");
        return canvas->Ready() && d.WaitUntilDetecting();
    }
    std::string Buttons() const { return Canvas::Buttons(canvas->Events()); }
    bool WaitForButtons(const std::string& expected, DWORD timeoutMs = 3000) const {
        return WaitFor([&] { return Buttons() == expected; }, timeoutMs);
    }
    ~Desk() {
        pen.Up();
        d.Quit();
        d.driver.WaitForExit();
    }
};

// Where the canvas last saw the mouse at time t (the canvas stamps events with timeGetTime).
POINT SeenAt(const std::vector<CanvasEvent>& events, DWORD t) {
    POINT p{-1000, -1000};
    for (const CanvasEvent& e : events) {
        if (e.t > t) break;
        p = {e.x, e.y};
    }
    return p;
}

struct StillFigures {
    double worstFromMean = 0, worstMeanError = 0;
    int mostPixels = 0;
};

// The pen held still for 2 s at whole, half and quarter pixels; where the mouse was every 10 ms.
StillFigures HoldStill(Desk& desk) {
    const double places[][2] = {{600, 400},  {600.5, 400.5},   {620.25, 420.75},
                                {1300, 700}, {1300.5, 700.25}, {1320.75, 720.5}};
    StillFigures f;
    for (const auto& place : places) {
        desk.pen.Down(place[0], place[1]);
        EXPECT_TRUE(WaitFor(
            [&] {
                const POINT p = SeenAt(desk.canvas->Events(), timeGetTime());
                return std::hypot(p.x - place[0], p.y - place[1]) < 3;
            },
            3000));
        Sleep(300);
        const DWORD start = timeGetTime();
        Sleep(2000);
        const auto events = desk.canvas->Events();
        std::vector<POINT> samples;
        for (DWORD t = start; t < start + 2000; t += 10) samples.push_back(SeenAt(events, t));
        double mx = 0, my = 0;
        std::set<std::pair<LONG, LONG>> pixels;
        for (const POINT& p : samples) {
            mx += p.x;
            my += p.y;
            pixels.insert({p.x, p.y});
        }
        mx /= static_cast<double>(samples.size());
        my /= static_cast<double>(samples.size());
        for (const POINT& p : samples) f.worstFromMean = std::max(f.worstFromMean, std::hypot(p.x - mx, p.y - my));
        f.worstMeanError = std::max(f.worstMeanError, std::hypot(mx - place[0], my - place[1]));
        f.mostPixels = std::max(f.mostPixels, static_cast<int>(pixels.size()));
        desk.pen.Up();
        Sleep(700);  // beyond the double-click time: each place is a touch of its own
    }
    return f;
}

struct StrokeFigures {
    double press = 0, mean = 0, worst = 0, latencyMedian = 0;
};

// A 30-step stroke at 20 ms a step, then 20 jumps of 40 px timed from the pen's move to the cursor's
// arrival within 4 px.
StrokeFigures Stroke(Desk& desk) {
    StrokeFigures f;
    std::vector<POINT> path;
    for (int i = 0; i <= 30; ++i) path.push_back({500 + 30 * i, 300 + 12 * i});
    size_t before = desk.canvas->Events().size();
    desk.pen.Down(path[0].x, path[0].y);
    EXPECT_TRUE(WaitFor([&] { return desk.canvas->Events().size() > before; }, 3000));
    for (const POINT& p : path) {
        desk.pen.Down(p.x, p.y);
        Sleep(20);
    }
    desk.pen.Up();
    Sleep(300);
    auto events = desk.canvas->Events();
    int moves = 0;
    bool pressed = false;
    for (size_t i = before; i < events.size(); ++i) {
        const CanvasEvent& e = events[i];
        if (e.what == "down" && !pressed) f.press = std::hypot(e.x - path[0].x, e.y - path[0].y);
        pressed = e.what == "down" || (pressed && e.what != "up");
        if (e.what != "move" || !pressed) continue;
        const double err = DistanceToPath(e.x, e.y, path);
        f.mean += err;
        f.worst = std::max(f.worst, err);
        ++moves;
    }
    f.mean = moves ? f.mean / moves : 99;

    std::vector<double> latencies;
    double x = 700, y = 500;
    desk.pen.Down(x, y);
    Sleep(300);
    for (int i = 0; i < 20; ++i) {
        x += i % 2 ? -40 : 40;
        const size_t seen = desk.canvas->Events().size();
        const DWORD written = timeGetTime();
        desk.pen.Down(x, y);
        WaitFor(
            [&] {
                const auto ev = desk.canvas->Events();
                for (size_t k = seen; k < ev.size(); ++k)
                    if (ev[k].what == "move" && std::hypot(ev[k].x - x, ev[k].y - y) < 4) {
                        latencies.push_back(static_cast<double>(ev[k].t - written));
                        return true;
                    }
                return false;
            },
            1000);
        Sleep(80);
    }
    desk.pen.Up();
    std::sort(latencies.begin(), latencies.end());
    f.latencyMedian = latencies.empty() ? 9999 : latencies[latencies.size() / 2];
    return f;
}
}  // namespace

TEST(PenAtTheDesktop, ADragOntoTheLeftAndTopEdgesKeepsTheButtonDown) {
    Desk desk;
    ASSERT_TRUE(desk.Start("[System]\r\nSetPtCount=25\r\n"));
    desk.pen.Down(300, 300);
    ASSERT_TRUE(desk.WaitForButtons("down"));
    for (int i = 1; i <= 10; ++i) {
        desk.pen.Down(300 - 30 * i, 300);  // ends at x = 0
        Sleep(20);
    }
    Sleep(300);
    for (int i = 1; i <= 10; ++i) {
        desk.pen.Down(30 * i, 300 - 30 * i);  // ends at y = 0
        Sleep(20);
    }
    Sleep(300);
    EXPECT_EQ(desk.Buttons(), "down") << "the button came up at the edge";
    desk.pen.Up();
    EXPECT_TRUE(desk.WaitForButtons("down up"));
}

// Another program posting point messages with lParam 1..6000 after the pen lifted replays nothing.
TEST(PenAtTheDesktop, ForgedPointMessagesGiveNoMouseInput) {
    Desk desk;
    ASSERT_TRUE(desk.Start("[System]\r\nSetPtCount=25\r\n"));
    desk.pen.Down(800, 500);
    ASSERT_TRUE(desk.WaitForButtons("down")) << desk.Buttons();
    for (int i = 1; i <= 20; ++i) {
        desk.pen.Down(800 + 10 * i, 500);
        Sleep(16);
    }
    desk.pen.Up();
    ASSERT_TRUE(desk.WaitForButtons("down up"));
    const size_t before = desk.canvas->Events().size();
    for (LPARAM ticket = 1; ticket <= 6000; ++ticket) PostMessageA(desk.d.main, kPointMessage, 0, ticket);
    Sleep(800);
    EXPECT_EQ(desk.canvas->Events().size(), before);
    EXPECT_TRUE(desk.d.driver.Running());
}

// The steadying filter against the driver without it, in one run: figures for the report, limits
// for the filtered driver.
TEST(PenAtTheDesktop, AStillPenKeepsTheCursorStillAndAStrokeIsFollowedClosely) {
    struct Run {
        const char* name;
        const char* settings;
        int noise;
        StillFigures still;
        StrokeFigures stroke;
    } runs[] = {
        {"unfiltered", "[System]\r\nSetPtCount=25\r\nPenFilter=0\r\n", 2, {}, {}},
        {"filtered", "[System]\r\nSetPtCount=25\r\n", 2, {}, {}},
        {"filtered, noise 4", "[System]\r\nSetPtCount=25\r\n", 4, {}, {}},
    };
    for (Run& r : runs) {
        Desk desk;
        ASSERT_TRUE(desk.Start(r.settings, r.noise)) << r.name;
        r.still = HoldStill(desk);
        if (r.noise == 2) r.stroke = Stroke(desk);
        printf("%-18s still: <= %.2f px from mean, mean <= %.2f px from the pen, up to %d pixels | stroke: press "
               "%.1f px, path mean %.2f max %.2f px, latency median %.0f ms\n",
               r.name, r.still.worstFromMean, r.still.worstMeanError, r.still.mostPixels, r.stroke.press,
               r.stroke.mean, r.stroke.worst, r.stroke.latencyMedian);
    }
    for (const Run* r : {&runs[1], &runs[2]}) {
        EXPECT_LE(r->still.worstFromMean, 0.5) << r->name;
        EXPECT_LE(r->still.worstMeanError, 1.5) << r->name;
    }
    const StrokeFigures& s = runs[1].stroke;
    EXPECT_LE(s.press, 3.0);
    EXPECT_LE(s.mean, 2.0);
    EXPECT_LE(s.worst, 5.0);
    EXPECT_LE(s.latencyMedian, runs[0].stroke.latencyMedian + 16 + 2);  // at most a frame more than unfiltered
}

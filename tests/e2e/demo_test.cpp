// The driver's main job without hardware: Tavori starts uncalibrated, calibrates itself from the
// squares it flashes, then a virtual pen draws a figure through it into the canvas, each stroke
// pressed where it begins and dragged along the pen's path. `./run demo` runs this case alone; its
// picture and report land in the e2e folder's demo/.
#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <vector>

#include "VirtualRig.h"

using namespace e2e;

namespace {
// A five-pointed star inside a circle: strokes of points in desktop pixels.
std::vector<std::vector<POINT>> Figure(double cx, double cy, double r) {
    const double pi = 3.14159265358979;
    auto at = [&](double x, double y) { return POINT{static_cast<LONG>(cx + x), static_cast<LONG>(cy + y)}; };
    std::vector<POINT> circle, star;
    for (int i = 0; i <= 120; ++i) circle.push_back(at(r * std::cos(i * 2 * pi / 120), r * std::sin(i * 2 * pi / 120)));
    for (int k = 0; k < 5; ++k) {
        const double a0 = -pi / 2 + (k * 2 % 5) * 2 * pi / 5, a1 = -pi / 2 + ((k + 1) * 2 % 5) * 2 * pi / 5;
        for (int i = 0; i < 24; ++i) {
            const double t = i / 24.0;
            star.push_back(at(0.92 * r * ((1 - t) * std::cos(a0) + t * std::cos(a1)), 0.92 * r * ((1 - t) * std::sin(a0) + t * std::sin(a1))));
        }
    }
    star.push_back(star.front());
    return {circle, star};
}
}  // namespace

TEST(Demo, VirtualPenDrawsAStarThroughTheDriver) {
    Rig rig;
    ASSERT_TRUE(rig.Start(25, false, "ApplicationVersion=1\r\n"));  // uncalibrated, no laser prompt
    const double calibrationSeconds = rig.AutoCalibrate();
    ASSERT_GE(calibrationSeconds, 0) << "the automatic calibration saved nothing";
    // Before the canvas opens, so the grid's taps do not draw on it.
    const Rig::GridError grid = rig.OverGrid();
    Canvas canvas(rig.folder.Path("canvas.log"));
    ASSERT_TRUE(canvas.Ready());
    ASSERT_TRUE(WaitFor([&] { return GetForegroundWindow() == canvas.Hwnd(); }, 3000)) << "the canvas is not in front";
    PenControl& pen = rig.pen;
    const auto figure = Figure(ScreenWidth() / 2.0, ScreenHeight() / 2.0, ScreenHeight() * 0.38);
    std::vector<double> latencies;
    std::vector<std::pair<DWORD, POINT>> penAt;  // when each position was written, for a stray event's story
    int drawn = 0;
    for (const auto& stroke : figure) {
        for (const POINT& p : stroke) {
            size_t before = canvas.Events().size();
            DWORD written = timeGetTime();
            pen.Down(p.x, p.y);
            penAt.push_back({written, p});
            ++drawn;
            // Latency: until the canvas hears of this position.
            WaitFor(
                [&] {
                    auto ev = canvas.Events();
                    for (size_t k = before; k < ev.size(); ++k)
                        if (std::hypot(ev[k].x - p.x, ev[k].y - p.y) < 4) {
                            latencies.push_back(static_cast<double>(ev[k].t - written));
                            return true;
                        }
                    return false;
                },
                200);
            Sleep(8);  // the hand's pace
        }
        pen.Up();
        Sleep(300);  // lifted between strokes
    }
    WaitFor([&] { return canvas.Events().back().what == "up"; }, 2000);  // the last lift drawn

    std::string dir = E2eDir() + "\\demo";
    CreateDirectoryA(dir.c_str(), nullptr);
    ASSERT_TRUE(SaveScreenshot(dir + "\\demo.png"));
    const auto events = canvas.Events();
    // Every event while pressed is judged against the nearer of the two strokes; each press against
    // where its stroke began.
    std::vector<double> errs;
    std::vector<size_t> errEvent;  // the event each error belongs to
    double pressError = 0;
    size_t strokes = 0;
    bool pressed = false;
    for (size_t i = 0; i < events.size(); ++i) {
        const CanvasEvent& e = events[i];
        pressed = e.what == "down" || (pressed && e.what != "up");
        if (!pressed || (e.what != "move" && e.what != "down")) continue;
        errs.push_back(std::min(DistanceToPath(e.x, e.y, figure[0]), DistanceToPath(e.x, e.y, figure[1])));
        errEvent.push_back(i);
        if (e.what == "down" && strokes < figure.size()) {
            const POINT& start = figure[strokes++].front();
            pressError = std::max(pressError, std::hypot(e.x - start.x, e.y - start.y));
        }
    }
    ASSERT_FALSE(errs.empty());
    double mean = 0;
    for (double v : errs) mean += v / static_cast<double>(errs.size());
    const auto worstAt = std::max_element(errs.begin(), errs.end());
    const double worst = *worstAt;
    if (worst > 4.0) {  // what the canvas heard around the stray event, and where the pen was then
        const size_t at = errEvent[static_cast<size_t>(worstAt - errs.begin())];
        for (size_t i = at > 4 ? at - 4 : 0; i < std::min(events.size(), at + 5); ++i)
            printf("%s event %lu %s %d,%d\n", i == at ? ">" : " ", events[i].t, events[i].what.c_str(), events[i].x, events[i].y);
        for (const auto& [t, p] : penAt)
            if (t + 100 >= events[at].t && t <= events[at].t + 50) printf("  pen %lu %ld,%ld\n", t, p.x, p.y);
    }
    std::sort(latencies.begin(), latencies.end());
    const double medianLatency = latencies.empty() ? 0 : latencies[latencies.size() / 2];
    const double maxLatency = latencies.empty() ? 0 : latencies.back();

    std::ofstream report(dir + "\\report.txt");
    report << std::fixed << std::setprecision(2);
    report << "Tavori demo: the driver calibrated itself, then a virtual pen drew a circle and a five-pointed star.\n"
           << "camera:                     virtual, lens distortion K1 -0.12, 25 calibration points\n"
           << "automatic calibration (s):  " << calibrationSeconds << " from OK in the aiming view to saved\n"
           << "calibration error (px):     mean " << grid.mean << ", max " << grid.worst
           << " over a 9 x 6 grid of pen positions (" << grid.missed << " not seen)\n"
           << "pen positions drawn:        " << drawn << "\n"
           << "mouse events on the canvas: " << errs.size() << " while pressed, strokes: " << strokes << "\n"
           << "position error (px):        mean " << mean << ", max " << worst << ", presses within " << pressError
           << " of where their strokes began\n"
           << "pen to cursor latency (ms): median " << medianLatency << ", max " << maxLatency
           << " (camera frame period 16 ms)\n"
           << "picture:                    demo.png\n";
    report.close();
    printf("demo: %s\\report.txt\n", dir.c_str());
    EXPECT_EQ(Canvas::Buttons(events), "down up down up");
    EXPECT_EQ(grid.missed, 0);
    EXPECT_LE(grid.mean, 1.0);
    EXPECT_LE(grid.worst, 3.0);
    EXPECT_LE(mean, 1.5);
    EXPECT_LE(worst, 4.0);
    EXPECT_LE(pressError, 3.0);
    rig.driver.Quit();
    EXPECT_TRUE(rig.driver.WaitForExit());
}

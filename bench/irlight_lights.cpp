// Lights told apart on the virtual camera: how often each cue of a light's first frame decides, what
// a pen pays for it (frames until its press, the press's distance from the touch), and what the cues
// and the tracking cost per frame against the detector.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "MultiIRLight.h"
#include "VcamModel.h"
#include "detector.h"
#include "light_cues.h"
#include "summary.h"
#include "synth.h"
#include "tracker.h"

namespace {

using tavori::irl::LightCue;
constexpr int kW = 1920, kH = 1080;  // the filmed desktop

// The virtual camera at its defaults over a dark or a white desktop, in a dark or a daylit room.
struct Camera {
    tavori::vcam::Composer comp;
    std::vector<uint8_t> frame;
    Camera(double ambient, bool white) {
        tavori::vcam::Config c;
        c.hasScreenRect = true;
        c.rect[2] = kW, c.rect[3] = kH;
        c.ambient = ambient;
        comp.Configure(c);
        tavori::vcam::ScreenImage desk;
        desk.Resize(kW, kH);
        std::fill(desk.px.begin() + 1, desk.px.end(), white ? 255 : 0);
        comp.Film(&desk);
        frame.resize(comp.FrameBytes());
    }
    SCapFrame* show(const std::vector<tavori::vcam::Pen>& lights) {
        tavori::vcam::PenState s;
        for (const auto& l : lights) s.pens[s.count++] = l;
        comp.Frame(s, frame.data());
        view = SCapFrame{640, 480, 24, comp.FrameBytes(), frame.data()};
        return &view;
    }
    SCapFrame view{};
};

struct Kind {
    double sigma, intensity;
};
const Kind kLamps[] = {{4, 1}, {4, 0.5}, {5, 1}, {5, 0.5}, {8, 1}, {8, 0.5}};
const double kPenSigmas[] = {0.6, 0.8, 1.0, 1.5, 2.0, 2.5, 3.0};
const double kPenIntensities[] = {1.0, 0.75, 0.6};

// First frames of a light at random places, over four rooms: how many were seen and which cue judged
// them (LightCue order).
struct Judged {
    int unseen = 0, by[4] = {};
    int seen() const { return by[0] + by[1] + by[2] + by[3]; }
};

void judge(const Kind& k, int trials, Judged& j, synth::Rng& rng) {
    tavori::irl::SpotDetector det;
    det.configure(640, 480);
    tavori::irl::LightCues cues;
    cues.setFrameWidth(640);
    for (double ambient : {8.0, 40.0})
        for (bool white : {false, true}) {
            Camera cam(ambient, white);
            for (int t = 0; t < trials; ++t) {
                const double x = 200 + rng.uniform() * (kW - 400), y = 150 + rng.uniform() * (kH - 300);
                const SCapFrame* f = cam.show({{x, y, k.sigma, k.intensity}});
                tavori::irl::Spot spots[64];
                const int n = det.detect({f->pData, 640, 480, static_cast<std::ptrdiff_t>(cam.comp.Stride())}, {}, spots);
                if (n == 0) {
                    ++j.unseen;
                    continue;
                }
                ++j.by[static_cast<int>(cues.judge(spots[0]))];
            }
        }
}

std::string name(const char* what, const Kind& k) {
    char s[64];
    std::snprintf(s, sizeof s, "%s sigma %.1f at %.0f%%", what, k.sigma, 100 * k.intensity);
    return s;
}

// The library as the listener drives it: calibrated from the camera's own lens model, past its
// start frames.
struct Listener {
    HMULTIIRLIGHT h = IRLCreate();
    _SDetectPoint pts[64];
    explicit Listener(Camera& cam) {
        const _SImgPara para{640, 480, 0, 95, 50};
        IRLSetImgConfig(h, &para);
        _SCalibration cal{};
        cal.lWinWidth = kW, cal.lWinHeight = kH, cal.lPtCount = 25;
        synth::VirtualCamera grid;
        for (int i = 0; i < 25; ++i) {
            const auto t = grid.target(5, i / 5, i % 5);
            double cx, cy;
            cam.comp.Model().Project(t.first, t.second, cx, cy);
            cal.x[i] = static_cast<uint32_t>(std::lround(cx)), cal.y[i] = static_cast<uint32_t>(std::lround(cy));
        }
        IRLSetConfig(h, &cal);
        for (int i = 0; i < 10; ++i) IRLFindWinPoint(h, cam.show({}), pts, 64);
    }
    ~Listener() { IRLUninit(h); }
    // The published point nearest (x, y), or a huge distance when none is published.
    double nearest(const SCapFrame* f, double x, double y) {
        const int n = IRLFindWinPoint(h, f, pts, 64);
        double d = 1e9;
        for (int i = 0; i < n; ++i) d = std::min(d, std::hypot(pts[i].x - x, pts[i].y - y));
        return d;
    }
};

// A light switched on at a random place and moved by `step` desktop pixels a frame: the frame (from
// 1) its first point is published in, within 60 frames, and that point's distance from the touch.
struct Paid {
    double frames = 0, worstFrames = 0, distance = 0, worstDistance = 0;
    int never = 0, runs = 0;
};

void pay(const Kind& k, double step, int runs, Paid& p, synth::Rng& rng) {
    Camera cam(8, false);
    for (int r = 0; r < runs; ++r) {
        Listener d(cam);
        const double x0 = 300 + rng.uniform() * (kW - 600), y0 = 200 + rng.uniform() * (kH - 400);
        int frame = 0;
        double dist = 1e9;
        for (int f = 1; f <= 60 && dist > 40; ++f) {
            dist = d.nearest(cam.show({{x0 + step * (f - 1), y0, k.sigma, k.intensity}}), x0, y0);
            frame = f;
        }
        if (dist > 40) {
            ++p.never;
            continue;
        }
        ++p.runs;
        p.frames += frame, p.worstFrames = std::max<double>(p.worstFrames, frame);
        p.distance += dist, p.worstDistance = std::max(p.worstDistance, dist);
    }
    if (p.runs) p.frames /= p.runs, p.distance /= p.runs;
}

void recordPaid(const std::string& what, const Paid& p) {
    const std::string area = "lights";
    bench::record(area, what + ": frames until published, mean", p.frames, "frames", -1, "", "1 = the first frame");
    bench::record(area, what + ": frames until published, worst", p.worstFrames, "frames");
    bench::record(area, what + ": distance from the touch, mean", p.distance, "px");
    bench::record(area, what + ": distance from the touch, worst", p.worstDistance, "px");
    if (p.never) bench::record(area, what + ": never published within 60 frames", p.never, "runs");
}

// A room frame for the cost: a lamp, two pens, faint content; the tracker sees the same scene every
// frame, the pens a little further each time.
std::vector<tavori::irl::Spot> roomSpots() {
    synth::Frame f(640, 480);
    synth::Scene sc;
    sc.background = 12, sc.noise = 2;
    sc.spots = {{200.3, 190.6, 1.5, 700}, {460.1, 312.4, 1.2, 400}, {520.5, 80.2, 5, 900}};
    synth::render(f, sc);
    return synth::detect(f);
}

// The profile of every light of the frame, and every light judged as if all were new: the most
// the cues add to a frame.
void JudgeEveryLight(benchmark::State& state) {
    auto spots = roomSpots();
    tavori::irl::LightCues cues;
    cues.setFrameWidth(640);
    int32_t falloff = 40;
    for (auto _ : state)
        for (auto& s : spots) {
            benchmark::DoNotOptimize(falloff);
            s.profile = tavori::irl::SpotDetector::profileWidth(falloff, 212.f);
            benchmark::DoNotOptimize(cues.judge(s));
        }
}

// The tracker in a steady room: the lamp held, the pens moving.
void TrackRoom(benchmark::State& state) {
    auto spots = roomSpots();
    tavori::irl::Tracker tracker;
    tavori::irl::TrackedSpot out[64];
    int64_t now = 0;
    for (auto _ : state) {
        for (auto& s : spots)
            if (s.area < 40) s.x += 0.5;
        benchmark::DoNotOptimize(tracker.update(spots.data(), static_cast<int>(spots.size()), now += 16, out));
    }
}

const bool registered = [] {
    benchmark::RegisterBenchmark("irlight/JudgeEveryLight/640x480", JudgeEveryLight);
    benchmark::RegisterBenchmark("irlight/TrackRoom/640x480", TrackRoom);
    return true;
}();

}  // namespace

TAVORI_BENCH_REPORT(lightsReport) {
    const std::string area = "lights";
    synth::Rng rng(23);
    bench::note(area, "first frames of lights at random places on the virtual camera (640x480, noise 2), in four rooms: "
                      "ambient 8 and 40, dark and white desktop; shares of the frames that showed the light");
    for (const Kind& k : kLamps) {
        Judged j;
        judge(k, 40, j, rng);
        const double seen = std::max(j.seen(), 1);
        const std::string n = name("lamp", k);
        bench::record(area, n + ": held by size", j.by[1] / seen, "share");
        bench::record(area, n + ": held by profile", j.by[2] / seen, "share");
        bench::record(area, n + ": held by saturation", j.by[3] / seen, "share");
        bench::record(area, n + ": taken for a pen", j.by[0] / seen, "share", -1, "", "must be 0");
        bench::record(area, n + ": under the threshold", j.unseen, "frames", -1, "", "of 160");
    }
    for (double sigma : kPenSigmas) {
        Judged j;
        for (double i : kPenIntensities) judge({sigma, i}, 20, j, rng);
        const double seen = std::max(j.seen(), 1);
        const std::string n = name("pen", {sigma, 1});
        bench::record(area, n.substr(0, n.find(" at")) + " (100/75/60%): pen at once", j.by[0] / seen, "share", -1, "",
                      "held: size " + std::to_string(j.by[1]) + ", profile " + std::to_string(j.by[2]) + ", saturation " +
                          std::to_string(j.by[3]));
    }
    for (double sigma : kPenSigmas) {
        Paid p;
        pay({sigma, 1}, 0, 10, p, rng);
        recordPaid(name("still pen", {sigma, 1}), p);
    }
    for (const Kind& k : {Kind{4, 1}, Kind{5, 1}, Kind{8, 1}}) {
        Paid p;
        pay(k, 8, 10, p, rng);
        recordPaid(name("stroke of a lamp-sized pen", k), p);
    }
    Camera cam(8, false);
    int published = 0;
    for (const Kind& k : kLamps) {
        Listener d(cam);
        for (int f = 0; f < 600; ++f) published += d.nearest(cam.show({{900, 500, k.sigma, k.intensity}}), 900, 500) < 40;
    }
    bench::record(area, "lamps (sigma 4, 5, 8 at 100/50%) switched on: frames published of 6 x 600", published, "frames", -1,
                  "", "must be 0");

    const double detect = bench::nsPerIteration("irlight/Detect/640x480");
    const double judgeAll = bench::nsPerIteration("irlight/JudgeEveryLight/640x480");
    const double track = bench::nsPerIteration("irlight/TrackRoom/640x480");
    if (detect > 0 && judgeAll > 0) bench::record(area, "cues for every light of a frame", judgeAll / 1000, "us", judgeAll / detect, "detect 640x480");
    if (detect > 0 && track > 0) bench::record(area, "tracking a room frame", track / 1000, "us", track / detect, "detect 640x480");
}

// Identity of lights across frames and the model of fixed lights, driven with spots and a clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "MultiIRLight.h"
#include "synth.h"
#include "tracker.h"

using tavori::irl::Spot;
using tavori::irl::TrackedSpot;
using tavori::irl::Tracker;

namespace {

constexpr int64_t kFrameMs = 16;

struct Light {
    double x, y, vx = 0;  // vx: camera pixels per frame
    int32_t half = 2;     // half the lit box's side: wider than a pen's from 6
    int64_t mass = 100;
};

// One stretch of a scenario: which lights are on for how long, and what is expected of each light
// over it: 'A' reported in every frame, 'N' in none, 'E' reported in the last frame, 'X' not
// reported in the last frame, '-' anything.
struct Phase {
    int64_t ms;
    std::vector<Light> lights;
    std::string expect;
};

struct Clocked {
    Tracker t;
    int64_t now = 1000;
    // Reported spot nearest to where the light is now, if within 4 px.
    std::vector<const TrackedSpot*> frame(const std::vector<Spot>& spots) {
        n = t.update(spots.data(), static_cast<int>(spots.size()), now, out);
        now += kFrameMs;
        std::vector<const TrackedSpot*> hit(spots.size(), nullptr);
        for (size_t i = 0; i < spots.size(); ++i)
            for (int k = 0; k < n; ++k)
                if (std::hypot(out[k].spot.x - spots[i].x, out[k].spot.y - spots[i].y) < 4) hit[i] = &out[k];
        return hit;
    }
    TrackedSpot out[64];
    int n = 0;
};

Spot spotAt(double x, double y, int32_t half = 2, int64_t mass = 100) {
    Spot s;
    s.x = x;
    s.y = y;
    s.x0 = static_cast<int32_t>(x) - half;
    s.x1 = static_cast<int32_t>(x) + half;
    s.y0 = static_cast<int32_t>(y) - half;
    s.y1 = static_cast<int32_t>(y) + half;
    s.mass = mass;
    s.threshold = 220;
    return s;
}

// Plays the phases; returns "" or what went wrong.
std::string play(const std::vector<Phase>& phases) {
    Clocked r;
    std::vector<Light> pos;
    for (size_t p = 0; p < phases.size(); ++p) {
        const Phase& ph = phases[p];
        pos = ph.lights;
        const int frames = static_cast<int>(ph.ms / kFrameMs);
        for (int f = 0; f < frames; ++f) {
            std::vector<Spot> spots;
            for (Light& l : pos) {
                spots.push_back(spotAt(l.x, l.y, l.half, l.mass));
                l.x += l.vx;
            }
            const auto hit = r.frame(spots);
            const bool last = f == frames - 1;
            for (size_t i = 0; i < hit.size(); ++i) {
                const char e = ph.expect[i];
                const bool bad = (e == 'A' && !hit[i]) || (e == 'N' && hit[i]) || (last && e == 'E' && !hit[i]) ||
                                 (last && e == 'X' && hit[i]);
                if (bad)
                    return "phase " + std::to_string(p) + " frame " + std::to_string(f) + " light " + std::to_string(i) +
                           (hit[i] ? " reported" : " missing");
            }
        }
    }
    return "";
}

const Light lamp{120.3, 30.6}, pen{40.2, 80.7};
const Light movingPen{40.2, 80.7, 1.0};
// A lamp wider than a pen tip; the pen 5 px beside its lit box; the lamp's light with the pen's
// merged into it, its centre pulled 1 px that way.
const Light wideLamp{120.3, 30.6, 0, 10, 5000}, movingWideLamp{120.3, 30.6, 1.0, 10, 5000};
const Light penBeside{120.3, 45.6}, lampWithPen{120.3, 31.6, 0, 12, 5100};
constexpr int64_t kStart = Tracker::kStartFrames * kFrameMs;

}  // namespace

TEST(FixedLights, PensAndLampsAreToldApartFromTheirHistory) {
    const int64_t settled = Tracker::kStillPublishMs;
    const int64_t forgotten = Tracker::kForgetMs + 200;
    struct Case {
        const char* name;
        std::vector<Phase> phases;
    } cases[] = {
        {"lamp lit since start is never reported, a pen beside it at once",
         {{kStart, {lamp}, "N"}, {3000, {lamp, movingPen}, "NA"}}},
        {"lamp hidden for a second does not come back as a pen",
         {{kStart, {lamp}, "N"}, {2000, {lamp}, "N"}, {1000, {}, ""}, {3000, {lamp}, "N"}}},
        {"fixed light dark long enough is forgotten: a still touch there is a pen at once",
         {{kStart, {lamp}, "N"}, {500, {lamp}, "N"}, {forgotten, {}, ""}, {500, {lamp}, "A"}}},
        {"pen on the board at start works once it moves",
         {{kStart, {pen}, "N"}, {1000, {pen}, "N"}, {500, {movingPen}, "E"}}},
        {"a light that appears later is a pen at once, also in the start frames' wake",
         {{kStart, {}, ""}, {1000, {pen}, "A"}}},
        {"a later light standing still is reported for a bounded time, and stays a fixed light",
         {{kStart, {}, ""}, {settled - 100, {pen}, "A"}, {300, {pen}, "X"}, {1000, {}, ""}, {1000, {pen}, "N"}}},
        {"a pen that rested that long works again when it moves",
         {{kStart, {}, ""}, {settled + 200, {pen}, "X"}, {300, {movingPen}, "E"}}},
        {"a lamp switched on later is held from its first frame, a pen beside it is reported at once",
         {{kStart, {}, ""}, {1000, {wideLamp}, "N"}, {1000, {wideLamp, penBeside}, "NA"}}},
        {"a light wider than a pen tip that moves is a pen", {{kStart, {}, ""}, {500, {wideLamp}, "N"}, {200, {movingWideLamp}, "E"}}},
        {"a lamp a pen merges into stays held, the pen is back as soon as it is out",
         {{kStart, {wideLamp}, "N"}, {300, {lampWithPen}, "N"}, {1000, {wideLamp, penBeside}, "NA"}}},
    };
    for (const Case& c : cases) EXPECT_EQ(play(c.phases), "") << c.name;
}

TEST(FixedLights, OnlyALightThatStoodStillSinceItAppearedIsSettled) {
    Clocked r;
    for (int f = 0; f < Tracker::kStartFrames; ++f) r.frame({});
    double x = 20;
    for (int64_t ms = 0; ms < Tracker::kSettledMs + 100; ms += kFrameMs, x += 1) r.frame({spotAt(100, 50), spotAt(x, 90)});
    ASSERT_EQ(r.n, 2);
    for (int k = 0; k < 2; ++k) EXPECT_EQ(r.out[k].settled, r.out[k].spot.x == 100) << k;
}

TEST(Tracking, IdsStayWithTheirPensThroughPassingAndFlicker) {
    Clocked r;
    r.t.restart(0);
    int32_t idA = 0, idB = 0;
    for (int k = 0; k < 40; ++k) {
        // Two pens moving towards each other, ten pixels per frame, passing 8 pixels apart; the
        // order of detection changes from frame to frame.
        std::vector<Spot> spots = {spotAt(20.0 + 10 * k, 100), spotAt(420.0 - 10 * k, 108)};
        if (k % 2) std::swap(spots[0], spots[1]);
        const auto hit = r.frame(spots);
        ASSERT_TRUE(hit[0] && hit[1]) << k;
        for (const TrackedSpot* h : hit) {
            int32_t& id = h->spot.y == 100 ? idA : idB;
            if (k == 0) id = h->id;
            EXPECT_EQ(h->id, id) << "frame " << k;
        }
    }
    EXPECT_NE(idA, idB);
    // A pen lost for one frame keeps its id; one gone longer frees it: ids stay small.
    for (int k = 0; k <= Tracker::kCoastFrames; ++k) r.frame({});
    r.frame({spotAt(50, 50)});
    r.frame({});
    EXPECT_EQ(r.frame({spotAt(58, 50)})[0]->id, 1);
    for (int k = 0; k <= Tracker::kCoastFrames; ++k) r.frame({});
    EXPECT_EQ(r.frame({spotAt(120, 50)})[0]->id, 1);
}

TEST(Tracking, NoCrowdOfLightsKeepsAPenOut) {
    Clocked r;
    r.t.restart(0);
    // Every frame a crowd of new lights, each too far from the last frame's to be taken for one.
    auto crowd = [](double shift, int n) {
        std::vector<Spot> spots;
        for (int k = 0; k < n; ++k) spots.push_back(spotAt(1000 + 100 * (k % 8) + shift, 100 * (k / 8) + shift));
        return spots;
    };
    r.frame(crowd(0, 64));
    r.frame(crowd(55, 64));
    std::vector<Spot> spots = crowd(0, 63);
    spots.insert(spots.begin(), spotAt(40, 900, 2, 1000));
    EXPECT_TRUE(r.frame(spots)[0]) << "the pen got no track";
}

TEST(OnePoint, FollowsTheSamePenWhenABrighterLightAppears) {
    synth::Calibrated c;
    _SDetectPoint pt{};
    int32_t followed = 0;
    for (int k = 0; k < 20; ++k) {
        std::vector<synth::Spot> spots = {{200.0 + 3 * k, 200, 1.2, 300}};
        if (k >= 10) spots.push_back({420.0 - 3 * k, 300, 2.5, 900});
        if (!IRLFindWinPointOne(c.h, c.show(spots), &pt)) continue;
        if (!followed) followed = pt.id;
        EXPECT_EQ(pt.id, followed) << "frame " << k;
    }
    EXPECT_NE(followed, 0);
}

TEST(OnePoint, AStillLightNeverOwnsItWhileAPenMoves) {
    synth::Calibrated c;
    _SDetectPoint pt{};
    const synth::Spot lamp{500.3, 100.6, 2.5, 900};  // switched on after the start: reported alone
    ASSERT_EQ(IRLFindWinPointOne(c.h, c.show({lamp}), &pt), 1);
    const int32_t lampId = pt.id;
    std::this_thread::sleep_for(std::chrono::milliseconds(Tracker::kSettledMs + 50));
    for (int k = 0; k < 10; ++k) {
        ASSERT_EQ(IRLFindWinPointOne(c.h, c.show({lamp, {200.0 + 3 * k, 300, 1.2, 300}}), &pt), 1);
        EXPECT_NE(pt.id, lampId) << "frame " << k;
    }
}

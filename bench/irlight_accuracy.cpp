// Centroid accuracy on synthetic spots with exact centres, and mapping accuracy on the virtual
// camera. Not timed: figures for the summary.
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "MultiIRLight.h"
#include "detector.h"
#include "mapping.h"
#include "summary.h"
#include "synth.h"

namespace {

struct SpotStats {
    int expected = 0, found = 0, falsePositives = 0;
    double sum = 0, max = 0;
};

// Frames of 4 x 3 spots each at random sub-pixel centres, the default threshold of 220.
SpotStats measureSpots(double ampLo, double ampHi, double sigmaLo, double sigmaHi, double noise, uint64_t seed) {
    SpotStats st;
    synth::Rng rng(seed);
    synth::Frame f(320, 240);
    tavori::irl::SpotDetector det;
    det.configure(320, 240);
    for (int frame = 0; frame < 40; ++frame) {
        synth::Scene sc;
        sc.noise = noise;
        sc.seed = seed * 1000 + static_cast<uint64_t>(frame);
        for (int k = 0; k < 12; ++k) {
            const double x = 40 + 80 * (k % 4) + rng.uniform() * 10 - 5, y = 40 + 80 * (k / 4) + rng.uniform() * 10 - 5;
            sc.spots.push_back({x, y, sigmaLo + (sigmaHi - sigmaLo) * rng.uniform(), ampLo + (ampHi - ampLo) * rng.uniform()});
        }
        synth::render(f, sc);
        tavori::irl::Spot out[64];
        const int n = det.detect(tavori::irl::ImageView{f.get()->pData, 320, 240, static_cast<std::ptrdiff_t>(f.stride())},
                                 tavori::irl::DetectParams{}, out);
        std::vector<bool> used(static_cast<size_t>(n));
        for (const auto& sp : sc.spots) {
            ++st.expected;
            int best = -1;
            double bd = 2;
            for (int i = 0; i < n; ++i) {
                const double d = std::hypot(out[i].x - sp.x, out[i].y - sp.y);
                if (d < bd) bd = d, best = i;
            }
            if (best < 0) continue;
            used[static_cast<size_t>(best)] = true;
            ++st.found;
            st.sum += bd;
            st.max = std::max(st.max, bd);
        }
        st.falsePositives += static_cast<int>(std::count(used.begin(), used.end(), false));
    }
    return st;
}

void reportSpots(const std::string& kind, const SpotStats& st) {
    const std::string area = "accuracy";
    bench::record(area, kind + " found", st.found, "spots", static_cast<double>(st.found) / st.expected, "expected");
    bench::record(area, kind + " false positives", st.falsePositives, "spots");
    bench::record(area, kind + " centroid error mean", st.found ? st.sum / st.found : NAN, "px", (st.found ? st.sum / st.found : 0) / 0.02,
                  "target 0.02 px");
    bench::record(area, kind + " centroid error max", st.max, "px", st.max / 0.1, "target 0.1 px");
}

struct MapStats {
    double mean = 0, max = 0, meanRounded = 0, maxRounded = 0;
    int unmapped = 0;
};

MapStats measureMapping(const synth::VirtualCamera& cam, int n) {
    MapStats st;
    tavori::irl::CameraMapping m;
    if (!m.fit(cam.calibration(n), cam.camW, cam.camH)) {
        st.mean = st.max = NAN;
        return st;
    }
    int count = 0;
    for (int y = 0; y < static_cast<int>(cam.H); y += 4) {
        for (int x = 0; x < static_cast<int>(cam.W); x += 4) {
            double cx, cy, sx, sy;
            cam.project(x, y, cx, cy);
            if (!m.map(cx, cy, sx, sy)) {
                ++st.unmapped;
                continue;
            }
            const double d = std::hypot(sx - x, sy - y);
            const double dr = std::hypot(std::lround(sx) - x, std::lround(sy) - y);
            st.mean += d;
            st.max = std::max(st.max, d);
            st.meanRounded += dr;
            st.maxRounded = std::max(st.maxRounded, dr);
            ++count;
        }
    }
    st.mean /= std::max(count, 1);
    st.meanRounded /= std::max(count, 1);
    return st;
}

}  // namespace

TAVORI_BENCH_REPORT(accuracyReport) {
    reportSpots("unsaturated (peak 248-255, sigma 1.8-2.4, noise 0)", measureSpots(238, 245, 1.8, 2.4, 0, 1));
    reportSpots("unsaturated (peak 248-255, sigma 1.8-2.4, noise 2)", measureSpots(238, 245, 1.8, 2.4, 2, 2));
    reportSpots("saturated (amplitude 400-1500, sigma 0.8-2, noise 0)", measureSpots(400, 1500, 0.8, 2.0, 0, 3));
    reportSpots("saturated (amplitude 400-1500, sigma 0.8-2, noise 2)", measureSpots(400, 1500, 0.8, 2.0, 2, 4));
}

TAVORI_BENCH_REPORT(mappingReport) {
    const std::string area = "mapping";
    for (double k1 : {0.0, -0.08, -0.15, -0.2}) {
        synth::VirtualCamera cam;
        cam.K1 = k1;
        const MapStats g = measureMapping(cam, 5), q = measureMapping(cam, 2);
        char tag[64];
        std::snprintf(tag, sizeof tag, "K1 %.2f", k1);
        const std::string t = tag;
        const bool target = k1 == -0.15;
        bench::record(area, t + " 25 points mean", g.mean, "px", target ? g.mean / 0.6 : q.mean > 0 ? g.mean / q.mean : -1,
                      target ? "target 0.6 px" : "4-point homography");
        bench::record(area, t + " 25 points max", g.max, "px", target ? g.max / 2.0 : q.max > 0 ? g.max / q.max : -1,
                      target ? "target 2 px" : "4-point homography");
        bench::record(area, t + " 4-point homography mean", q.mean, "px");
        bench::record(area, t + " 4-point homography max", q.max, "px");
        bench::record(area, t + " 25 points, rounded output mean", g.meanRounded, "px");
        bench::record(area, t + " 25 points, rounded output max", g.maxRounded, "px");
    }
    // One record is one draw of the rounding of the stored positions: the same camera at random
    // sub-pixel placements shows what to expect in general.
    synth::Rng rng(5);
    constexpr int kPlacements = 40;
    double sumMean = 0, sumMax = 0;
    int within = 0;
    for (int t = 0; t < kPlacements; ++t) {
        synth::VirtualCamera cam;
        cam.K1 = -0.15;
        for (double& c : cam.corners) c += rng.uniform() * 2 - 1;
        const MapStats g = measureMapping(cam, 5);
        sumMean += g.mean;
        sumMax += g.max;
        within += g.mean <= 0.6 && g.max <= 2.0;
    }
    bench::record(area, "K1 -0.15 25 points over sub-pixel placements, mean", sumMean / kPlacements, "px");
    bench::record(area, "K1 -0.15 25 points over sub-pixel placements, max", sumMax / kPlacements, "px");
    bench::record(area, "K1 -0.15 25 points over sub-pixel placements, within 0.6 / 2 px", within, "placements",
                  static_cast<double>(within) / kPlacements, "placements");
}

// Runs the golden scenes of golden/scenes.txt (format at its top): synthetic frames with exact
// centres, rendered and detected, each spot checked against its tolerance. Every path the CPU offers
// (cpu_path.h) must find the portable path's spots bit for bit, in these scenes and in a sweep of
// generated ones.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <fstream>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "cpu_path.h"
#include "synth.h"

namespace {

using tavori::irl::CpuPath;
using tavori::irl::Spot;
using tavori::irl::SpotDetector;

struct Golden {
    std::string name;
    uint32_t w = 0, h = 0;
    synth::Scene scene;
    tavori::irl::DetectParams params;
    double tol = 0.1;
    int count = -1;
    std::vector<std::vector<double>> paint;   // x0,y0,x1,y1,level,channels (bit 0 blue .. bit 2 red)
    std::vector<synth::Spot> expect;          // further centres to find, not rendered
};

std::vector<double> numbers(const std::string& text) {
    std::vector<double> v;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ',');) v.push_back(std::stod(part));
    return v;
}

// False for a line the runner does not understand, so a typo cannot pass silently.
bool parse(const std::string& line, Golden& g) {
    std::istringstream in(line);
    for (std::string token; in >> token;) {
        const size_t eq = token.find('=');
        if (eq == std::string::npos) return false;
        const std::string key = token.substr(0, eq), value = token.substr(eq + 1);
        if (key == "name") {
            g.name = value;
            continue;
        }
        const std::vector<double> v = numbers(value);
        const std::map<std::string, size_t> arity{{"size", 2}, {"bg", 1},   {"noise", 1}, {"seed", 1},
                                                   {"grad", 2}, {"thr", 1},  {"contrast", 1}, {"tol", 1},
                                                   {"count", 1}, {"spot", 4}, {"area", 5},  {"stroke", 5},
                                                   {"paint", 6}, {"expect", 2}};
        const auto it = arity.find(key);
        if (it == arity.end() || v.size() != it->second) return false;
        if (key == "size") g.w = static_cast<uint32_t>(v[0]), g.h = static_cast<uint32_t>(v[1]);
        if (key == "bg") g.scene.background = v[0];
        if (key == "noise") g.scene.noise = v[0];
        if (key == "seed") g.scene.seed = static_cast<uint64_t>(v[0]);
        if (key == "grad") g.scene.gradientX = v[0], g.scene.gradientY = v[1];
        if (key == "thr") g.params.threshold = static_cast<int32_t>(v[0]);
        if (key == "contrast") g.params.minContrast = static_cast<int32_t>(v[0]);
        if (key == "tol") g.tol = v[0];
        if (key == "count") g.count = static_cast<int>(v[0]);
        if (key == "spot") g.scene.spots.push_back({v[0], v[1], v[2], v[3]});
        if (key == "area") g.scene.areas.push_back({v[0], v[1], v[2], v[3], v[4]});
        if (key == "stroke") g.scene.strokes.push_back({v[0], v[1], v[2], v[3], v[4]});
        if (key == "paint") g.paint.push_back(v);
        if (key == "expect") g.expect.push_back({v[0], v[1], 0, 0});
    }
    return g.w >= 2 && g.h >= 2;
}

// The threshold a detection took and every field of every spot it found, x and y as their bits.
using Found = std::pair<int32_t, std::vector<std::tuple<uint64_t, uint64_t, int64_t, int32_t, int32_t, uint32_t, int32_t,
                                                        int32_t, int32_t, int32_t, int32_t, int32_t>>>;

// A frame's spots on the portable path; every other path the CPU offers must find the same.
std::vector<Spot> detectOnEveryPath(synth::Frame& f, const tavori::irl::DetectParams& params, const std::string& scene) {
    const CpuPath before = tavori::irl::cpuPath();
    const tavori::irl::ImageView view{f.get()->pData, static_cast<int32_t>(f.get()->nWidth),
                                      static_cast<int32_t>(f.get()->nHeight), static_cast<std::ptrdiff_t>(f.stride())};
    std::vector<Spot> portable;
    Found first;
    static SpotDetector detectors[4];  // one per path, fed frame after frame as a listener feeds its own
    for (int p = 0; p <= static_cast<int>(tavori::irl::widestCpuPath()); ++p) {
        const CpuPath path = tavori::irl::useCpuPath(static_cast<CpuPath>(p));
        SpotDetector& det = detectors[p];
        if (det.width() != view.width || det.height() != view.height) det.configure(view.width, view.height);
        Spot out[SpotDetector::kMaxSpots];
        const int n = det.detect(view, params, out);
        Found found{det.lastThreshold(), {}};
        for (const Spot& s : std::span(out, static_cast<size_t>(n)))
            found.second.emplace_back(std::bit_cast<uint64_t>(s.x), std::bit_cast<uint64_t>(s.y), s.mass, s.area,
                                      s.rimArea, std::bit_cast<uint32_t>(s.profile), s.peak, s.background, s.x0, s.y0, s.x1, s.y1);
        if (p == 0) portable.assign(out, out + n), first = found;
        EXPECT_EQ(found, first) << scene << " on the " << cpuPathName(path) << " path";
    }
    tavori::irl::useCpuPath(before);
    return portable;
}

// Every scene of a file: on every path alike, and unless its tol is negative (the sweep's scenes)
// each spot found within its tolerance.
void runScenes(const char* path) {
    std::ifstream file(path);
    ASSERT_TRUE(file.good()) << path;
    int scenes = 0, lineNo = 0;
    for (std::string line; std::getline(file, line);) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;
        Golden g;
        ASSERT_TRUE(parse(line, g)) << "line " << lineNo;
        ++scenes;
        synth::Frame f(g.w, g.h);
        synth::render(f, g.scene);
        for (const auto& p : g.paint)
            for (auto y = static_cast<uint32_t>(p[1]); y <= p[3] && y < g.h; ++y)
                for (auto x = static_cast<uint32_t>(p[0]); x <= p[2] && x < g.w; ++x)
                    for (int c = 0; c < 3; ++c)
                        if (static_cast<int>(p[5]) >> c & 1) f.px(x, y)[c] = static_cast<uint8_t>(p[4]);
        std::vector<synth::Spot> centres = g.scene.spots;
        centres.insert(centres.end(), g.expect.begin(), g.expect.end());
        const auto found = detectOnEveryPath(f, g.params, g.name + " (line " + std::to_string(lineNo) + ")");
        if (g.tol < 0) continue;
        const size_t expected = g.count >= 0 ? static_cast<size_t>(g.count) : centres.size();
        EXPECT_EQ(found.size(), expected) << g.name << " (line " << lineNo << ")";
        for (const synth::Spot& s : centres) {
            EXPECT_LE(synth::nearest(found, s.x, s.y), g.tol) << g.name << " (line " << lineNo << ") spot " << s.x << "," << s.y;
        }
        for (const auto& sp : found) EXPECT_TRUE(sp.x >= 0 && sp.x <= g.w - 1 && sp.y >= 0 && sp.y <= g.h - 1) << g.name;
    }
    EXPECT_GT(scenes, 0);
}

}  // namespace

TEST(GoldenScenes, EverySpotFoundWithinItsToleranceOnEveryPath) { runScenes(TAVORI_IRLIGHT_GOLDEN); }

// The sweep of generated scenes (golden/make-sweep) adds what no hand-written scene has.
TEST(GoldenScenes, SweepAlikeOnEveryPath) { runScenes(TAVORI_IRLIGHT_SWEEP); }

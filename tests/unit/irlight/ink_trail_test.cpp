// A drawing program inks the path of the pen, and the camera films that ink faintly: a thin bright
// stroke that ends at the pen spot, or passes under it. The stroke must not pull the centroid
// back along the path (the cursor lagged 1.5 camera px behind the pen in every drawing session).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "synth.h"

namespace {

constexpr double kPi = 3.141592653589793;

struct PenKind {
    const char* name;
    double amplitude;
    // Ink inside the pen's own light still lifts the pixels on the trail's side; the mirror test
    // keeps out only what lies beyond it. Before it, 0.60 and 0.78 px.
    double bound;
};
// The pen of the report (peak 400 before clipping) and one that just does not saturate.
const PenKind kPens[] = {{"saturated", 400, 0.3}, {"unsaturated", 240, 0.45}};
const double kOffsets[][2] = {{0.0, 0.0}, {0.3, 0.6}, {0.65, 0.2}, {0.5, 0.5}};

// Error of the pen at (px, py), sigma 1.5, over ambient 8 with noise 2 and the given ink and areas.
double penError(synth::Frame& f, const PenKind& pen, double px, double py, std::vector<synth::Stroke> strokes,
                std::vector<synth::Area> areas, uint64_t seed) {
    synth::Scene s;
    s.background = 8;
    s.noise = 2;
    s.seed = seed;
    s.strokes = std::move(strokes);
    s.areas = std::move(areas);
    s.spots = {{px, py, 1.5, pen.amplitude}};
    synth::render(f, s);
    return synth::errorAt(f, px, py);
}

}  // namespace

// The fault: the ink drawn behind the pen was taken as the spot's rim and pulled the centroid
// about 1.5 px back along the stroke. Trails ending at the pen, and lines drawn earlier that the
// pen now crosses (on both sides, not equally far; at its centre and half a pixel beside it).
TEST(InkTrailBehindPen, PenAtEndOfTrailOrOnLineUnderItNotPulled) {
    synth::Frame f(64, 64);
    uint64_t trailSeed = 1, crossSeed = 1000;
    for (const PenKind& pen : kPens) {
        double worst = 0;
        auto check = [&](double px, double py, const synth::Stroke& ink, uint64_t& seed, const std::string& what) {
            const double e = penError(f, pen, px, py, {ink}, {}, seed++);
            EXPECT_LE(e, pen.bound) << pen.name << " " << what << " level " << ink.level << " at " << px << "," << py;
            worst = std::max(worst, e);
        };
        for (int deg = 0; deg < 360; deg += 15) {
            const double ux = std::cos(deg * kPi / 180), uy = std::sin(deg * kPi / 180);
            const std::string dir = "direction " + std::to_string(deg);
            for (double length : {5.0, 10.0, 15.0, 20.0, 30.0})
                for (const auto& off : kOffsets) {
                    const double level = 40.0 + 10.0 * static_cast<int>(trailSeed % 3);
                    const double px = 32 + off[0], py = 31 + off[1];
                    check(px, py, {px, py, px - length * ux, py - length * uy, level}, trailSeed,
                          dir + " trail " + std::to_string(length));
                }
            for (double ahead : {3.0, 6.0, 25.0})
                for (const auto& off : kOffsets) {
                    const double level = 40.0 + 10.0 * static_cast<int>(crossSeed % 3);
                    const double px = 32 + off[0], py = 31 + off[1];
                    for (double side : {0.0, 0.5}) {
                        const double ox = px - side * uy, oy = py + side * ux;
                        check(px, py, {ox + ahead * ux, oy + ahead * uy, ox - 25 * ux, oy - 25 * uy, level}, crossSeed,
                              dir + " crossing " + std::to_string(ahead) + " ahead " + std::to_string(side) + " beside");
                    }
                }
        }
        std::printf("%s pen on ink trails: worst %.4f px\n", pen.name, worst);
    }
}

// Still open: beside a corner the background model takes the dark beyond it for the background of
// the whole quadrant, and the area around the pen is weighed as rim on every side that is not the
// corner's (errors up to 1.5 px). The mirror test cannot help while that light is symmetric.
TEST(InkTrailBehindPen, DISABLED_PenInsideBrightAreaNearCorner) {
    // Pen on white content (60 over the ambient) 2 to 6 px in from both edges at one of its corners.
    synth::Frame f(64, 64);
    uint64_t seed = 2000;
    for (const PenKind& pen : kPens)
        for (int corner = 0; corner < 4; ++corner) {
            const double sx = corner & 1 ? 1 : -1, sy = corner & 2 ? 1 : -1;
            for (int d = 2; d <= 6; ++d)
                for (const auto& off : kOffsets) {
                    const double cx = 32 + sx * (d + 0.5), cy = 31 + sy * (d + 0.5);
                    const synth::Area a{sx < 0 ? cx : 2, sy < 0 ? cy : 2, sx < 0 ? 62 : cx, sy < 0 ? 62 : cy, 60};
                    EXPECT_LE(penError(f, pen, 32 + off[0], 31 + off[1], {}, {a}, seed++), 0.15)
                        << pen.name << " corner " << corner << " distance " << d;
                }
        }
}

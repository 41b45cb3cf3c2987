// A drawing program inks the path of the pen, and the camera films that ink faintly: a thin bright
// stroke that ends at the pen spot, or passes under it. The stroke must not pull the centroid
// back along the path (the cursor lagged 1.5 camera px behind the pen in every drawing session).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "detector.h"
#include "synth.h"

using tavori::irl::DetectParams;
using tavori::irl::ImageView;
using tavori::irl::Spot;
using tavori::irl::SpotDetector;

namespace {

constexpr double kAmbient = 8;
constexpr double kPi = 3.141592653589793;
constexpr double kStrokeWidth = 1.5;

// A stroke of ink from (ax, ay) to (bx, by) with round ends, level grey levels over the ambient.
struct Stroke {
    double ax, ay, bx, by, level;
};
// A filled screen area [x0, x1) x [y0, y1).
struct Area {
    double x0, y0, x1, y1, level;
};

double segmentDistance(const Stroke& s, double x, double y) {
    const double dx = s.bx - s.ax, dy = s.by - s.ay, len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((x - s.ax) * dx + (y - s.ay) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(x - s.ax - t * dx, y - s.ay - t * dy);
}

// Share of the pixel at (x, y) the stroke covers (4 x 4 samples), as a lens would average it.
double coverage(const Stroke& s, double x, double y) {
    if (segmentDistance(s, x, y) > kStrokeWidth / 2 + 0.75) return 0;
    int in = 0;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) in += segmentDistance(s, x - 0.375 + 0.25 * i, y - 0.375 + 0.25 * j) <= kStrokeWidth / 2;
    return in / 16.0;
}

void render(synth::Frame& f, const std::vector<Stroke>& strokes, const std::vector<Area>& areas,
            const synth::Spot& pen, double noise, uint64_t seed) {
    synth::Rng rng(seed);
    const uint32_t w = f.get()->nWidth, h = f.get()->nHeight;
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            double v = kAmbient;
            for (const Area& a : areas)
                if (x >= a.x0 && x < a.x1 && y >= a.y0 && y < a.y1) v += a.level;
            for (const Stroke& s : strokes) v += s.level * coverage(s, x, y);
            const double dx = x - pen.x, dy = y - pen.y;
            v += pen.amplitude * std::exp(-(dx * dx + dy * dy) / (2 * pen.sigma * pen.sigma));
            v += noise * rng.gauss();
            f.set(x, y, static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)));
        }
    }
}

// Error of the detection nearest to (x, y); 99 when there is none within 3 px.
double errorAt(synth::Frame& f, double x, double y) {
    SpotDetector det;
    const auto w = static_cast<int32_t>(f.get()->nWidth), h = static_cast<int32_t>(f.get()->nHeight);
    det.configure(w, h);
    Spot out[SpotDetector::kMaxSpots];
    const int n = det.detect(ImageView{f.get()->pData, w, h, static_cast<std::ptrdiff_t>(f.stride())}, DetectParams{}, out);
    double best = 99;
    for (int i = 0; i < n; ++i) best = std::min(best, std::hypot(out[i].x - x, out[i].y - y));
    return best > 3 ? 99 : best;
}

struct PenKind {
    const char* name;
    double amplitude;
    // Ink inside the pen's own light still lifts the pixels on the trail's side; the mirror test
    // keeps out only what lies beyond it. Before it, 0.60 and 0.78 px.
    double bound;
};
// The pen of the report (peak 400 before clipping) and one that just does not saturate.
const PenKind kPens[] = {{"saturated", 400, 0.3}, {"unsaturated", 240, 0.45}};
constexpr double kSigma = 1.5;
constexpr double kNoise = 2;

const double kOffsets[][2] = {{0.0, 0.0}, {0.3, 0.6}, {0.65, 0.2}, {0.5, 0.5}};

}  // namespace

// The fault: the ink drawn behind the pen was taken as the spot's rim and pulled the centroid
// about 1.5 px back along the stroke.
TEST(InkTrailBehindPen, PenAtEndOfTrailNotPulledBack) {
    synth::Frame f(64, 64);
    uint64_t seed = 1;
    for (const PenKind& pen : kPens) {
        double worst = 0, sum = 0;
        int n = 0;
        for (int deg = 0; deg < 360; deg += 15) {
            const double ux = std::cos(deg * kPi / 180), uy = std::sin(deg * kPi / 180);
            for (double length : {5.0, 10.0, 15.0, 20.0, 30.0}) {
                for (const auto& off : kOffsets) {
                    const double level = 40.0 + 10.0 * static_cast<int>(seed % 3);
                    const double px = 32 + off[0], py = 31 + off[1];
                    render(f, {{px, py, px - length * ux, py - length * uy, level}}, {}, {px, py, kSigma, pen.amplitude},
                           kNoise, seed++);
                    const double e = errorAt(f, px, py);
                    EXPECT_LE(e, pen.bound) << pen.name << " direction " << deg << " length " << length << " level "
                                         << level << " offset " << off[0] << "," << off[1];
                    worst = std::max(worst, e);
                    sum += e;
                    ++n;
                }
            }
        }
        std::printf("%s pen at the end of an ink trail: mean %.4f px, worst %.4f px\n", pen.name, sum / n, worst);
    }
}

TEST(InkTrailBehindPen, PenOnLinePassingUnderIt) {
    // A stroke drawn earlier that the pen now crosses: it runs on both sides, not equally far.
    synth::Frame f(64, 64);
    uint64_t seed = 1000;
    for (const PenKind& pen : kPens) {
        double worst = 0;
        for (int deg = 0; deg < 360; deg += 15) {
            const double ux = std::cos(deg * kPi / 180), uy = std::sin(deg * kPi / 180);
            for (double ahead : {3.0, 6.0, 25.0}) {
                for (const auto& off : kOffsets) {
                    const double level = 40.0 + 10.0 * static_cast<int>(seed % 3);
                    const double px = 32 + off[0], py = 31 + off[1];
                    // Crossing at the pen's centre, and half a pixel beside it.
                    for (double side : {0.0, 0.5}) {
                        const double ox = px - side * uy, oy = py + side * ux;
                        render(f, {{ox + ahead * ux, oy + ahead * uy, ox - 25 * ux, oy - 25 * uy, level}}, {},
                               {px, py, kSigma, pen.amplitude}, kNoise, seed++);
                        const double e = errorAt(f, px, py);
                        EXPECT_LE(e, pen.bound) << pen.name << " direction " << deg << " ahead " << ahead << " beside "
                                             << side << " offset " << off[0] << "," << off[1];
                        worst = std::max(worst, e);
                    }
                }
            }
        }
        std::printf("%s pen on a line passing under it: worst %.4f px\n", pen.name, worst);
    }
}

// Still open: beside a corner the background model takes the dark beyond it for the background of
// the whole quadrant, and the area around the pen is weighed as rim on every side that is not the
// corner's (errors up to 1.5 px). The mirror test cannot help while that light is symmetric.
TEST(InkTrailBehindPen, DISABLED_PenInsideBrightAreaNearCorner) {
    // Pen on white content (60 over the ambient) 2 to 6 px in from both edges at one of its corners:
    // the background around the pen is partly the area's and partly the dark beyond the corner.
    synth::Frame f(64, 64);
    uint64_t seed = 2000;
    for (const PenKind& pen : kPens) {
        double worst = 0;
        for (int corner = 0; corner < 4; ++corner) {
            const double sx = corner & 1 ? 1 : -1, sy = corner & 2 ? 1 : -1;
            for (int d = 2; d <= 6; ++d) {
                for (const auto& off : kOffsets) {
                    const double px = 32 + off[0], py = 31 + off[1];
                    // The corner lies d px from the pen's pixel towards (sx, sy); the area extends away.
                    const double cx = 32 + sx * (d + 0.5), cy = 31 + sy * (d + 0.5);
                    const Area a{sx < 0 ? cx : 2, sy < 0 ? cy : 2, sx < 0 ? 62 : cx, sy < 0 ? 62 : cy, 60};
                    render(f, {}, {a}, {px, py, kSigma, pen.amplitude}, kNoise, seed++);
                    const double e = errorAt(f, px, py);
                    EXPECT_LE(e, 0.15) << pen.name << " corner " << corner << " distance " << d << " offset "
                                         << off[0] << "," << off[1];
                    worst = std::max(worst, e);
                }
            }
        }
        std::printf("%s pen inside a bright area near its corner: worst %.4f px\n", pen.name, worst);
    }
}

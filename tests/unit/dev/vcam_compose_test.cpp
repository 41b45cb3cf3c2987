// The virtual camera's frame composer and its reading of the pen control block.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "CaseFile.h"
#include "VcamModel.h"

using namespace tavori::vcam;

namespace {

// A filmed area that does not start at the desktop origin.
Config TestConfig(double noise = 0) {
    Config c;
    c.hasScreenRect = true;
    std::copy_n(std::begin({100, 40, 1280, 720}), 4, c.rect);
    c.noise = noise;
    return c;
}

PenState OnePen(double x, double y, double sigma = 1.5) { return PenState{0, 0, 0, 1, {Pen{x, y, sigma, 1}}}; }

struct Frame {
    explicit Frame(const Composer& c) : w(c.Width()), h(c.Height()), stride(c.Stride()), data(c.FrameBytes(), 0xCD) {}
    int at(int x, int y) const { return data[static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3]; }
    int w, h;
    uint32_t stride;
    std::vector<uint8_t> data;
};

// Intensity-weighted centroid above the background, in a window round (ex, ey).
void Centroid(const Frame& f, double ex, double ey, int background, double& cx, double& cy) {
    double m = 0, sx = 0, sy = 0;
    const int x0 = static_cast<int>(ex) - 10, y0 = static_cast<int>(ey) - 10;
    for (int y = y0; y <= y0 + 20; ++y)
        for (int x = x0; x <= x0 + 20; ++x) {
            const double v = f.at(x, y) - background;
            m += v;
            sx += v * x;
            sy += v * y;
        }
    cx = sx / m;
    cy = sy / m;
}

ScreenImage WhiteScreen(const Config& c) {
    ScreenImage s;
    s.Resize(c.rect[2], c.rect[3]);
    std::fill(s.px.begin() + 1, s.px.end(), uint8_t{255});
    return s;
}

}  // namespace

// A pen's spot and a white square's image sit where the lens model projects them, to a twentieth
// of a pixel: the pen at sub-pixel desktop positions spread over the screen, near the edges too,
// where the lens bends most; the square moved by single desktop pixels (half a camera pixel here),
// as a sensor that integrates its pixels' area sees it, instead of snapping to pixel boundaries.
TEST(VcamCompose, PensAndSquaresLandWhereTheModelProjectsThem) {
    const double pens[][2] = {{740.3, 400.7}, {130.25, 70.8}, {1350.6, 740.1}, {160.0, 720.45}, {1000.9, 90.3}};
    for (auto [mirror, sigma] : {std::pair{false, 1.5}, {true, 3.0}}) {
        Config c = TestConfig();
        c.mirror = mirror;
        Composer comp;
        ASSERT_TRUE(comp.Configure(c));
        Frame f(comp);
        for (int k = 0; k < 9; ++k) {
            const bool pen = k < 5;
            ScreenImage square;
            square.Resize(c.rect[2], c.rect[3]);
            const int left = 300 + k, top = 500 + k;
            if (!pen)
                for (int y = top; y < top + 20; ++y) std::fill_n(square.Row(y) + left, 20, uint8_t{255});
            SCOPED_TRACE(testing::Message() << "mirror " << mirror << (pen ? " pen " : " square ") << k);
            comp.Compose(&square, pen ? OnePen(pens[k][0], pens[k][1], sigma) : PenState{}, f.data.data());
            double ex, ey, cx, cy;
            ASSERT_TRUE(pen ? comp.Model().Project(pens[k][0] - c.rect[0], pens[k][1] - c.rect[1], ex, ey)
                            : comp.Model().Project(left + 9.5, top + 9.5, ex, ey));
            Centroid(f, ex, ey, 8, cx, cy);
            EXPECT_NEAR(cx, ex, 0.05);
            EXPECT_NEAR(cy, ey, 0.05);
            if (pen) {
                EXPECT_EQ(f.at(int(std::lround(ex)), int(std::lround(ey))), 255) << "a full-intensity pen saturates its centre";
            }
        }
    }
}

TEST(VcamCompose, ExposureStepsDoubleAndHalveTheScreenGrey) {
    const Config c = TestConfig();
    const ScreenImage white = WhiteScreen(c);
    ScreenImage wrong;  // a desktop copy of another size is filmed as black
    wrong.Resize(10, 10);
    std::fill(wrong.px.begin(), wrong.px.end(), uint8_t{255});
    Composer comp;
    ASSERT_TRUE(comp.Configure(c));
    Frame f(comp);
    // A pixel in the middle of the screen's image and one outside it (the corner of the frame):
    // ambient light does not follow the screen's gain; brighter than the sensor clamps.
    const struct {
        const ScreenImage* screen;
        int step, inside;
    } cases[] = {{&white, -8, 8 + 60}, {&white, -7, 8 + 120}, {&white, -9, 8 + 30}, {&white, -5, 255}, {&wrong, -8, 8}};
    for (const auto& e : cases) {
        comp.SetExposure(e.step);
        comp.Compose(e.screen, PenState{}, f.data.data());
        EXPECT_EQ(f.at(320, 240), e.inside) << "step " << e.step;
        EXPECT_EQ(f.at(0, 0), 8) << "step " << e.step;
    }
}

// Spread and freshness at the configured noise; at ambient 0 strong noise clamps at 0.
TEST(VcamCompose, NoiseHasTheConfiguredSpreadAndNeverWraps) {
    Composer comp;
    ASSERT_TRUE(comp.Configure(TestConfig(2.0)));
    Frame f1(comp), f2(comp);
    comp.Compose(nullptr, PenState{}, f1.data.data());
    comp.Compose(nullptr, PenState{}, f2.data.data());
    double sum = 0, sq = 0;
    long same = 0;
    for (size_t i = 0; i < f1.data.size(); ++i) {  // grey pixels in rows without padding
        sum += f1.data[i];
        sq += (f1.data[i] - 8.0) * (f1.data[i] - 8.0);
        same += f1.data[i] == f2.data[i];
    }
    const double n = static_cast<double>(f1.data.size());
    EXPECT_NEAR(sum / n, 8.0, 0.05);
    EXPECT_NEAR(std::sqrt(sq / n), 2.0, 0.15);
    EXPECT_LT(same, static_cast<long>(n * 0.5)) << "consecutive frames get fresh noise";

    Config dark = TestConfig(20.0);
    dark.ambient = 0;
    Composer darkComp;
    ASSERT_TRUE(darkComp.Configure(dark));
    darkComp.Compose(nullptr, PenState{}, f1.data.data());
    for (uint8_t v : f1.data) ASSERT_LT(v, 120) << "negative noise must clamp to 0, not wrap to 255";
    EXPECT_GT(std::count(f1.data.begin(), f1.data.end(), 0), static_cast<long>(f1.data.size() / 3));
}

TEST(VcamCompose, FrameLayoutPadsRowsAndFillsAllChannels) {
    Config c = TestConfig(2.0);
    c = ScaledTo(c, 318, 200);  // 954 bytes of pixels, 956 per row
    Composer comp;
    ASSERT_TRUE(comp.Configure(c));
    ASSERT_EQ(comp.Stride(), 956u);
    ASSERT_EQ(comp.FrameBytes(), 956u * 200u);
    Frame f(comp);
    const ScreenImage white = WhiteScreen(c);
    comp.Compose(&white, OnePen(700, 400), f.data.data());
    for (int y = 0; y < f.h; ++y) {
        const uint8_t* row = f.data.data() + static_cast<size_t>(y) * f.stride;
        EXPECT_EQ(row[954], 0);
        EXPECT_EQ(row[955], 0);
        for (int x = 0; x < f.w; ++x) {
            ASSERT_EQ(row[3 * x], row[3 * x + 1]);
            ASSERT_EQ(row[3 * x], row[3 * x + 2]);
        }
    }
}

// ---- The pen control block as another process may have left it ----------------------------

namespace {
PenBlock ValidBlock() {
    PenBlock b{};
    b.magic = kPenMagic;
    b.version = kPenVersion;
    return b;
}
}  // namespace

// A block as another process may have left it: its masks pass, the count is cut to the eight
// records it holds, each record is kept with its sizes clamped or dropped as pen_records.txt says;
// an unfinished or newer block reads as empty.
TEST(VcamPenBlock, ContentsAreReadClampedOrIgnored) {
    PenBlock b = ValidBlock();
    b.unplugged = 0x5, b.deadStream = 0x2, b.stalled = 0x8;
    b.count = 1000;
    const std::vector<CaseLine> rows = ReadCases(TAVORI_CASES_DIR "/pen_records.txt", 8);
    ASSERT_EQ(rows.size(), static_cast<size_t>(kMaxPens));
    std::vector<const CaseLine*> kept;
    for (int k = 0; k < kMaxPens; ++k) {
        const CaseLine& r = rows[k];
        b.pens[k] = PenRecord{std::stoi(r[1]), std::stof(r[2]), std::stof(r[3]), std::stof(r[4]), std::stof(r[5]), 0};
        if (r[6] != "-") kept.push_back(&r);
    }
    std::vector<uint8_t> mem(kPenBlockBytes, 0);
    std::memcpy(mem.data(), &b, sizeof b);
    const PenState s = ReadPenBlock(mem.data());
    EXPECT_EQ(s.unplugged, 0x5u);
    EXPECT_EQ(s.deadStream, 0x2u);
    EXPECT_EQ(s.stalled, 0x8u);
    ASSERT_EQ(s.count, static_cast<int>(kept.size()));
    for (int k = 0; k < s.count; ++k) {
        EXPECT_EQ(s.pens[k].x, std::stod((*kept[k])[2])) << Where(*kept[k]);
        EXPECT_EQ(s.pens[k].y, std::stod((*kept[k])[3])) << Where(*kept[k]);
        EXPECT_EQ(s.pens[k].sigma, std::stod((*kept[k])[6])) << Where(*kept[k]);
        EXPECT_EQ(s.pens[k].intensity, std::stod((*kept[k])[7])) << Where(*kept[k]);
    }
    for (auto [magic, version] : {std::pair{0u, kPenVersion}, {kPenMagic, 2u}}) {  // unfinished, newer
        b.magic = magic;
        b.version = version;
        const PenState foreign = SanitizePenBlock(b);
        EXPECT_EQ(foreign.count, 0);
        EXPECT_EQ(foreign.unplugged | foreign.deadStream | foreign.stalled, 0u);
    }
    EXPECT_EQ(ReadPenBlock(nullptr).count, 0);
}

TEST(VcamPenBlock, PensAnywhereComposeSafely) {
    // Huge spots, spots off every edge of the image and positions behind the lens: the composer
    // must neither write outside the frame nor fail (the sanitisers watch this test).
    const Config c = TestConfig(2.0);
    Composer comp;
    ASSERT_TRUE(comp.Configure(c));
    PenState s;
    const double where[][2] = {{-1e6, -1e6}, {1e6, 1e6}, {100, 40}, {1379, 759}, {99, 40}, {-200, 400}, {740, 400}, {2000, 100}};
    for (const auto& w : where) s.pens[s.count++] = Pen{w[0], w[1], 1000.0, 5.0};  // unclamped garbage
    Frame f(comp);
    std::vector<uint8_t> guarded(f.data.size() + 64, 0xAB);
    comp.Compose(nullptr, s, guarded.data());
    for (size_t i = f.data.size(); i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xAB);
}

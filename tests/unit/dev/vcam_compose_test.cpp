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

// Rows are padded to four bytes with zeros and every pixel is grey; the noise has the configured
// spread, is fresh in every frame, and at ambient 0 clamps at 0 instead of wrapping to 255.
TEST(VcamCompose, FramesArePaddedGreyAndNoisyAsConfigured) {
    const Config c = ScaledTo(TestConfig(2.0), 318, 200);  // 954 bytes of pixels, 956 a row
    Composer comp;
    ASSERT_TRUE(comp.Configure(c));
    ASSERT_EQ(comp.Stride(), 956u);
    ASSERT_EQ(comp.FrameBytes(), 956u * 200u);
    Frame f1(comp), f2(comp);
    comp.Compose(nullptr, PenState{}, f1.data.data());
    comp.Compose(nullptr, PenState{}, f2.data.data());
    double sum = 0, sq = 0, n = 0, same = 0;
    for (int y = 0; y < f1.h; ++y)
        for (size_t i = y * f1.stride; i < y * f1.stride + 954; ++i, ++n) {
            sum += f1.data[i];
            sq += (f1.data[i] - 8.0) * (f1.data[i] - 8.0);
            same += f1.data[i] == f2.data[i];
        }
    EXPECT_NEAR(sum / n, 8.0, 0.05);
    EXPECT_NEAR(std::sqrt(sq / n), 2.0, 0.15);
    EXPECT_LT(same, n * 0.5) << "consecutive frames get fresh noise";

    const ScreenImage white = WhiteScreen(c);
    comp.Compose(&white, OnePen(700, 400), f1.data.data());
    for (int y = 0; y < f1.h; ++y) {
        const uint8_t* row = f1.data.data() + static_cast<size_t>(y) * f1.stride;
        EXPECT_EQ(row[954] | row[955], 0);
        for (int x = 0; x < f1.w; ++x) ASSERT_TRUE(row[3 * x] == row[3 * x + 1] && row[3 * x] == row[3 * x + 2]) << x << "," << y;
    }

    Config dark = c;
    dark.noise = 20;
    dark.ambient = 0;
    Composer darkComp;
    ASSERT_TRUE(darkComp.Configure(dark));
    darkComp.Compose(nullptr, PenState{}, f1.data.data());
    for (uint8_t v : f1.data) ASSERT_LT(v, 120) << "negative noise must clamp to 0, not wrap to 255";
    EXPECT_GT(std::count(f1.data.begin(), f1.data.end(), 0), static_cast<long>(f1.data.size() / 3));
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
    // Huge spots, spots off every edge of the image, positions behind the lens and a desktop copy of
    // another size (filmed as black): the composer must neither read or write outside its buffers
    // nor fail (the sanitisers watch this test).
    const Config c = TestConfig(2.0);
    Composer comp;
    ASSERT_TRUE(comp.Configure(c));
    PenState s;
    const double where[][2] = {{-1e6, -1e6}, {1e6, 1e6}, {100, 40}, {1379, 759}, {99, 40}, {-200, 400}, {740, 400}, {2000, 100}};
    for (const auto& w : where) s.pens[s.count++] = Pen{w[0], w[1], 1000.0, 5.0};  // unclamped garbage
    ScreenImage wrong;
    wrong.Resize(10, 10);
    Frame f(comp);
    std::vector<uint8_t> guarded(f.data.size() + 64, 0xAB);
    comp.Compose(&wrong, s, guarded.data());
    for (size_t i = f.data.size(); i < guarded.size(); ++i) ASSERT_EQ(guarded[i], 0xAB);
}

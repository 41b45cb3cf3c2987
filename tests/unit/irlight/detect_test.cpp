// The spot detector on painted pixels and edge cases; golden scenes with exact centres are in
// golden/scenes.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "byte_max.h"
#include "synth.h"

using tavori::irl::DetectParams;
using tavori::irl::Spot;
using tavori::irl::SpotDetector;

// Laser-write mode asks for a threshold of 5 or 25, below the faintly filmed screen (60 over 8).
TEST(LowThresholdOverFilmedScreen, HighThresholdUnchangedAndLiftFollowsContrast) {
    synth::Frame f(160, 120);
    synth::Scene s;
    s.background = 8;
    s.noise = 2;
    s.seed = 9;
    s.areas = {{10, 10, 150, 110, 60}};
    s.spots = {{80.4, 60.2, 1.5, 900}};
    synth::render(f, s);
    SpotDetector det;
    det.configure(160, 120);
    Spot out[SpotDetector::kMaxSpots];
    const tavori::irl::ImageView view{f.get()->pData, 160, 120, static_cast<std::ptrdiff_t>(f.stride())};
    DetectParams p;
    ASSERT_EQ(det.detect(view, p, out), 1);
    EXPECT_EQ(det.lastThreshold(), 220) << "a threshold above the screen is taken as it is";
    p.threshold = 5;
    ASSERT_EQ(det.detect(view, p, out), 1);
    const int32_t lifted = det.lastThreshold();
    EXPECT_GE(lifted, 68 + 15);
    EXPECT_LE(lifted, 68 + 15 + 10) << "the lift is the screen level plus the contrast, not more";
    p.minContrast = 40;
    ASSERT_EQ(det.detect(view, p, out), 1);
    EXPECT_EQ(det.lastThreshold(), lifted + 25);
}

// Painted-pixel cases are golden scenes too; row padding cannot be painted from there.
TEST(Detect, RowPaddingIsNotImage) {
    synth::Frame f(41, 10);  // stride 124: one padding byte per row
    synth::render(f, synth::Scene{});
    for (uint32_t y = 0; y < 10; ++y) f.get()->pData[y * f.stride() + 123] = 255;
    EXPECT_TRUE(synth::detect(f).empty());
}

TEST(Detect, FloodedFrameGivesNothing) {
    // Lit columns on every other pixel: more runs than the run buffer holds. Half the frame is lit,
    // so the bright-background lift alone darkens it all; without the lift the run buffer overflows.
    synth::Frame f(640, 480);
    synth::render(f, synth::Scene{});
    for (uint32_t y = 0; y < 480; ++y)
        for (uint32_t x = 0; x < 640; x += 2) f.set(x, y, 250);
    DetectParams noLift;
    noLift.minContrast = 0;
    bool flooded = false;
    EXPECT_TRUE(synth::detect(f, noLift, &flooded).empty());
    EXPECT_TRUE(flooded);
    EXPECT_TRUE(synth::detect(f, {}, &flooded).empty());
    EXPECT_FALSE(flooded);
}

TEST(Detect, AtMostSixtyFourHeaviestSpots) {
    synth::Frame f(400, 300);
    synth::Scene s;
    for (int k = 0; k < 80; ++k) s.spots.push_back({20.0 + 40 * (k % 10), 20.0 + 35 * (k / 10), 1.2, 240.0 + k});
    synth::render(f, s);
    const auto spots = synth::detect(f);
    ASSERT_EQ(spots.size(), 64u);
    for (size_t i = 1; i < spots.size(); ++i) EXPECT_GE(spots[i - 1].mass, spots[i].mass);
}

// The search's row pass on every path against a byte-by-byte reading: mostly dark rows with a few
// bright bytes, of lengths around the vector widths and the block size, up to two words of blocks,
// misaligned. A row that reaches the level gives its largest byte and the blocks it is lit in; a
// darker one gives the level less one and leaves its words as they were.
TEST(RowPass, EveryPathMarksTheBlocksAndMaximaOfAByteByByteReading) {
    using namespace tavori::irl;
    synth::Rng rng(7);
    for (const std::size_t n : {1, 15, 17, 31, 33, 64, 255, 256, 257, 287, 960, 1920, 3840, 16384 + 300}) {
        const int32_t rows = 12;
        const std::size_t words = blockWords(n), stride = n + 5;
        std::vector<uint8_t> frame(stride * rows + 64), scratch(rowScratchBytes(n));
        for (int32_t r = 0; r < rows; ++r) {
            uint8_t* row = frame.data() + 3 + r * stride;  // off every vector's alignment
            for (std::size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(rng.uniform() * 30);
            for (int k = r % 4; k > 0; --k) row[static_cast<std::size_t>(rng.uniform() * static_cast<double>(n))] = static_cast<uint8_t>(30 + rng.uniform() * 226);
            if (r % 3 == 0) row[(r / 3 * kBlockBytes + kBlockBytes - 1) % n] = 255;  // on a block's last byte
        }
        for (const uint8_t level : {uint8_t{1}, uint8_t{31}, uint8_t{120}, uint8_t{255}}) {
            for (int p = 0; p <= static_cast<int>(widestCpuPath()); ++p) {
                SCOPED_TRACE(::testing::Message() << "n " << n << ", level " << int{level} << ", path " << p);
                std::vector<uint8_t> out(rows);
                std::vector<uint64_t> blocks(words * rows, 0xA5A5A5A5A5A5A5A5ull);
                rowMax(static_cast<CpuPath>(p))(frame.data() + 3, static_cast<std::ptrdiff_t>(stride), n, rows, level,
                                                 out.data(), blocks.data(), scratch.data());
                for (int32_t r = 0; r < rows; ++r) {
                    const uint8_t* row = frame.data() + 3 + r * stride;
                    const uint8_t largest = *std::max_element(row, row + n);
                    ASSERT_EQ(out[r], largest >= level ? largest : level - 1) << "row " << r;
                    std::vector<uint64_t> expect(words, largest >= level ? 0 : 0xA5A5A5A5A5A5A5A5ull);
                    for (std::size_t i = 0; i < n && largest >= level; ++i)
                        if (row[i] >= level) expect[i / kBlockBytes / 64] |= uint64_t{1} << (i / kBlockBytes % 64);
                    ASSERT_EQ(std::vector<uint64_t>(blocks.begin() + r * words, blocks.begin() + (r + 1) * words), expect)
                        << "row " << r;
                }
            }
        }
    }
}

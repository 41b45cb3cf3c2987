// Golden frames for the camera pixel conversions: tiny images whose BGR result is worked out by
// hand (BT.601 studio range: Y 16 = black, 235 = white, Y 81 U 90 V 240 = red), covering odd
// widths and heights, bottom-up buffers and padded rows on both sides.
#include <gtest/gtest.h>

#include <vector>

#include "JpegTables.h"
#include "PixelConvert.h"

using tavori::dev::DescribeBuffer;
using tavori::dev::PixelFormat;
using tavori::dev::SourceImage;

namespace {

struct Golden {
    const char* name;
    PixelFormat format;
    int width, height;
    ptrdiff_t pitch;
    std::vector<uint8_t> buffer;
    size_t dstStride;
    std::vector<uint8_t> expected;  // whole destination rows, padding included (zero)
};

const Golden kGolden[] = {
    {"yuy2 odd width", PixelFormat::Yuy2, 3, 2, 8,
     {16, 128, 235, 128, 126, 128, 99, 128, /**/ 81, 90, 81, 240, 16, 128, 0, 128},
     12,
     {0, 0, 0, 255, 255, 255, 128, 128, 128, 0, 0, 0, /**/ 0, 0, 255, 0, 0, 255, 0, 0, 0, 0, 0, 0}},
    {"yuy2 bottom-up", PixelFormat::Yuy2, 3, 2, -8,
     {81, 90, 81, 240, 16, 128, 0, 128, /**/ 16, 128, 235, 128, 126, 128, 99, 128},
     9,
     {0, 0, 0, 255, 255, 255, 128, 128, 128, /**/ 0, 0, 255, 0, 0, 255, 0, 0, 0}},
    // Luma rows padded to 5 bytes; the buffer ends right after the last chroma pair.
    {"nv12 odd size padded", PixelFormat::Nv12, 3, 3, 5,
     {16, 235, 126, 7, 7, /**/ 81, 81, 16, 7, 7, /**/ 126, 126, 126, 7, 7,
      128, 128, 90, 240, 7, /**/ 128, 128, 128, 128},
     9,
     {0, 0, 0, 255, 255, 255, 51, 52, 255, /**/ 76, 76, 76, 76, 76, 76, 0, 0, 179,
      /**/ 128, 128, 128, 128, 128, 128, 128, 128, 128}},
    {"rgb32 bottom-up", PixelFormat::Rgb32, 2, 2, -8,
     {1, 2, 3, 255, 4, 5, 6, 255, /**/ 7, 8, 9, 0, 10, 11, 12, 0},
     8,
     {7, 8, 9, 10, 11, 12, 0, 0, /**/ 1, 2, 3, 4, 5, 6, 0, 0}},
    {"rgb24 padded bottom-up", PixelFormat::Rgb24, 1, 2, -4, {1, 2, 3, 9, /**/ 4, 5, 6, 9}, 4,
     {4, 5, 6, 0, /**/ 1, 2, 3, 0}},
};

TEST(PixelConvert, GoldenFrames) {
    for (const Golden& g : kGolden) {
        SCOPED_TRACE(g.name);
        SourceImage img;
        ASSERT_TRUE(DescribeBuffer(g.format, g.width, g.height, g.buffer.data(), g.buffer.size(), g.pitch, img));
        std::vector<uint8_t> out(g.expected.size(), 0xAA);
        tavori::dev::ConvertToBgr24(img, out.data(), g.dstStride);
        EXPECT_EQ(out, g.expected);
    }
}

TEST(PixelConvert, RefusesBuffersThatDoNotHoldTheImage) {
    const std::vector<uint8_t> bytes(64, 0);
    struct Case {
        const char* name;
        PixelFormat format;
        int width, height;
        size_t len;
        ptrdiff_t pitch;
    } const cases[] = {
        {"yuy2 pitch below the pixel pairs", PixelFormat::Yuy2, 3, 2, 64, 7},
        {"nv12 one byte short", PixelFormat::Nv12, 3, 3, 23, 5},
        {"nv12 pitch below the chroma pairs", PixelFormat::Nv12, 3, 1, 64, 3},
        {"rgb32 bottom-up too short", PixelFormat::Rgb32, 2, 2, 15, -8},
        {"empty image", PixelFormat::Rgb24, 0, 2, 64, 4},
    };
    for (const Case& c : cases) {
        SourceImage img;
        EXPECT_FALSE(DescribeBuffer(c.format, c.width, c.height, bytes.data(), c.len, c.pitch, img)) << c.name;
    }
    SourceImage img;
    EXPECT_FALSE(DescribeBuffer(PixelFormat::Rgb24, 1, 1, nullptr, 64, 4, img));
}

TEST(PixelConvert, ResizeTakesTheNearestSampleAndClearsPadding) {
    const uint8_t src[] = {1, 2, 3, 4, 5, 6, 0, 0};  // 2 x 1, stride 8
    std::vector<uint8_t> out(2 * 12, 0xAA);
    tavori::dev::ResizeBgr24(src, 2, 1, 8, out.data(), 3, 2, 12);
    const std::vector<uint8_t> row = {1, 2, 3, 1, 2, 3, 4, 5, 6, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 12), row);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 12, out.end()), row);
}

}  // namespace

namespace {

using tavori::dev::JpegTables;

TEST(JpegTables, InsertsTheStandardTablesOnlyWhereTheFrameHasNone) {
    const std::vector<uint8_t> bare = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x04, 1, 2, 0xFF, 0xDA, 0x00, 0x02, 9};
    const std::vector<uint8_t> tabled = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x02, 0xFF, 0xDA, 0x00, 0x02};
    struct Case {
        const char* name;
        std::vector<uint8_t> in;
        JpegTables expected;
    } const cases[] = {
        {"tables missing", bare, JpegTables::Inserted},
        {"tables present", tabled, JpegTables::Present},
        {"not a jpeg", {0x00, 0xD8, 0xFF, 0xDA, 0, 2}, JpegTables::NotJpeg},
        {"segment running past the end", {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 0xFF, 0xDA}, JpegTables::NotJpeg},
        {"garbage between segments", {0xFF, 0xD8, 0x12, 0x34, 0xFF, 0xDA, 0, 2}, JpegTables::NotJpeg},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> out = {7};
        EXPECT_EQ(tavori::dev::AddStandardHuffmanTables(c.in.data(), c.in.size(), out), c.expected) << c.name;
        if (c.expected != JpegTables::Inserted) {
            EXPECT_EQ(out, std::vector<uint8_t>{7}) << c.name;
        }
    }
    std::vector<uint8_t> out;
    tavori::dev::AddStandardHuffmanTables(bare.data(), bare.size(), out);
    ASSERT_EQ(out.size(), bare.size() + 420);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8), std::vector<uint8_t>(bare.begin(), bare.begin() + 8));
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 8, out.begin() + 12), (std::vector<uint8_t>{0xFF, 0xC4, 0x01, 0xA2}));
    EXPECT_EQ(std::vector<uint8_t>(out.end() - 5, out.end()), std::vector<uint8_t>(bare.end() - 5, bare.end()));
}

}  // namespace

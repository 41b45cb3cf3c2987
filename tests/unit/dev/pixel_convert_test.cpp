// Camera pixel conversions: the golden frames of golden/pixels.txt (format at its top), buffers
// that cannot hold the image, resizing, and the JPEG table insertion.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CaseFile.h"
#include "JpegTables.h"
#include "PixelConvert.h"

using tavori::dev::DescribeBuffer;
using tavori::dev::PixelFormat;
using tavori::dev::SourceImage;

namespace {

template <class T>
std::vector<T> Numbers(const std::string& text) {
    std::istringstream in(text);
    std::vector<T> v;
    for (long n; in >> n;) v.push_back(static_cast<T>(n));
    return v;
}

TEST(PixelConvert, GoldenFrames) {
    const std::map<std::string, PixelFormat> formats = {
        {"yuy2", PixelFormat::Yuy2}, {"nv12", PixelFormat::Nv12}, {"rgb32", PixelFormat::Rgb32}, {"rgb24", PixelFormat::Rgb24}};
    for (const CaseLine& c : ReadCases(TAVORI_CASES_DIR "/golden/pixels.txt", 5)) {
        SCOPED_TRACE(Where(c));
        const auto size = Numbers<long>(c[2]);
        const auto buffer = Numbers<uint8_t>(c[3]), expected = Numbers<uint8_t>(c[4]);
        ASSERT_TRUE(formats.count(c[1]) && size.size() == 4);
        SourceImage img;
        const bool described = DescribeBuffer(formats.at(c[1]), static_cast<int>(size[0]), static_cast<int>(size[1]),
                                              buffer.data(), buffer.size(), size[2], img);
        EXPECT_EQ(described, c[4] != "refused");
        if (!described || c[4] == "refused") continue;
        std::vector<uint8_t> out(expected.size(), 0xAA);
        tavori::dev::ConvertToBgr24(img, out.data(), static_cast<size_t>(size[3]));
        EXPECT_EQ(out, expected);
    }
    SourceImage img;
    EXPECT_FALSE(DescribeBuffer(PixelFormat::Rgb24, 1, 1, nullptr, 64, 4, img)) << "no buffer at all";
}

TEST(PixelConvert, ResizeTakesTheNearestSampleAndClearsPadding) {
    const uint8_t src[] = {1, 2, 3, 4, 5, 6, 0, 0};  // 2 x 1, stride 8
    std::vector<uint8_t> out(2 * 12, 0xAA);
    tavori::dev::ResizeBgr24(src, 2, 1, 8, out.data(), 3, 2, 12);
    const std::vector<uint8_t> row = {1, 2, 3, 1, 2, 3, 4, 5, 6, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 12), row);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 12, out.end()), row);
}

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

// Camera pixel conversions: the golden frames of golden/pixels.txt (format at its top), buffers
// that cannot hold the image, resizing, and the JPEG table insertion.
#include <gtest/gtest.h>

#include <algorithm>
#include <iomanip>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "CaseFile.h"
#include "JpegTables.h"
#include "PixelConvert.h"

using tavori::dev::DescribeBuffer;
using tavori::dev::JpegTables;
using tavori::dev::PixelFormat;
using tavori::dev::SourceImage;

namespace {

template <class T>
std::vector<T> Numbers(const std::string& text, int base = 10) {
    std::istringstream in(text);
    std::vector<T> v;
    for (long n; in >> std::setbase(base) >> n;) v.push_back(static_cast<T>(n));
    return v;
}

using PixelFrames = CaseTest;
using JpegFrames = CaseTest;

TEST_P(PixelFrames, ConvertToTopDownBgr24OrAreRefused) {
    const std::map<std::string, PixelFormat> formats = {
        {"yuy2", PixelFormat::Yuy2}, {"nv12", PixelFormat::Nv12}, {"rgb32", PixelFormat::Rgb32}, {"rgb24", PixelFormat::Rgb24}};
    const CaseLine& c = GetParam();
    const auto size = Numbers<long>(c[2]);
    const auto buffer = Numbers<uint8_t>(c[3]), expected = Numbers<uint8_t>(c[4]);
    ASSERT_TRUE(formats.count(c[1]) && size.size() == 4);
    SourceImage img;
    const bool described = DescribeBuffer(formats.at(c[1]), static_cast<int>(size[0]), static_cast<int>(size[1]),
                                          buffer.data(), buffer.size(), size[2], img);
    ASSERT_EQ(described, c[4] != "refused");
    if (!described) return;
    std::vector<uint8_t> out(expected.size(), 0xAA);
    tavori::dev::ConvertToBgr24(img, out.data(), static_cast<size_t>(size[3]));
    EXPECT_EQ(out, expected);
}
INSTANTIATE_TEST_SUITE_P(, PixelFrames, CasesIn("golden/pixels.txt", 5), ByName());

TEST_P(JpegFrames, GetTheStandardTablesOnlyWhereTheyHaveNone) {
    const std::map<std::string, JpegTables> results = {
        {"inserted", JpegTables::Inserted}, {"present", JpegTables::Present}, {"not jpeg", JpegTables::NotJpeg}};
    const CaseLine& c = GetParam();
    const std::vector<uint8_t> in = Numbers<uint8_t>(c[1], 16);
    std::vector<uint8_t> out = {7};
    ASSERT_EQ(tavori::dev::AddStandardHuffmanTables(in.data(), in.size(), out), results.at(c[2]));
    if (c[2] != "inserted") {
        EXPECT_EQ(out, std::vector<uint8_t>{7}) << "left alone";
        return;
    }
    const uint8_t startOfScan[] = {0xFF, 0xDA};
    const auto sos = static_cast<size_t>(std::search(in.begin(), in.end(), startOfScan, startOfScan + 2) - in.begin());
    ASSERT_EQ(out.size(), in.size() + 420);
    EXPECT_TRUE(std::equal(in.begin(), in.begin() + sos, out.begin())) << "everything before the scan kept";
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + sos, out.begin() + sos + 4), (std::vector<uint8_t>{0xFF, 0xC4, 0x01, 0xA2}));
    EXPECT_TRUE(std::equal(in.begin() + sos, in.end(), out.begin() + sos + 420)) << "the scan kept after the tables";
}
INSTANTIATE_TEST_SUITE_P(, JpegFrames, CasesIn("golden/jpeg_frames.txt", 3), ByName());

TEST(PixelConvert, NoBufferIsRefusedAndResizeTakesTheNearestSampleAndClearsPadding) {
    SourceImage img;
    EXPECT_FALSE(DescribeBuffer(PixelFormat::Rgb24, 1, 1, nullptr, 64, 4, img));
    const uint8_t src[] = {1, 2, 3, 4, 5, 6, 0, 0};  // 2 x 1, stride 8
    std::vector<uint8_t> out(2 * 12, 0xAA);
    tavori::dev::ResizeBgr24(src, 2, 1, 8, out.data(), 3, 2, 12);
    const std::vector<uint8_t> row = {1, 2, 3, 1, 2, 3, 4, 5, 6, 0, 0, 0};
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 12), row);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + 12, out.end()), row);
}

// The grey frames' vector path writes what the portable code writes: every luma value, sixteen-pixel
// blocks with one coloured pixel among grey ones, and row ends that are not whole blocks.
TEST(PixelConvert, GreyVectorsWriteThePortableBytes) {
    for (PixelFormat format : {PixelFormat::Yuy2, PixelFormat::Nv12})
        for (int w : {16, 37, 64}) {
            const int h = 300, pitch = static_cast<int>(tavori::dev::MinRowBytes(format, w));
            std::vector<uint8_t> buffer(static_cast<size_t>(pitch) * (h + (h + 1) / 2));
            const size_t chroma = format == PixelFormat::Yuy2 ? 0 : static_cast<size_t>(pitch) * h;
            for (size_t i = 0; i < buffer.size(); ++i) {
                const bool isChroma = format == PixelFormat::Yuy2 ? i % 2 == 1 : i >= chroma;
                buffer[i] = isChroma ? (i % 97 == 0 ? 200 : 128) : static_cast<uint8_t>(i * 131 + i / 7);
            }
            SourceImage img;
            ASSERT_TRUE(DescribeBuffer(format, w, h, buffer.data(), buffer.size(), pitch, img));
            std::vector<uint8_t> vectors(static_cast<size_t>(w) * 3 * h), portable(vectors.size());
            tavori::dev::ConvertToBgr24(img, vectors.data(), static_cast<size_t>(w) * 3);
            tavori::dev::ConvertToBgr24(img, portable.data(), static_cast<size_t>(w) * 3, false);
            EXPECT_EQ(vectors, portable) << (format == PixelFormat::Yuy2 ? "YUY2 " : "NV12 ") << w;
        }
}

}  // namespace

// Camera pixel formats to the frame layout the detector reads: BGR24, top row first, rows padded
// by the caller's stride. Portable and allocation-free so that they run (and are tested) anywhere.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavori::dev {

enum class PixelFormat { Yuy2, Nv12, Rgb32, Rgb24 };

// A source image as the camera buffer holds it. row0 is the top row; pitch is the signed distance
// from one row to the next below it (negative for a bottom-up buffer). NV12 also has its
// interleaved chroma plane (uv0, uvPitch), half height rounded up.
struct SourceImage {
    PixelFormat format = PixelFormat::Rgb24;
    int width = 0, height = 0;
    const uint8_t* row0 = nullptr;
    ptrdiff_t pitch = 0;
    const uint8_t* uv0 = nullptr;
    ptrdiff_t uvPitch = 0;
};

// Bytes one row of the format needs at least (YUY2 and NV12 chroma cover pixel pairs).
size_t MinRowBytes(PixelFormat format, int width);

// Describes a contiguous buffer of len bytes: rows |pitch| apart, bottom-up when pitch < 0 (then
// base holds the bottom row), NV12 chroma right after the luma rows. False when the buffer is too
// short for the image or the pitch too small for a row.
bool DescribeBuffer(PixelFormat format, int width, int height, const uint8_t* base, size_t len, ptrdiff_t pitch,
                    SourceImage& out);

// Converts the whole image into dst (height rows of dstStride bytes, dstStride >= 3 * width);
// bytes past 3 * width in each row are zeroed. YUV is read as BT.601 studio range, as USB cameras
// deliver it. The alpha byte of RGB32 is ignored. Grey YUV (neutral chroma: an infrared camera's
// picture) goes sixteen pixels at a time where the CPU has SSSE3; vectors = false keeps to the
// portable code, which writes the same bytes (the tests and the bench compare the two).
void ConvertToBgr24(const SourceImage& src, uint8_t* dst, size_t dstStride, bool vectors = true);

// Nearest-sample resize between two BGR24 images of the given strides (padding of dst zeroed).
void ResizeBgr24(const uint8_t* src, int srcW, int srcH, size_t srcStride, uint8_t* dst, int dstW, int dstH,
                 size_t dstStride);

}  // namespace tavori::dev

// MJPG frames decoded by the system's image codecs (present from Windows 7 on), for cameras whose
// source reader offers no MJPG decoder.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct IWICImagingFactory;

namespace tavori::dev {

class MjpegDecoder {
public:
    MjpegDecoder() = default;
    ~MjpegDecoder();
    MjpegDecoder(const MjpegDecoder&) = delete;
    MjpegDecoder& operator=(const MjpegDecoder&) = delete;

    // Decodes a frame of exactly width x height into top-down BGR24 rows of dstStride bytes.
    // False (dst unspecified) for a frame that is not such a JPEG.
    bool Decode(const uint8_t* jpeg, size_t len, int width, int height, uint8_t* dst, size_t dstStride);

private:
    IWICImagingFactory* factory_ = nullptr;
    std::vector<uint8_t> withTables_;
};

}  // namespace tavori::dev

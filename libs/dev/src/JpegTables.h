// USB cameras leave the Huffman tables out of their MJPG frames and mean the standard ones; image
// decoders want them in the file. Portable, so that it is tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavori::dev {

enum class JpegTables { Present, Inserted, NotJpeg };

// When the frame has no table segment before its scan, out becomes the frame with the standard
// tables inserted there (Inserted); Present leaves out untouched; NotJpeg for a frame whose
// segments do not parse up to a scan.
JpegTables AddStandardHuffmanTables(const uint8_t* jpeg, size_t len, std::vector<uint8_t>& out);

}  // namespace tavori::dev

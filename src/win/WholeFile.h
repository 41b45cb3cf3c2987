// Files read and written whole, for the settings and the calibration's side files.
#pragma once
#include <cstdint>
#include <string>

namespace win {

// The whole file into `bytes` (empty for a missing one); false when it exists but cannot be read
// or is larger than maxBytes (then nothing may be written over it).
bool ReadWholeFile(const std::string& path, std::string& bytes, uint64_t maxBytes = 1ull << 30);

// Writes a temporary file beside the target, flushes it to the disk and moves it over the target, so
// the file is at every moment either the old one or the new one, whole, even if the process is
// killed or the disk fills up half way.
bool ReplaceWholeFile(const std::string& path, const std::string& bytes);

}  // namespace win

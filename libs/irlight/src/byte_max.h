// The largest byte of a buffer, read with the widest vectors the CPU offers. Almost every row of a
// frame is dark, so screening rows this way costs little more than reading them once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavori::irl {

using ByteMaxFn = uint8_t (*)(const uint8_t* p, std::size_t n);

// The fastest form on this CPU (AVX2 where it is present), chosen once.
ByteMaxFn byteMax();

// The forms themselves, for the benchmarks; byteMaxAvx2 is null where the build has none.
uint8_t byteMaxBaseline(const uint8_t* p, std::size_t n);
extern const ByteMaxFn byteMaxAvx2;

}  // namespace tavori::irl

// The largest byte of a buffer, read with the widest vectors the CPU offers. Almost every row of a
// frame is dark, so screening rows this way costs little more than reading them once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tavori::irl {

using ByteMaxFn = uint8_t (*)(const uint8_t* p, std::size_t n);
// The largest byte of each of `rows` rows of n bytes, `stride` apart, into out[0 .. rows - 1]: one
// call for a whole frame's rows, so no row pays for a call of its own.
using RowMaxFn = void (*)(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out);

// The fastest forms on this CPU (AVX2 where it is present), chosen once.
ByteMaxFn byteMax();
RowMaxFn rowMax();

// The forms themselves, for the benchmarks; the AVX2 ones are null where the build has none.
uint8_t byteMaxBaseline(const uint8_t* p, std::size_t n);
void rowMaxBaseline(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out);
extern const ByteMaxFn byteMaxAvx2;
extern const RowMaxFn rowMaxAvx2;

}  // namespace tavori::irl

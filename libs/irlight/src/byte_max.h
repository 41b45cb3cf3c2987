// Screening the bytes of frame rows with the widest vectors the CPU offers: the largest byte of each
// row, and which bytes of a row reach a level. Almost every row of a frame is dark, so screening rows
// this way costs little more than reading them once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_path.h"

namespace tavori::irl {

using ByteMaxFn = uint8_t (*)(const uint8_t* p, std::size_t n);
// The largest byte of each of `rows` rows of n bytes, `stride` apart, into out[0 .. rows - 1]: one
// call for a whole frame's rows, so no row pays for a call of its own.
using RowMaxFn = void (*)(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out);
// A word of a row's lit bits and its place: bit k tells whether byte 64 * at + k reaches the level.
struct LitWord {
    uint64_t bits;
    int32_t at;
};
// Which of the n bytes at p reach a level: the words of 64 bytes with a lit byte, in order, into out;
// returns how many. A labelled row is mostly dark, and its reader then passes over no dark word.
// out holds (n + 63) / 64 words.
using LitBytesFn = int32_t (*)(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out);

// The forms of a path (cpu_path.h): by default the one in effect.
ByteMaxFn byteMax(CpuPath path = cpuPath());
RowMaxFn rowMax(CpuPath path = cpuPath());
LitBytesFn litBytes(CpuPath path = cpuPath());

// The forms themselves. The SSE2 ones exist in x86 builds only (cpu_x86.h), where they also finish
// the ends of rows for the wider ones; the wider ones are null where the build has none.
uint8_t byteMaxPortable(const uint8_t* p, std::size_t n);
void rowMaxPortable(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out);
int32_t litBytesPortable(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out);
uint8_t byteMaxSse2(const uint8_t* p, std::size_t n);
void rowMaxSse2(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t* out);
int32_t litBytesSse2(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out);
extern const ByteMaxFn byteMaxAvx2;
extern const RowMaxFn rowMaxAvx2;
extern const LitBytesFn litBytesAvx2;
extern const ByteMaxFn byteMaxAvx512;
extern const RowMaxFn rowMaxAvx512;
extern const LitBytesFn litBytesAvx512;

}  // namespace tavori::irl

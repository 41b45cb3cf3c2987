// Screening the bytes of frame rows with the widest vectors the CPU offers: the largest byte of each
// row, and which bytes of a row reach a level. Almost every row of a frame is dark, so screening rows
// this way costs little more than reading them once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "cpu_path.h"

namespace tavori::irl {

using ByteMaxFn = uint8_t (*)(const uint8_t* p, std::size_t n);
// A row's blocks: kBlockBytes bytes each from the row's start, the last one shorter where the row
// ends; their bits take blockWords(n) words a row, bit b % 64 of word b / 64 for block b.
constexpr std::size_t kBlockBytes = 256;
inline std::size_t blockCount(std::size_t n) { return (n + kBlockBytes - 1) / kBlockBytes; }
inline std::size_t blockWords(std::size_t n) { return (blockCount(n) + 63) / 64; }
// The scratch of the row pass: a place for a vector of the widest path per block of a row.
inline std::size_t rowScratchBytes(std::size_t n) { return 64 * blockCount(n); }
// Of each of `rows` rows of n bytes, `stride` apart: into out[r] the row's largest byte where that
// reaches `level` (at least 1), level - 1 where it does not; and for a row that reaches it, which of
// its blocks do, into its blockWords(n) words of `blocks` (a darker row's words are left as they
// were). The forms keep each block's largest bytes in `scratch` (rowScratchBytes(n)) while they
// read the row, so a row with light is not read again for its blocks. For almost every row of a
// frame, the bound spares the pass finding the row's largest byte. One call for a whole frame's rows,
// so no row pays for a call of its own.
using RowMaxFn = void (*)(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level,
                          uint8_t* out, uint64_t* blocks, uint8_t* scratch);
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
void rowMaxPortable(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level, uint8_t* out,
                    uint64_t* blocks, uint8_t* scratch);
int32_t litBytesPortable(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out);
uint8_t byteMaxSse2(const uint8_t* p, std::size_t n);
void rowMaxSse2(const uint8_t* p, std::ptrdiff_t stride, std::size_t n, int32_t rows, uint8_t level, uint8_t* out,
                uint64_t* blocks, uint8_t* scratch);
int32_t litBytesSse2(const uint8_t* p, std::size_t n, uint8_t level, LitWord* out);
extern const ByteMaxFn byteMaxAvx2;
extern const RowMaxFn rowMaxAvx2;
extern const LitBytesFn litBytesAvx2;
extern const ByteMaxFn byteMaxAvx512;
extern const RowMaxFn rowMaxAvx512;
extern const LitBytesFn litBytesAvx512;

}  // namespace tavori::irl

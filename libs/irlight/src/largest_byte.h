// The last step of every vector form of the byte maximum: the largest of a vector's 16 bytes.
#pragma once

#include <cstdint>

#include "cpu_x86.h"

#if TAVORI_IRL_X86
#include <emmintrin.h>

namespace tavori::irl {

inline uint8_t largestByte(__m128i v) {
    v = _mm_max_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_max_epu8(v, _mm_srli_si128(v, 1));
    return static_cast<uint8_t>(_mm_cvtsi128_si32(v));
}

}  // namespace tavori::irl
#endif

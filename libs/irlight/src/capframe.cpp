// Frame record helpers: the one place that allocates and frees frame buffers, so that the record can
// cross library boundaries with one rule for its ownership.
#include "MultiIRLight.h"

#include <cstdlib>
#include <cstring>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace {

constexpr std::size_t kAlign = 64;

void* alignedAlloc(std::size_t size) {
    const std::size_t rounded = (size + kAlign - 1) & ~(kAlign - 1);
#if defined(_WIN32)
    return _aligned_malloc(rounded, kAlign);
#else
    return std::aligned_alloc(kAlign, rounded);
#endif
}

void alignedFree(void* p) {
#if defined(_WIN32)
    _aligned_free(p);
#else
    std::free(p);
#endif
}

}  // namespace

extern "C" {

uint32_t SCapFrameStride(uint32_t width) {
    const uint64_t stride = ((uint64_t{width} * 24u + 31u) & ~uint64_t{31}) / 8u;
    return stride > 0xFFFFFFFFu ? 0u : static_cast<uint32_t>(stride);
}

int SCapFrameCreate(SCapFrame* frame, uint32_t width, uint32_t height, const void* src) {
    if (!frame) return 0;
    frame->nWidth = width;
    frame->nHeight = height;
    frame->nBitCount = 24;
    frame->nSize = 0;
    frame->pData = nullptr;
    const uint64_t size = uint64_t{SCapFrameStride(width)} * height;
    // Leave room for the rounding to the alignment as well.
    if (size == 0 || size > 0xFFFFFFFFu - kAlign) return 0;
    auto* data = static_cast<uint8_t*>(alignedAlloc(static_cast<std::size_t>(size)));
    if (!data) return 0;
    if (src)
        std::memcpy(data, src, static_cast<std::size_t>(size));
    else
        std::memset(data, 0, static_cast<std::size_t>(size));
    frame->pData = data;
    frame->nSize = static_cast<uint32_t>(size);
    return 1;
}

int SCapFrameCopy(SCapFrame* dst, const SCapFrame* src) {
    if (!dst) return 0;
    if (!src) {
        *dst = SCapFrame{0, 0, 0, 0, nullptr};
        return 1;
    }
    const SCapFrame s = *src;  // dst may alias src
    *dst = SCapFrame{s.nWidth, s.nHeight, s.nBitCount, 0, nullptr};
    if (!s.pData || s.nSize == 0) return 1;
    if (s.nSize > 0xFFFFFFFFu - kAlign) return 0;
    auto* data = static_cast<uint8_t*>(alignedAlloc(s.nSize));
    if (!data) return 0;
    std::memcpy(data, s.pData, s.nSize);
    dst->pData = data;
    dst->nSize = s.nSize;
    return 1;
}

void SCapFrameFree(SCapFrame* frame) {
    if (!frame) return;
    if (frame->pData) alignedFree(frame->pData);
    *frame = SCapFrame{0, 0, 0, 0, nullptr};
}

}  // extern "C"

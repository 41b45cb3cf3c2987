#include "detector.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#include <emmintrin.h>
#define TAVORI_IRL_SSE2 1
#endif

namespace tavori::irl {
namespace {

// Bytes screened at a time. Almost every group of a frame is dark, so the scan costs little more than
// reading the frame; only lit groups are looked at pixel by pixel.
constexpr std::size_t kGroup = 64;

inline int32_t brightest(const uint8_t* p) {
    const int32_t b = p[0], g = p[1], r = p[2];
    const int32_t m = b > g ? b : g;
    return m > r ? m : r;
}

#if defined(TAVORI_IRL_SSE2)
struct Screen {
    __m128i t;
    explicit Screen(int32_t threshold) : t(_mm_set1_epi8(static_cast<char>(threshold))) {}
    // True when any byte of the 64 at p is >= the threshold.
    bool lit(const uint8_t* p) const {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
        const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 48));
        const __m128i m = _mm_max_epu8(_mm_max_epu8(a, b), _mm_max_epu8(c, d));
        return _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(m, t), m)) != 0;
    }
};
#else
// Portable form: per byte, the high bit of (low7 + k) tells whether the byte reaches the threshold.
struct Screen {
    uint64_t k;
    bool high;  // threshold >= 128: the byte's own high bit must be set as well
    explicit Screen(int32_t threshold) {
        const uint64_t ones = 0x0101010101010101ull;
        high = threshold >= 128;
        k = ones * static_cast<uint64_t>(high ? 256 - threshold : 128 - threshold);
    }
    bool lit(const uint8_t* p) const {
        constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full, top = 0x8080808080808080ull;
        uint64_t acc = 0;
        for (int i = 0; i < 8; ++i) {
            uint64_t w;
            std::memcpy(&w, p + 8 * i, 8);
            const uint64_t s = (w & low7) + k;
            acc |= high ? (s & w) : (s | w);
        }
        return (acc & top) != 0;
    }
};
#endif

}  // namespace

void SpotDetector::configure(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
    const int64_t pixels = int64_t{width} * height;
    maxArea_ = static_cast<int32_t>(std::clamp<int64_t>(pixels / 256, 256, 4096));
    maxExtent_ = std::max<int32_t>(32, std::min(width, height) / 8);
    // A frame with more lit runs than this is flooded (a sunlit surface, far too low a threshold):
    // no pen can be told apart in it anyway.
    const int64_t cap = std::min<int64_t>((int64_t{width} + 1) / 2 * height, int64_t{1} << 16);
    runs_.assign(static_cast<std::size_t>(cap), Run{});
    parent_.assign(static_cast<std::size_t>(cap), 0);
    comps_.assign(static_cast<std::size_t>(cap), Component{});
    cand_.assign(static_cast<std::size_t>(cap), 0);
    boxes_.assign(kMaxCandidates, Box{});
}

int32_t SpotDetector::find(int32_t a) {
    while (parent_[a] != a) {
        parent_[a] = parent_[parent_[a]];
        a = parent_[a];
    }
    return a;
}

void SpotDetector::unite(int32_t a, int32_t b) {
    a = find(a);
    b = find(b);
    if (a == b) return;
    if (b < a) std::swap(a, b);
    Component& r = comps_[a];
    const Component& o = comps_[b];
    r.sumX += o.sumX;
    r.sumY += o.sumY;
    r.area += o.area;
    r.peak = std::max(r.peak, o.peak);
    r.x0 = std::min(r.x0, o.x0);
    r.y0 = std::min(r.y0, o.y0);
    r.x1 = std::max(r.x1, o.x1);
    r.y1 = std::max(r.y1, o.y1);
    parent_[b] = a;
}

int SpotDetector::detect(const ImageView& img, const DetectParams& p, Spot* out) {
    flooded_ = false;
    if (!img.data || img.width != width_ || img.height != height_ || width_ <= 0 || height_ <= 0) return 0;
    const int32_t t = std::clamp(p.threshold, 1, 255);
    const Screen screen(t);
    const int32_t cap = static_cast<int32_t>(runs_.size());
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;

    int32_t nruns = 0, prevBegin = 0, prevEnd = 0;
    for (int32_t y = 0; y < height_; ++y) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(y) * img.stride;
        const int32_t rowBegin = nruns;
        int32_t j = prevBegin;       // first run of the previous row that may still touch
        int32_t start = -1, peak = 0;  // open run
        bool overflow = false;

        auto close = [&](int32_t x1) {
            if (nruns == cap) {
                overflow = true;
                return;
            }
            const int32_t x0 = start, n = x1 - x0 + 1, label = nruns;
            runs_[label] = Run{x0, x1, label};
            parent_[label] = label;
            comps_[label] = Component{int64_t{x0 + x1} * n / 2, int64_t{y} * n, n, peak, x0, y, x1, y};
            ++nruns;
            // 8-connectivity: runs touch when they overlap or meet diagonally.
            while (j < prevEnd && runs_[j].x1 + 1 < x0) ++j;
            for (int32_t k = j; k < prevEnd && runs_[k].x0 <= x1 + 1; ++k) unite(label, runs_[k].label);
            start = -1;
        };
        auto examine = [&](int32_t x) {
            const int32_t v = brightest(row + 3 * x);
            if (v >= t) {
                if (start < 0) {
                    start = x;
                    peak = v;
                } else if (v > peak) {
                    peak = v;
                }
            } else if (start >= 0) {
                close(x - 1);
            }
        };

        int32_t next = 0;  // first pixel not yet examined
        std::size_t pos = 0;
        for (; pos + kGroup <= rowBytes; pos += kGroup) {
            if (!screen.lit(row + pos)) {
                // The first pixel not yet examined lies wholly inside this dark group.
                if (start >= 0) close(next - 1);
                next = static_cast<int32_t>((pos + kGroup) / 3);
                continue;
            }
            const auto last = static_cast<int32_t>((pos + kGroup - 1) / 3);
            for (int32_t x = next; x <= last; ++x) examine(x);
            next = last + 1;
        }
        for (int32_t x = next; x < width_; ++x) examine(x);
        if (start >= 0) close(width_ - 1);
        if (overflow) {
            flooded_ = true;
            return 0;
        }
        prevBegin = rowBegin;
        prevEnd = nruns;
    }

    // Components that pass the size gates become candidates.
    int ncand = 0;
    for (int32_t i = 0; i < nruns; ++i) {
        if (parent_[i] != i) continue;
        const Component& c = comps_[i];
        if (c.area > maxArea_ || c.x1 - c.x0 + 1 > maxExtent_ || c.y1 - c.y0 + 1 > maxExtent_) continue;
        cand_[ncand++] = i;
    }
    if (ncand > kMaxCandidates) {
        std::nth_element(cand_.begin(), cand_.begin() + kMaxCandidates, cand_.begin() + ncand,
                         [this](int32_t a, int32_t b) {
                             const Component &ca = comps_[a], &cb = comps_[b];
                             return ca.peak != cb.peak ? ca.peak > cb.peak : ca.area > cb.area;
                         });
        ncand = kMaxCandidates;
    }
    ncand_ = ncand;
    for (int k = 0; k < ncand; ++k) {
        const Component& c = comps_[cand_[k]];
        boxes_[k] = Box{std::max(0, c.x0 - kWindowMargin), std::max(0, c.y0 - kWindowMargin),
                        std::min(width_ - 1, c.x1 + kWindowMargin), std::min(height_ - 1, c.y1 + kWindowMargin)};
    }

    Spot found[kMaxCandidates];
    int nfound = 0;
    for (int k = 0; k < ncand; ++k) {
        if (refine(img, p, comps_[cand_[k]], k, found[nfound])) ++nfound;
    }
    std::sort(found, found + nfound, [](const Spot& a, const Spot& b) { return a.mass > b.mass; });
    const int n = std::min(nfound, kMaxSpots);
    std::copy(found, found + n, out);
    return n;
}

bool SpotDetector::refine(const ImageView& img, const DetectParams& p, const Component& c, int self,
                          Spot& s) const {
    const Box w = boxes_[self];
    const int32_t t = std::clamp(p.threshold, 1, 255);

    // Local background: mean of the window's border pixels that are not lit.
    int64_t ringSum = 0;
    int32_t ringCount = 0;
    auto ring = [&](int32_t x, int32_t y) {
        const int32_t v = brightest(img.data + y * img.stride + 3 * x);
        if (v < t) {
            ringSum += v;
            ++ringCount;
        }
    };
    for (int32_t x = w.x0; x <= w.x1; ++x) {
        ring(x, w.y0);
        if (w.y1 != w.y0) ring(x, w.y1);
    }
    for (int32_t y = w.y0 + 1; y < w.y1; ++y) {
        ring(w.x0, y);
        if (w.x1 != w.x0) ring(w.x1, y);
    }
    if (ringCount == 0) return false;  // not a spot on a darker surround
    const auto bg = static_cast<int32_t>(ringSum / ringCount);
    if (c.peak - bg < p.minContrast) return false;
    const int32_t level = bg + kRimLevel;

    // Other candidates whose windows overlap this one: a pixel there belongs to the nearest box.
    int near[kMaxCandidates];
    int nnear = 0;
    for (int k = 0; k < ncand_; ++k) {
        const Box& o = boxes_[k];
        if (k != self && o.x0 <= w.x1 && w.x0 <= o.x1 && o.y0 <= w.y1 && w.y0 <= o.y1) near[nnear++] = k;
    }
    auto boxDist2 = [](const Component& b, int32_t x, int32_t y) {
        const int32_t dx = x < b.x0 ? b.x0 - x : (x > b.x1 ? x - b.x1 : 0);
        const int32_t dy = y < b.y0 ? b.y0 - y : (y > b.y1 ? y - b.y1 : 0);
        return dx * dx + dy * dy;
    };

    // Weights v - level over the whole window: the rim below the threshold carries the sub-pixel
    // information that a saturated core has lost. Coordinates relative to the window keep the sums
    // small; weights fall continuously to zero at the level, which keeps the sampling bias low.
    int64_t sw = 0, swx = 0, swy = 0;
    int32_t rim = 0;
    for (int32_t y = w.y0; y <= w.y1; ++y) {
        const uint8_t* row = img.data + y * img.stride;
        for (int32_t x = w.x0; x <= w.x1; ++x) {
            const int32_t v = brightest(row + 3 * x) - level;
            if (v <= 0) continue;
            if (nnear) {
                const int32_t own = boxDist2(c, x, y);
                bool mine = true;
                for (int k = 0; k < nnear && mine; ++k) mine = boxDist2(comps_[cand_[near[k]]], x, y) >= own;
                if (!mine) continue;
            }
            sw += v;
            swx += int64_t{v} * (x - w.x0);
            swy += int64_t{v} * (y - w.y0);
            ++rim;
        }
    }
    if (rim < kMinRimArea || sw <= 0) return false;
    s.x = w.x0 + static_cast<double>(swx) / static_cast<double>(sw);
    s.y = w.y0 + static_cast<double>(swy) / static_cast<double>(sw);
    s.mass = sw;
    s.area = c.area;
    s.rimArea = rim;
    s.peak = c.peak;
    s.background = bg;
    s.x0 = c.x0;
    s.y0 = c.y0;
    s.x1 = c.x1;
    s.y1 = c.y1;
    return true;
}

}  // namespace tavori::irl

#include "saddle_split.h"

#include <algorithm>

namespace tavori::irl {
namespace {

void extend(PixelBox& b, int32_t x, int32_t y) {
    b.x0 = std::min(b.x0, x);
    b.y0 = std::min(b.y0, y);
    b.x1 = std::max(b.x1, x);
    b.y1 = std::max(b.y1, y);
}

}  // namespace

void SaddleSplitter::configure(int32_t maxSide) {
    const int32_t side = std::max(maxSide, 1);
    const auto framed = static_cast<std::size_t>(side + 2) * (side + 2);
    order_.assign(framed, 0);
    label_.assign(framed, -1);
    value_.assign(framed, 0);
    regions_.assign(static_cast<std::size_t>(side) * side, Region{});
}

int32_t SaddleSplitter::root(int32_t r) {
    while (regions_[r].parent != r) r = regions_[r].parent = regions_[regions_[r].parent].parent;
    return r;
}

// The flood below starts a region at a pixel none of whose neighbours came before it (brighter, or
// as bright and earlier in the box). Every part that stands out has such a start at least
// kSaddleDepth above the lowest level, so with fewer than two of those the flood would find one spot.
// Pixels outside the component are dark, below any level asked for.
int32_t SaddleSplitter::seeds(const PixelBox& box, int32_t atLeast) const {
    const int32_t fw = box.width() + 2, bh = box.height();
    int32_t n = 0;
    for (int32_t j = 1; j <= bh; ++j) {
        const uint8_t* row = value_.data() + j * fw;
        for (int32_t i = 1; i < fw - 1; ++i) {
            const uint8_t* p = row + i;
            const int32_t v = *p;
            if (v < atLeast) continue;
            const int32_t before = std::max({p[-fw - 1], p[-fw], p[-fw + 1], p[-1]});
            const int32_t after = std::max({p[1], p[fw - 1], p[fw], p[fw + 1]});
            if (before < v && after <= v && ++n == 2) return n;
        }
    }
    return n;
}

uint8_t* SaddleSplitter::begin(const PixelBox& box) {
    const int32_t bw = box.width(), bh = box.height(), fw = bw + 2, framed = fw * (bh + 2);
    if (static_cast<std::size_t>(bw) * bh > regions_.size() || static_cast<std::size_t>(framed) > value_.size())
        return nullptr;
    std::fill_n(value_.begin(), framed, uint8_t{0});
    return value_.data() + fw + 1;  // past the frame's top row and left column
}

int SaddleSplitter::split(const PixelBox& box, int32_t count, int32_t floor, CorePart* parts) {
    const int32_t bw = box.width(), bh = box.height(), fw = bw + 2;
    const int32_t framed = fw * (bh + 2);
    if (count < 2 * kMinPartPixels) return 1;
    // Starts above the floor are at least those above the lowest pixel: most components have fewer
    // than two of them and need no pass for their range.
    if (seeds(box, floor + kSaddleDepth) < 2) return 1;
    int32_t lo = 255, hi = 0;
    for (int32_t j = 0; j < bh; ++j) {
        const uint8_t* row = value_.data() + (j + 1) * fw + 1;
        for (int32_t i = 0; i < bw; ++i) {
            if (!row[i]) continue;
            lo = std::min<int32_t>(lo, row[i]);
            hi = std::max<int32_t>(hi, row[i]);
        }
    }
    if (hi - lo < kSaddleDepth) return 1;  // too flat for a peak to stand above a saddle
    if (lo > floor && seeds(box, lo + kSaddleDepth) < 2) return 1;
    // Counting sort of the component's pixels by falling light, over the levels it spans.
    int32_t start[257] = {};
    for (int32_t j = 0; j < bh; ++j)
        for (int32_t i = 0, k = (j + 1) * fw + 1; i < bw; ++i, ++k)
            if (value_[k]) ++start[256 - value_[k]];
    for (int v = 256 - hi + 1; v <= 256 - lo; ++v) start[v] += start[v - 1];
    for (int32_t j = 0; j < bh; ++j)
        for (int32_t i = 0, k = (j + 1) * fw + 1; i < bw; ++i, ++k)
            if (value_[k]) order_[start[255 - value_[k]]++] = k;
    std::fill_n(label_.begin(), framed, -1);

    int32_t nregions = 0, nparts = 0;
    for (int32_t o = 0; o < count; ++o) {
        const int32_t k = order_[o], j = k / fw, v = value_[k];
        const int32_t x = box.x0 + k - j * fw - 1, y = box.y0 + j - 1;
        // Regions already flooded around this pixel; the one with the highest peak takes it.
        int32_t near[8], nnear = 0, best = -1;
        for (int32_t dj = -1; dj <= 1; ++dj) {
            for (int32_t di = -1; di <= 1; ++di) {
                if (label_[k + dj * fw + di] < 0) continue;
                const int32_t r = root(label_[k + dj * fw + di]);
                if (std::find(near, near + nnear, r) != near + nnear) continue;
                near[nnear++] = r;
                if (best < 0 || regions_[r].peak > regions_[best].peak) best = r;
            }
        }
        if (best < 0) {
            const PixelBox b{x, y, x, y};
            regions_[nregions] = Region{nregions, v, 0, b, b, false};
            best = nregions++;
        }
        // Two or more regions that each stand out above this level meet here: each is a spot of its
        // own from now on and keeps the core it had. The rest flood into the brightest standing one.
        auto standsOut = [&](int32_t r) {
            return regions_[r].peak - v >= kSaddleDepth && regions_[r].area >= kMinPartPixels;
        };
        int32_t standing = 0, keeper = -1;
        for (int32_t n = 0; n < nnear; ++n)
            if (standsOut(near[n]) || regions_[near[n]].part) {
                ++standing;
                if (keeper < 0 || regions_[near[n]].peak > regions_[keeper].peak) keeper = near[n];
            }
        if (standing >= 2) {
            for (int32_t n = 0; n < nnear; ++n) {
                Region& r = regions_[near[n]];
                if (r.part || !standsOut(near[n]) || nparts == kMaxParts) continue;
                r.part = true;
                r.frozen = r.live;
                ++nparts;
            }
        }
        const int32_t into = keeper >= 0 ? keeper : best;
        for (int32_t n = 0; n < nnear; ++n) {
            Region& r = regions_[near[n]];
            if (near[n] == into || r.part) continue;
            r.parent = into;
            regions_[into].area += r.area;
            regions_[into].peak = std::max(regions_[into].peak, r.peak);
            extend(regions_[into].live, r.live.x0, r.live.y0);
            extend(regions_[into].live, r.live.x1, r.live.y1);
        }
        label_[k] = into;
        ++regions_[into].area;
        extend(regions_[into].live, x, y);
    }
    if (nparts < 2) return 1;
    int n = 0;
    for (int32_t r = 0; r < nregions; ++r)
        if (regions_[r].part && regions_[r].parent == r) parts[n++] = CorePart{regions_[r].frozen, regions_[r].peak, regions_[r].area};
    return n;
}

}  // namespace tavori::irl

#include "detector.h"

#include <algorithm>
#include <cmath>
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
    active_.assign(static_cast<std::size_t>(height), 0);
    boxes_.assign(kMaxCandidates, Box{});
    const int32_t side = maxExtent_ + 2 * kWindowMargin;
    rowL_.assign(static_cast<std::size_t>(side), 0.f);
    rowR_.assign(static_cast<std::size_t>(side), 0.f);
    colT_.assign(static_cast<std::size_t>(side), 0.f);
    colB_.assign(static_cast<std::size_t>(side), 0.f);
    lift_.assign(static_cast<std::size_t>(side) * side, 0.f);
    mark_.assign(static_cast<std::size_t>(side) * side, 0);
    stack_.assign(static_cast<std::size_t>(side) * side, 0);
}

int32_t SpotDetector::backgroundLevel(const ImageView& img) const {
    // Every 16th row, every 8th pixel: a few thousand samples, a small fraction of the frame read.
    uint32_t hist[256] = {};
    int32_t n = 0;
    for (int32_t y = 8 % img.height; y < img.height; y += 16) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(y) * img.stride;
        for (int32_t x = 4 % img.width; x < img.width; x += 8, ++n) ++hist[brightest(row + 3 * x)];
    }
    // Pens cover only a few samples: the level is what more than that many samples reach.
    const int32_t k = std::max(8, n / 100);
    int32_t above = 0, level = 255;
    while (level > 0 && above + static_cast<int32_t>(hist[level]) <= k) above += static_cast<int32_t>(hist[level--]);
    return level;
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
    // The camera also films the projected picture faintly: a threshold below that (laser-write mode
    // asks for 5 or 25) would light the whole screen. Hold it minContrast above the bright background.
    const int32_t minContrast = std::clamp(p.minContrast, 0, 255);
    const int32_t t = std::clamp(std::max(p.threshold, backgroundLevel(img) + minContrast), 1, 255);
    lastThreshold_ = t;
    const Screen screen(t);
    const int32_t cap = static_cast<int32_t>(runs_.size());
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 3;

    // Every lit component taller than one row has pixels on an even row, so only even rows are
    // searched (each row is its own cache lines: half the frame is read), and an even row with light
    // marks itself and both neighbours for full labelling. A core one row tall on an odd row (a small
    // pen centred on that row) is still seen by the fall-off of its light on the rows beside it. The
    // search level is a share of the threshold itself, not of its lift over the bright background:
    // many pens raise that sample far above the background beside each of them.
    const int32_t tSearch = std::max(1, t / kSearchDivisor);
    const Screen search(tSearch);
    uint8_t* active = active_.data();
    std::fill(active, active + height_, uint8_t{0});
    for (int32_t y = 0; y < height_; y += 2) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(y) * img.stride;
        bool hit = false;
        std::size_t pos = 0;
        for (; !hit && pos + kGroup <= rowBytes; pos += kGroup) hit = search.lit(row + pos);
        for (; !hit && pos < rowBytes; ++pos) hit = row[pos] >= tSearch;
        if (!hit) continue;
        if (y > 0) active[y - 1] = 1;
        active[y] = 1;
        if (y + 1 < height_) active[y + 1] = 1;
    }

    int32_t nruns = 0, prevBegin = 0, prevEnd = 0;
    for (int32_t y = 0; y < height_; ++y) {
        if (!active[y]) {
            // Nothing lit here that belongs to a spot: no run of the row above touches the next.
            prevBegin = prevEnd = nruns;
            continue;
        }
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
        if (refine(img, t, minContrast, comps_[cand_[k]], k, found[nfound])) ++nfound;
    }
    std::sort(found, found + nfound, [](const Spot& a, const Spot& b) { return a.mass > b.mass; });
    const int n = std::min(nfound, kMaxSpots);
    std::copy(found, found + n, out);
    return n;
}

bool SpotDetector::refine(const ImageView& img, int32_t t, int32_t minContrast, const Component& c, int self,
                          Spot& s) {
    const Box w = boxes_[self];
    const int32_t ww = w.x1 - w.x0 + 1, wh = w.y1 - w.y0 + 1;
    auto at = [&](int32_t x, int32_t y) { return brightest(img.data + y * img.stride + 3 * x); };

    // The ring is the window's border. A side cut short by the frame edge lies inside the spot's
    // light and says nothing about the background, so it is left out.
    const bool okL = c.x0 - kWindowMargin >= 0 && ww >= 2, okR = c.x1 + kWindowMargin <= width_ - 1 && ww >= 2;
    const bool okT = c.y0 - kWindowMargin >= 0 && wh >= 2, okB = c.y1 + kWindowMargin <= height_ - 1 && wh >= 2;
    if (!okL && !okR && !okT && !okB) return false;
    // Ends of every row and column: mean of the two outermost pixels along it (halves the noise
    // without blurring an edge that runs along it).
    float* L = rowL_.data();
    float* R = rowR_.data();
    float* T = colT_.data();
    float* B = colB_.data();
    for (int32_t j = 0; j < wh; ++j) {
        const int32_t y = w.y0 + j;
        if (okL) L[j] = 0.5f * static_cast<float>(at(w.x0, y) + at(w.x0 + 1, y));
        if (okR) R[j] = 0.5f * static_cast<float>(at(w.x1, y) + at(w.x1 - 1, y));
    }
    for (int32_t i = 0; i < ww; ++i) {
        const int32_t x = w.x0 + i;
        if (okT) T[i] = 0.5f * static_cast<float>(at(x, w.y0) + at(x, w.y0 + 1));
        if (okB) B[i] = 0.5f * static_cast<float>(at(x, w.y1) + at(x, w.y1 - 1));
    }

    // Smooth ring (flat or a gradient): a least-squares plane through it, which averages the noise
    // of all its samples. A jump along the ring is the edge of bright content: then the background
    // is interpolated along whichever of row or column does not cross that edge.
    double m[6] = {}, mv[3] = {};  // sums of 1, x, y, xx, xy, yy and v, xv, yv
    float jumpLR = 0, jumpTB = 0;  // across the left and right sides, across the top and bottom
    auto addSide = [&](const float* e, int32_t n, bool rows, float fixed) {
        float& jump = rows ? jumpLR : jumpTB;
        for (int32_t k = 0; k < n; ++k) {
            const double x = rows ? static_cast<double>(fixed) : static_cast<double>(k);
            const double y = rows ? static_cast<double>(k) : static_cast<double>(fixed), v = e[k];
            m[0] += 1, m[1] += x, m[2] += y, m[3] += x * x, m[4] += x * y, m[5] += y * y;
            mv[0] += v, mv[1] += x * v, mv[2] += y * v;
            if (k >= 2) jump = std::max(jump, std::fabs(e[k] - e[k - 2]));
        }
    };
    if (okL) addSide(L, wh, true, 0.5f);
    if (okR) addSide(R, wh, true, static_cast<float>(ww) - 1.5f);
    if (okT) addSide(T, ww, false, 0.5f);
    if (okB) addSide(B, ww, false, static_cast<float>(wh) - 1.5f);
    const float edgeJump = static_cast<float>(kEdgeJump);
    const bool edge = jumpLR > edgeJump || jumpTB > edgeJump;
    // Content edges that cross only the left and right sides run along the rows (a text line, a
    // window's top or bottom): the rows are then the lines of constant background, even where their
    // columns cross the content without their ends showing it. Likewise for the columns.
    const bool alongRows = jumpLR > edgeJump && jumpTB <= edgeJump;
    const bool alongCols = jumpTB > edgeJump && jumpLR <= edgeJump;
    double plane[3] = {mv[0] / m[0], 0, 0};
    {
        // Normal equations by Cramer's rule; a ring too thin to fix a slope keeps the mean.
        const double a = m[0], b = m[1], cc = m[2], d = m[3], e = m[4], f = m[5];
        const double det = a * (d * f - e * e) - b * (b * f - e * cc) + cc * (b * e - d * cc);
        if (std::fabs(det) > 1e-6 * (a * d * f + 1)) {
            const double r0 = mv[0], r1 = mv[1], r2 = mv[2];
            plane[0] = (r0 * (d * f - e * e) - b * (r1 * f - e * r2) + cc * (r1 * e - d * r2)) / det;
            plane[1] = (a * (r1 * f - e * r2) - r0 * (b * f - e * cc) + cc * (b * r2 - r1 * cc)) / det;
            plane[2] = (a * (d * r2 - r1 * e) - b * (b * r2 - r1 * cc) + r0 * (b * e - d * cc)) / det;
        }
    }
    auto background = [&](int32_t i, int32_t j) -> float {
        if (!edge) return static_cast<float>(plane[0] + plane[1] * i + plane[2] * j);
        // Ends of this row and column that are usable, and the interpolation along each.
        // The ends sit half a pixel in from the border (two-pixel means).
        const float fx = (static_cast<float>(i) - 0.5f) / static_cast<float>(ww - 2);
        const float fy = (static_cast<float>(j) - 0.5f) / static_cast<float>(wh - 2);
        const bool hasRow = okL || okR, hasCol = okT || okB;
        const float row = okL && okR ? L[j] + (R[j] - L[j]) * fx : (okL ? L[j] : R[j]);
        const float col = okT && okB ? T[i] + (B[i] - T[i]) * fy : (okT ? T[i] : B[i]);
        // With one end only, whether the line crosses an edge is unknown: prefer a line seen whole.
        const float unknown = static_cast<float>(kEdgeJump);
        const float dRow = okL && okR ? std::fabs(R[j] - L[j]) : unknown;
        const float dCol = okT && okB ? std::fabs(B[i] - T[i]) : unknown;
        if (alongRows && hasRow && dRow <= unknown) return row;
        if (alongCols && hasCol && dCol <= unknown) return col;
        if (!hasCol || (hasRow && dRow <= dCol && dRow <= edgeJump)) return row;
        if (!hasRow || dCol <= edgeJump) return dRow < dCol ? row : col;
        // Both cross an edge (beside a corner of bright content): the nearest end is on the same side.
        float best = 1e9f, v = row;
        auto near = [&](bool ok, int32_t dist, float value) {
            if (ok && static_cast<float>(dist) < best) best = static_cast<float>(dist), v = value;
        };
        near(okL, i, L[j]);
        near(okR, ww - 1 - i, R[j]);
        near(okT, j, T[i]);
        near(okB, wh - 1 - j, B[i]);
        return v;
    };

    const int32_t cx = (c.x0 + c.x1) / 2 - w.x0, cy = (c.y0 + c.y1) / 2 - w.y0;
    const float bgCentre = background(cx, cy);
    if (static_cast<float>(c.peak) - bgCentre < static_cast<float>(minContrast)) return false;

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
    auto mine = [&](int32_t x, int32_t y) {
        if (!nnear) return true;
        const int32_t own = boxDist2(c, x, y);
        for (int k = 0; k < nnear; ++k)
            if (boxDist2(comps_[cand_[near[k]]], x, y) < own) return false;
        return true;
    };

    // The rim: pixels reached from the lit core through pixels that stay above the background and
    // whose light over it does not rise again. Bright content beside the pen lies above the
    // background model only where the model misses it, and a plateau beyond the spot's fall-off
    // is cut off by the rise.
    uint8_t* mark = mark_.data();
    std::fill(mark, mark + static_cast<std::ptrdiff_t>(ww) * wh, uint8_t{0});
    int32_t* list = stack_.data();  // the region, in the order reached
    int32_t count = 0;
    for (int32_t y = c.y0; y <= c.y1; ++y)
        for (int32_t x = c.x0; x <= c.x1; ++x)
            if (at(x, y) >= t && mine(x, y)) {
                const int32_t idx = (y - w.y0) * ww + (x - w.x0);
                mark[idx] = 1;
                list[count++] = idx;
            }
    const float level = static_cast<float>(kRimLevel), slack = static_cast<float>(kFalloffSlack);
    float bgMax = 0;
    for (int32_t head = 0; head < count; ++head) {
        const int32_t idx = list[head];
        const int32_t i = idx % ww, j = idx / ww;
        const float bg = background(i, j);
        bgMax = std::max(bgMax, bg);
        const float lift = static_cast<float>(at(w.x0 + i, w.y0 + j)) - bg;
        for (int32_t dj = -1; dj <= 1; ++dj) {
            const int32_t nj = j + dj;
            if (nj < 0 || nj >= wh) continue;
            for (int32_t di = -1; di <= 1; ++di) {
                const int32_t ni = i + di;
                if (ni < 0 || ni >= ww) continue;
                const int32_t nidx = nj * ww + ni;
                if (mark[nidx]) continue;
                const float nlift = static_cast<float>(at(w.x0 + ni, w.y0 + nj)) - background(ni, nj);
                if (nlift <= level || nlift > lift + slack || !mine(w.x0 + ni, w.y0 + nj)) continue;
                mark[nidx] = 1;
                list[count++] = nidx;
            }
        }
    }
    // A saturated pixel's light is only known up to 255 - background: over bright content the pen's
    // side facing it clips sooner. Capping every pixel's light at the lowest such bound keeps the
    // two sides alike; on a uniform background the cap is above every pixel and changes nothing.
    const float cap = 255.f - bgMax;
    // Light over the rim level of every window pixel, for the mirror test below.
    float* lift = lift_.data();
    for (int32_t j = 0; j < wh; ++j)
        for (int32_t i = 0; i < ww; ++i)
            lift[j * ww + i] = std::min(static_cast<float>(at(w.x0 + i, w.y0 + j)) - background(i, j), cap) - level;
    // Bilinear, so the mirror of a pixel about a sub-pixel centre is judged without rounding bias;
    // outside the window nothing is known to be lit.
    auto liftAt = [&](double x, double y) -> float {
        if (!(x >= 0 && y >= 0 && x <= ww - 1 && y <= wh - 1)) return 0.f;
        const auto i = static_cast<int32_t>(x), j = static_cast<int32_t>(y);
        const int32_t i1 = std::min(i + 1, ww - 1), j1 = std::min(j + 1, wh - 1);
        const auto ax = static_cast<float>(x - i), ay = static_cast<float>(y - j);
        const float* r0 = lift + j * ww;
        const float* r1 = lift + j1 * ww;
        return (r0[i] * (1 - ax) + r0[i1] * ax) * (1 - ay) + (r1[i] * (1 - ax) + r1[i1] * ax) * ay;
    };
    // Weights fall continuously to zero at the level, which keeps the sampling bias low. After the
    // first pass a pixel counts only when its mirror about the current centre is lit too: ink
    // trailing from the pen, or bright content reaching in from one side, has no counterpart on
    // the other side, while the pen's own light does.
    double sw = 0, swx = 0, swy = 0;
    int32_t rim = 0;
    auto pass = [&](bool mirrored, double mx, double my) {
        sw = swx = swy = 0;
        rim = 0;
        for (int32_t k = 0; k < count; ++k) {
            const int32_t i = list[k] % ww, j = list[k] / ww;
            const float wgt = lift[list[k]];
            if (wgt <= 0 || (mirrored && liftAt(2 * mx - i, 2 * my - j) <= 0)) continue;
            sw += wgt;
            swx += static_cast<double>(wgt) * i;
            swy += static_cast<double>(wgt) * j;
            ++rim;
        }
    };
    pass(false, 0, 0);
    for (int it = 0; it < kMirrorPasses && rim >= kMinRimArea && sw > 0; ++it) pass(true, swx / sw, swy / sw);
    if (rim < kMinRimArea || sw <= 0) return false;
    s.x = w.x0 + swx / sw;
    s.y = w.y0 + swy / sw;
    s.mass = static_cast<int64_t>(std::lround(sw));
    s.area = c.area;
    s.rimArea = rim;
    s.peak = c.peak;
    s.background = static_cast<int32_t>(std::lround(bgCentre));
    s.x0 = c.x0;
    s.y0 = c.y0;
    s.x1 = c.x1;
    s.y1 = c.y1;
    return true;
}

}  // namespace tavori::irl

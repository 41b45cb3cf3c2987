#include "refine_stages.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "cpu_x86.h"

#if TAVORI_IRL_X86
#include <emmintrin.h>
#endif

namespace tavori::irl {

void readWindow(const ImageView& img, const Window& w, uint8_t* v, int32_t stride) {
    const int32_t ww = w.width();
    for (int32_t j = 0, wh = w.height(); j < wh; ++j) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(w.y0 + j) * img.stride;
        uint8_t* out = v + j * stride;
        int32_t i = 0;
#if TAVORI_IRL_X86
        // Five pixels per 16 bytes read (never past the row's pixels): the largest of each byte and
        // the two after it is, at every third byte, a pixel's brightest channel.
        const int32_t rowBytes = 3 * img.width;
        for (; i + 5 <= ww && 3 * (w.x0 + i) + 16 <= rowBytes; i += 5) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 3 * (w.x0 + i)));
            const __m128i m = _mm_max_epu8(a, _mm_max_epu8(_mm_srli_si128(a, 1), _mm_srli_si128(a, 2)));
            out[i] = static_cast<uint8_t>(_mm_extract_epi16(m, 0));
            out[i + 1] = static_cast<uint8_t>(_mm_extract_epi16(m, 1) >> 8);
            out[i + 2] = static_cast<uint8_t>(_mm_extract_epi16(m, 3));
            out[i + 3] = static_cast<uint8_t>(_mm_extract_epi16(m, 4) >> 8);
            out[i + 4] = static_cast<uint8_t>(_mm_extract_epi16(m, 6));
        }
#endif
        for (; i < ww; ++i) out[i] = static_cast<uint8_t>(brightest(row + 3 * (w.x0 + i)));
    }
}

bool RingBackground::fit(const uint8_t* v, int32_t stride, const Window& w, bool left, bool right, bool top,
                         bool bottom, const Ownership& owner, float* ends) {
    ww_ = w.width();
    wh_ = w.height();
    okL_ = left && ww_ >= 2;
    okR_ = right && ww_ >= 2;
    okT_ = top && wh_ >= 2;
    okB_ = bottom && wh_ >= 2;
    if (!okL_ && !okR_ && !okT_ && !okB_) return false;
    const int32_t side = std::max(ww_, wh_);
    float* L = ends;
    float* R = ends + side;
    float* T = ends + 2 * side;
    float* B = ends + 3 * side;
    L_ = L, R_ = R, T_ = T, B_ = B;
    // Ends of every row and column: mean of the two outermost pixels along it (halves the noise
    // without blurring an edge that runs along it). An end nearer another candidate holds that
    // one's light, not the background: it is marked unknown (negative) and left out of the fit.
    auto end = [&](int32_t i, int32_t j, int32_t inI, int32_t inJ) {
        if (owner.nothers && !(owner.mine(w.x0 + i, w.y0 + j) && owner.mine(w.x0 + inI, w.y0 + inJ))) return -1.f;
        return 0.5f * static_cast<float>(v[j * stride + i] + v[inJ * stride + inI]);
    };
    for (int32_t j = 0; j < wh_; ++j) {
        if (okL_) L[j] = end(0, j, 1, j);
        if (okR_) R[j] = end(ww_ - 1, j, ww_ - 2, j);
    }
    for (int32_t i = 0; i < ww_; ++i) {
        if (okT_) T[i] = end(i, 0, i, 1);
        if (okB_) B[i] = end(i, wh_ - 1, i, wh_ - 2);
    }
    double m[6] = {}, mv[3] = {};  // sums of 1, x, y, xx, xy, yy and v, xv, yv
    jumpLR_ = jumpTB_ = 0;
    if (okL_) addSide(L, wh_, true, 0.5f, m, mv);
    if (okR_) addSide(R, wh_, true, static_cast<float>(ww_) - 1.5f, m, mv);
    if (okT_) addSide(T, ww_, false, 0.5f, m, mv);
    if (okB_) addSide(B, ww_, false, static_cast<float>(wh_) - 1.5f, m, mv);
    if (m[0] < 1) return false;
    const float edgeJump = static_cast<float>(kEdgeJump);
    edge_ = jumpLR_ > edgeJump || jumpTB_ > edgeJump;
    // Content edges that cross only the left and right sides run along the rows (a text line, a
    // window's top or bottom): the rows are then the lines of constant background, even where their
    // columns cross the content without their ends showing it. Likewise for the columns.
    alongRows_ = jumpLR_ > edgeJump && jumpTB_ <= edgeJump;
    alongCols_ = jumpTB_ > edgeJump && jumpLR_ <= edgeJump;
    fitPlane(m, mv);
    // Unknown ends take the plane's level, so the edge interpolation reads the background there.
    if (owner.nothers) {
        auto fill = [this](float* e, int32_t n, bool rows, float fixed) {
            for (int32_t k = 0; k < n; ++k)
                if (e[k] < 0)
                    e[k] = rows ? static_cast<float>(plane_[0] + plane_[1] * fixed + plane_[2] * k)
                                : static_cast<float>(plane_[0] + plane_[1] * k + plane_[2] * fixed);
        };
        if (okL_) fill(L, wh_, true, 0.5f);
        if (okR_) fill(R, wh_, true, static_cast<float>(ww_) - 1.5f);
        if (okT_) fill(T, ww_, false, 0.5f);
        if (okB_) fill(B, ww_, false, static_cast<float>(wh_) - 1.5f);
    }
    return true;
}

void RingBackground::addSide(const float* e, int32_t n, bool rows, float fixed, double* m, double* mv) {
    // Sums along the side (k counts along it), then placed at the side's fixed coordinate.
    float jump = rows ? jumpLR_ : jumpTB_;
    double c = 0, sk = 0, skk = 0, sv = 0, skv = 0;
    for (int32_t k = 0; k < n; ++k) {
        if (e[k] < 0) continue;
        const double kk = k, v = e[k];
        c += 1, sk += kk, skk += kk * kk, sv += v, skv += kk * v;
        if (k >= 2 && e[k - 2] >= 0) jump = std::max(jump, std::fabs(e[k] - e[k - 2]));
    }
    (rows ? jumpLR_ : jumpTB_) = jump;
    const double f = fixed;
    const double sx = rows ? f * c : sk, sy = rows ? sk : f * c;
    const double sxx = rows ? f * f * c : skk, syy = rows ? skk : f * f * c;
    m[0] += c, m[1] += sx, m[2] += sy, m[3] += sxx, m[4] += f * sk, m[5] += syy;
    mv[0] += sv, mv[1] += rows ? f * sv : skv, mv[2] += rows ? skv : f * sv;
}

// Smooth ring (flat or a gradient): a least-squares plane through it, which averages the noise of
// all its samples. Normal equations by Cramer's rule; a ring too thin to fix a slope keeps the mean.
void RingBackground::fitPlane(const double* m, const double* mv) {
    plane_[0] = mv[0] / m[0];
    plane_[1] = plane_[2] = 0;
    const double a = m[0], b = m[1], cc = m[2], d = m[3], e = m[4], f = m[5];
    const double det = a * (d * f - e * e) - b * (b * f - e * cc) + cc * (b * e - d * cc);
    if (!(std::fabs(det) > 1e-6 * (a * d * f + 1))) return;
    const double r0 = mv[0], r1 = mv[1], r2 = mv[2];
    plane_[0] = (r0 * (d * f - e * e) - b * (r1 * f - e * r2) + cc * (r1 * e - d * r2)) / det;
    plane_[1] = (a * (r1 * f - e * r2) - r0 * (b * f - e * cc) + cc * (b * r2 - r1 * cc)) / det;
    plane_[2] = (a * (d * r2 - r1 * e) - b * (b * r2 - r1 * cc) + r0 * (b * e - d * cc)) / det;
}

// With a jump along the ring (the edge of bright content), the background is interpolated along
// whichever of row or column does not cross that edge.
float RingBackground::at(int32_t i, int32_t j) const {
    if (!edge_) return static_cast<float>(plane_[0] + plane_[1] * i + plane_[2] * j);
    const float *L = L_, *R = R_, *T = T_, *B = B_;
    // The ends sit half a pixel in from the border (two-pixel means).
    const float fx = (static_cast<float>(i) - 0.5f) / static_cast<float>(ww_ - 2);
    const float fy = (static_cast<float>(j) - 0.5f) / static_cast<float>(wh_ - 2);
    const bool hasRow = okL_ || okR_, hasCol = okT_ || okB_;
    const float row = okL_ && okR_ ? L[j] + (R[j] - L[j]) * fx : (okL_ ? L[j] : R[j]);
    const float col = okT_ && okB_ ? T[i] + (B[i] - T[i]) * fy : (okT_ ? T[i] : B[i]);
    // With one end only, whether the line crosses an edge is unknown: prefer a line seen whole.
    const float unknown = static_cast<float>(kEdgeJump), edgeJump = unknown;
    const float dRow = okL_ && okR_ ? std::fabs(R[j] - L[j]) : unknown;
    const float dCol = okT_ && okB_ ? std::fabs(B[i] - T[i]) : unknown;
    if (alongRows_ && hasRow && dRow <= unknown) return row;
    if (alongCols_ && hasCol && dCol <= unknown) return col;
    if (!hasCol || (hasRow && dRow <= dCol && dRow <= edgeJump)) return row;
    if (!hasRow || dCol <= edgeJump) return dRow < dCol ? row : col;
    // Both cross an edge (beside a corner of bright content): the nearest end is on the same side.
    float best = 1e9f, v = row;
    auto nearest = [&](bool ok, int32_t dist, float value) {
        if (ok && static_cast<float>(dist) < best) best = static_cast<float>(dist), v = value;
    };
    nearest(okL_, i, L[j]);
    nearest(okR_, ww_ - 1 - i, R[j]);
    nearest(okT_, j, T[i]);
    nearest(okB_, wh_ - 1 - j, B[i]);
    return v;
}

void RingBackground::liftOver(const uint8_t* v, int32_t stride, float* lift) const {
    for (int32_t j = 0; j < wh_; ++j) {
        const uint8_t* bright = v + j * stride;
        float* out = lift + j * stride;
        if (edge_) {
            for (int32_t i = 0; i < ww_; ++i) out[i] = static_cast<float>(bright[i]) - at(i, j);
        } else {
            const auto start = static_cast<float>(plane_[0] + plane_[2] * j), slope = static_cast<float>(plane_[1]);
            for (int32_t i = 0; i < ww_; ++i) out[i] = static_cast<float>(bright[i]) - (start + slope * static_cast<float>(i));
        }
    }
}

bool Ownership::mine(int32_t x, int32_t y) const {
    auto dist2 = [x, y](const Box& b) {
        const int32_t dx = x < b.x0 ? b.x0 - x : (x > b.x1 ? x - b.x1 : 0);
        const int32_t dy = y < b.y0 ? b.y0 - y : (y > b.y1 ? y - b.y1 : 0);
        return dx * dx + dy * dy;
    };
    if (!nothers) return true;
    const int32_t d = dist2(own);
    for (int k = 0; k < nothers; ++k)
        if (dist2(others[k]) < d) return false;
    return true;
}

Rim growRim(const uint8_t* v, const float* lift, int32_t stride, const Window& w, const Ownership& owner,
            int32_t t, uint8_t* mark, int32_t* list) {
    const int32_t ww = w.width(), wh = w.height();
    const float level = static_cast<float>(SpotDetector::kRimLevel);
    const float slack = static_cast<float>(SpotDetector::kFalloffSlack);
    // Marks: 1 where the light is over the rim level and the pixel not yet reached, 2 once reached,
    // 0 elsewhere and on the frame, so the growth never steps off the window. Three neighbours in a
    // row are read as one word: the buffer ends with a spare byte.
    enum : uint8_t { kDark = 0, kOpen = 1, kReached = 2 };
    std::memset(mark - stride - 1, kDark, static_cast<std::size_t>(stride));
    for (int32_t j = 0; j < wh; ++j) {
        uint8_t* row = mark + j * stride;
        const float* l = lift + j * stride;
        row[-1] = row[ww] = kDark;
        for (int32_t i = 0; i < ww; ++i) row[i] = l[i] > level ? kOpen : kDark;
    }
    std::memset(mark + wh * stride - 1, kDark, static_cast<std::size_t>(stride));
    Rim rim;
    for (int32_t y = owner.own.y0; y <= owner.own.y1; ++y)
        for (int32_t x = owner.own.x0; x <= owner.own.x1; ++x) {
            const int32_t k = (y - w.y0) * stride + (x - w.x0);
            if (v[k] >= t && owner.mine(x, y)) {
                mark[k] = kReached;
                list[rim.count++] = k;
            }
        }
    const bool alone = owner.nothers == 0;
    const FramedRows rows(stride);
    const int32_t steps[8] = {-stride - 1, -stride, -stride + 1, -1, 1, stride - 1, stride, stride + 1};
    // Bit 0 of the three marks at p: set when one of them is open.
    auto openOf3 = [](const uint8_t* p) {
        uint32_t word;
        std::memcpy(&word, p, sizeof word);
        return word & 0x010101u;
    };
    for (int32_t head = 0; head < rim.count; ++head) {
        const int32_t k = list[head];
        rim.bgMax = std::max(rim.bgMax, static_cast<float>(v[k]) - lift[k]);
        // Most pixels popped late have every neighbour reached or dark already.
        if (!(openOf3(mark + k - stride - 1) | openOf3(mark + k - 1) | openOf3(mark + k + stride - 1))) continue;
        const float reach = lift[k] + slack;
        for (const int32_t step : steps) {
            const int32_t n = k + step;
            if (mark[n] != kOpen || lift[n] > reach) continue;
            if (!alone) {
                const int32_t j = rows.row(n);
                if (!owner.mine(w.x0 + n - j * stride, w.y0 + j)) continue;
            }
            mark[n] = kReached;
            list[rim.count++] = n;
        }
    }
    return rim;
}

void capLift(float* lift, int32_t stride, int32_t ww, int32_t wh, float bgMax) {
    const float cap = 255.f - bgMax, level = static_cast<float>(SpotDetector::kRimLevel);
    for (int32_t j = 0; j < wh; ++j) {
        float* row = lift + j * stride;
        for (int32_t i = 0; i < ww; ++i) row[i] = std::min(row[i], cap) - level;
    }
}

bool mirroredCentroid(const float* lift, int32_t stride, int32_t ww, int32_t wh, const int32_t* list, int32_t count,
                      RimWeight* kept, Centroid& c) {
    // Weights fall continuously to zero at the rim level, which keeps the sampling bias low.
    double sw = 0, swx = 0, swy = 0;
    int32_t n = 0;
    const FramedRows rows(stride);
    for (int32_t k = 0; k < count; ++k) {
        const int32_t at = list[k], j = rows.row(at), i = at - j * stride;
        const float wgt = lift[at];
        if (wgt <= 0) continue;
        const RimWeight p{static_cast<double>(wgt) * i, static_cast<double>(wgt) * j, wgt, i, j, at};
        kept[n++] = p;
        sw += p.weight;
        swx += p.wx;
        swy += p.wy;
    }
    const int32_t weighted = n;
    // A pass that keeps every weighted pixel leaves the centre where it was: the next would repeat it.
    for (int it = 0; it < SpotDetector::kMirrorPasses && n >= SpotDetector::kMinRimArea && sw > 0 &&
                     (it == 0 || n < weighted);
         ++it) {
        // The mirror of (i, j) about the centre is (2 mx - i, 2 my - j): its fraction is the same for
        // every pixel, so the bilinear weights are fixed for the pass. Outside the window nothing is
        // known to be lit; the frame is read only with weight zero.
        const double mx2 = 2 * swx / sw, my2 = 2 * swy / sw, fx = std::floor(mx2), fy = std::floor(my2);
        const auto ax = static_cast<float>(mx2 - fx), ay = static_cast<float>(my2 - fy), bx = 1 - ax, by = 1 - ay;
        const auto ix = static_cast<int32_t>(fx), iy = static_cast<int32_t>(fy);
        const auto lastI = static_cast<uint32_t>(ax > 0 ? ww - 2 : ww - 1);
        const auto lastJ = static_cast<uint32_t>(ay > 0 ? wh - 2 : wh - 1);
        const float* mirror = lift + (iy * stride + ix);  // minus a pixel's offset: its mirror
        sw = swx = swy = 0;
        n = 0;
        for (int32_t k = 0; k < weighted; ++k) {
            const RimWeight& p = kept[k];
            if (static_cast<uint32_t>(ix - p.i) > lastI || static_cast<uint32_t>(iy - p.j) > lastJ) continue;
            const float* r0 = mirror - p.at;
            const float* r1 = r0 + stride;
            if ((r0[0] * bx + r0[1] * ax) * by + (r1[0] * bx + r1[1] * ax) * ay <= 0) continue;
            sw += p.weight;
            swx += p.wx;
            swy += p.wy;
            ++n;
        }
    }
    if (n < SpotDetector::kMinRimArea || sw <= 0) return false;
    c = Centroid{swx / sw, swy / sw, sw, n};
    return true;
}

}  // namespace tavori::irl

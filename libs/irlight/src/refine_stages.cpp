#include "refine_stages.h"

#include <algorithm>
#include <cmath>

namespace tavori::irl {

bool RingBackground::fit(const ImageView& img, const Window& w, bool left, bool right, bool top, bool bottom,
                         const Ownership& owner, float* ends) {
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
    auto end = [&](int32_t x, int32_t y, int32_t inX, int32_t inY) {
        if (owner.nothers && !(owner.mine(x, y) && owner.mine(inX, inY))) return -1.f;
        return 0.5f * static_cast<float>(brightestAt(img, x, y) + brightestAt(img, inX, inY));
    };
    for (int32_t j = 0; j < wh_; ++j) {
        const int32_t y = w.y0 + j;
        if (okL_) L[j] = end(w.x0, y, w.x0 + 1, y);
        if (okR_) R[j] = end(w.x1, y, w.x1 - 1, y);
    }
    for (int32_t i = 0; i < ww_; ++i) {
        const int32_t x = w.x0 + i;
        if (okT_) T[i] = end(x, w.y0, x, w.y0 + 1);
        if (okB_) B[i] = end(x, w.y1, x, w.y1 - 1);
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
    float& jump = rows ? jumpLR_ : jumpTB_;
    for (int32_t k = 0; k < n; ++k) {
        if (e[k] < 0) continue;
        const double x = rows ? static_cast<double>(fixed) : static_cast<double>(k);
        const double y = rows ? static_cast<double>(k) : static_cast<double>(fixed), v = e[k];
        m[0] += 1, m[1] += x, m[2] += y, m[3] += x * x, m[4] += x * y, m[5] += y * y;
        mv[0] += v, mv[1] += x * v, mv[2] += y * v;
        if (k >= 2 && e[k - 2] >= 0) jump = std::max(jump, std::fabs(e[k] - e[k - 2]));
    }
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

void RingBackground::liftOver(const ImageView& img, const Window& w, float* bg, float* lift) const {
    for (int32_t j = 0; j < wh_; ++j) {
        const uint8_t* row = img.data + static_cast<std::ptrdiff_t>(w.y0 + j) * img.stride + 3 * w.x0;
        float* b = bg + j * ww_;
        if (edge_) {
            for (int32_t i = 0; i < ww_; ++i) b[i] = at(i, j);
        } else {
            const double start = plane_[0] + plane_[2] * j;
            for (int32_t i = 0; i < ww_; ++i) b[i] = static_cast<float>(start + plane_[1] * i);
        }
        for (int32_t i = 0; i < ww_; ++i) lift[j * ww_ + i] = static_cast<float>(brightest(row + 3 * i)) - b[i];
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

Rim growRim(const ImageView& img, const Window& w, const float* bg, const float* lift, const Ownership& owner,
            int32_t t, uint8_t* mark, int32_t* list) {
    const int32_t ww = w.width(), wh = w.height();
    std::fill(mark, mark + static_cast<std::ptrdiff_t>(ww) * wh, uint8_t{0});
    Rim rim;
    for (int32_t y = owner.own.y0; y <= owner.own.y1; ++y)
        for (int32_t x = owner.own.x0; x <= owner.own.x1; ++x)
            if (brightestAt(img, x, y) >= t && owner.mine(x, y)) {
                mark[(y - w.y0) * ww + (x - w.x0)] = 1;
                list[rim.count++] = rimEntry(x - w.x0, y - w.y0);
            }
    const float level = static_cast<float>(SpotDetector::kRimLevel);
    const float slack = static_cast<float>(SpotDetector::kFalloffSlack);
    const bool alone = owner.nothers == 0;
    for (int32_t head = 0; head < rim.count; ++head) {
        const int32_t i = rimI(list[head]), j = rimJ(list[head]), idx = j * ww + i;
        rim.bgMax = std::max(rim.bgMax, bg[idx]);
        const float reach = lift[idx] + slack;
        for (int32_t dj = -1; dj <= 1; ++dj) {
            const int32_t nj = j + dj;
            if (nj < 0 || nj >= wh) continue;
            for (int32_t di = -1; di <= 1; ++di) {
                const int32_t ni = i + di;
                if (ni < 0 || ni >= ww) continue;
                const int32_t nidx = nj * ww + ni;
                if (mark[nidx]) continue;
                const float nlift = lift[nidx];
                if (nlift <= level || nlift > reach || !(alone || owner.mine(w.x0 + ni, w.y0 + nj))) continue;
                mark[nidx] = 1;
                list[rim.count++] = rimEntry(ni, nj);
            }
        }
    }
    return rim;
}

void capLift(float* lift, int32_t n, float bgMax) {
    const float cap = 255.f - bgMax, level = static_cast<float>(SpotDetector::kRimLevel);
    for (int32_t k = 0; k < n; ++k) lift[k] = std::min(lift[k], cap) - level;
}

bool mirroredCentroid(const float* lift, int32_t ww, int32_t wh, const int32_t* list, int32_t count, Centroid& c) {
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
    // Weights fall continuously to zero at the rim level, which keeps the sampling bias low.
    double sw = 0, swx = 0, swy = 0;
    int32_t n = 0;
    auto pass = [&](bool mirrored, double mx, double my) {
        sw = swx = swy = 0;
        n = 0;
        for (int32_t k = 0; k < count; ++k) {
            const int32_t i = rimI(list[k]), j = rimJ(list[k]);
            const float wgt = lift[j * ww + i];
            if (wgt <= 0 || (mirrored && liftAt(2 * mx - i, 2 * my - j) <= 0)) continue;
            sw += wgt;
            swx += static_cast<double>(wgt) * i;
            swy += static_cast<double>(wgt) * j;
            ++n;
        }
    };
    pass(false, 0, 0);
    for (int it = 0; it < SpotDetector::kMirrorPasses && n >= SpotDetector::kMinRimArea && sw > 0; ++it)
        pass(true, swx / sw, swy / sw);
    if (n < SpotDetector::kMinRimArea || sw <= 0) return false;
    c = Centroid{swx / sw, swy / sw, sw, n};
    return true;
}

}  // namespace tavori::irl

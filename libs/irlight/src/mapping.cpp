#include "mapping.h"

#include <algorithm>
#include <cmath>

namespace tavori::irl {
namespace {

constexpr int kMaxPts = 36;

bool applyH(const double* h, double x, double y, double& u, double& v) {
    const double w = h[6] * x + h[7] * y + h[8];
    if (!(std::fabs(w) > 1e-12)) return false;
    u = (h[0] * x + h[1] * y + h[2]) / w;
    v = (h[3] * x + h[4] * y + h[5]) / w;
    return std::isfinite(u) && std::isfinite(v);
}

bool invert3(const double* m, double* out) {
    const double c0 = m[4] * m[8] - m[5] * m[7];
    const double c1 = m[5] * m[6] - m[3] * m[8];
    const double c2 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    double scale = 0;
    for (int i = 0; i < 9; ++i) scale = std::max(scale, std::fabs(m[i]));
    if (!(std::fabs(det) > 1e-12 * scale * scale * scale)) return false;
    const double d = 1.0 / det;
    out[0] = c0 * d;
    out[1] = (m[2] * m[7] - m[1] * m[8]) * d;
    out[2] = (m[1] * m[5] - m[2] * m[4]) * d;
    out[3] = c1 * d;
    out[4] = (m[0] * m[8] - m[2] * m[6]) * d;
    out[5] = (m[2] * m[3] - m[0] * m[5]) * d;
    out[6] = c2 * d;
    out[7] = (m[1] * m[6] - m[0] * m[7]) * d;
    out[8] = (m[0] * m[4] - m[1] * m[3]) * d;
    for (int i = 0; i < 9; ++i)
        if (!std::isfinite(out[i])) return false;
    return true;
}

// Least-squares homography (h33 = 1) from (x, y) to (u, v); exact for four points.
bool fitHomography(const double* x, const double* y, const double* u, const double* v, int n, double* h) {
    double a[64] = {}, b[8] = {};
    for (int i = 0; i < n; ++i) {
        const double r1[8] = {x[i], y[i], 1, 0, 0, 0, -u[i] * x[i], -u[i] * y[i]};
        const double r2[8] = {0, 0, 0, x[i], y[i], 1, -v[i] * x[i], -v[i] * y[i]};
        for (int r = 0; r < 8; ++r) {
            for (int c = 0; c < 8; ++c) a[r * 8 + c] += r1[r] * r1[c] + r2[r] * r2[c];
            b[r] += r1[r] * u[i] + r2[r] * v[i];
        }
    }
    if (!solve(a, b, 8, 1)) return false;
    std::copy(b, b + 8, h);
    h[8] = 1;
    return true;
}

double radial(double r2, double k1, double k2) { return 1 + k1 * r2 + k2 * r2 * r2; }

struct FitData {
    int n = 0;
    double sx[kMaxPts], sy[kMaxPts];  // normalised screen targets
    double qx[kMaxPts], qy[kMaxPts];  // normalised observed camera points
};

// Residuals of the forward model for parameters h0..h7, k1, k2. False when a point leaves the
// homography's valid side.
bool residuals(const FitData& d, const double* p, double* res) {
    const double h[9] = {p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], 1};
    for (int i = 0; i < d.n; ++i) {
        if (!(h[6] * d.sx[i] + h[7] * d.sy[i] + 1 > 1e-6)) return false;
        double ux, uy;
        if (!applyH(h, d.sx[i], d.sy[i], ux, uy)) return false;
        const double f = radial(ux * ux + uy * uy, p[8], p[9]);
        res[2 * i] = ux * f - d.qx[i];
        res[2 * i + 1] = uy * f - d.qy[i];
    }
    return true;
}

double sumSq(const double* r, int m) {
    double s = 0;
    for (int i = 0; i < m; ++i) s += r[i] * r[i];
    return s;
}

// Levenberg-Marquardt over the first np of the 10 parameters (8 homography + k1 + k2).
bool refineModel(const FitData& d, double* p, int np) {
    const int m = 2 * d.n;
    double r[2 * kMaxPts], rt[2 * kMaxPts], J[2 * kMaxPts * 10];
    if (!residuals(d, p, r)) return false;
    double cost = sumSq(r, m);
    double lambda = 1e-3;
    for (int iter = 0; iter < 100 && cost > 1e-30; ++iter) {
        for (int j = 0; j < np; ++j) {
            double q[10];
            std::copy(p, p + 10, q);
            const double step = 1e-7 * std::max(1.0, std::fabs(p[j]));
            q[j] += step;
            if (!residuals(d, q, rt)) return false;
            for (int i = 0; i < m; ++i) J[i * np + j] = (rt[i] - r[i]) / step;
        }
        double A[100], g[10];
        for (int a = 0; a < np; ++a) {
            g[a] = 0;
            for (int i = 0; i < m; ++i) g[a] += J[i * np + a] * r[i];
            for (int b = 0; b < np; ++b) {
                double s = 0;
                for (int i = 0; i < m; ++i) s += J[i * np + a] * J[i * np + b];
                A[a * np + b] = s;
            }
        }
        bool improved = false;
        while (lambda < 1e12) {
            double M[100], delta[10];
            std::copy(A, A + np * np, M);
            for (int a = 0; a < np; ++a) {
                M[a * np + a] += lambda * std::max(A[a * np + a], 1e-12);
                delta[a] = -g[a];
            }
            double q[10];
            std::copy(p, p + 10, q);
            if (solve(M, delta, np, 1)) {
                for (int a = 0; a < np; ++a) q[a] += delta[a];
                if (residuals(d, q, rt)) {
                    const double c = sumSq(rt, m);
                    if (c < cost) {
                        const bool tiny = cost - c < 1e-14 * cost;
                        std::copy(q, q + 10, p);
                        std::copy(rt, rt + m, r);
                        cost = c;
                        lambda = std::max(lambda * 0.1, 1e-12);
                        improved = !tiny;
                        break;
                    }
                }
            }
            lambda *= 10;
        }
        if (!improved) break;
    }
    for (int a = 0; a < 10; ++a)
        if (!std::isfinite(p[a])) return false;
    return true;
}

// Small deterministic generator for the sampler below: the same record must always give the same
// mapping, on every build.
struct SplitMix {
    uint64_t s;
    double uniform() {
        uint64_t z = (s += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return static_cast<double>((z ^ (z >> 31)) >> 11) * (1.0 / 9007199254740992.0);
    }
    double normal() {
        const double u1 = std::max(uniform(), 1e-300), u2 = uniform();
        return std::sqrt(-2 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }
};

// The stored camera positions are rounded to the pixel, so the true model leaves every residual
// coordinate within half a pixel of zero. When the least-squares fit shows the record is consistent
// with that (no residual needs to exceed the half pixel), the parameters compatible with the record
// form a small polytope; its centroid (the mean under uniform rounding noise) is a much better
// estimate than least squares, which treats the error as Gaussian and lets the fit wander where it
// extrapolates. The model is linearised about the least-squares fit (the polytope is far smaller
// than its curvature), an interior point is found by minimising the Lp norm of the residual for
// rising p, and the centroid is estimated by hit-and-run sampling. Records with more than rounding
// in them keep the least-squares fit. Camera residuals here are in pixels (scale R).
constexpr double kHalfPixel = 0.5;

// The parameter changes that keep every residual within the rounding, |r0 + Q z| <= 1/2, in the
// coordinates z = U delta of the Jacobian's factors J = Q U.
struct RoundingPolytope {
    int m = 0, np = 0;
    double r0[2 * kMaxPts];
    double Q[2 * kMaxPts][10], U[10][10] = {};

    // Residuals in pixels about p and their Jacobian, factored by modified Gram-Schmidt: sampling in
    // z keeps the polytope round enough for hit-and-run to mix, whatever the scale of the parameters.
    bool linearise(const FitData& d, const double* p, int nParams, double R) {
        m = 2 * d.n;
        np = nParams;
        double rp[2 * kMaxPts], rm[2 * kMaxPts];
        if (!residuals(d, p, r0)) return false;
        for (int i = 0; i < m; ++i) r0[i] *= R;
        for (int j = 0; j < np; ++j) {
            double q[10];
            std::copy(p, p + 10, q);
            const double h = 1e-6 * std::max(1.0, std::fabs(p[j]));
            q[j] = p[j] + h;
            if (!residuals(d, q, rp)) return false;
            q[j] = p[j] - h;
            if (!residuals(d, q, rm)) return false;
            for (int i = 0; i < m; ++i) Q[i][j] = (rp[i] - rm[i]) * R / (2 * h);
        }
        for (int j = 0; j < np; ++j) {
            for (int k = 0; k < j; ++k) {
                double s = 0;
                for (int i = 0; i < m; ++i) s += Q[i][k] * Q[i][j];
                U[k][j] = s;
                for (int i = 0; i < m; ++i) Q[i][j] -= s * Q[i][k];
            }
            double s = 0;
            for (int i = 0; i < m; ++i) s += Q[i][j] * Q[i][j];
            s = std::sqrt(s);
            if (!(s > 1e-9)) return false;
            U[j][j] = s;
            for (int i = 0; i < m; ++i) Q[i][j] /= s;
        }
        return true;
    }

    void residual(const double* z, double* out) const {
        for (int i = 0; i < m; ++i) {
            double s = r0[i];
            for (int j = 0; j < np; ++j) s += Q[i][j] * z[j];
            out[i] = s;
        }
    }

    double maxAbs(const double* v) const {
        double mx = 0;
        for (int i = 0; i < m; ++i) mx = std::max(mx, std::fabs(v[i]));
        return mx;
    }

    // Newton on sum |e|^P (convex in z), P raised towards the minimax fit; true when the point
    // reached lies inside the polytope.
    bool interiorPoint(double* z) const {
        double e[2 * kMaxPts], en[2 * kMaxPts];
        for (double P : {4.0, 8.0, 16.0, 32.0, 64.0}) {
            for (int it = 0; it < 40; ++it) {
                residual(z, e);
                const double sc = maxAbs(e);
                if (!(sc > 0)) break;
                auto cost = [&](const double* v) {
                    double c = 0;
                    for (int i = 0; i < m; ++i) c += std::pow(std::fabs(v[i]) / sc, P);
                    return c;
                };
                double g[10] = {}, H[100] = {};
                for (int i = 0; i < m; ++i) {
                    const double a = std::fabs(e[i]) / sc;
                    const double w1 = P * std::pow(a, P - 1) * (e[i] < 0 ? -1 : 1), w2 = P * (P - 1) * std::pow(a, P - 2);
                    for (int j = 0; j < np; ++j) {
                        g[j] -= w1 * Q[i][j] * sc;
                        for (int k = 0; k < np; ++k) H[j * np + k] += w2 * Q[i][j] * Q[i][k];
                    }
                }
                for (int j = 0; j < np; ++j) H[j * np + j] += 1e-9 * (H[j * np + j] + 1);
                if (!solve(H, g, np, 1)) break;
                const double c0 = cost(e);
                bool moved = false;
                for (double t = 1; t > 1e-6; t *= 0.5) {
                    double zn[10];
                    for (int j = 0; j < np; ++j) zn[j] = z[j] + t * g[j];
                    residual(zn, en);
                    if (cost(en) < c0) {
                        moved = c0 - cost(en) > 1e-12 * c0;
                        std::copy(zn, zn + np, z);
                        break;
                    }
                }
                if (!moved) break;
            }
        }
        residual(z, e);
        return maxAbs(e) < kHalfPixel;
    }

    // Hit-and-run from the interior point z, averaging the visited points after a burn-in.
    bool centroid(double* z, double* mean) const {
        constexpr int kSteps = 20000, kBurnIn = 2000;
        SplitMix rng{0x7A3Bu};
        double e[2 * kMaxPts], sum[10] = {};
        residual(z, e);
        for (int s = 0; s < kSteps; ++s) {
            double dir[10], norm = 0;
            for (int j = 0; j < np; ++j) {
                dir[j] = rng.normal();
                norm += dir[j] * dir[j];
            }
            norm = std::sqrt(norm);
            if (!(norm > 0)) continue;
            double lo = -1e300, hi = 1e300, a[2 * kMaxPts];
            for (int i = 0; i < m; ++i) {
                a[i] = 0;
                for (int j = 0; j < np; ++j) a[i] += Q[i][j] * dir[j];
                a[i] /= norm;
                if (std::fabs(a[i]) < 1e-15) continue;
                double t1 = (-kHalfPixel - e[i]) / a[i], t2 = (kHalfPixel - e[i]) / a[i];
                if (t1 > t2) std::swap(t1, t2);
                lo = std::max(lo, t1);
                hi = std::min(hi, t2);
            }
            if (!(lo <= hi) || !(hi - lo < 1e6)) return false;
            const double t = lo + (hi - lo) * rng.uniform();
            for (int j = 0; j < np; ++j) z[j] += t * dir[j] / norm;
            for (int i = 0; i < m; ++i) e[i] += t * a[i];
            if (s >= kBurnIn)
                for (int j = 0; j < np; ++j) sum[j] += z[j];
        }
        for (int j = 0; j < np; ++j) mean[j] = sum[j] / (kSteps - kBurnIn);
        return true;
    }

    // The parameter change of z: back substitution through U.
    void toParameters(const double* z, double* delta) const {
        for (int j = np - 1; j >= 0; --j) {
            double s = z[j];
            for (int k = j + 1; k < np; ++k) s -= U[j][k] * delta[k];
            delta[j] = s / U[j][j];
        }
    }
};

void refineWithinRounding(const FitData& d, double* p, int np, double R) {
    RoundingPolytope poly;
    double z[10] = {}, mean[10], delta[10], q[10], rp[2 * kMaxPts];
    if (!poly.linearise(d, p, np, R) || !poly.interiorPoint(z) || !poly.centroid(z, mean)) return;
    poly.toParameters(mean, delta);
    std::copy(p, p + 10, q);
    for (int j = 0; j < np; ++j) q[j] += delta[j];
    // The linearisation must hold: the centroid has to stay inside the rounding box in the real
    // model too (a little slack for the curvature), else least squares stands.
    if (!residuals(d, q, rp)) return;
    for (int i = 0; i < poly.m; ++i)
        if (!(std::fabs(rp[i] * R) <= kHalfPixel + 0.05)) return;
    std::copy(q, q + 10, p);
}

double tpsKernel(double dx, double dy) {
    const double r2 = dx * dx + dy * dy;
    return r2 > 1e-300 ? 0.5 * r2 * std::log(r2) : 0.0;
}

}  // namespace

bool solve(double* a, double* b, int n, int m) {
    double scale = 0;
    for (int i = 0; i < n * n; ++i) scale = std::max(scale, std::fabs(a[i]));
    if (!(scale > 0) || !std::isfinite(scale)) return false;
    for (int col = 0; col < n; ++col) {
        int piv = col;
        for (int r = col + 1; r < n; ++r)
            if (std::fabs(a[r * n + col]) > std::fabs(a[piv * n + col])) piv = r;
        if (!(std::fabs(a[piv * n + col]) > 1e-13 * scale)) return false;
        if (piv != col) {
            for (int k = 0; k < n; ++k) std::swap(a[piv * n + k], a[col * n + k]);
            for (int k = 0; k < m; ++k) std::swap(b[piv * m + k], b[col * m + k]);
        }
        for (int r = col + 1; r < n; ++r) {
            const double f = a[r * n + col] / a[col * n + col];
            if (f == 0) continue;
            for (int k = col; k < n; ++k) a[r * n + k] -= f * a[col * n + k];
            for (int k = 0; k < m; ++k) b[r * m + k] -= f * b[col * m + k];
        }
    }
    for (int col = n - 1; col >= 0; --col) {
        for (int k = 0; k < m; ++k) {
            double s = b[col * m + k];
            for (int j = col + 1; j < n; ++j) s -= a[col * n + j] * b[j * m + k];
            b[col * m + k] = s / a[col * n + col];
            if (!std::isfinite(b[col * m + k])) return false;
        }
    }
    return true;
}


bool gridPoint(uint32_t W, uint32_t H, int n, int row, int col, int32_t& x, int32_t& y) {
    if (n < 2 || n > 6 || row < 0 || col < 0 || row >= n || col >= n) return false;
    const uint64_t div = static_cast<uint64_t>(8 * n - 6);
    const uint64_t u = uint64_t{W} * 10 / div, v = uint64_t{H} * 10 / div;
    const double fx = std::trunc(0.1 * static_cast<double>(u) + 0.8 * static_cast<double>(uint64_t(col) * u));
    const double fy = std::trunc(0.1 * static_cast<double>(v) + 0.8 * static_cast<double>(uint64_t(row) * v));
    if (!(fx < 2e9 && fy < 2e9)) return false;
    x = static_cast<int32_t>(fx);
    y = static_cast<int32_t>(fy);
    return true;
}

bool calibrationPlausible(const _SCalibration& cal) {
    int n = 0;
    for (int k = 2; k <= 6; ++k)
        if (cal.lPtCount == static_cast<uint32_t>(k * k)) n = k;
    if (n == 0) return false;
    // Targets must be distinct: at least two grid units to a cell. No screen is wider than this.
    constexpr uint32_t kMaxScreen = 1u << 18;
    if (cal.lWinWidth > kMaxScreen || cal.lWinHeight > kMaxScreen) return false;
    const uint64_t div = static_cast<uint64_t>(8 * n - 6);
    if (uint64_t{cal.lWinWidth} * 10 / div < 2 || uint64_t{cal.lWinHeight} * 10 / div < 2) return false;
    for (uint32_t i = 0; i < cal.lPtCount; ++i)
        if (cal.x[i] > 65535 || cal.y[i] > 65535) return false;
    return true;
}

bool CameraMapping::fit(const _SCalibration& cal, int32_t imgW, int32_t imgH, const MappingOptions& opt) {
    valid_ = false;
    nTps_ = 0;
    if (!calibrationPlausible(cal) || imgW < 2 || imgH < 2) return false;
    const int count = static_cast<int>(cal.lPtCount);
    const int n = count == 4 ? 2 : count == 9 ? 3 : count == 16 ? 4 : count == 25 ? 5 : 6;
    W_ = static_cast<int32_t>(cal.lWinWidth);
    H_ = static_cast<int32_t>(cal.lWinHeight);

    double tx[kMaxPts], ty[kMaxPts], px[kMaxPts], py[kMaxPts];
    for (int i = 0; i < count; ++i) {
        int32_t gx, gy;
        if (!gridPoint(cal.lWinWidth, cal.lWinHeight, n, i / n, i % n, gx, gy)) return false;
        tx[i] = gx;
        ty[i] = gy;
        px[i] = cal.x[i];
        py[i] = cal.y[i];
    }
    // Repeated camera points: the pen was not seen moving from one target to the next.
    for (int i = 0; i < count; ++i)
        for (int j = i + 1; j < count; ++j)
            if (px[i] == px[j] && py[i] == py[j]) return false;
    // The outline through the four corner targets must be a convex quadrilateral of real size, in
    // either orientation (a mirrored camera turns it round). This also rules out collinear records.
    {
        const int c[4] = {0, n - 1, count - 1, count - n};
        double sign = 0, area = 0;
        for (int k = 0; k < 4; ++k) {
            const int a = c[k], b = c[(k + 1) % 4], e = c[(k + 2) % 4];
            const double cr = (px[b] - px[a]) * (py[e] - py[b]) - (py[b] - py[a]) * (px[e] - px[b]);
            if (std::fabs(cr) < 1.0) return false;
            if (sign == 0) sign = cr;
            if ((cr > 0) != (sign > 0)) return false;
            area += px[a] * py[b] - px[b] * py[a];
        }
        if (std::fabs(area) / 2 < 16.0 * count) return false;
    }
    // Leave-one-out: the fit sees every point but one, which the caller then judges by it.
    int fitted = count;
    if (opt.leaveOut >= 0 && opt.leaveOut < count) {
        for (int i = opt.leaveOut; i + 1 < count; ++i) tx[i] = tx[i + 1], ty[i] = ty[i + 1], px[i] = px[i + 1], py[i] = py[i + 1];
        fitted = count - 1;
    }

    cx_ = (imgW - 1) / 2.0;
    cy_ = (imgH - 1) / 2.0;
    R_ = imgW / 2.0;
    sx0_ = (W_ - 1) / 2.0;
    sy0_ = (H_ - 1) / 2.0;
    sS_ = std::max(W_, H_) / 2.0;

    FitData d;
    d.n = fitted;
    for (int i = 0; i < fitted; ++i) {
        d.sx[i] = (tx[i] - sx0_) / sS_;
        d.sy[i] = (ty[i] - sy0_) / sS_;
        d.qx[i] = (px[i] - cx_) / R_;
        d.qy[i] = (py[i] - cy_) / R_;
    }
    double p[10] = {};
    if (!fitHomography(d.sx, d.sy, d.qx, d.qy, fitted, p)) return false;
    p[8] = p[9] = 0;  // k1, k2 start from a distortion-free lens
    const int terms = opt.radialTerms >= 0 ? std::min(opt.radialTerms, 2) : (n == 2 ? 0 : 1);
    if (n > 2 && !refineModel(d, p, 8 + terms)) return false;
    if (n > 2 && opt.withinRounding) refineWithinRounding(d, p, 8 + terms, R_);
    std::copy(p, p + 8, g_);
    g_[8] = 1;
    k1_ = p[8];
    k2_ = p[9];
    double res[2 * kMaxPts];
    if (!residuals(d, p, res)) return false;
    rms_ = R_ * std::sqrt(sumSq(res, 2 * fitted) / fitted);
    // A calibration the model cannot follow (targets clicked in the wrong order, a pen seen in the
    // wrong place) must not drive the cursor.
    if (!(rms_ <= 3.0)) return false;
    if (!invert3(g_, gi_)) return false;

    // The distortion must stay invertible over the whole rectangle plus margin, not only between
    // the targets: find the largest undistorted radius reached and check monotonicity up to it.
    rMax_ = 0;
    const double mx = std::max(8.0, W_ / 40.0) + 1, my = std::max(8.0, H_ / 40.0) + 1;
    const double ex[4] = {-0.5 - mx, W_ - 0.5 + mx, W_ - 0.5 + mx, -0.5 - mx};
    const double ey[4] = {-0.5 - my, -0.5 - my, H_ - 0.5 + my, H_ - 0.5 + my};
    for (int k = 0; k < 4; ++k) {
        const double sxn = (ex[k] - sx0_) / sS_, syn = (ey[k] - sy0_) / sS_;
        if (!(g_[6] * sxn + g_[7] * syn + 1 > 1e-3)) return false;
        double ux, uy;
        if (!applyH(g_, sxn, syn, ux, uy)) return false;
        rMax_ = std::max(rMax_, std::hypot(ux, uy));
    }
    rMax_ *= 1.05;
    for (int k = 0; k <= 64; ++k) {
        const double r2 = (rMax_ * k / 64) * (rMax_ * k / 64);
        if (!(1 + 3 * k1_ * r2 + 5 * k2_ * r2 * r2 > 0.1)) return false;
    }

    valid_ = true;
    // Smooth what the model leaves (a lens fault it does not describe, a screen that is not flat),
    // but only when there is more left than the rounding of the stored camera positions explains:
    // an interpolating surface through rounding noise makes the mapping worse, not better.
    if (opt.correction && n > 2 && rms_ > opt.correctionGate) {
        const int N = fitted, S = N + 3;
        double A[(kMaxPts + 3) * (kMaxPts + 3)] = {}, B[(kMaxPts + 3) * 2] = {};
        for (int i = 0; i < N; ++i) {
            double sx, sy;
            if (!mapModel(px[i], py[i], sx, sy)) {
                valid_ = false;
                return false;
            }
            tpsX_[i] = d.sx[i];
            tpsY_[i] = d.sy[i];
            B[i * 2] = tx[i] - sx;
            B[i * 2 + 1] = ty[i] - sy;
        }
        // The kernel is scaled to the grid spacing so that the smoothing means the same at any n.
        const double spacing = 2.0 / (n - 1);
        const double lambda = opt.smoothing * spacing * spacing;
        for (int i = 0; i < N; ++i) {
            for (int j = 0; j < N; ++j) A[i * S + j] = tpsKernel(tpsX_[i] - tpsX_[j], tpsY_[i] - tpsY_[j]);
            A[i * S + i] += lambda;
            A[i * S + N] = A[N * S + i] = 1;
            A[i * S + N + 1] = A[(N + 1) * S + i] = tpsX_[i];
            A[i * S + N + 2] = A[(N + 2) * S + i] = tpsY_[i];
        }
        if (solve(A, B, S, 2)) {
            for (int i = 0; i < N; ++i) {
                tpsWx_[i] = B[i * 2];
                tpsWy_[i] = B[i * 2 + 1];
            }
            for (int k = 0; k < 3; ++k) {
                tpsAx_[k] = B[(N + k) * 2];
                tpsAy_[k] = B[(N + k) * 2 + 1];
            }
            nTps_ = N;
        }
    }
    return true;
}

bool CameraMapping::undistort(double qx, double qy, double& ux, double& uy) const {
    const double rd = std::hypot(qx, qy);
    if (rd == 0 || (k1_ == 0 && k2_ == 0)) {
        ux = qx;
        uy = qy;
        return true;
    }
    double r = rd;
    for (int it = 0; it < 30; ++it) {
        const double r2 = r * r;
        const double f = r * radial(r2, k1_, k2_) - rd;
        const double df = 1 + 3 * k1_ * r2 + 5 * k2_ * r2 * r2;
        if (!(df > 0.05)) return false;
        const double step = f / df;
        r -= step;
        if (!(r >= 0 && r <= rMax_)) return false;
        if (std::fabs(step) < 1e-12) break;
    }
    ux = qx * (r / rd);
    uy = qy * (r / rd);
    return true;
}

bool CameraMapping::mapModel(double cx, double cy, double& sx, double& sy) const {
    if (!valid_ || !std::isfinite(cx) || !std::isfinite(cy)) return false;
    double ux, uy;
    if (!undistort((cx - cx_) / R_, (cy - cy_) / R_, ux, uy)) return false;
    // Only points in front of the screen plane: same side of the vanishing line as the screen centre.
    const double w = gi_[6] * ux + gi_[7] * uy + gi_[8];
    if (!(w * gi_[8] > 0)) return false;
    double nx, ny;
    if (!applyH(gi_, ux, uy, nx, ny)) return false;
    sx = nx * sS_ + sx0_;
    sy = ny * sS_ + sy0_;
    return std::isfinite(sx) && std::isfinite(sy);
}

bool CameraMapping::map(double cx, double cy, double& sx, double& sy) const {
    if (!mapModel(cx, cy, sx, sy)) return false;
    if (nTps_ > 0) {
        const double nx = (sx - sx0_) / sS_, ny = (sy - sy0_) / sS_;
        double fx = tpsAx_[0] + tpsAx_[1] * nx + tpsAx_[2] * ny;
        double fy = tpsAy_[0] + tpsAy_[1] * nx + tpsAy_[2] * ny;
        for (int i = 0; i < nTps_; ++i) {
            const double k = tpsKernel(nx - tpsX_[i], ny - tpsY_[i]);
            fx += tpsWx_[i] * k;
            fy += tpsWy_[i] * k;
        }
        sx += fx;
        sy += fy;
    }
    return std::isfinite(sx) && std::isfinite(sy);
}

bool CameraMapping::project(double sx, double sy, double& cx, double& cy) const {
    if (!valid_) return false;
    double ux, uy;
    if (!applyH(g_, (sx - sx0_) / sS_, (sy - sy0_) / sS_, ux, uy)) return false;
    const double f = radial(ux * ux + uy * uy, k1_, k2_);
    cx = ux * f * R_ + cx_;
    cy = uy * f * R_ + cy_;
    return std::isfinite(cx) && std::isfinite(cy);
}

}  // namespace tavori::irl

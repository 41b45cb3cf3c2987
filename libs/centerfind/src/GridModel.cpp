#include "GridModel.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tavori::cf {

namespace {
constexpr double kCx = 319.5, kCy = 239.5, kR = 320.0;  // image centre and radius unit
constexpr int kParams = 9;
// Grid cells are centred on the middle cell so the projective terms stay well conditioned.
constexpr double kMid = 2.0;
}  // namespace

bool SolveLinear(double* a, double* b, int n) {
    for (int c = 0; c < n; ++c) {
        int piv = c;
        for (int r = c + 1; r < n; ++r)
            if (std::fabs(a[r * n + c]) > std::fabs(a[piv * n + c])) piv = r;
        if (std::fabs(a[piv * n + c]) < 1e-12) return false;
        if (piv != c) {
            for (int k = 0; k < n; ++k) std::swap(a[c * n + k], a[piv * n + k]);
            std::swap(b[c], b[piv]);
        }
        for (int r = c + 1; r < n; ++r) {
            const double f = a[r * n + c] / a[c * n + c];
            for (int k = c; k < n; ++k) a[r * n + k] -= f * a[c * n + k];
            b[r] -= f * b[c];
        }
    }
    for (int c = n - 1; c >= 0; --c) {
        double v = b[c];
        for (int k = c + 1; k < n; ++k) v -= a[c * n + k] * b[k];
        b[c] = v / a[c * n + c];
    }
    return true;
}

void GridModel::ProjectWith(const double* p, double col, double row, double& x, double& y) {
    const double X = col - kMid, Y = row - kMid;
    const double w = p[6] * X + p[7] * Y + 1.0;
    const double qx = (p[0] * X + p[1] * Y + p[2]) / w, qy = (p[3] * X + p[4] * Y + p[5]) / w;
    const double f = 1.0 + p[8] * (qx * qx + qy * qy);
    x = kCx + kR * qx * f;
    y = kCy + kR * qy * f;
}

void GridModel::Project(double col, double row, double& x, double& y) const { ProjectWith(p_, col, row, x, y); }

bool GridModel::Residuals(const double* p, const CellSighting* s, int count, double* r) const {
    for (int i = 0; i < count; ++i) {
        const double X = s[i].col - kMid, Y = s[i].row - kMid;
        if (p[6] * X + p[7] * Y + 1.0 < 0.2) return false;  // the grid would fold through the horizon
        double x, y;
        ProjectWith(p, s[i].col, s[i].row, x, y);
        r[2 * i] = x - s[i].x;
        r[2 * i + 1] = y - s[i].y;
    }
    return true;
}

// J^T J and -J^T r of the camera residual r at p, J by forward differences.
bool GridModel::NormalEquations(const double* p, const CellSighting* s, int count, const double* r, double* jtj,
                                double* g) const {
    std::vector<double> J(2 * static_cast<size_t>(count) * kParams), rt(2 * static_cast<size_t>(count));
    for (int k = 0; k < kParams; ++k) {
        double q[kParams];
        std::copy(p, p + kParams, q);
        const double h = 1e-7 * std::max(1.0, std::fabs(p[k]));
        q[k] += h;
        if (!Residuals(q, s, count, rt.data())) return false;
        for (int i = 0; i < 2 * count; ++i) J[static_cast<size_t>(i * kParams + k)] = (rt[static_cast<size_t>(i)] - r[i]) / h;
    }
    std::fill(jtj, jtj + kParams * kParams, 0.0);
    std::fill(g, g + kParams, 0.0);
    for (int i = 0; i < 2 * count; ++i) {
        const double* Ji = &J[static_cast<size_t>(i * kParams)];
        for (int j = 0; j < kParams; ++j) {
            g[j] -= Ji[j] * r[i];
            for (int k = 0; k < kParams; ++k) jtj[j * kParams + k] += Ji[j] * Ji[k];
        }
    }
    return true;
}

bool GridModel::Fit(const CellSighting* s, int count) {
    if (count < 5) return false;
    // Start: the projective map alone, linear in its eight terms (normalised camera positions).
    double a[64] = {}, b[8] = {};
    for (int i = 0; i < count; ++i) {
        const double X = s[i].col - kMid, Y = s[i].row - kMid;
        const double u = (s[i].x - kCx) / kR, v = (s[i].y - kCy) / kR;
        const double ru[8] = {X, Y, 1, 0, 0, 0, -X * u, -Y * u};
        const double rv[8] = {0, 0, 0, X, Y, 1, -X * v, -Y * v};
        for (int j = 0; j < 8; ++j) {
            b[j] += ru[j] * u + rv[j] * v;
            for (int k = 0; k < 8; ++k) a[j * 8 + k] += ru[j] * ru[k] + rv[j] * rv[k];
        }
    }
    if (!SolveLinear(a, b, 8)) return false;
    double p[kParams];
    std::copy(b, b + 8, p);
    p[8] = 0;

    // Then Levenberg-Marquardt on the camera residual, distortion included.
    std::vector<double> r(2 * count), rt(2 * count);
    if (!Residuals(p, s, count, r.data())) return false;
    auto cost = [&](const std::vector<double>& v) {
        double c = 0;
        for (double e : v) c += e * e;
        return c;
    };
    double c = cost(r), lambda = 1e-3;
    double JtJ[kParams * kParams], g[kParams];
    for (int it = 0; it < 40; ++it) {
        if (!NormalEquations(p, s, count, r.data(), JtJ, g)) return false;
        bool improved = false;
        for (int tries = 0; tries < 8 && !improved; ++tries) {
            double A[kParams * kParams], d[kParams];
            std::copy(JtJ, JtJ + kParams * kParams, A);
            std::copy(g, g + kParams, d);
            for (int j = 0; j < kParams; ++j) A[j * kParams + j] *= 1.0 + lambda;
            if (!SolveLinear(A, d, kParams)) return false;
            double q[kParams];
            for (int j = 0; j < kParams; ++j) q[j] = p[j] + d[j];
            if (Residuals(q, s, count, rt.data()) && cost(rt) < c) {
                std::copy(q, q + kParams, p);
                r.swap(rt);
                const double before = c;
                c = cost(r);
                lambda = std::max(1e-9, lambda * 0.3);
                improved = true;
                if (before - c < 1e-12 * (1 + before)) it = 1000;
            } else {
                lambda *= 10;
            }
        }
        if (!improved) break;
    }
    std::copy(p, p + kParams, p_);
    if (!NormalEquations(p, s, count, r.data(), jtj_, g)) return false;
    max_ = 0;
    for (int i = 0; i < count; ++i) max_ = std::max(max_, std::hypot(r[2 * i], r[2 * i + 1]));
    rms_ = std::sqrt(c / count);
    // A lens beyond strong barrel or mild pincushion is a fit that went astray.
    return std::isfinite(rms_) && p_[8] > -0.6 && p_[8] < 0.4;
}

// Where the lens moves a square's centroid away from the image of its centre: the centroid of
// the square's image under the model, by area, minus the image of its centre. Grows with the
// distortion's curvature; a few hundredths of a pixel at the edge of a strongly barrelled view.
void SquareCentroidShift(const GridModel& m, double col, double row, double w, double h, double& dx, double& dy) {
    constexpr int kSub = 6;
    double px[kSub + 1][kSub + 1], py[kSub + 1][kSub + 1];
    for (int j = 0; j <= kSub; ++j)
        for (int i = 0; i <= kSub; ++i)
            m.Project(col + w * (double(i) / kSub - 0.5), row + h * (double(j) / kSub - 0.5), px[j][i], py[j][i]);
    double a = 0, ax = 0, ay = 0;
    for (int j = 0; j < kSub; ++j) {
        for (int i = 0; i < kSub; ++i) {
            const double area = 0.5 * std::fabs((px[j + 1][i + 1] - px[j][i]) * (py[j + 1][i] - py[j][i + 1]) -
                                                (py[j + 1][i + 1] - py[j][i]) * (px[j + 1][i] - px[j][i + 1]));
            a += area;
            ax += area * (px[j][i] + px[j][i + 1] + px[j + 1][i] + px[j + 1][i + 1]) / 4;
            ay += area * (py[j][i] + py[j][i + 1] + py[j + 1][i] + py[j + 1][i + 1]) / 4;
        }
    }
    double cx, cy;
    m.Project(col, row, cx, cy);
    dx = a > 0 ? ax / a - cx : 0;
    dy = a > 0 ? ay / a - cy : 0;
}

double GridModel::ProjectionStd(double col, double row, double sigma) const {
    double gx[kParams], gy[kParams], x0, y0;
    ProjectWith(p_, col, row, x0, y0);
    for (int k = 0; k < kParams; ++k) {
        double q[kParams];
        std::copy(p_, p_ + kParams, q);
        const double h = 1e-7 * std::max(1.0, std::fabs(p_[k]));
        q[k] += h;
        double x, y;
        ProjectWith(q, col, row, x, y);
        gx[k] = (x - x0) / h;
        gy[k] = (y - y0) / h;
    }
    double var = 0;
    for (double* g : {gx, gy}) {
        double a[kParams * kParams], z[kParams];
        std::copy(jtj_, jtj_ + kParams * kParams, a);
        std::copy(g, g + kParams, z);
        if (!SolveLinear(a, z, kParams)) return 1e9;
        for (int k = 0; k < kParams; ++k) var += g[k] * z[k];
    }
    return sigma * std::sqrt(std::max(0.0, var / 2));
}

}  // namespace tavori::cf

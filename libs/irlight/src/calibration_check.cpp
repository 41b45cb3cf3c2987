#include "CalibrationCheck.h"

#include <algorithm>
#include <cmath>

#include "mapping.h"

namespace tavori::irl {
namespace {
// Sample grids for the coverage: fine enough for a strip of 2 % at an edge, far cheaper than a fit.
constexpr int kScreenSamplesX = 64, kScreenSamplesY = 40;
constexpr int kFrameSamplesX = 64, kFrameSamplesY = 48;
}  // namespace

bool leaveOneOutChecks(const _SCalibration& cal, int32_t imgW, int32_t imgH, PointCheck* checks) {
    const int count = static_cast<int>(cal.lPtCount);
    const int n = count == 9 ? 3 : count == 16 ? 4 : count == 25 ? 5 : count == 36 ? 6 : 0;
    // A judge, not the mapping in force: the rounding refinement would cost 40 ms a fit and moves a
    // prediction by far less than the rounding it works within.
    MappingOptions opt;
    opt.withinRounding = false;
    CameraMapping all;
    if (n == 0 || !all.fit(cal, imgW, imgH, opt)) return false;
    // A fit to the others extrapolates to an outer point, and whole camera pixels err: even a perfect
    // pen leaves a coarse grid's corners a few pixels off (5 px for 3 x 3). That share is the
    // geometry's, not the pen's: it is what the same fits leave of the record the full fit would
    // have stored, and it is taken off each error (the prediction keeps its direction).
    _SCalibration consistent = cal;
    for (int i = 0; i < count; ++i) {
        int32_t gx = 0, gy = 0;
        double cx, cy;
        gridPoint(cal.lWinWidth, cal.lWinHeight, n, i / n, i % n, gx, gy);  // the fit above placed it
        checks[i] = PointCheck{};
        checks[i].x = gx;
        checks[i].y = gy;
        if (all.project(gx, gy, cx, cy) && cx >= 0 && cy >= 0 && cx <= 65535 && cy <= 65535)
            consistent.x[i] = static_cast<uint32_t>(std::lround(cx)), consistent.y[i] = static_cast<uint32_t>(std::lround(cy));
    }
    for (int i = 0; i < count; ++i) {
        PointCheck& c = checks[i];
        opt.leaveOut = i;
        CameraMapping others, othersConsistent;
        double sx, sy, ex, ey;
        if (!others.fit(cal, imgW, imgH, opt) || !others.map(cal.x[i], cal.y[i], sx, sy) ||
            !othersConsistent.fit(consistent, imgW, imgH, opt) || !othersConsistent.map(consistent.x[i], consistent.y[i], ex, ey))
            continue;
        const double raw = std::hypot(sx - c.x, sy - c.y);
        c.error = std::max(0.0, raw - std::hypot(ex - c.x, ey - c.y));
        c.predictedX = raw > 0 ? c.x + (sx - c.x) * c.error / raw : c.x;
        c.predictedY = raw > 0 ? c.y + (sy - c.y) * c.error / raw : c.y;
    }
    return true;
}

bool viewCoverage(const _SCalibration& cal, int32_t imgW, int32_t imgH, ViewCoverage& coverage) {
    MappingOptions opt;
    opt.withinRounding = false;
    CameraMapping m;
    if (!m.fit(cal, imgW, imgH, opt)) return false;
    const double W = cal.lWinWidth, H = cal.lWinHeight;
    int seen = 0, filled = 0;
    for (int j = 0; j < kScreenSamplesY; ++j)
        for (int i = 0; i < kScreenSamplesX; ++i) {
            double cx, cy;
            seen += m.project((i + 0.5) * W / kScreenSamplesX, (j + 0.5) * H / kScreenSamplesY, cx, cy) && cx >= -0.5 &&
                    cy >= -0.5 && cx <= imgW - 0.5 && cy <= imgH - 0.5;
        }
    for (int j = 0; j < kFrameSamplesY; ++j)
        for (int i = 0; i < kFrameSamplesX; ++i) {
            double sx, sy;
            filled += m.map((i + 0.5) * imgW / kFrameSamplesX - 0.5, (j + 0.5) * imgH / kFrameSamplesY - 0.5, sx, sy) &&
                      sx >= 0 && sy >= 0 && sx <= W && sy <= H;
        }
    coverage.screenSeen = static_cast<double>(seen) / (kScreenSamplesX * kScreenSamplesY);
    coverage.imageFilled = static_cast<double>(filled) / (kFrameSamplesX * kFrameSamplesY);
    return true;
}

}  // namespace tavori::irl

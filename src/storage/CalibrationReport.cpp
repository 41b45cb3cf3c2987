#include "storage/CalibrationReport.h"

#include <algorithm>
#include <cstdio>

#include "CalibrationCheck.h"
#include "storage/CalibrationRecord.h"

namespace {
constexpr double kGoodPx = 3.0;  // what a pen tip covers: below it nobody sees the miss
}

std::string PointPlace(int index, int n) {
    const int row = index / n, col = index % n;
    const char* v = row == 0 ? "upper" : row == n - 1 ? "lower" : nullptr;
    const char* h = col == 0 ? "left" : col == n - 1 ? "right" : nullptr;
    if (v && h) return std::string(v) + "-" + h + " corner";
    if (v) return std::string(row == 0 ? "top" : "bottom") + " edge";
    if (h) return std::string(h) + " edge";
    return "middle";
}

CalibrationReport JudgeErrors(const double* errors, int count) {
    CalibrationReport r;
    r.points = count;
    const int n = GridSide(count);
    if (count < 9 || n * n != count) {
        r.verdict = "a " + std::to_string(count) + "-point calibration cannot measure its own error: calibrate with 9 or 25 points to know it";
        return r;
    }
    if (!errors) {
        r.verdict = "could not be measured";
        return r;
    }
    r.measured = true;
    double second = 0;
    int judged = 0;
    for (int i = 0; i < count; ++i) {
        // A point the others cannot predict at all is as bad as it gets.
        const double e = errors[i] < 0 ? 1e3 : errors[i];
        r.mean += e;
        ++judged;
        if (e > r.max) second = r.max, r.max = e, r.worst = i;
        else second = std::max(second, e);
    }
    r.mean /= judged;
    char figures[64];
    std::snprintf(figures, sizeof figures, " (mean %.1f px, worst %.1f px)", r.mean, r.max);
    if (r.max <= kGoodPx) r.verdict = "good";
    else if (r.max > 2 * second) r.verdict = "the " + PointPlace(r.worst, n) + " point is poor: calibrate again, holding the pen still on that cross";
    else r.verdict = "poor over the whole screen: check that the camera sees all of the screen and is in focus, then calibrate with 25 points";
    r.verdict += figures;
    return r;
}

CalibrationReport JudgeCalibration(const _SCalibration& cal, int cameraWidth, int cameraHeight) {
    const int count = static_cast<int>(cal.lPtCount);
    double errors[36];
    const bool measured = count <= 36 && tavori::irl::leaveOneOutErrors(cal, cameraWidth, cameraHeight, errors);
    return JudgeErrors(measured ? errors : nullptr, count);
}

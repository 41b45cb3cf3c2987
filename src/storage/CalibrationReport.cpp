#include "storage/CalibrationReport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "storage/CalibrationRecord.h"

namespace {
constexpr const char* kVerdictWords[] = {"good", "point", "everywhere", "closer", "tooclose", "unmeasured", "judging"};
constexpr double kUnpredictedPx = 1e3;  // a point the others cannot predict at all is as bad as it gets
}  // namespace

ErrorClass ClassOfError(double px) {
    if (px < 0 || px > kPoorErrorPx) return ErrorClass::Poor;
    return px > kGoodErrorPx ? ErrorClass::Fair : ErrorClass::Good;
}

int PointPlace(int index, int n) {
    const auto band = [n](int k) { return k == 0 ? 0 : k == n - 1 ? 2 : 1; };
    return band(index / n) * 3 + band(index % n);
}

void Judge(CalibrationReport& r) {
    const int n = GridSide(r.points);
    r.measured = r.points >= 9 && n * n == r.points && static_cast<int>(r.checks.size()) == r.points;
    r.mean = r.max = 0;
    r.worst = r.measured ? 0 : -1;
    double second = 0;
    for (int i = 0; r.measured && i < r.points; ++i) {
        const double e = r.checks[static_cast<size_t>(i)].error < 0 ? kUnpredictedPx : r.checks[static_cast<size_t>(i)].error;
        r.mean += e / r.points;
        if (e > r.max) second = r.max, r.max = e, r.worst = i;
        else second = std::max(second, e);
    }
    // The set-up first: with part of the screen unseen or the screen small in the image, no
    // calibration from there can be good.
    if (r.screenSeen >= 0 && r.screenSeen < kMinScreenSeen) r.verdict = ReportVerdict::TooClose;
    else if (r.imageFilled >= 0 && r.imageFilled < kMinImageFilled) r.verdict = ReportVerdict::MoveCloser;
    else if (!r.measured) r.verdict = ReportVerdict::Unmeasured;
    else if (r.max <= kGoodErrorPx) r.verdict = ReportVerdict::Good;
    else if (r.max > 2 * second) r.verdict = ReportVerdict::PoorPoint;
    else r.verdict = ReportVerdict::PoorEverywhere;
}

CalibrationReport PendingReport(const _SCalibration& cal) {
    CalibrationReport r;
    r.points = static_cast<int>(UsedPoints(cal.lPtCount));
    r.screenLeft = static_cast<int32_t>(cal.lWinLeft);
    r.screenTop = static_cast<int32_t>(cal.lWinTop);
    r.screenWidth = static_cast<int>(std::min(cal.lWinWidth, 1u << 18));
    r.screenHeight = static_cast<int>(std::min(cal.lWinHeight, 1u << 18));
    return r;
}

CalibrationReport JudgeCalibration(const _SCalibration& cal, int cameraWidth, int cameraHeight) {
    CalibrationReport r = PendingReport(cal);
    tavori::irl::ViewCoverage coverage;
    if (tavori::irl::viewCoverage(cal, cameraWidth, cameraHeight, coverage))
        r.screenSeen = coverage.screenSeen, r.imageFilled = coverage.imageFilled;
    r.checks.resize(static_cast<size_t>(r.points));
    if (!tavori::irl::leaveOneOutChecks(cal, cameraWidth, cameraHeight, r.checks.data())) r.checks.clear();
    Judge(r);
    return r;
}

const char* VerdictWord(ReportVerdict verdict) { return kVerdictWords[static_cast<int>(verdict)]; }

std::optional<ReportVerdict> VerdictFromWord(const std::string& word) {
    for (int v = 0; v < static_cast<int>(std::size(kVerdictWords)); ++v)
        if (word == kVerdictWords[v]) return static_cast<ReportVerdict>(v);
    return std::nullopt;
}

namespace {
std::string Number(double v, const char* format = "%.2f") {
    char text[32];
    std::snprintf(text, sizeof text, format, v);
    return text;
}
// A finite number in [low, high] and nothing after it; nullopt otherwise.
std::optional<double> ReadNumber(const std::string& text, double low, double high) {
    double v = 0;
    int used = 0;
    if (std::sscanf(text.c_str(), "%lf%n", &v, &used) != 1 || static_cast<size_t>(used) != text.size() || !std::isfinite(v) ||
        v < low || v > high)
        return std::nullopt;
    return v;
}
constexpr double kLargestScreen = 1 << 18;
std::string PointKey(int i) {
    std::string key = "P";
    return key += std::to_string(i);
}
}  // namespace

std::vector<std::pair<std::string, std::string>> ReportValues(const CalibrationReport& r) {
    const bool judged = r.verdict != ReportVerdict::Judging;
    std::vector<std::pair<std::string, std::string>> v = {
        {"Verdict", VerdictWord(r.verdict)},
        {"Points", std::to_string(r.points)},
        {"Screen", Number(r.screenLeft, "%.0f") + ',' + Number(r.screenTop, "%.0f") + ',' + Number(r.screenWidth, "%.0f") + ',' +
                       Number(r.screenHeight, "%.0f")},
        {"MeanErrorPx", r.measured ? Number(r.mean) : ""},
        {"WorstErrorPx", r.measured ? Number(r.max) : ""},
        {"WorstPoint", r.measured ? std::to_string(r.worst) : ""},
        {"ScreenSeenPercent", judged && r.screenSeen >= 0 ? Number(100 * r.screenSeen, "%.1f") : ""},
        {"ImageFilledPercent", judged && r.imageFilled >= 0 ? Number(100 * r.imageFilled, "%.1f") : ""},
    };
    // Each point: its target, then where the others put it (absent when they could not).
    for (size_t i = 0; r.measured && i < r.checks.size(); ++i) {
        const tavori::irl::PointCheck& c = r.checks[i];
        char text[96];
        if (c.error >= 0) std::snprintf(text, sizeof text, "%.0f,%.0f,%.2f,%.2f", c.x, c.y, c.predictedX, c.predictedY);
        else std::snprintf(text, sizeof text, "%.0f,%.0f", c.x, c.y);
        v.emplace_back(PointKey(static_cast<int>(i)), text);
    }
    return v;
}

std::optional<CalibrationReport> ReportFromValues(const std::function<std::string(const std::string& key)>& value) {
    const std::optional<ReportVerdict> verdict = VerdictFromWord(value("Verdict"));
    const std::optional<double> points = ReadNumber(value("Points"), 0, 36);
    if (!verdict || !points) return std::nullopt;
    CalibrationReport r;
    r.verdict = *verdict;
    r.points = static_cast<int>(*points);
    int left = 0, top = 0, width = 0, height = 0, used = 0;
    const std::string screen = value("Screen");
    if (std::sscanf(screen.c_str(), "%d,%d,%d,%d%n", &left, &top, &width, &height, &used) == 4 &&
        static_cast<size_t>(used) == screen.size() && width > 0 && height > 0 && width <= kLargestScreen && height <= kLargestScreen)
        r.screenLeft = left, r.screenTop = top, r.screenWidth = width, r.screenHeight = height;
    if (r.verdict == ReportVerdict::Judging) return r;
    const auto fraction = [&](const char* key) { return ReadNumber(value(key), 0, 100).value_or(-100) / 100; };
    r.screenSeen = fraction("ScreenSeenPercent");
    r.imageFilled = fraction("ImageFilledPercent");
    const std::optional<double> mean = ReadNumber(value("MeanErrorPx"), 0, 1e6), max = ReadNumber(value("WorstErrorPx"), 0, 1e6),
                                worst = ReadNumber(value("WorstPoint"), 0, r.points - 1);
    r.measured = mean && max && worst;
    if (!r.measured) return r;
    r.mean = *mean, r.max = *max, r.worst = static_cast<int>(*worst);
    for (int i = 0; r.screenWidth > 0 && i < r.points; ++i) {
        tavori::irl::PointCheck c;
        const std::string text = value(PointKey(i));
        const int fields = std::sscanf(text.c_str(), "%lf,%lf,%lf,%lf%n", &c.x, &c.y, &c.predictedX, &c.predictedY, &used);
        const auto onScreen = [&](double x, double y) {
            return std::isfinite(x) && std::isfinite(y) && std::fabs(x) <= 4 * kLargestScreen && std::fabs(y) <= 4 * kLargestScreen;
        };
        if (fields < 2 || !onScreen(c.x, c.y)) continue;  // damaged: not drawn
        if (fields == 4 && static_cast<size_t>(used) == text.size() && onScreen(c.predictedX, c.predictedY))
            c.error = std::hypot(c.predictedX - c.x, c.predictedY - c.y);
        r.checks.push_back(c);
    }
    return r;
}

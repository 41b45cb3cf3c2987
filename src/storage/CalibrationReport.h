// What an accepted calibration says about itself: each point predicted by the fit to all the
// others (leave-one-out, screen pixels), their mean and worst, how much of the screen the camera
// sees and how much of its image the screen fills, and the one thing to do about it.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "CalibrationCheck.h"
#include "MultiIRLight.h"

enum class ReportVerdict {
    Good,
    PoorPoint,       // one point far worse than the rest: named by its place
    PoorEverywhere,
    MoveCloser,      // the screen fills too little of the image: each camera pixel spans many screen pixels
    TooClose,        // part of the screen lies outside the view: the pen is not seen there
    Unmeasured,      // a 4-point calibration has no point to spare
    Judging,         // accepted, its report not yet made
};

// A point's error as the picture colours it: what a pen tip covers goes unseen; twice that misses.
enum class ErrorClass { Good, Fair, Poor };
constexpr double kGoodErrorPx = 3.0, kPoorErrorPx = 6.0;
ErrorClass ClassOfError(double px);

// Below these fractions the set-up, not the pen, is what to change.
constexpr double kMinScreenSeen = 0.98, kMinImageFilled = 0.3;

struct CalibrationReport {
    int points = 0;
    int screenLeft = 0, screenTop = 0, screenWidth = 0, screenHeight = 0;
    bool measured = false;  // errors known
    double mean = 0, max = 0;
    int worst = -1;         // the point's index in the record, row by row from the top left
    double screenSeen = -1, imageFilled = -1;  // fractions; -1: not known
    ReportVerdict verdict = ReportVerdict::Judging;
    std::vector<tavori::irl::PointCheck> checks;  // one per point when measured
};

// What is known of a record before it is judged: its points and screen, the verdict Judging.
CalibrationReport PendingReport(const _SCalibration& cal);
// From a record and the size of its camera's frames (25 fits: tens of milliseconds).
CalibrationReport JudgeCalibration(const _SCalibration& cal, int cameraWidth, int cameraHeight);
// The figures and the verdict from what is measured already: points, checks, coverage.
void Judge(CalibrationReport& report);
// Where point `index` of an n x n grid lies: row band * 3 + column band, each band 0 (top or left),
// 1 (inside) or 2 (bottom or right); 4 is the middle.
int PointPlace(int index, int n);

// The verdict as the report file names it.
const char* VerdictWord(ReportVerdict verdict);
std::optional<ReportVerdict> VerdictFromWord(const std::string& word);

// The report as CalibrationReport.ini keeps it, key by key: every key always written (empty when
// not known), so a shorter report never leaves figures of a longer one behind.
std::vector<std::pair<std::string, std::string>> ReportValues(const CalibrationReport& report);
// Back from the file's keys (`value` answers "" for a missing key). nullopt for a section that is no
// report; a damaged figure or point is left out (not known, not drawn), never guessed.
std::optional<CalibrationReport> ReportFromValues(const std::function<std::string(const std::string& key)>& value);

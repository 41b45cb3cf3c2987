// Where the calibration report's picture draws the screen and an arrow per point: the screen kept
// in its proportions inside the picture, each arrow from a point's cross toward where the other
// points place it, enlarged so that a few screen pixels show, and cut short before it reaches the
// next cross. Free of Win32: the dialog draws what this says.
#pragma once
#include <vector>

#include "storage/CalibrationReport.h"

constexpr double kArrowMagnification = 20;  // an arrow is this many times its error at the picture's scale

struct PictureArrow {
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // picture pixels; no length when the point was not predicted
    ErrorClass colour = ErrorClass::Poor;
    bool predicted = false;
};

struct ReportPicture {
    double left = 0, top = 0, right = 0, bottom = 0;  // the screen, in picture pixels
    std::vector<PictureArrow> arrows;
};

// For a picture of width x height pixels; no screen (all zero) for a report without one.
ReportPicture LayOutReportPicture(const CalibrationReport& report, int width, int height);

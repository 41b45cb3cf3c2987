#include "calibration/ReportPicture.h"

#include <algorithm>
#include <cmath>

#include "storage/CalibrationRecord.h"

ReportPicture LayOutReportPicture(const CalibrationReport& report, int width, int height) {
    ReportPicture p;
    if (report.screenWidth <= 0 || report.screenHeight <= 0 || width <= 2 || height <= 2) return p;
    const double margin = 1;
    const double scale = std::min((width - 2 * margin) / report.screenWidth, (height - 2 * margin) / report.screenHeight);
    p.left = (width - scale * report.screenWidth) / 2;
    p.top = (height - scale * report.screenHeight) / 2;
    p.right = p.left + scale * report.screenWidth;
    p.bottom = p.top + scale * report.screenHeight;
    // Half the spacing of the crosses: a longer arrow would point at its neighbour.
    const int n = GridSide(std::max(report.points, 4));
    const double longest = 0.5 * scale * std::min(report.screenWidth, report.screenHeight) / (n - 0.75);
    for (const tavori::irl::PointCheck& c : report.checks) {
        PictureArrow a;
        a.x0 = a.x1 = p.left + scale * c.x;
        a.y0 = a.y1 = p.top + scale * c.y;
        a.colour = ClassOfError(c.error);
        a.predicted = c.error >= 0;
        if (a.predicted && c.error > 0) {
            const double length = std::min(kArrowMagnification * scale * c.error, longest) / c.error;
            a.x1 += length * (c.predictedX - c.x);
            a.y1 += length * (c.predictedY - c.y);
        }
        p.arrows.push_back(a);
    }
    return p;
}

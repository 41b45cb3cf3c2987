// What an accepted calibration says about itself: each point predicted by the fit to all the
// others (leave-one-out, screen pixels), their mean, the worst point and the one thing to do.
#pragma once
#include <string>

#include "MultiIRLight.h"

struct CalibrationReport {
    int points = 0;
    bool measured = false;  // false: a 4-point calibration has no point to spare
    double mean = 0, max = 0;
    int worst = -1;         // the point's index in the record, row by row from the top left
    std::string verdict;
};

// From a record and the size of its camera's frames.
CalibrationReport JudgeCalibration(const _SCalibration& cal, int cameraWidth, int cameraHeight);
// From the errors already measured (count points of an n x n grid; negative: not predicted).
CalibrationReport JudgeErrors(const double* errors, int count);
// Where point `index` of an n x n grid lies on the screen, as a user names it.
std::string PointPlace(int index, int n);

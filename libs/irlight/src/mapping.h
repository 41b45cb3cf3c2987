// Camera-to-screen mapping fitted to a calibration record.
//
// Model, screen -> camera: a homography G onto undistorted camera positions, then radial lens
// distortion about the image centre c = ((w-1)/2, (h-1)/2) with the radius normalised by w/2:
//   q_d = q_u (1 + k1 r^2 + k2 r^4),  q = (p - c) / (w/2).
// All points of the record are fitted at once by least squares (Levenberg-Marquardt on the camera
// residual). When that fit leaves no more than the rounding of the stored positions, the parameters
// are moved to the centre of the set the rounding allows, which lowers the error, most where the
// mapping extrapolates. What the model leaves, when more than rounding noise, is smoothed by a
// regularised thin-plate spline in screen space.
// Camera points are mapped back by inverting the distortion (Newton) and G.
#pragma once

#include <cstdint>

#include "MultiIRLight.h"

namespace tavori::irl {

// Gaussian elimination with partial pivoting: a is n x n (row-major), b is n x m, solved in place;
// false when a is singular or the result not finite.
bool solve(double* a, double* b, int n, int m);

// Screen grid target of cell (row, col) of an n x n calibration over a W x H rectangle, computed
// exactly as the calibration dialogs place their crosses. False when the grid does not fit.
bool gridPoint(uint32_t W, uint32_t H, int n, int row, int col, int32_t& x, int32_t& y);

// Checks that do not need the camera size: point count, rectangle, coordinate ranges.
bool calibrationPlausible(const _SCalibration& cal);

struct MappingOptions {
    // -1: by point count (none for 4 points, k1 from 9). A k2 term fitted to 25 rounded positions
    // follows the rounding more than the lens and raises the error over the screen.
    int radialTerms = -1;
    bool correction = true;       // thin-plate correction of the residual (9 points and more)
    double correctionGate = 0.6;  // camera-pixel RMS residual above which the correction is used
    double smoothing = 1.0;       // thin-plate regularisation, relative to the kernel scale
    int leaveOut = -1;            // a point the fit does not see (leave-one-out judging); -1: none
    bool withinRounding = true;   // centre the parameters in the rounding's set (most of the fit's time)
};

class CameraMapping {
public:
    // Fits the model for frames of imgW x imgH. Returns false (and becomes invalid) for a degenerate
    // record: repeated or collinear points, a non-convex outline, a fit that leaves large residuals.
    bool fit(const _SCalibration& cal, int32_t imgW, int32_t imgH, const MappingOptions& opt = {});
    bool valid() const { return valid_; }
    void reset() { valid_ = false; }

    // Camera position -> screen position relative to the calibrated rectangle, unrounded.
    bool map(double cx, double cy, double& sx, double& sy) const;
    // Screen -> distorted camera position through the fitted model (no correction).
    bool project(double sx, double sy, double& cx, double& cy) const;

    int32_t screenWidth() const { return W_; }
    int32_t screenHeight() const { return H_; }
    double rmsCameraResidual() const { return rms_; }
    double k1() const { return k1_; }
    double k2() const { return k2_; }

private:
    bool mapModel(double cx, double cy, double& sx, double& sy) const;
    bool undistort(double qx, double qy, double& ux, double& uy) const;

    bool valid_ = false;
    int32_t W_ = 0, H_ = 0;
    double cx_ = 0, cy_ = 0, R_ = 1;    // camera normalisation
    double sx0_ = 0, sy0_ = 0, sS_ = 1;  // screen normalisation
    double g_[9] = {};                  // normalised screen -> normalised undistorted camera
    double gi_[9] = {};                 // its inverse
    double k1_ = 0, k2_ = 0;
    double rMax_ = 0;                   // largest undistorted radius the inversion is trusted to
    double rms_ = 0;
    // Thin-plate correction, in normalised screen coordinates, result in screen pixels.
    int nTps_ = 0;
    double tpsX_[36] = {}, tpsY_[36] = {};
    double tpsWx_[36] = {}, tpsWy_[36] = {};
    double tpsAx_[3] = {}, tpsAy_[3] = {};
};

}  // namespace tavori::irl

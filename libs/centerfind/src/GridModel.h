// The camera's view of the calibration grid: grid cell (col, row) -> camera position through a
// projective map onto undistorted camera positions and one radial distortion term about the image
// centre, radius normalised by half the image width (the same lens model the detector's mapping
// fits to a calibration). Fitted by least squares to sightings whose cells are known.
#pragma once

namespace tavori::cf {

struct CellSighting {
    double col, row;  // grid cell
    double x, y;      // camera position, pixel centres at whole numbers
};

class GridModel {
public:
    // False when the sightings cannot fix the model (fewer than five, all near one line) or the
    // fitted lens is not a plausible one.
    bool Fit(const CellSighting* s, int count);
    void Project(double col, double row, double& x, double& y) const;
    double Rms() const { return rms_; }
    double MaxResidual() const { return max_; }
    double K1() const { return p_[8]; }
    // Standard deviation of the projected position of a cell, from the fit's normal equations,
    // for sightings of standard deviation sigma (camera pixels per axis).
    double ProjectionStd(double col, double row, double sigma) const;

private:
    bool Residuals(const double* p, const CellSighting* s, int count, double* r) const;
    bool NormalEquations(const double* p, const CellSighting* s, int count, const double* r, double* jtj, double* g) const;
    static void ProjectWith(const double* p, double col, double row, double& x, double& y);

    double p_[9] = {};
    double jtj_[81] = {};  // normal matrix at the solution  // h00 h01 h02 h10 h11 h12 h20 h21 (h22 = 1), k1
    double rms_ = 0, max_ = 0;
};

// Where the lens and perspective move the centroid of a square's image (w x h grid units centred on
// cell (col, row)) away from the image of its centre.
void SquareCentroidShift(const GridModel& m, double col, double row, double w, double h, double& dx, double& dy);

// Solves a x = b for a small dense system in place (partial pivoting). False when singular.
bool SolveLinear(double* a, double* b, int n);

}  // namespace tavori::cf

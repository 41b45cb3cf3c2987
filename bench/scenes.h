// The picture the benchmarks measure on: a dim noisy background with a gradient (the faintly filmed
// projection) and, unless left out, two pens.
#pragma once

#include "MultiIRLight.h"
#include "synth.h"

namespace bench {

inline synth::Scene twoPenScene(int w, int h, bool pens = true) {
    synth::Scene sc;
    sc.background = 12;
    sc.gradientX = 20.0 / w;
    sc.noise = 2;
    if (pens) sc.spots = {{w * 0.31 + 0.3, h * 0.42 + 0.6, 1.5, 700}, {w * 0.72 + 0.1, h * 0.65 + 0.45, 1.2, 400}};
    return sc;
}

// Calibrates the detector on the virtual camera's grid, scaled to a w x h camera.
inline void calibrate(HMULTIIRLIGHT light, int w, int h) {
    synth::VirtualCamera cam;
    cam.camW = w;
    cam.camH = h;
    for (int i = 0; i < 4; ++i) {
        cam.corners[2 * i] *= w / 640.0;
        cam.corners[2 * i + 1] *= h / 480.0;
    }
    const _SCalibration cal = cam.calibration(5);
    const _SImgPara para{w, h, 0, 95, 50};
    IRLSetConfig(light, &cal);
    IRLSetImgConfig(light, &para);
}

}  // namespace bench

// What a light's first frame tells of it. A pen tip is a small, sharp light; lamps, reflections and
// bright windows are wider, or softer, than any pen. The limits come from the virtual camera (see
// the "lights" figures of the benchmarks): pens of sigma up to 2.5 px at 640 x 480, at any
// brightness the threshold sees, stay inside them; lamps of sigma 4 and wider, at full or half
// brightness, over dark or bright content, fall outside.
#pragma once

#include <cstdint>

#include "detector.h"

namespace tavori::irl {

// The first cue, in the order tried, that marks a light as no pen tip.
enum class LightCue : uint8_t {
    Pen = 0,     // nothing against it: a pen
    Size,        // its lit core is wider than any pen tip's (a window, a large lamp)
    Profile,     // its light falls off over a wider skirt than any pen's
    Saturation,  // it does not saturate the sensor, and falls off wider than a dim pen
};

class LightCues {
public:
    static constexpr double kReferenceWidth = 640;  // the limits below hold at this frame width
    static constexpr double kMaxPenArea = 80;       // lit pixels
    static constexpr double kMaxPenExtent = 12;     // pixels, either way
    static constexpr double kMaxPenProfile = 3.0;   // Spot::profile
    static constexpr double kMaxDimPenProfile = 2.6;
    static constexpr int32_t kSaturated = 250;
    // A threshold this close to the background (laser writing) lights every light wide: no cue
    // tells then.
    static constexpr int32_t kMinLift = 48;

    // Pens look larger in wider frames of the same view. In narrower ones the optics' blur keeps
    // them from shrinking as much: the limits stay.
    void setFrameWidth(int32_t width) { scale_ = width > kReferenceWidth ? width / kReferenceWidth : 1; }
    LightCue judge(const Spot& s) const;

private:
    double scale_ = 1;
};

}  // namespace tavori::irl

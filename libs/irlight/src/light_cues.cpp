#include "light_cues.h"

#include <algorithm>

namespace tavori::irl {

LightCue LightCues::judge(const Spot& s) const {
    if (s.threshold - s.background < kMinLift) return LightCue::Pen;
    const int32_t extent = std::max(s.x1 - s.x0, s.y1 - s.y0) + 1;
    if (s.area > kMaxPenArea * scale_ * scale_ || extent > kMaxPenExtent * scale_) return LightCue::Size;
    if (s.profile > kMaxPenProfile * scale_) return LightCue::Profile;
    if (s.peak < kSaturated && s.profile > kMaxDimPenProfile * scale_) return LightCue::Saturation;
    return LightCue::Pen;
}

}  // namespace tavori::irl

// Frame-to-frame identity of lights and the learned ambient model.
//
// Ambient lights are the fixed bright things a camera also sees (a lamp, a sunlit reflection):
//  - enrolment: lights that stay still from their first sighting to the end of the enrolment window
//    (started by every reset) become ambient; lights that move during it are pens and reported;
//  - absorption: a light that stands still for kAbsorbFrames (tens of seconds, far longer than a
//    pen held for a right click) becomes ambient too;
//  - an ambient region that stays dark for kDarkFrames is forgotten, so it frees again.
#pragma once

#include <cstdint>

#include "detector.h"

namespace tavori::irl {

struct TrackedSpot {
    Spot spot;
    int32_t id = 0;
};

class Tracker {
public:
    static constexpr int kMaxTracks = 64;
    static constexpr int kMaxAmbient = 64;
    static constexpr int kEnrollFrames = 45;
    static constexpr int kAutoEnrollFrames = 90;
    static constexpr int kAbsorbFrames = 1800;
    static constexpr int kDarkFrames = 3;
    static constexpr int kCoastFrames = 2;     // a light missing this many frames keeps its id
    static constexpr double kStillRadius = 3.0;

    Tracker() { restart(kEnrollFrames); }
    void restart(int enrollFrames);
    void setGate(double cameraPixels) { gate_ = cameraPixels; }

    // Takes this frame's spots (heaviest first) and writes the ones to report, in id order.
    int update(const Spot* spots, int n, TrackedSpot* out);

    int ambientCount() const { return namb_; }
    bool enrolling() const { return frame_ < enrollEnd_; }

private:
    struct Track {
        Spot spot;
        double bx, by;  // where it was first seen
        double ax, ay;  // where it has been standing still since
        int32_t id, still, missed;
        bool moved, seen;
    };
    struct Ambient {
        double x, y, radius;
        int32_t dark;
        bool seen;
    };
    struct Pair {
        double d2;
        int16_t t, s;
    };

    void addAmbient(const Spot& s);
    void removeTrack(int i);

    Track tracks_[kMaxTracks];
    int ntracks_ = 0;
    Ambient amb_[kMaxAmbient];
    int namb_ = 0;
    Pair pairs_[kMaxTracks * 64];
    int64_t frame_ = 0, enrollEnd_ = 0;
    double gate_ = 50;
};

}  // namespace tavori::irl

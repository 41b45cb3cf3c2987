// Frame-to-frame identity of lights and the learned model of fixed lights (lamps, reflections).
//
// A light is a pen unless it has given reason to think otherwise:
//  - lights already there in the first frames after a reset may be lamps: they are held back until
//    they move, and their places are remembered as fixed lights;
//  - a light that comes back where a fixed light was is held back the same way (a lamp someone
//    walked past), until that place has been dark for kForgetMs;
//  - a light that appears later is a pen at once, but one that stands still for kStillPublishMs is
//    taken for a lamp switched on since, and becomes a fixed light.
// A held light that moves is a pen after all; it is reported first where it was held, so a pen
// that was on the board presses where it stood.
#pragma once

#include <cstdint>

#include "detector.h"

namespace tavori::irl {

struct TrackedSpot {
    Spot spot;
    int32_t id = 0;
    // Has stood still since it appeared for kSettledMs: more likely a fixed light than a pen.
    bool settled = false;
};

class Tracker {
public:
    static constexpr int kMaxTracks = 64;
    static constexpr int kMaxFixed = 64;
    static constexpr int kStartFrames = 5;
    // Automatic exposure brings lamps over the threshold while it settles.
    static constexpr int kAutoStartFrames = 30;
    static constexpr int64_t kForgetMs = 8000;
    // Five times the hold that makes a right click: the hold and the menu it opens stay usable, and
    // a lamp switched on later lets the button go within seconds.
    static constexpr int64_t kStillPublishMs = 5000;
    static constexpr int64_t kSettledMs = 500;
    static constexpr int kCoastFrames = 2;  // a light missing this many frames keeps its id
    static constexpr double kStillRadius = 3.0;

    Tracker() { restart(kStartFrames); }
    void restart(int startFrames);
    void setGate(double cameraPixels) { gate_ = cameraPixels; }

    // Takes this frame's spots (heaviest first) at time nowMs and writes the ones to report, in id
    // order.
    int update(const Spot* spots, int n, int64_t nowMs, TrackedSpot* out);

    int fixedCount() const { return nfixed_; }

private:
    struct Track {
        Spot spot;
        double ax, ay;  // where it has been standing still since stillSince
        double hx, hy;  // where it stood while held: reported once, when it moves
        int64_t born, stillSince;
        int32_t id, missed;
        bool seen, moved, held;
        bool reportAnchor;  // released this frame: report where it was held
    };
    struct Fixed {
        double x, y, radius;
        int64_t lastLit;
    };
    struct Pair {
        double d2;
        int16_t t, s;
    };

    void associate(const Spot* spots, int n, int64_t now, bool* used);
    void startTracks(const Spot* spots, int n, int64_t now, const bool* used);
    void updateFixed(int64_t now);
    void addFixed(const Spot& s, int64_t now);
    int fixedAt(double x, double y) const;
    int32_t freeId() const;
    void removeTrack(int i) { tracks_[i] = tracks_[--ntracks_]; }

    Track tracks_[kMaxTracks];
    int ntracks_ = 0;
    Fixed fixed_[kMaxFixed];
    int nfixed_ = 0;
    Pair pairs_[kMaxTracks * 64];
    int64_t frame_ = 0, startFrames_ = 0;
    double gate_ = 50;
};

}  // namespace tavori::irl

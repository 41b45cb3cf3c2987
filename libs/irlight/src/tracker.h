// Frame-to-frame identity of lights and the learned model of fixed lights (lamps, reflections,
// bright windows).
//
// A light is a pen unless it has given reason to think otherwise:
//  - lights already there in the first frames after a reset may be lamps: they are held back until
//    they move, and their places are remembered as fixed lights;
//  - a light that comes back inside a fixed light's outline, with about as much light, is held back
//    the same way (a lamp someone walked past), until that place has been dark for kForgetMs;
//  - a light whose first frame shows no pen tip (LightCues: too wide, too soft) is held back from
//    that frame on: a lamp switched on, a window opened; its place becomes a fixed light;
//  - a light that appears later and looks like a pen is one at once, but one that stands still for
//    kStillPublishMs is taken for a small lamp switched on since, and becomes a fixed light.
// A held light that moves is a pen after all; it is reported first where it was held, so a pen that
// was on the board presses where it stood. A pen beside a fixed light, or leaving one it touched, is
// judged on its own light, never on its neighbour's; while it touches one, the two are one light,
// whose centre a pen moves little when the fixed light is larger than a pen tip.
#pragma once

#include <cstdint>

#include "FixedLights.h"
#include "detector.h"
#include "light_cues.h"

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
    // A held light with this much more light than when it was held has another light merged in:
    // its outline is not the fixed light's.
    static constexpr double kGrown = 1.5;
    // A light with between 1/kSameLight and kSameLight times a fixed light's light, inside its
    // outline, may be that light (partly covered, or shifted by the background step).
    static constexpr double kSameLight = 4.0;
    static constexpr int32_t kOutlineMargin = 2;  // pixels around a fixed light's outline

    Tracker() { restart(kStartFrames); }
    void restart(int startFrames);
    void setGate(double cameraPixels) { gate_ = cameraPixels; }
    void setFrameWidth(int32_t width) { cues_.setFrameWidth(width); }

    // Takes this frame's spots (heaviest first) at time nowMs and writes the ones to report, in id
    // order.
    int update(const Spot* spots, int n, int64_t nowMs, TrackedSpot* out);

    int fixedCount() const { return nfixed_; }
    int fixedLights(FixedLight* out, int capacity) const;

private:
    struct Track {
        Spot spot;
        double ax, ay;  // where it has been standing still since stillSince
        double hx, hy;  // where it stood while held: reported once, when it moves
        int64_t born, stillSince;
        int64_t heldMass;  // its light when it was held
        int32_t id, missed;
        bool seen, moved, held;
        bool reportAnchor;  // released this frame: report where it was held
    };
    struct Fixed {
        double x, y;
        int32_t x0, y0, x1, y1;  // outline: the lit box it had when it was learned
        int64_t mass;
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
    // The fixed light that `s` may be: inside its outline, with a like amount of light.
    int fixedAt(const Spot& s) const;
    // A fixed light stands lit right now: a held light is seen inside its outline.
    bool litNow(const Fixed& f, int64_t now) const;
    bool grown(const Track& t) const { return static_cast<double>(t.spot.mass) > kGrown * static_cast<double>(t.heldMass); }
    void hold(Track& t, double x, double y);
    int32_t freeId() const;
    bool makeRoom();
    void removeTrack(int i) { tracks_[i] = tracks_[--ntracks_]; }

    Track tracks_[kMaxTracks];
    int ntracks_ = 0;
    Fixed fixed_[kMaxFixed];
    int nfixed_ = 0;
    Pair pairs_[kMaxTracks * 64];
    int64_t frame_ = 0, startFrames_ = 0;
    double gate_ = 50;
    LightCues cues_;
};

}  // namespace tavori::irl

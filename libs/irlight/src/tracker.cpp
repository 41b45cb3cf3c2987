#include "tracker.h"

#include <algorithm>
#include <cmath>

namespace tavori::irl {

void Tracker::restart(int enrollFrames) {
    ntracks_ = 0;
    namb_ = 0;
    frame_ = 0;
    enrollEnd_ = enrollFrames;
}

void Tracker::addAmbient(const Spot& s) {
    const double half = std::hypot(s.x1 - s.x0 + 1, s.y1 - s.y0 + 1) / 2;
    const Ambient a{s.x, s.y, std::max(3.0, half + 2), 0, true};
    if (namb_ < kMaxAmbient) amb_[namb_++] = a;
}

void Tracker::removeTrack(int i) { tracks_[i] = tracks_[--ntracks_]; }

int Tracker::update(const Spot* spots, int n, TrackedSpot* out) {
    n = std::clamp(n, 0, 64);
    bool ambient[64] = {};

    // Ambient regions swallow the lights inside them and follow them as they drift.
    for (int a = 0; a < namb_; ++a) amb_[a].seen = false;
    for (int s = 0; s < n; ++s) {
        for (int a = 0; a < namb_; ++a) {
            Ambient& r = amb_[a];
            if (std::hypot(spots[s].x - r.x, spots[s].y - r.y) <= r.radius + 3) {
                ambient[s] = true;
                r.seen = true;
                r.x = spots[s].x;
                r.y = spots[s].y;
                break;
            }
        }
    }
    for (int a = 0; a < namb_;) {
        if (amb_[a].seen) {
            amb_[a].dark = 0;
        } else if (++amb_[a].dark >= kDarkFrames) {
            amb_[a] = amb_[--namb_];
            continue;
        }
        ++a;
    }

    // Nearest-neighbour association, closest pairs first.
    int np = 0;
    const double gate2 = gate_ * gate_;
    for (int t = 0; t < ntracks_; ++t) {
        tracks_[t].seen = false;
        for (int s = 0; s < n; ++s) {
            if (ambient[s]) continue;
            const double dx = spots[s].x - tracks_[t].spot.x, dy = spots[s].y - tracks_[t].spot.y;
            const double d2 = dx * dx + dy * dy;
            if (d2 <= gate2) pairs_[np++] = Pair{d2, static_cast<int16_t>(t), static_cast<int16_t>(s)};
        }
    }
    std::sort(pairs_, pairs_ + np, [](const Pair& a, const Pair& b) { return a.d2 < b.d2; });
    bool used[64] = {};
    for (int k = 0; k < np; ++k) {
        Track& t = tracks_[pairs_[k].t];
        const int s = pairs_[k].s;
        if (t.seen || used[s]) continue;
        used[s] = true;
        t.seen = true;
        t.missed = 0;
        t.spot = spots[s];
        if (std::hypot(t.spot.x - t.ax, t.spot.y - t.ay) > kStillRadius) {
            t.ax = t.spot.x;
            t.ay = t.spot.y;
            t.still = 0;
        } else {
            ++t.still;
        }
        if (std::hypot(t.spot.x - t.bx, t.spot.y - t.by) > kStillRadius) t.moved = true;
    }
    for (int t = 0; t < ntracks_;) {
        if (!tracks_[t].seen && ++tracks_[t].missed > kCoastFrames) {
            removeTrack(t);
            continue;
        }
        ++t;
    }
    for (int s = 0; s < n && ntracks_ < kMaxTracks; ++s) {
        if (ambient[s] || used[s]) continue;
        // Smallest id not in use, so ids stay small and a returning pen does not count up forever.
        int32_t id = 1;
        for (bool taken = true; taken; ) {
            taken = false;
            for (int t = 0; t < ntracks_; ++t)
                if (tracks_[t].id == id) {
                    taken = true;
                    ++id;
                    break;
                }
        }
        const Spot& sp = spots[s];
        tracks_[ntracks_++] = Track{sp, sp.x, sp.y, sp.x, sp.y, id, 0, 0, false, true};
    }

    const bool enrolling = frame_ < enrollEnd_;
    const bool enrollEnds = frame_ + 1 == enrollEnd_;
    ++frame_;
    int count = 0;
    for (int t = 0; t < ntracks_;) {
        Track& tr = tracks_[t];
        const bool fixedAtEnrol = enrollEnds && tr.seen && !tr.moved;
        if (fixedAtEnrol || tr.still >= kAbsorbFrames) {
            addAmbient(tr.spot);
            removeTrack(t);
            continue;
        }
        // While enrolling, a light that has not moved yet may be ambient: hold it back.
        if (tr.seen && !(enrolling && !tr.moved)) out[count++] = TrackedSpot{tr.spot, tr.id};
        ++t;
    }
    std::sort(out, out + count, [](const TrackedSpot& a, const TrackedSpot& b) { return a.id < b.id; });
    return count;
}

}  // namespace tavori::irl

#include "tracker.h"

#include <algorithm>
#include <cmath>

namespace tavori::irl {

void Tracker::restart(int startFrames) {
    ntracks_ = 0;
    nfixed_ = 0;
    frame_ = 0;
    startFrames_ = startFrames;
}

bool Tracker::litNow(const Fixed& f, int64_t now) const {
    for (int t = 0; t < ntracks_; ++t) {
        const Track& tr = tracks_[t];
        // Not one born this frame: a light back in two parts is two parts of that light.
        if (tr.seen && tr.held && tr.born != now && tr.spot.x >= f.x0 && tr.spot.x <= f.x1 && tr.spot.y >= f.y0 &&
            tr.spot.y <= f.y1)
            return true;
    }
    return false;
}

int Tracker::fixedAt(const Spot& s) const {
    for (int k = 0; k < nfixed_; ++k) {
        const Fixed& f = fixed_[k];
        const double m = kOutlineMargin;
        if (s.x < f.x0 - m || s.x > f.x1 + m || s.y < f.y0 - m || s.y > f.y1 + m) continue;
        const auto mass = static_cast<double>(s.mass), fixedMass = static_cast<double>(f.mass);
        if (mass * kSameLight >= fixedMass && mass <= kSameLight * fixedMass) return k;
    }
    return -1;
}

void Tracker::addFixed(const Spot& s, int64_t now) {
    const int f = fixedAt(s);
    if (f >= 0) {
        fixed_[f].lastLit = now;
        return;
    }
    if (nfixed_ < kMaxFixed) fixed_[nfixed_++] = Fixed{s.x, s.y, s.x0, s.y0, s.x1, s.y1, s.mass, now};
}

int Tracker::fixedLights(FixedLight* out, int capacity) const {
    const int n = std::min(nfixed_, std::max(capacity, 0));
    for (int k = 0; k < n; ++k) {
        const Fixed& f = fixed_[k];
        out[k] = FixedLight{f.x, f.y, f.x0, f.y0, f.x1, f.y1};
    }
    return n;
}

int32_t Tracker::freeId() const {
    // Smallest id not in use, so ids stay small and a returning pen does not count up forever.
    int32_t id = 1;
    for (bool taken = true; taken;) {
        taken = false;
        for (int t = 0; t < ntracks_; ++t)
            if (tracks_[t].id == id) {
                taken = true;
                ++id;
                break;
            }
    }
    return id;
}

void Tracker::hold(Track& t, double x, double y) {
    t.held = true;
    t.hx = x;
    t.hy = y;
    t.heldMass = t.spot.mass;
}

// Nearest-neighbour association, closest pairs first; marks the spots taken by a track.
void Tracker::associate(const Spot* spots, int n, int64_t now, bool* used) {
    int np = 0;
    const double gate2 = gate_ * gate_;
    for (int t = 0; t < ntracks_; ++t) {
        tracks_[t].seen = false;
        tracks_[t].reportAnchor = false;
        for (int s = 0; s < n; ++s) {
            const double dx = spots[s].x - tracks_[t].spot.x, dy = spots[s].y - tracks_[t].spot.y;
            const double d2 = dx * dx + dy * dy;
            if (d2 <= gate2) pairs_[np++] = Pair{d2, static_cast<int16_t>(t), static_cast<int16_t>(s)};
        }
    }
    std::sort(pairs_, pairs_ + np, [](const Pair& a, const Pair& b) { return a.d2 < b.d2; });
    for (int k = 0; k < np; ++k) {
        Track& t = tracks_[pairs_[k].t];
        const int s = pairs_[k].s;
        if (t.seen || used[s]) continue;
        used[s] = true;
        t.seen = true;
        t.missed = 0;
        t.spot = spots[s];
        if (std::hypot(t.spot.x - t.ax, t.spot.y - t.ay) <= kStillRadius) continue;
        if (t.held) {
            t.held = false;
            t.reportAnchor = true;
        }
        t.moved = true;
        t.ax = t.spot.x;
        t.ay = t.spot.y;
        t.stillSince = now;
    }
    for (int t = 0; t < ntracks_;) {
        if (!tracks_[t].seen && ++tracks_[t].missed > kCoastFrames) {
            removeTrack(t);
            continue;
        }
        ++t;
    }
}

// A full table gives up the light missed longest: every light of this frame gets a track, so no
// crowd of flickering lights can keep a pen out.
bool Tracker::makeRoom() {
    int victim = -1;
    for (int t = 0; t < ntracks_; ++t)
        if (!tracks_[t].seen && (victim < 0 || tracks_[t].missed > tracks_[victim].missed)) victim = t;
    if (victim < 0) return false;
    removeTrack(victim);
    return true;
}

void Tracker::startTracks(const Spot* spots, int n, int64_t now, const bool* used) {
    const bool starting = frame_ < startFrames_;
    for (int s = 0; s < n; ++s) {
        if (used[s]) continue;
        if (ntracks_ == kMaxTracks && !makeRoom()) break;
        const Spot& sp = spots[s];
        // A light coming back where a fixed light stood, while that light is dark, is taken for
        // it. Should it move, it was a pen standing there, and it presses where that light stood:
        // what reappears first can be shifted, as the listener's background step removes what the
        // start snapshot held.
        int f = fixedAt(sp);
        if (f >= 0 && litNow(fixed_[f], now)) f = -1;
        Track t{sp, sp.x, sp.y, sp.x, sp.y, now, now, sp.mass, freeId(), 0, true, false, false, false};
        if (starting || f >= 0 || cues_.judge(sp) != LightCue::Pen)
            hold(t, f >= 0 ? fixed_[f].x : sp.x, f >= 0 ? fixed_[f].y : sp.y);
        if (starting) addFixed(sp, now);
        tracks_[ntracks_++] = t;
    }
}

void Tracker::updateFixed(int64_t now) {
    for (int t = 0; t < ntracks_; ++t) {
        Track& tr = tracks_[t];
        if (!tr.seen) continue;
        if (!tr.held && now - tr.stillSince >= kStillPublishMs) hold(tr, tr.ax, tr.ay);
        // A fixed light stays known while a held light stands in its place; one grown by a pen
        // merged into it would teach a wider outline than the light's own.
        if (tr.held && !grown(tr)) addFixed(tr.spot, now);
    }
    for (int f = 0; f < nfixed_;) {
        if (now - fixed_[f].lastLit > kForgetMs) {
            fixed_[f] = fixed_[--nfixed_];
            continue;
        }
        ++f;
    }
}

int Tracker::update(const Spot* spots, int n, int64_t now, TrackedSpot* out) {
    n = std::clamp(n, 0, 64);
    bool used[64] = {};
    associate(spots, n, now, used);
    startTracks(spots, n, now, used);
    updateFixed(now);
    ++frame_;

    int count = 0;
    for (int t = 0; t < ntracks_; ++t) {
        const Track& tr = tracks_[t];
        if (!tr.seen || tr.held) continue;
        TrackedSpot& o = out[count++];
        o.spot = tr.spot;
        o.id = tr.id;
        o.settled = !tr.moved && now - tr.born >= kSettledMs;
        if (tr.reportAnchor) {
            o.spot.x = tr.hx;
            o.spot.y = tr.hy;
        }
    }
    std::sort(out, out + count, [](const TrackedSpot& a, const TrackedSpot& b) { return a.id < b.id; });
    return count;
}

}  // namespace tavori::irl

// The C surface: validation of every argument, then detection, tracking and mapping.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <new>

#include "FixedLights.h"
#include "MultiIRLight.h"
#include "detector.h"
#include "mapping.h"
#include "tracker.h"

namespace tavori::irl {
namespace {

constexpr uint32_t kMagic = 0x4C524954;  // "TIRL"
constexpr int32_t kMaxSide = 16384;

struct Detector {
    uint32_t magic = kMagic;
    // Written from the UI thread while a find call may run: read once per frame.
    std::atomic<int32_t> threshold{220};
    std::atomic<uint32_t> minContrast{15};
    std::atomic<uint32_t> resetSeq{0};
    std::atomic<int32_t> resetFrames{Tracker::kStartFrames};
    uint32_t seenSeq = 0;

    bool sizeFixed = false;
    bool haveCal = false;
    bool mapDirty = false;
    _SCalibration cal{};
    CameraMapping mapping;
    SpotDetector detector;
    Tracker tracker;
    int32_t primaryId = 0;
    Spot spots[SpotDetector::kMaxSpots];
    TrackedSpot tracked[SpotDetector::kMaxSpots];
};

Detector* get(HMULTIIRLIGHT h) {
    auto* d = static_cast<Detector*>(h);
    return d && d->magic == kMagic ? d : nullptr;
}

void requestReset(Detector& d, int frames) {
    d.resetFrames.store(frames, std::memory_order_relaxed);
    d.resetSeq.fetch_add(1, std::memory_order_release);
}

// Checks the frame against its own size fields and the configured size; returns the lights to
// report in id order (camera pixels), or -1 for a refused frame.
int process(Detector& d, const SCapFrame* f) {
    if (!f || !f->pData || f->nBitCount != 24) return -1;
    if (f->nWidth < 2 || f->nHeight < 2 || f->nWidth > kMaxSide || f->nHeight > kMaxSide) return -1;
    const auto w = static_cast<int32_t>(f->nWidth), h = static_cast<int32_t>(f->nHeight);
    const uint32_t stride = SCapFrameStride(f->nWidth);
    if (uint64_t{stride} * f->nHeight != f->nSize) return -1;
    if (w != d.detector.width() || h != d.detector.height()) {
        if (d.sizeFixed) return -1;
        d.detector.configure(w, h);
        d.tracker.setFrameWidth(w);
        d.mapDirty = true;
    }
    if (d.mapDirty) {
        d.mapDirty = false;
        if (!d.haveCal || !d.mapping.fit(d.cal, w, h)) d.mapping.reset();
    }
    const uint32_t seq = d.resetSeq.load(std::memory_order_acquire);
    if (seq != d.seenSeq) {
        d.seenSeq = seq;
        d.tracker.restart(d.resetFrames.load(std::memory_order_relaxed));
        d.primaryId = 0;
    }
    DetectParams p;
    p.threshold = std::clamp(d.threshold.load(std::memory_order_relaxed), 1, 255);
    p.minContrast = static_cast<int32_t>(std::min<uint32_t>(d.minContrast.load(std::memory_order_relaxed), 255));
    const ImageView img{f->pData, w, h, static_cast<std::ptrdiff_t>(stride)};
    const int n = d.detector.detect(img, p, d.spots);
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count();
    return d.tracker.update(d.spots, n, static_cast<int64_t>(now), d.tracked);
}

int32_t roundClamp(double v, double lo, double hi) {
    return static_cast<int32_t>(std::lround(std::clamp(v, lo, hi)));
}

// Screen position of a light, clamped onto the rectangle within the edge margin; false beyond it.
bool toScreen(const Detector& d, const Spot& s, int32_t& x, int32_t& y) {
    double sx, sy;
    if (!d.mapping.map(s.x, s.y, sx, sy)) return false;
    const int32_t W = d.mapping.screenWidth(), H = d.mapping.screenHeight();
    const double mx = std::max(8.0, W / 40.0), my = std::max(8.0, H / 40.0);
    if (sx < -0.5 - mx || sx > W - 0.5 + mx || sy < -0.5 - my || sy > H - 0.5 + my) return false;
    x = roundClamp(sx, 0, W - 1);
    y = roundClamp(sy, 0, H - 1);
    return true;
}

template <class F>
int guarded(F&& f) noexcept {
    try {
        return f();
    } catch (...) {
        return 0;
    }
}

}  // namespace

int ReadFixedLights(HMULTIIRLIGHT h, FixedLight* out, int capacity) {
    const Detector* d = get(h);
    return d && out ? d->tracker.fixedLights(out, capacity) : 0;
}

bool ScreenPlaceOfLight(HMULTIIRLIGHT h, const FixedLight& light, double& sx, double& sy, int32_t& width, int32_t& height) {
    const Detector* d = get(h);
    if (!d || !d->mapping.valid() || !d->mapping.map(light.x, light.y, sx, sy)) return false;
    width = d->mapping.screenWidth(), height = d->mapping.screenHeight();
    return true;
}

}  // namespace tavori::irl

using namespace tavori::irl;

extern "C" {

HMULTIIRLIGHT IRLCreate(void) { return new (std::nothrow) Detector(); }

int IRLInit(HMULTIIRLIGHT h) {
    Detector* d = get(h);
    if (!d) return 0;
    requestReset(*d, Tracker::kStartFrames);
    return 1;
}

int IRLUninit(HMULTIIRLIGHT h) {
    Detector* d = get(h);
    if (!d) return 0;
    d->magic = 0;
    delete d;
    return 1;
}

int GreyValue(HMULTIIRLIGHT h, int threshold) {
    Detector* d = get(h);
    if (!d) return 0;
    d->threshold.store(std::clamp(threshold, 1, 255), std::memory_order_relaxed);
    return 1;
}

int IRLSetImgConfig(HMULTIIRLIGHT h, const _SImgPara* para) {
    Detector* d = get(h);
    if (!d || !para) return 0;
    if (para->width < 2 || para->height < 2 || para->width > kMaxSide || para->height > kMaxSide) return 0;
    return guarded([&] {
        d->detector.configure(para->width, para->height);
        d->tracker.setFrameWidth(para->width);
        d->sizeFixed = true;
        d->mapDirty = true;
        d->tracker.setGate(para->moveStep > 0 ? para->moveStep : 50);
        return 1;
    });
}

int IRLSetConfig(HMULTIIRLIGHT h, const _SCalibration* cal) {
    Detector* d = get(h);
    if (!d || !cal) return 0;
    d->cal = *cal;
    d->mapDirty = true;
    d->haveCal = calibrationPlausible(*cal);
    if (!d->haveCal) return 0;
    // Judge the record now; before the frame size is known, a size that holds its points stands in.
    int32_t w = d->detector.width(), hh = d->detector.height();
    if (w <= 0 || hh <= 0) {
        uint32_t mx = 0, my = 0;
        for (uint32_t i = 0; i < cal->lPtCount; ++i) {
            mx = std::max(mx, cal->x[i]);
            my = std::max(my, cal->y[i]);
        }
        w = std::max<int32_t>(640, static_cast<int32_t>(mx) + 1);
        hh = std::max<int32_t>(480, static_cast<int32_t>(my) + 1);
    }
    CameraMapping probe;
    d->haveCal = probe.fit(*cal, w, hh);
    return d->haveCal ? 1 : 0;
}

int IRLSetCmpPara(HMULTIIRLIGHT h, unsigned int minContrast) {
    Detector* d = get(h);
    if (!d) return 0;
    d->minContrast.store(minContrast, std::memory_order_relaxed);
    return 1;
}

int IRLResetEnroll(HMULTIIRLIGHT h) {
    Detector* d = get(h);
    if (!d) return 0;
    requestReset(*d, Tracker::kStartFrames);
    return 1;
}

int IRLResetAutoEnroll(HMULTIIRLIGHT h) {
    Detector* d = get(h);
    if (!d) return 0;
    requestReset(*d, Tracker::kAutoStartFrames);
    return 1;
}

int IRLFindMostLight(HMULTIIRLIGHT h, const SCapFrame* frame, _SDetectPoint* pts) {
    Detector* d = get(h);
    if (!d || !pts) return 0;
    return guarded([&] {
        const int n = process(*d, frame);
        if (n <= 0) return 0;
        const TrackedSpot* best = std::max_element(d->tracked, d->tracked + n, [](const TrackedSpot& a, const TrackedSpot& b) {
            return a.spot.mass < b.spot.mass;
        });
        const double maxX = d->detector.width() - 1, maxY = d->detector.height() - 1;
        pts[0] = _SDetectPoint{best->id, roundClamp(best->spot.x, 0, maxX), roundClamp(best->spot.y, 0, maxY), 1};
        return 1;
    });
}

int IRLFindWinPoint(HMULTIIRLIGHT h, const SCapFrame* frame, _SDetectPoint* pts, int capacity) {
    Detector* d = get(h);
    if (!d || !pts || capacity <= 0) return 0;
    return guarded([&] {
        const int n = process(*d, frame);
        const int cap = std::min(capacity, SpotDetector::kMaxSpots);
        int count = 0;
        for (int i = 0; i < n && count < cap; ++i) {
            int32_t x, y;
            if (toScreen(*d, d->tracked[i].spot, x, y)) pts[count++] = _SDetectPoint{d->tracked[i].id, x, y, 1};
        }
        return count;
    });
}

int IRLFindWinPointOne(HMULTIIRLIGHT h, const SCapFrame* frame, _SDetectPoint* pts) {
    Detector* d = get(h);
    if (!d || !pts) return 0;
    return guarded([&] {
        const int n = process(*d, frame);
        // A light that has stood still since it appeared never owns the output while another is
        // there; then keep following the light the cursor followed; then the heaviest.
        int best = -1;
        _SDetectPoint bestPt{};
        auto rank = [&](const TrackedSpot& t) { return (t.settled ? 0 : 2) + (t.id == d->primaryId ? 1 : 0); };
        for (int i = 0; i < n; ++i) {
            const TrackedSpot& t = d->tracked[i];
            int32_t x, y;
            if (!toScreen(*d, t.spot, x, y)) continue;
            const bool wins = best < 0 || rank(t) > rank(d->tracked[best]) ||
                              (rank(t) == rank(d->tracked[best]) && t.spot.mass > d->tracked[best].spot.mass);
            if (wins) {
                best = i;
                bestPt = _SDetectPoint{t.id, x, y, 1};
            }
        }
        d->primaryId = best >= 0 ? bestPt.id : 0;
        if (best < 0) return 0;
        pts[0] = bestPt;
        return 1;
    });
}

}  // extern "C"

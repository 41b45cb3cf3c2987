#include "calibration/AutoCalibStages.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {
// 3 frame periods, 50..120 ms: what the pattern interval falls back to.
int32_t FrameBasedInterval(int32_t frames) {
    const int32_t period = frames > 0 ? 1000 / frames : 16;
    return std::clamp(3 * period, 50, 120);
}
}  // namespace

AutoCalibTiming ComputeAutoCalibTiming(const AutoCalibSettings& s) {
    AutoCalibTiming t{};
    t.stepMs = s.stepMs > 0 ? static_cast<uint32_t>(s.stepMs) : 1800u;
    uint32_t minimum = 1200;
    if (s.setPtCount == 25) {
        const uint32_t pattern =
            s.patternMs < 1 ? static_cast<uint32_t>(FrameBasedInterval(s.frames)) : static_cast<uint32_t>(s.patternMs);
        const uint64_t product = std::min<uint64_t>(uint64_t{pattern} * 50u, 0xFFFFFFFFu);
        if (product > minimum) minimum = static_cast<uint32_t>(product);
    }
    t.stepMs = std::max(t.stepMs, minimum);
    t.timeoutMs = s.timeoutMs > 0 ? static_cast<uint32_t>(s.timeoutMs) : 12000u;
    t.intervalMs = s.patternMs >= 1 ? s.patternMs : FrameBasedInterval(s.frames);
    return t;
}

void AutoCalibGridPoint(uint32_t W, uint32_t H, int n, int row, int col, int32_t& x, int32_t& y) {
    const uint32_t div = static_cast<uint32_t>(8 * n - 6);
    const uint32_t u = W * 10u / div, v = H * 10u / div;
    x = static_cast<int32_t>(std::trunc(0.1 * u + 0.8 * (col * static_cast<double>(u))));
    y = static_cast<int32_t>(std::trunc(0.1 * v + 0.8 * (row * static_cast<double>(v))));
}

namespace {
// The square of side `size` centred on (cx, cy) - top-left (cx - size/2, cy - size/2) - or, where
// the screen would cut it, the largest square centred there that it does not cut. The outer grid
// points lie W/34 and H/34 from the edges: on a screen under 1020 pixels (an XGA or WXGA
// projector) a full square would be clipped there, its lit part's centre off the point, and every
// calibration made on it biased by a few pixels.
PatternSquare Centred(int32_t cx, int32_t cy, int32_t size, uint32_t W, uint32_t H) {
    const int64_t room = std::min({int64_t{cx}, int64_t{cy}, int64_t{W} - cx, int64_t{H} - cy});
    const int32_t half = static_cast<int32_t>(std::clamp<int64_t>(room, 4, size / 2));
    return {true, cx - half, cy - half, 2 * half};
}
}  // namespace

PatternSquare AutoCalibPattern(int stage, int idx, int setPtCount, uint32_t W, uint32_t H) {
    PatternSquare sq;
    if (stage == 0) return sq;
    sq.lit = true;
    if (setPtCount == 25) {
        int32_t cx, cy;
        AutoCalibGridPoint(W, H, 5, 2, 2, cx, cy);
        if (stage == 1) {
            if (idx % 2) sq = {true, cx - 20, cy - 90, 40};
            else sq = {true, cx - 30, cy - 30, 60};
        } else {
            const int k = idx % 25;
            int32_t px, py;
            AutoCalibGridPoint(W, H, 5, k / 5, k % 5, px, py);
            sq = Centred(px, py, 60, W, H);
        }
        return sq;
    }
    int32_t c[4][2];
    for (int i = 0; i < 4; ++i) AutoCalibGridPoint(W, H, 2, i / 2, i % 2, c[i][0], c[i][1]);
    const int32_t mx = (c[0][0] + c[1][0]) / 2, my = (c[0][1] + c[2][1]) / 2;
    if (stage == 1) {
        if (idx % 2) sq = {true, mx - 45, my - 210, 92};
        else sq = {true, mx - 70, my - 70, 140};
    } else {
        const int k = idx % 5;
        const int32_t x = k < 4 ? c[k][0] : mx, y = k < 4 ? c[k][1] : my;
        sq = Centred(x, y, 140, W, H);
    }
    return sq;
}

void FillRecordFromPoints(_SCalibration& record, const double* points, int type, int count) {
    auto put = [&](int i, int k, double dy) {
        record.x[i] = static_cast<uint32_t>(static_cast<int64_t>(points[2 * k]));
        record.y[i] = static_cast<uint32_t>(static_cast<int64_t>(points[2 * k + 1] + dy));
    };
    if (count == 25) {
        for (int i = 0; i < 25; ++i) {
            const int r = i / 5, c = i % 5;
            if (type == 0) put(i, r * 5 + (4 - c), i >= 20 ? 2 : 0);
            else if (type == 1) put(i, (4 - r) * 5 + c, 0);
        }
    } else if (count == 4) {
        static const int kType0[4] = {1, 0, 3, 2}, kType1[4] = {2, 3, 0, 1};
        for (int i = 0; i < 4; ++i) {
            if (type == 0) put(i, kType0[i], 0);
            else if (type == 1) put(i, kType1[i], 0);
        }
    }
}

template <class... A>
void AutoCalibStages::Trace(const char* format, A... args) {
    char line[256];
    std::snprintf(line, sizeof line, format, args...);
    host_.Trace(line);
}

void AutoCalibStages::Start(const AutoCalibSettings& s) {
    settings_ = s;
    timing_ = ComputeAutoCalibTiming(s);
    Trace("AutoCalib start setPtCount=%d", s.setPtCount);
    stage1Done_ = stage0Captured_ = false;
    stepTick_ = lastCallTick_ = startTick_ = host_.Now();
    attempt_ = 1;
    accepting_ = true;
    stage_ = 0;
    finishedCount_ = 0;
    ResetPattern(host_.Now());
}

void AutoCalibStages::ResetPattern(uint32_t now) {
    idx_ = 0;
    phaseStart_ = lastCallTick_ = now;
    interval_ = timing_.intervalMs;
    Trace("AutoCalib pattern reset stage=%d interval=%dms setPtCount=%d bImage=%d stage1Done=%d idx=%d", stage_,
          interval_, settings_.setPtCount, stage_, stage1Done_ ? 1 : 0, idx_);
    DrawPattern();
}

void AutoCalibStages::PatternTick(uint32_t now) {
    if ((stage_ != 1 && stage_ != 2) || interval_ <= 0 || now < phaseStart_ ||
        now - phaseStart_ < static_cast<uint32_t>(interval_))
        return;
    const int count = stage_ == 1 ? 2 : settings_.setPtCount == 25 ? 25 : 5;
    phaseStart_ = now;
    const int before = idx_;
    idx_ = (idx_ + 1) % count;
    if (settings_.setPtCount == 25)
        Trace("AutoCalib pattern tick stage=%d idx=%d->%d count=%d", stage_, before, idx_, count);
    DrawPattern();
}

void AutoCalibStages::DrawPattern() {
    const PatternSquare sq = AutoCalibPattern(stage_, idx_, settings_.setPtCount, W_, H_);
    if (settings_.setPtCount == 25 && stage_ != 0 && stage_ != 1) {
        const int k = idx_ % 25;
        if (stage_ != lastDrawnStage_ || k != lastDrawnCell_)
            Trace("AutoCalib draw(25) stage=%d idx=%d row=%d col=%d x=%d y=%d", stage_, idx_, k / 5, k % 5,
                  sq.left + sq.size / 2, sq.top + sq.size / 2);
        lastDrawnCell_ = k;
    }
    lastDrawnStage_ = stage_;
    host_.Draw(sq);
}

bool AutoCalibStages::GateOpen(uint32_t now) const {
    // The four-point pattern shows each square for about 130 ms, and after the black screen and
    // stage 1 its 2 s attempt has little more than half a second left: the finder sees every
    // frame. One call per 260 ms would land on the same two squares in every attempt.
    if (settings_.setPtCount == 4) return true;
    if (settings_.setPtCount != 25) return now - lastCallTick_ >= 260;
    int32_t gate = 180;
    if (interval_ > 0 && interval_ / 2 > 120) gate = interval_ / 2;
    gate = std::min(gate, 380);
    if (now - lastCallTick_ < static_cast<uint32_t>(gate)) return false;
    if (interval_ <= 0) return true;
    const uint32_t since = now >= phaseStart_ ? now - phaseStart_ : 0;
    const int32_t phase = static_cast<int32_t>(since % static_cast<uint32_t>(interval_));
    return phase >= interval_ / 4 && phase <= 3 * interval_ / 4;
}

FrameOutcome AutoCalibStages::OnFrame(const AutoCalibSettings& s, const uint8_t* pixels) {
    if (!accepting_ || !pixels) return FrameOutcome::Ignored;
    accepting_ = false;
    const uint32_t now = host_.Now();
    settings_ = s;
    timing_ = ComputeAutoCalibTiming(s);
    if (startTick_ == 0) startTick_ = now;

    if (now - startTick_ > timing_.timeoutMs) {
        Trace("AutoCalib timeout stage=%d elapsed=%lu max=%lu", stage_, static_cast<unsigned long>(now - startTick_),
              static_cast<unsigned long>(timing_.timeoutMs));
        return FrameOutcome::Cancelled;
    }
    // Stage 1 finds its pair within a few alternations whenever the camera sees the squares at
    // all; when it does not, the rest of the attempt is wasted: the next, longer exposure starts
    // at once, so that it still has the time it needs before the run's time-out.
    const bool unseen = stage_ == 1 && !stage1Done_ && now - stage1Since_ > kStage1GiveUpMs;
    if (unseen) Trace("AutoCalib stage1 sees no squares after %lu ms", static_cast<unsigned long>(now - stage1Since_));
    if (now - stepTick_ > timing_.stepMs || unseen) {
        if (attempt_ == 0) return FrameOutcome::Cancelled;
        const int32_t base = s.irFilter == 850 ? -4 : -7;
        host_.NextExposure(base + (attempt_ - 1));
        stepTick_ = now;
        attempt_ = attempt_ < 4 ? attempt_ + 1 : 0;
        stage_ = -1;
        stage0Captured_ = stage1Done_ = false;
    }
    const int mode = s.setPtCount == 4 ? 5 : s.setPtCount;

    switch (stage_) {
    case -1:
        stage_ = 0;
        ResetPattern(now);
        break;
    case 0:
        if (!stage0Captured_ && now - stepTick_ > 1000) {
            stage_ = host_.FindCentres(0, mode, pixels, points_, &type_);
            if (stage_ == 1) {
                stage0Captured_ = true;
                stage1Since_ = now;
                Trace("AutoCalib stage0 captured");
                ResetPattern(now);
            }
        } else if (stage0Captured_ && !stage1Done_) {
            stage_ = 1;
            ResetPattern(now);
        }
        if (stage_ == 1) ResetPattern(now);
        break;
    case 1:
        if (stage1Done_) {
            Trace("AutoCalib stage switch: stage1Done=1, force stage=2");
            stage_ = 2;
            ResetPattern(now);
        } else if (now - stepTick_ > 500) {
            const int prev = stage_;
            stage_ = host_.FindCentres(1, mode, pixels, points_, &type_);
            if (stage_ != prev) Trace("AutoCalib stage1 detect return: prev=%d now=%d mode=%d", prev, stage_, mode);
            if (stage_ == 2) {
                stage1Done_ = true;
                Trace("AutoCalib stage1 done");
                ResetPattern(now);
            }
        }
        break;
    case 2:
        if (GateOpen(now)) {
            lastCallTick_ = now;
            const int prev = stage_;
            const int mode2 = s.setPtCount == 25 ? 25 : s.setPtCount == 4 ? 5 : 25;
            stage_ = host_.FindCentres(2, mode2, pixels, points_, &type_);
            if (s.setPtCount == 25 && (stage_ != prev || stage_ == 25))
                Trace("AutoCalib stage2 detect return(25): prev=%d now=%d idx=%d", prev, stage_, idx_);
        }
        break;
    default:
        break;
    }

    if (stage_ == 25 || stage_ == 5) {
        finishedCount_ = stage_ == 25 ? 25 : 4;
        Trace("AutoCalib stage2 done count=%d type=%d", finishedCount_, type_);
        stage_ = 0;
        return FrameOutcome::Finished;
    }
    PatternTick(now);
    accepting_ = true;
    return FrameOutcome::Waiting;
}

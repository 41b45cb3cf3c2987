// The stage machine's timing, exposure attempts, gate and record filling, with a scripted finder.
#include <gtest/gtest.h>

#include <vector>

#include "calibration/AutoCalibStages.h"

namespace {
// Stages 0 and 1 succeed at once (stage 1 never, for a camera that sees no squares); stage 2
// never does. Records when each stage-2 call came.
struct ScriptedHost : AutoCalibHost {
    uint32_t now = 5000;
    bool seesSquares = true;
    uint32_t lastDraw = 0;
    std::vector<uint32_t> calls, phases;
    std::vector<int32_t> exposures;
    uint32_t Now() override { return now; }
    int FindCentres(int stage, int, const uint8_t*, double*, int*) override {
        if (stage == 2) calls.push_back(now), phases.push_back(now - lastDraw);
        return stage == 2 || (stage == 1 && !seesSquares) ? stage : stage + 1;
    }
    void Draw(const PatternSquare&) override { lastDraw = now; }
    void NextExposure(int32_t e) override { exposures.push_back(e); }
    void Trace(const char*) override {}
};

// Runs at 60 frames a second until the run is cancelled; returns the time it took.
uint32_t RunUntilCancel(ScriptedHost& host, AutoCalibStages& stages, const AutoCalibSettings& s) {
    const uint32_t start = host.now;
    stages.SetScreen(1920, 1080);
    stages.Start(s);
    const uint8_t frame = 0;
    for (int k = 1; k < 3000; ++k) {
        host.now = start + static_cast<uint32_t>(k * 1000 / 60);
        if (stages.OnFrame(s, &frame) == FrameOutcome::Cancelled) break;
    }
    return host.now - start;
}
}  // namespace

TEST(AutoCalibStages, TimingFromSettings) {
    const struct {
        AutoCalibSettings in;
        uint32_t step, timeout;
        int32_t interval;
    } table[] = {
        {{25, 2000, 12000, 120, 60, 650}, 6000, 12000, 120},
        {{4, 2000, 12000, 120, 60, 650}, 2000, 12000, 120},
        {{4, 0, 0, 0, 60, 650}, 1800, 12000, 50},
        {{25, -5, 0, 0, 60, 650}, 2500, 12000, 50},
        {{25, 2000, 9000, 0, 0, 650}, 2500, 9000, 50},
        {{25, 100, 1, 1, 60, 650}, 1200, 1, 1},
    };
    for (const auto& t : table) {
        const AutoCalibTiming r = ComputeAutoCalibTiming(t.in);
        EXPECT_EQ(r.stepMs, t.step);
        EXPECT_EQ(r.timeoutMs, t.timeout);
        EXPECT_EQ(r.intervalMs, t.interval);
    }
}

TEST(AutoCalibStages, PatternSquaresOnTheGrid) {
    // Stage 2 squares sit on the grid points: (56, 507, 958, 1410, 1861) x (31, 285, 538, 792, 1046)
    // for 25 points, (192, 1728) x (108, 972) for 4.
    const struct {
        int stage, idx, count;
        PatternSquare want;
    } table[] = {
        {0, 3, 25, {false, 0, 0, 0}},   {1, 0, 25, {true, 928, 508, 60}},  {1, 1, 25, {true, 938, 448, 40}},
        {2, 26, 25, {true, 477, 1, 60}}, {1, 1, 4, {true, 915, 330, 92}}, {2, 4, 4, {true, 890, 470, 140}},
        {2, 0, 25, {true, 26, 1, 60}},   {2, 6, 25, {true, 477, 255, 60}}, {2, 18, 25, {true, 1380, 762, 60}},
        {2, 24, 25, {true, 1831, 1016, 60}}, {2, 3, 4, {true, 1658, 902, 140}},
    };
    for (const auto& t : table) {
        const PatternSquare s = AutoCalibPattern(t.stage, t.idx, t.count, 1920, 1080);
        EXPECT_EQ(s.lit, t.want.lit);
        EXPECT_EQ(s.left, t.want.left) << t.stage << " " << t.idx;
        EXPECT_EQ(s.top, t.want.top) << t.stage << " " << t.idx;
        EXPECT_EQ(s.size, t.want.size);
    }
}

TEST(AutoCalibStages, RecordFilledByType) {
    double points[50];
    for (int k = 0; k < 25; ++k) points[2 * k] = k + 0.9, points[2 * k + 1] = 100 + k + 0.9;
    const struct {
        int type, count, index;
        uint32_t x, y;
    } table[] = {
        {1, 25, 0, 20, 120}, {1, 25, 24, 4, 104}, {0, 25, 0, 4, 104},   {0, 25, 21, 23, 125},
        {1, 4, 0, 2, 102},   {0, 4, 3, 2, 102},   {7, 25, 5, 555, 555},
    };
    for (const auto& t : table) {
        _SCalibration rec{};
        std::fill(rec.x, rec.x + 36, 555u);
        std::fill(rec.y, rec.y + 36, 555u);
        FillRecordFromPoints(rec, points, t.type, t.count);
        EXPECT_EQ(rec.x[t.index], t.x) << t.type << " " << t.index;
        EXPECT_EQ(rec.y[t.index], t.y) << t.type << " " << t.index;
    }
}

TEST(AutoCalibStages, ExposureAttemptsThenCancel) {
    const struct {
        AutoCalibSettings s;
        std::vector<int32_t> exposures;
        uint32_t minMs, maxMs;
        bool seesSquares = true;
    } table[] = {
        // Four points: five 2 s windows (the starting exposure, then base .. base + 3).
        {{4, 2000, 12000, 120, 60, 650}, {-7, -6, -5, -4}, 10000, 10100},
        {{4, 2000, 12000, 120, 60, 850}, {-4, -3, -2, -1}, 10000, 10100},
        // 25 points: 6 s windows, so the time-out ends the second one.
        {{25, 2000, 12000, 120, 60, 650}, {-7}, 12000, 12100},
        // No squares in stage 1: each attempt gives up 1.5 s after the black screen.
        {{25, 2000, 12000, 120, 60, 650}, {-7, -6, -5, -4}, 12000, 12100, false},
    };
    for (const auto& t : table) {
        ScriptedHost host;
        host.seesSquares = t.seesSquares;
        AutoCalibStages stages(host);
        const uint32_t took = RunUntilCancel(host, stages, t.s);
        EXPECT_EQ(host.exposures, t.exposures);
        EXPECT_GE(took, t.minMs);
        EXPECT_LE(took, t.maxMs);
        EXPECT_FALSE(stages.Accepting());
    }
}

TEST(AutoCalibStages, StageTwoCallsOnlyInTheMiddleOfASquare) {
    for (int32_t pattern : {80, 120, 500}) {
        ScriptedHost host;
        AutoCalibStages stages(host);
        RunUntilCancel(host, stages, {25, 2000, 12000, pattern, 60, 650});
        ASSERT_GT(host.calls.size(), 10u);
        const uint32_t gate = std::min(380, std::max(180, pattern / 2 > 120 ? pattern / 2 : 180));
        for (size_t i = 1; i < host.calls.size(); ++i) {
            const uint32_t gap = host.calls[i] - host.calls[i - 1];
            // Calls of different attempts are separated by a pattern reset.
            if (gap < 1000) {
                EXPECT_GE(gap, gate);
            }
        }
        for (uint32_t phase : host.phases) {
            EXPECT_GE(phase, uint32_t(pattern / 4));
            EXPECT_LE(phase, uint32_t(3 * pattern / 4));
        }
    }
}

// The stage machine's timing, exposure attempts and gate, with a scripted finder.
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

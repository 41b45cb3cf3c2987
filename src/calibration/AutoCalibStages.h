// The automatic calibration's stage machine, free of Win32: timing, exposure attempts, the
// pattern shown, the gate that decides which frames reach the centre finder, and the record built
// from the finder's result. The dialog gives it a clock, the finder, a painter and a trace through
// AutoCalibHost, so the tests drive this very code with a simulated camera.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"

struct AutoCalibSettings {
    int32_t setPtCount = 25;
    int32_t stepMs = 2000;       // AutoCalibStepMs
    int32_t timeoutMs = 12000;   // AutoCalibTimeoutMs
    int32_t patternMs = 120;     // AutoCalibPatternMs
    int32_t frames = 60;         // Frames
    int32_t irFilter = 650;      // IRFilter
};

struct AutoCalibTiming {
    uint32_t stepMs;     // one exposure attempt
    uint32_t timeoutMs;  // the whole run
    int32_t intervalMs;  // display time of one pattern element
};
AutoCalibTiming ComputeAutoCalibTiming(const AutoCalibSettings& s);

// Screen grid target (row, col) of an n x n grid over W x H, one tenth of a unit in from the edges.
void AutoCalibGridPoint(uint32_t W, uint32_t H, int n, int row, int col, int32_t& x, int32_t& y);

struct PatternSquare {
    bool lit = false;  // false: the screen is all black
    int32_t left = 0, top = 0, size = 0;
};
PatternSquare AutoCalibPattern(int stage, int idx, int setPtCount, uint32_t W, uint32_t H);

// Copies the finder's output into the record's grid order; other types leave the record alone.
void FillRecordFromPoints(_SCalibration& record, const double* points, int type, int count);

class AutoCalibHost {
public:
    virtual ~AutoCalibHost() = default;
    virtual uint32_t Now() = 0;  // milliseconds
    virtual int FindCentres(int stage, int mode, const uint8_t* pixels, double* points, int* type) = 0;
    virtual void Draw(const PatternSquare& square) = 0;
    // Sets the exposure of the next attempt and has the controller apply it to the cameras.
    virtual void NextExposure(int32_t exposure) = 0;
    virtual void Trace(const char* line) = 0;
};

enum class FrameOutcome {
    Ignored,    // not accepting, or no frame
    Waiting,    // processed; the next frame is accepted
    Cancelled,  // time-out or attempts used up: the dialog cancels
    Finished,   // centres found: FinishedCount() points are in Points()
};

class AutoCalibStages {
public:
    explicit AutoCalibStages(AutoCalibHost& host) : host_(host) {}

    void SetScreen(uint32_t W, uint32_t H) { W_ = W, H_ = H; }
    void Start(const AutoCalibSettings& s);
    void SetStage(int stage) { stage_ = stage; }
    void StopAccepting() { accepting_ = false; }
    // One camera frame (null = none). Settings are taken anew for every frame.
    FrameOutcome OnFrame(const AutoCalibSettings& s, const uint8_t* pixels);

    int Stage() const { return stage_; }
    bool Accepting() const { return accepting_; }
    int FinishedCount() const { return finishedCount_; }
    const double* Points() const { return points_; }
    int Type() const { return type_; }

private:
    void ResetPattern(uint32_t now);
    void PatternTick(uint32_t now);
    void DrawPattern();
    bool GateOpen(uint32_t now) const;
    template <class... A>
    void Trace(const char* format, A... args);

    AutoCalibHost& host_;
    AutoCalibSettings settings_;
    AutoCalibTiming timing_{};
    uint32_t W_ = 0, H_ = 0;
    bool accepting_ = false;
    static constexpr uint32_t kStage1GiveUpMs = 1500;
    uint32_t stepTick_ = 0, startTick_ = 0, phaseStart_ = 0, lastCallTick_ = 0, stage1Since_ = 0;
    int attempt_ = 0, idx_ = 0, stage_ = 0;
    int32_t interval_ = 0;
    bool stage0Captured_ = false, stage1Done_ = false;
    int lastDrawnStage_ = -99, lastDrawnCell_ = -1;
    double points_[50] = {};
    int type_ = 2;
    int finishedCount_ = 0;
};

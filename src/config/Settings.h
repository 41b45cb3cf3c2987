// The process-wide settings record, filled once at start from the settings file beside the program.
#pragma once
#include <cstdint>
#include <string>

#include "config/SharedWords.h"  // g_nExposure, g_nPtCount, enrollSign, searchType

struct CSystemSettings {
    std::string ExePath;
    std::string AppDir;
    std::string IniPath;
    std::string LangName;
    std::string DrawFile;
    std::string CalibIniPath;
    std::string CamName;
    int32_t AutoRunDraw = 0, Setting = 0, CamID = -1, Direction = 0, Frames = 60;
    int32_t AutoCalibStepMs = 2000, AutoCalibTimeoutMs = 12000, AutoCalibPatternMs = 120;
    int32_t Width = 640, Height = 480, MaxColor = 95, MinColor = 95, GreyValue = 220;
    int32_t OnRightButtonTime = 1000, OnRightButtonStep = 5, IgnoreMove = 0;
    int32_t ApplicationVersion = 0, MouseDown = 0;
    int32_t EnrollColor = 95, EnrollWidth = 50, EnrollHeight = 50, EnrollExposure = 2;
    int32_t AddExposureLF = -8, AddExposureSF = -8, AddExposureHSF = -8;
    int32_t EnrollAuto = -6;
    int32_t IRFilter = 650, LoopTimes = 200;
    int32_t DSetup = 0, MultiScreen = 1, MoveStep = 50, SetPtCount = 0, PtCount = 0;
    int32_t TimeRight = 60, TimeDBClick = 600, TimeDBClickDis = 800, Management = 800;
    // Pen point steadying: on/off, still cut-off in 0.1 Hz, speed gain in 0.001 Hz per px/s, hysteresis in 0.01 px.
    int32_t PenFilter = 1, PenFilterMinCutoff = 3, PenFilterBeta = 50, PenFilterHysteresis = 50;
    // The TUIO output: on/off, and where its UDP packets go.
    int32_t Tuio = 0, TuioPort = 3333;
    std::string TuioHost = "127.0.0.1";
    // Where pens go: 0 the mouse, 1 touch, 2 the pen (OutputKind); read from Output=mouse|touch|pen.
    int32_t Output = 0;

    // Frame period of the capture loop. `Frames` of 0 or below reads as the default 60 frames per
    // second: a camera loop must never divide by zero or spin without pause.
    uint32_t FramePeriodMs() const;
    // The laser builds (ApplicationVersion 1 and 4) calibrate without asking for the laser first.
    bool LaserBuild() const { return ApplicationVersion == 1 || ApplicationVersion == 4; }
};

extern CSystemSettings g_Settings;

void LoadSettings();
void ReloadSearchType();
// The Output key's words, by OutputKind; anything else reads as the mouse.
int32_t ParseOutput(const std::string& word);
const char* OutputWord(int32_t output);
// Keeps the choice in Tavori.ini and in g_Settings.
void WriteOutput(int32_t output);
// Writes [System] Management = "0" (quit, or a start-up that cannot go on).
void WriteManagementZero();

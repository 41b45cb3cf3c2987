#include "config/Settings.h"

#include <windows.h>

#include <climits>
#include <cstring>

#include "config/IniFile.h"
#include "config/LangText.h"

CSystemSettings g_Settings;

namespace {
constexpr const char* kSystem = "System";
constexpr const char* kEnroll = "Enroll";
constexpr int32_t kDefaultFrames = 60;

// Keys with a sane range. A value below `lowest` is taken as unset (the default), one above `highest`
// as `highest`, read without 32-bit wrap-around: a mistyped huge number must never turn into a
// button that is not released or a pen that stays ignored. Times are in milliseconds.
struct RangedKey {
    const char* key;
    int32_t def, lowest, highest;
};
constexpr int32_t kUnbounded = INT32_MIN;  // the automatic calibration handles low values itself
const RangedKey kRangedKeys[] = {
    {"AutoCalibStepMs", 2000, kUnbounded, 60000},
    {"AutoCalibTimeoutMs", 12000, kUnbounded, 600000},
    {"AutoCalibPatternMs", 120, kUnbounded, 10000},
    // A held pen turns into a right click after this; more than 10 s would never happen on purpose.
    {"OnRightButtonTime", 1000, 1, 10000},
    // The gap that ends a press: a second at most, or lifting the pen no longer feels like a release.
    {"TimeRight", 60, 1, 1000},
    // 0 turns double clicks off; 5 s is far beyond any double click.
    {"TimeDBClick", 600, 0, 5000},
    // The pen is ignored this long after a double click: at most 2 s of deafness.
    {"TimeDBClickDis", 800, 0, 2000},
    // Pen steadying: 0.1..20 Hz when still, up to 1 Hz more per px/s, hysteresis up to one pixel.
    {"PenFilter", 1, 0, 1},
    {"PenFilterMinCutoff", 3, 1, 200},
    {"PenFilterBeta", 50, 0, 1000},
    {"PenFilterHysteresis", 50, 0, 100},
    {"Tuio", 0, 0, 1},
    {"TuioPort", 3333, 1, 65535},
};

int32_t ReadRanged(const std::string& ini, const char* key) {
    for (const RangedKey& t : kRangedKeys) {
        if (std::strcmp(t.key, key) != 0) continue;
        const int32_t v = ini::ReadInt(ini, kSystem, key, t.def);
        return v < t.lowest ? t.def : (v > t.highest ? t.highest : v);
    }
    return 0;
}

std::string ModulePath() {
    char path[MAX_PATH] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) path[MAX_PATH - 1] = 0;
    char longPath[MAX_PATH] = {};
    DWORD m = GetLongPathNameA(path, longPath, MAX_PATH);
    return (m > 0 && m < MAX_PATH) ? std::string(longPath) : std::string(path);
}
}  // namespace

uint32_t CSystemSettings::FramePeriodMs() const {
    int32_t frames = Frames > 0 ? Frames : kDefaultFrames;
    return static_cast<uint32_t>(1000 / frames);
}

void LoadSettings() {
    CSystemSettings& s = g_Settings;
    s.ExePath = ModulePath();
    s.IniPath = (s.ExePath.size() >= 4 ? s.ExePath.substr(0, s.ExePath.size() - 4) : s.ExePath) + ".ini";
    size_t slash = s.ExePath.find_last_of('\\');
    s.AppDir = slash == std::string::npos ? std::string() : s.ExePath.substr(0, slash);
    s.CalibIniPath = s.AppDir + "\\Calibration.ini";

    s.GreyValue = 220;
    g_nExposure = -11;

    const std::string& ini = s.IniPath;
    auto readInt = [&ini](const char* key, int def) { return ini::ReadInt(ini, kSystem, key, def); };
    s.CamName = ini::ReadString(ini, kSystem, "CamName", "");
    s.CamID = readInt("CamID", -1);
    s.Direction = readInt("Direction", 0);
    s.Frames = readInt("Frames", kDefaultFrames);
    s.AutoCalibStepMs = ReadRanged(ini, "AutoCalibStepMs");
    s.AutoCalibTimeoutMs = ReadRanged(ini, "AutoCalibTimeoutMs");
    s.AutoCalibPatternMs = ReadRanged(ini, "AutoCalibPatternMs");
    s.MaxColor = readInt("MaxColor", 95);
    s.MinColor = readInt("MinColor", 95);
    s.GreyValue = readInt("GreyValue", 220);
    s.Width = readInt("Width", 640);
    s.Height = readInt("Height", 480);
    s.OnRightButtonTime = ReadRanged(ini, "OnRightButtonTime");
    s.IgnoreMove = readInt("IgnoreMove", 0);
    s.OnRightButtonStep = readInt("OnRightButtonStep", 5);
    s.ApplicationVersion = readInt("ApplicationVersion", 0);
    s.MouseDown = readInt("MouseDown", 0);
    s.AddExposureSF = readInt("AddExposureSF", -8);
    s.AddExposureHSF = readInt("AddExposureHSF", -8);
    s.AddExposureLF = readInt("AddExposureLF", -8);
    s.IRFilter = readInt("IRFilter", 650);
    s.DrawFile = ini::ReadString(ini, kSystem, "DrawFile", "");
    s.AutoRunDraw = readInt("AutoRunDraw", 0);
    s.LoopTimes = readInt("LoopTimes", 200);
    s.DSetup = readInt("DSetup", 0);
    s.MultiScreen = readInt("MultiScreen", 1);
    s.MoveStep = readInt("MoveStep", 50);
    s.Setting = readInt("Setting", 0);
    s.SetPtCount = readInt("SetPtCount", 0);
    s.PtCount = readInt("PtCount", s.SetPtCount);
    s.TimeRight = ReadRanged(ini, "TimeRight");
    ini::WriteInt(ini, kSystem, "TimeRight", s.TimeRight);
    s.TimeDBClick = ReadRanged(ini, "TimeDBClick");
    s.TimeDBClickDis = ReadRanged(ini, "TimeDBClickDis");
    s.PenFilter = ReadRanged(ini, "PenFilter");
    s.PenFilterMinCutoff = ReadRanged(ini, "PenFilterMinCutoff");
    s.PenFilterBeta = ReadRanged(ini, "PenFilterBeta");
    s.PenFilterHysteresis = ReadRanged(ini, "PenFilterHysteresis");
    s.Tuio = ReadRanged(ini, "Tuio");
    s.TuioPort = ReadRanged(ini, "TuioPort");
    s.TuioHost = ini::ReadString(ini, kSystem, "TuioHost", "127.0.0.1");
    s.Output = ParseOutput(ini::ReadString(ini, kSystem, "Output", "mouse"));
    s.Management = readInt("Management", 800);

    enrollSign = kEnrollNormal;
    s.EnrollColor = ini::ReadInt(ini, kEnroll, "Color", 95);
    s.EnrollWidth = ini::ReadInt(ini, kEnroll, "Width", 50);
    s.EnrollHeight = ini::ReadInt(ini, kEnroll, "Height", 50);
    s.EnrollExposure = ini::ReadInt(ini, kEnroll, "Exposure", 2);
    s.EnrollAuto = ini::ReadInt(ini, kEnroll, "Auto", -6);
    searchType = 0;

    LoadLanguage();
}

void ReloadSearchType() {
    searchType = ini::ReadInt(g_Settings.AppDir + "\\Tavori.ini", kSystem, "SearchPtType", 0);
}

namespace {
const char* const kOutputWords[] = {"mouse", "touch", "pen"};
}

int32_t ParseOutput(const std::string& word) {
    for (int32_t i = 0; i < 3; ++i)
        if (_stricmp(word.c_str(), kOutputWords[i]) == 0) return i;
    return 0;
}

const char* OutputWord(int32_t output) { return kOutputWords[output >= 0 && output < 3 ? output : 0]; }

void WriteOutput(int32_t output) {
    g_Settings.Output = ParseOutput(OutputWord(output));
    ini::WriteString(g_Settings.IniPath, kSystem, "Output", OutputWord(output));
}

void WriteManagementZero() {
    ini::WriteString(g_Settings.IniPath, kSystem, "Management", "0");
}

#include "config/Settings.h"

#include <windows.h>

#include "config/IniFile.h"
#include "config/LangText.h"

CSystemSettings g_Settings;

namespace {
constexpr const char* kSystem = "System";
constexpr const char* kEnroll = "Enroll";
constexpr int32_t kDefaultFrames = 60;
constexpr int32_t kDefaultTimeRight = 60;

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
    s.AutoCalibStepMs = readInt("AutoCalibStepMs", 2000);
    s.AutoCalibTimeoutMs = readInt("AutoCalibTimeoutMs", 12000);
    s.AutoCalibPatternMs = readInt("AutoCalibPatternMs", 120);
    s.MaxColor = readInt("MaxColor", 95);
    s.MinColor = readInt("MinColor", 95);
    s.GreyValue = readInt("GreyValue", 220);
    s.Width = readInt("Width", 640);
    s.Height = readInt("Height", 480);
    s.OnRightButtonTime = readInt("OnRightButtonTime", 1000);
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
    s.TimeRight = readInt("TimeRight", kDefaultTimeRight);
    if (s.TimeRight < 1) s.TimeRight = kDefaultTimeRight;
    ini::WriteInt(ini, kSystem, "TimeRight", s.TimeRight);
    s.TimeDBClick = readInt("TimeDBClick", 600);
    s.TimeDBClickDis = readInt("TimeDBClickDis", 800);
    s.Management = readInt("Management", 800);

    enrollSign = 0;
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

void WriteManagementZero() {
    ini::WriteString(g_Settings.IniPath, kSystem, "Management", "0");
}

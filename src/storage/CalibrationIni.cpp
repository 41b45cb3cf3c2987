#include "storage/CalibrationIni.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "config/IniFile.h"
#include "config/Settings.h"
#include "storage/CalibrationRecord.h"
#include "win/Trace.h"

namespace {
constexpr const char* kSection = "Calibration";

std::string Key(const char* format, unsigned a) {
    char k[32];
    snprintf(k, sizeof(k), format, a);
    return k;
}
std::string Key2(const char* format, int a, int b) {
    char k[32];
    snprintf(k, sizeof(k), format, a, b);
    return k;
}
uint32_t ReadU32(const ini::Snapshot& file, const char* section, const std::string& key, int def) {
    return static_cast<uint32_t>(file.Int(section, key.c_str(), def));
}
void WriteU32(const char* key, uint32_t value) {
    char text[16];
    snprintf(text, sizeof(text), "%lu", static_cast<unsigned long>(value));
    ini::WriteString(g_Settings.CalibIniPath, kSection, key, text);
}
// The named calibration in use; "" (the section "[]") is a valid name.
std::string ActiveSection(const ini::Snapshot& file) { return file.String("System", "Active", ""); }
}  // namespace

bool LoadIni(_SCalibration& cal) {
    const ini::Snapshot file(g_Settings.CalibIniPath);
    cal.lPtCount = ReadU32(file, kSection, "lPtCount", 0);
    if (cal.lPtCount == 0) return false;
    cal.lWinLeft = ReadU32(file, kSection, "lWinLeft", 0);
    cal.lWinTop = ReadU32(file, kSection, "lWinTop", 0);
    cal.lWinWidth = ReadU32(file, kSection, "lWinWidth", 0);
    cal.lWinHeight = ReadU32(file, kSection, "lWinHeight", 0);
    cal.lScreenIndex = ReadU32(file, kSection, "lScreenIndex", 0);
    cal.lType = ReadU32(file, kSection, "lType", 0);
    g_nExposure = file.Int(kSection, "Exposure", g_nExposure);
    TRACE("LoadIni ok pt=%lu win=%lux%lu exp=%ld", static_cast<unsigned long>(cal.lPtCount),
          static_cast<unsigned long>(cal.lWinWidth), static_cast<unsigned long>(cal.lWinHeight),
          static_cast<long>(g_nExposure));
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        cal.x[i] = ReadU32(file, kSection, Key("x%u", i), 0);
        cal.y[i] = ReadU32(file, kSection, Key("y%u", i), 0);
    }
    if (cal.lWinWidth == 0 || cal.lWinHeight == 0) {
        TRACE("LoadIni fail pt=%lu win=%lux%lu", static_cast<unsigned long>(cal.lPtCount),
              static_cast<unsigned long>(cal.lWinWidth), static_cast<unsigned long>(cal.lWinHeight));
        return false;
    }
    return true;
}

void SaveIni(const _SCalibration& cal) {
    WriteU32("lPtCount", cal.lPtCount);
    WriteU32("lWinLeft", cal.lWinLeft);
    WriteU32("lWinTop", cal.lWinTop);
    WriteU32("lWinWidth", cal.lWinWidth);
    WriteU32("lWinHeight", cal.lWinHeight);
    WriteU32("lScreenIndex", cal.lScreenIndex);
    WriteU32("lType", cal.lType);
    char exposure[16];
    snprintf(exposure, sizeof(exposure), "%ld", static_cast<long>(g_nExposure));
    ini::WriteString(g_Settings.CalibIniPath, kSection, "Exposure", exposure);
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        WriteU32(Key("x%u", i).c_str(), cal.x[i]);
        WriteU32(Key("y%u", i).c_str(), cal.y[i]);
    }
}

int FindScreenForCamera(int captureIndex) {
    const ini::Snapshot file(g_Settings.CalibIniPath);
    const std::string active = ActiveSection(file);
    for (int s = 0; s < g_Settings.MultiScreen; ++s) {
        if (file.Int(active.c_str(), Key("CamScreen%u", static_cast<unsigned>(s)).c_str(), -1) == captureIndex)
            return s;
    }
    return -1;
}

_SCalibration ReadScreenCalibration(int screen) {
    const ini::Snapshot file(g_Settings.CalibIniPath);
    const std::string active = ActiveSection(file);
    const char* section = active.c_str();
    _SCalibration cal{};
    unsigned count = g_nPtCount > 0 ? UsedPoints(static_cast<unsigned>(g_nPtCount)) : 0;
    for (unsigned i = 0; i < count; ++i) {
        cal.x[i] = ReadU32(file, section, Key2("x%d%d", screen, static_cast<int>(i)), 0);
        cal.y[i] = ReadU32(file, section, Key2("y%d%d", screen, static_cast<int>(i)), 0);
    }
    unsigned s = static_cast<unsigned>(screen);
    cal.lWinLeft = ReadU32(file, section, Key("winleft%u", s), 0);
    cal.lWinTop = ReadU32(file, section, Key("wintop%u", s), 0);
    cal.lWinWidth = ReadU32(file, section, Key("winwidth%u", s), 1024);
    cal.lWinHeight = ReadU32(file, section, Key("winheight%u", s), 768);
    cal.lPtCount = static_cast<uint32_t>(g_nPtCount);
    return cal;
}

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
// The named calibration in use; "" (the section "[]") is a valid name.
std::string ActiveSection(const ini::Snapshot& file) { return file.String("System", "Active", ""); }
std::string U32Text(uint32_t value) { return std::to_string(static_cast<unsigned long>(value)); }
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

// One replace of the file for the whole record: a save cut short never mixes old and new points.
void SaveIni(const _SCalibration& cal) {
    ini::KeyValues values = {
        {"lPtCount", U32Text(cal.lPtCount)},   {"lWinLeft", U32Text(cal.lWinLeft)},
        {"lWinTop", U32Text(cal.lWinTop)},     {"lWinWidth", U32Text(cal.lWinWidth)},
        {"lWinHeight", U32Text(cal.lWinHeight)}, {"lScreenIndex", U32Text(cal.lScreenIndex)},
        {"lType", U32Text(cal.lType)},         {"Exposure", std::to_string(static_cast<long>(g_nExposure))},
    };
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        values.emplace_back(Key("x%u", i), U32Text(cal.x[i]));
        values.emplace_back(Key("y%u", i), U32Text(cal.y[i]));
    }
    ini::WriteStrings(g_Settings.CalibIniPath, kSection, values);
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

#include "storage/CalibrationIni.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "config/IniFile.h"
#include "config/Settings.h"
#include "storage/CalibrationRecord.h"
#include "storage/CalibrationReport.h"
#include "win/Trace.h"

namespace {
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
std::string U32Text(uint32_t value) { return std::to_string(static_cast<unsigned long>(value)); }
// Rectangle edges are signed: a monitor left of or above the primary one lies at negative positions.
std::string EdgeText(uint32_t value) { return std::to_string(static_cast<int32_t>(value)); }
std::string ReportIniPath() { return g_Settings.AppDir + "\\CalibrationReport.ini"; }
}  // namespace

bool LoadIni(_SCalibration& cal, const std::string& name) {
    const ini::Snapshot file(g_Settings.CalibIniPath);
    const char* section = name.c_str();
    cal.lPtCount = ReadU32(file, section, "lPtCount", 0);
    if (cal.lPtCount == 0) return false;
    cal.lWinLeft = ReadU32(file, section, "lWinLeft", 0);
    cal.lWinTop = ReadU32(file, section, "lWinTop", 0);
    cal.lWinWidth = ReadU32(file, section, "lWinWidth", 0);
    cal.lWinHeight = ReadU32(file, section, "lWinHeight", 0);
    cal.lScreenIndex = ReadU32(file, section, "lScreenIndex", 0);
    cal.lType = ReadU32(file, section, "lType", 0);
    g_nExposure = file.Int(section, "Exposure", g_nExposure);
    TRACE("LoadIni %s ok pt=%lu win=%lux%lu exp=%ld", section, static_cast<unsigned long>(cal.lPtCount),
          static_cast<unsigned long>(cal.lWinWidth), static_cast<unsigned long>(cal.lWinHeight),
          static_cast<long>(g_nExposure));
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        cal.x[i] = ReadU32(file, section, Key("x%u", i), 0);
        cal.y[i] = ReadU32(file, section, Key("y%u", i), 0);
    }
    if (cal.lWinWidth == 0 || cal.lWinHeight == 0) {
        TRACE("LoadIni fail pt=%lu win=%lux%lu", static_cast<unsigned long>(cal.lPtCount),
              static_cast<unsigned long>(cal.lWinWidth), static_cast<unsigned long>(cal.lWinHeight));
        return false;
    }
    return true;
}

// One replace of the file for the whole record: a save cut short never mixes old and new points.
void SaveIni(const _SCalibration& cal, const std::string& section, const std::string& camera) {
    ini::KeyValues values = {
        {"lPtCount", U32Text(cal.lPtCount)},   {"lWinLeft", EdgeText(cal.lWinLeft)},
        {"lWinTop", EdgeText(cal.lWinTop)},    {"lWinWidth", U32Text(cal.lWinWidth)},
        {"lWinHeight", U32Text(cal.lWinHeight)}, {"lScreenIndex", U32Text(cal.lScreenIndex)},
        {"lType", U32Text(cal.lType)},         {"Exposure", std::to_string(static_cast<long>(g_nExposure))},
    };
    if (!camera.empty()) values.emplace_back("Camera", camera);
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        values.emplace_back(Key("x%u", i), U32Text(cal.x[i]));
        values.emplace_back(Key("y%u", i), U32Text(cal.y[i]));
    }
    ini::WriteStrings(g_Settings.CalibIniPath, section.c_str(), values);
}

StoredSections ReadCalibrationSections() {
    const ini::Snapshot file(g_Settings.CalibIniPath);
    StoredSections stored;
    for (int n = 0; n < kMaxCalibrationSections; ++n) {
        const std::string section = CalibrationSectionName(n);
        if (file.Int(section.c_str(), "lPtCount", 0) <= 0)
            stored.emplace_back();
        else
            stored.emplace_back(file.String(section.c_str(), "Camera", ""));
    }
    return stored;
}

int FindScreenForCamera(const std::string& entry, const std::string& devicePath, int captureIndex) {
    const ini::Snapshot file(g_Settings.CalibIniPath);
    const char* section = entry.c_str();
    int bound = -1;
    for (int s = 0; s < kMaxNamedScreens; ++s) {
        const std::string named = file.String(section, Key("CamPath%u", static_cast<unsigned>(s)).c_str(), "");
        if (!named.empty() && SameCamera(named, devicePath)) return s;
        if (bound < 0 && named.empty() &&
            file.Int(section, Key("CamScreen%u", static_cast<unsigned>(s)).c_str(), -1) == captureIndex)
            bound = s;
    }
    return bound;
}

_SCalibration ReadScreenCalibration(const std::string& entry, int screen) {
    const ini::Snapshot file(g_Settings.CalibIniPath);
    const char* section = entry.c_str();
    const unsigned s = static_cast<unsigned>(screen);
    _SCalibration cal{};
    // Entries prepared by hand hold no count: theirs is the count in use.
    cal.lPtCount = ReadU32(file, section, Key("PtCount%u", s), g_nPtCount);
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        cal.x[i] = ReadU32(file, section, Key2("x%d%d", screen, static_cast<int>(i)), 0);
        cal.y[i] = ReadU32(file, section, Key2("y%d%d", screen, static_cast<int>(i)), 0);
    }
    cal.lWinLeft = ReadU32(file, section, Key("winleft%u", s), 0);
    cal.lWinTop = ReadU32(file, section, Key("wintop%u", s), 0);
    cal.lWinWidth = ReadU32(file, section, Key("winwidth%u", s), 1024);
    cal.lWinHeight = ReadU32(file, section, Key("winheight%u", s), 768);
    cal.lScreenIndex = s;
    return cal;
}

void WriteScreenCalibration(const std::string& entry, int screen, const std::string& devicePath, int captureIndex,
                            const _SCalibration& cal) {
    const unsigned s = static_cast<unsigned>(screen);
    ini::KeyValues values = {{Key("CamScreen%u", s), std::to_string(captureIndex)}, {Key("CamPath%u", s), devicePath},
                             {Key("PtCount%u", s), U32Text(cal.lPtCount)},        {Key("winleft%u", s), EdgeText(cal.lWinLeft)},
                             {Key("wintop%u", s), EdgeText(cal.lWinTop)},         {Key("winwidth%u", s), U32Text(cal.lWinWidth)},
                             {Key("winheight%u", s), U32Text(cal.lWinHeight)}};
    for (unsigned i = 0; i < UsedPoints(cal.lPtCount); ++i) {
        values.emplace_back(Key2("x%d%d", screen, static_cast<int>(i)), U32Text(cal.x[i]));
        values.emplace_back(Key2("y%d%d", screen, static_cast<int>(i)), U32Text(cal.y[i]));
    }
    ini::WriteStrings(g_Settings.CalibIniPath, entry.c_str(), values);
}

// "" (the section "[]") is a valid entry.
std::string ActiveCalibrationEntry() { return ini::ReadString(g_Settings.CalibIniPath, "System", "Active", ""); }

void SetActiveCalibrationEntry(const std::string& entry) {
    ini::WriteString(g_Settings.CalibIniPath, "System", "Active", entry.c_str());
}

void SaveReport(const CalibrationReport& report, const std::string& section, const std::string& camera) {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    char time[32];
    snprintf(time, sizeof time, "%04u-%02u-%02u %02u:%02u:%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    ini::KeyValues values = ReportValues(report);
    values.emplace_back("Time", time);
    values.emplace_back("Camera", camera);
    ini::WriteStrings(ReportIniPath(), section.c_str(), values);
}

std::vector<StoredReport> ReadReports() {
    const ini::Snapshot file(ReportIniPath());
    std::vector<StoredReport> reports;
    for (int n = 0; n < kMaxCalibrationSections; ++n) {
        const std::string section = CalibrationSectionName(n);
        std::optional<CalibrationReport> report =
            ReportFromValues([&](const std::string& key) { return file.String(section.c_str(), key.c_str(), ""); });
        if (report)
            reports.push_back({n + 1, section, file.String(section.c_str(), "Camera", ""), file.String(section.c_str(), "Time", ""),
                               std::move(*report)});
    }
    return reports;
}

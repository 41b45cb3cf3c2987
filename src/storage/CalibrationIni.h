// The calibration file "Calibration.ini": each camera's current calibration (sections named in
// CameraCalibrations.h) and the named calibrations, whose per-screen records a set-up tool may
// prepare and New writes from the calibrations in force.
#pragma once
#include <string>
#include <vector>

#include "MultiIRLight.h"
#include "storage/CalibrationReport.h"
#include "storage/CameraCalibrations.h"

// Reads a camera's section; sets g_nExposure from the file once points are present. True for a
// record with points and a non-empty rectangle.
bool LoadIni(_SCalibration& cal, const std::string& section = "Calibration");
// Writes the record to the section and names the camera there (when one is given).
void SaveIni(const _SCalibration& cal, const std::string& section = "Calibration", const std::string& camera = "");
// The accepted calibration's report, in CalibrationReport.ini beside Calibration.ini, under the
// same section name as the calibration it judges, with the camera and the local time.
void SaveReport(const CalibrationReport& report, const std::string& section, const std::string& camera);
struct StoredReport {
    int number = 0;                     // the calibration section's: 1 for "Calibration", n for "Calibration<n>"
    std::string section, camera, time;  // time: "YYYY-MM-DD hh:mm:ss", sorts as it reads
    CalibrationReport report;
};
// Every readable report of the file, in section order.
std::vector<StoredReport> ReadReports();
StoredSections ReadCalibrationSections();

// Named calibrations. The screen of entry `entry` that holds a camera's calibration: the one naming
// its device path, else (an entry prepared by hand) the one bound to its capture index; -1 for none.
int FindScreenForCamera(const std::string& entry, const std::string& devicePath, int captureIndex);
// Screen s's record in the entry.
_SCalibration ReadScreenCalibration(const std::string& entry, int screen);
// One camera's calibration as screen s of the entry.
void WriteScreenCalibration(const std::string& entry, int screen, const std::string& devicePath, int captureIndex,
                            const _SCalibration& cal);
constexpr int kMaxNamedScreens = 8;
std::string ActiveCalibrationEntry();
void SetActiveCalibrationEntry(const std::string& entry);

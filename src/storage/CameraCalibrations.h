// Each camera's own calibration in Calibration.ini. Section "Calibration", the one a single-camera
// file has always had, and "Calibration2", "Calibration3", ... for further cameras; each names its
// camera by device path (key "Camera"), the one thing about a camera that stays when another camera
// is unplugged and the capture indexes shift. A file written before sections named their camera
// holds "Calibration" alone, without "Camera": its calibration goes to a camera as before.
// Free of Win32: the file is read elsewhere, the rules are here.
#pragma once
#include <optional>
#include <string>
#include <vector>

constexpr int kMaxCalibrationSections = 16;

// "Calibration" for 0, "Calibration<n + 1>" for n.
std::string CalibrationSectionName(int n);

// What the file holds: per section number, nullopt when the section has no calibration, else the
// camera it names ("" for none).
using StoredSections = std::vector<std::optional<std::string>>;

// The section each camera to start loads, in start order (-1: none). A camera takes the section
// that names it; a camera without one takes, first come, a section that names no camera or a
// camera not listed now (a camera moved to another port is such a camera), and that no other
// camera takes. `listed` are every known camera's paths, the started ones among them.
std::vector<int> AssignCalibrationSections(const StoredSections& stored, const std::vector<std::string>& starting,
                                           const std::vector<std::string>& listed);
// Where a camera that loaded `loaded` (-1: none) saves: there, else the first number holding nothing.
int SaveSection(const StoredSections& stored, int loaded);

// Device paths compare without regard to case, as Windows compares them.
bool SameCamera(const std::string& a, const std::string& b);

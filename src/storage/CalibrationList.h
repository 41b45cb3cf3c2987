// The named calibrations of Calibration.ini: a singly linked list whose links are INI keys
// ([System] List / End / Active, each entry's "Next"). Free of Win32 so the fast suites walk the
// very code that ships; the caller supplies how a key is read.
#pragma once
#include <cstddef>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// Reads one key; nullopt when the key (or its whole section) is absent.
using IniKeyReader = std::function<std::optional<std::string>(const std::string& section, const char* key)>;

// A hand-edited or damaged file must never make the walk endless or the list box unusable; every
// row costs two file reads, so the limit also bounds how long the dialog takes to open.
constexpr size_t kMaxCalibrationRows = 500;
constexpr size_t kEntryKeyLength = 15;

struct CalibrationList {
    std::string active;              // [System] Active
    std::vector<std::string> keys;   // row i's section, in link order
    std::vector<std::string> names;  // row i's display name
    // Entries the walk could not show: a link to a missing section, a link back to an entry
    // already shown, or the first entry beyond kMaxCalibrationRows.
    std::vector<std::string> unreadable;
    // Where a new entry is linked: the last entry actually reached, so a new entry is always
    // visible and a damaged tail (a loop, a dangling link) is cut off by the new link.
    std::string tail;
    bool limitReached = false;
};

CalibrationList WalkCalibrationList(const IniKeyReader& read, size_t limit = kMaxCalibrationRows);

// "name [mark]" for the active row (case-sensitive key match), the plain name otherwise.
std::string CalibrationRowText(const CalibrationList& list, size_t row, const std::string& activeMark);

// "C" + YYYYMMDD + HHMMSS of the given local time.
std::string CalibrationEntryKey(const std::tm& local);
// The key for an entry made at `local`, moved on by whole seconds while `taken` says the key is
// already used: two entries made within one second must not share a section (the second would
// become its own "Next").
std::string UniqueCalibrationEntryKey(std::tm local, const std::function<bool(const std::string&)>& taken);

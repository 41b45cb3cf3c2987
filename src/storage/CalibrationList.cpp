#include "storage/CalibrationList.h"

#include <cstdio>
#include <unordered_set>

CalibrationList WalkCalibrationList(const IniKeyReader& read, size_t limit) {
    CalibrationList list;
    list.active = read("System", "Active").value_or("");
    std::string key = read("System", "List").value_or("");
    std::unordered_set<std::string> seen;
    // The first row is always shown, even for a fresh file whose list head is the empty section.
    bool first = true;
    while (true) {
        std::optional<std::string> name = read(key, "Name");
        std::optional<std::string> next = read(key, "Next");
        if (!first && !name && !next) {
            list.unreadable.push_back(key);
            break;
        }
        first = false;
        seen.insert(key);
        list.keys.push_back(key);
        list.names.push_back(name.value_or(""));
        list.tail = key;
        std::string following = next.value_or("");
        if (following.size() != kEntryKeyLength) break;
        if (seen.count(following)) {
            list.unreadable.push_back(following);
            break;
        }
        if (list.keys.size() >= limit) {
            list.unreadable.push_back(following);
            list.limitReached = true;
            break;
        }
        key = following;
    }
    // Past the limit the real tail is unknown; "End" is where new entries belong.
    if (list.limitReached) list.tail = read("System", "End").value_or(list.tail);
    return list;
}

std::string CalibrationRowText(const CalibrationList& list, size_t row, const std::string& activeMark) {
    if (row >= list.keys.size()) return {};
    if (list.keys[row] != list.active) return list.names[row];
    return list.names[row] + " [" + activeMark + "]";
}

std::string CalibrationEntryKey(const std::tm& t) {
    char key[40];
    snprintf(key, sizeof(key), "C%04d%02d%02d%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
             t.tm_min, t.tm_sec);
    return key;
}

std::string UniqueCalibrationEntryKey(std::tm local, const std::function<bool(const std::string&)>& taken) {
    std::string key = CalibrationEntryKey(local);
    for (int tries = 0; tries < 86400 && taken(key); ++tries) {
        ++local.tm_sec;
        local.tm_isdst = -1;
        std::mktime(&local);  // carries seconds into minutes, hours and days
        key = CalibrationEntryKey(local);
    }
    return key;
}

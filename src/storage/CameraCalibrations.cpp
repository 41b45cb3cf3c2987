#include "storage/CameraCalibrations.h"

#include <algorithm>
#include <cctype>

std::string CalibrationSectionName(int n) { return n <= 0 ? "Calibration" : "Calibration" + std::to_string(n + 1); }

bool SameCamera(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

std::vector<int> AssignCalibrationSections(const StoredSections& stored, const std::vector<std::string>& starting,
                                           const std::vector<std::string>& listed) {
    std::vector<int> assigned(starting.size(), -1);
    std::vector<bool> taken(stored.size(), false);
    const auto names = [&](size_t s, const std::string& camera) { return stored[s] && SameCamera(*stored[s], camera); };
    for (size_t c = 0; c < starting.size(); ++c)
        for (size_t s = 0; s < stored.size() && assigned[c] < 0; ++s)
            if (!taken[s] && names(s, starting[c])) assigned[c] = static_cast<int>(s), taken[s] = true;
    const auto ownerAbsent = [&](size_t s) {
        return std::none_of(listed.begin(), listed.end(), [&](const std::string& p) { return names(s, p); });
    };
    for (size_t c = 0; c < starting.size(); ++c)
        for (size_t s = 0; s < stored.size() && assigned[c] < 0; ++s)
            if (!taken[s] && stored[s] && ownerAbsent(s)) assigned[c] = static_cast<int>(s), taken[s] = true;
    return assigned;
}

int SaveSection(const StoredSections& stored, int loaded) {
    if (loaded >= 0) return loaded;
    for (size_t s = 0; s < stored.size(); ++s)
        if (!stored[s]) return static_cast<int>(s);
    return std::min(static_cast<int>(stored.size()), kMaxCalibrationSections - 1);
}

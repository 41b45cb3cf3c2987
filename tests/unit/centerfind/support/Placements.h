// The camera placements of golden/placements.txt, read the same way by the finder's simulation and
// by the end-to-end run of the driver.
#pragma once
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "../../support/CaseFile.h"
#include "VcamModel.h"

namespace tavori::cftest {

struct Placement {
    std::string name, camera, settings, light, outcome, where;  // the columns, trimmed
    std::string error;  // why its line could not be read
    // A key of the camera or settings column ("" when absent).
    static std::string Key(const std::string& keys, const std::string& key) {
        std::istringstream in(keys);
        for (std::string k; std::getline(in, k, ';');) {
            k.erase(0, k.find_first_not_of(' '));
            if (k.rfind(key + "=", 0) == 0) return k.substr(key.size() + 1);
        }
        return "";
    }
    int Setting(const char* key, int fallback) const {
        const std::string v = Key(settings, key);
        return v.empty() ? fallback : std::atoi(v.c_str());
    }
    // The camera as the driver reads its section, filming a screen of W x H.
    vcam::Config Camera(int W, int H) const {
        vcam::Config c = vcam::ReadConfig([&](const char* key, std::string& value) { return !(value = Key(camera, key)).empty(); });
        c.hasScreenRect = true;
        c.rect[2] = W, c.rect[3] = H;
        return c;
    }
};

inline void PrintTo(const Placement& p, std::ostream* out) { *out << p.name; }

inline std::vector<Placement> ReadPlacements(const char* path) {
    std::vector<Placement> rows;
    for (const CaseLine& c : LoadCases(path, 6)) {
        if (!c.error.empty()) rows.push_back({c.name, "", "", "", "", "", c.error});
        else rows.push_back({c[0], c[1], c[2], c[3], c[4], c[5], ""});
    }
    return rows;
}

}  // namespace tavori::cftest

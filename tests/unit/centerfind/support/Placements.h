// The camera placements of golden/placements.txt, read the same way by the finder's simulation and
// by the end-to-end run of the driver.
#pragma once
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "VcamModel.h"

namespace tavori::cftest {

struct Placement {
    std::string name, camera, settings, light, outcome, where;  // the columns, trimmed
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

inline std::vector<Placement> ReadPlacements(const char* path) {
    std::vector<Placement> rows;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::istringstream cols(line);
        for (std::string c; std::getline(cols, c, '|');) {
            const size_t a = c.find_first_not_of(" \r"), b = c.find_last_not_of(" \r");
            f.push_back(a == std::string::npos ? "" : c.substr(a, b - a + 1));
        }
        if (f.size() == 6) rows.push_back({f[0], f[1], f[2], f[3], f[4], f[5]});
    }
    return rows;
}

}  // namespace tavori::cftest

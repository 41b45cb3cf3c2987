#include "storage/CalibrationSources.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<_SCalibration*> g_sources;  // window thread only
}

void RegisterCalibrationSource(_SCalibration* record) {
    if (record && std::find(g_sources.begin(), g_sources.end(), record) == g_sources.end())
        g_sources.push_back(record);
}

void UnregisterCalibrationSource(_SCalibration* record) {
    g_sources.erase(std::remove(g_sources.begin(), g_sources.end(), record), g_sources.end());
}

_SCalibration* FindCalibrationSource(uintptr_t address) {
    for (_SCalibration* r : g_sources)
        if (reinterpret_cast<uintptr_t>(r) == address) return r;
    return nullptr;
}

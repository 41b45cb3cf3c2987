#include "storage/CalibrationSources.h"

#include <algorithm>
#include <vector>

namespace {
std::vector<CalibrationSource> g_sources;  // window thread only

auto Named(const _SCalibration* record) {
    return [record](const CalibrationSource& s) { return s.record == record; };
}
}  // namespace

void RegisterCalibrationSource(_SCalibration* record, SlotCamera cameraOfSlot) {
    if (!record) return;
    UnregisterCalibrationSource(record);
    g_sources.push_back({record, std::move(cameraOfSlot)});
}

void UnregisterCalibrationSource(_SCalibration* record) {
    g_sources.erase(std::remove_if(g_sources.begin(), g_sources.end(), Named(record)), g_sources.end());
}

const CalibrationSource* FindCalibrationSource(uintptr_t address) {
    for (const CalibrationSource& s : g_sources)
        if (reinterpret_cast<uintptr_t>(s.record) == address) return &s;
    return nullptr;
}

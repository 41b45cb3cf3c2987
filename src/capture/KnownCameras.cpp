#include "capture/KnownCameras.h"

#include <cstring>

#include "capture/CameraIdentity.h"
#include "config/IniFile.h"
#include "config/Settings.h"

std::string g_strCamPid;
std::string g_strCamVid;

namespace {
CameraMatch Match(const SInfoParam& info) {
    char path[sizeof(info.szPath) + 1] = {};
    memcpy(path, info.szPath, sizeof(info.szPath));  // never trust the terminator
    return MatchKnownCamera(path);
}
}  // namespace

bool IsKnownCamera(const SInfoParam& info) { return Match(info).kind != CameraKind::Unknown; }

bool IdentifyCamera(const SInfoParam& info) {
    CameraMatch match = Match(info);
    if (match.kind == CameraKind::Unknown) return false;
    const CSystemSettings& s = g_Settings;
    CameraModelChoice model = ChooseCameraModel(
        match.kind, {s.ApplicationVersion, s.PtCount, s.AddExposureSF, s.AddExposureHSF, s.AddExposureLF});
    g_strCamPid = match.pid;
    g_strCamVid = match.vid;
    g_nPtCount = model.pointCount;
    ini::WriteInt(s.IniPath, "Enroll", "Exposure", model.exposure);
    ini::WriteInt(s.IniPath, "Data", "Exposure", model.exposure);
    g_nExposure = model.exposure;
    g_Settings.EnrollExposure = model.exposure;
    return true;
}

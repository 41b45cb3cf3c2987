// Which cameras the driver works with, told apart by the vendor and product ids in the device path.
#pragma once
#include <string>

enum class CameraKind { Unknown, SF, LF };

struct CameraMatch {
    CameraKind kind = CameraKind::Unknown;
    std::string pid;  // as written in the path, four characters
    std::string vid;
};

// The four characters after `tag` ("pid_", "vid_") when the tag stands after the start of the path;
// empty otherwise. Tags match without regard to case.
std::string IdAfter(const std::string& path, const char* tag);
CameraMatch MatchKnownCamera(const std::string& path);
// Presence check: the path still names the camera with these ids.
bool PathNamesCamera(const std::string& path, const std::string& pid, const std::string& vid);

struct CameraModelSettings {
    int applicationVersion;
    int ptCount;  // PtCount setting: a positive value replaces the model's default
    int exposureSF, exposureHSF, exposureLF;
};
struct CameraModelChoice {
    int pointCount;
    int exposure;
};
CameraModelChoice ChooseCameraModel(CameraKind kind, const CameraModelSettings& s);

#include "capture/CameraIdentity.h"

#include <algorithm>
#include <cctype>

namespace {
std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
bool OneOf(const std::string& id, std::initializer_list<const char*> ids) {
    std::string l = Lower(id);
    for (const char* known : ids)
        if (l == Lower(known)) return true;
    return false;
}
}  // namespace

std::string IdAfter(const std::string& path, const char* tag) {
    size_t at = Lower(path).find(Lower(tag));
    if (at == std::string::npos || at == 0) return {};
    std::string id = path.substr(at + 4, 4);
    return id.size() == 4 ? id : std::string();
}

CameraMatch MatchKnownCamera(const std::string& path) {
    CameraMatch m;
    std::string pid = IdAfter(path, "pid_");
    std::string vid = IdAfter(path, "vid_");
    if (OneOf(pid, {"3610", "3016", "2013"}) && OneOf(vid, {"0AC8", "1216"}))
        m.kind = CameraKind::SF;
    else if (OneOf(pid, {"3450"}) && OneOf(vid, {"0AC8"}))
        m.kind = CameraKind::LF;
    if (m.kind != CameraKind::Unknown) {
        m.pid = pid;
        m.vid = vid;
    }
    return m;
}

bool PathNamesCamera(const std::string& path, const std::string& pid, const std::string& vid) {
    std::string p = IdAfter(path, "pid_"), v = IdAfter(path, "vid_");
    return !p.empty() && !v.empty() && Lower(p) == Lower(pid) && Lower(v) == Lower(vid);
}

CameraModelChoice ChooseCameraModel(CameraKind kind, const CameraModelSettings& s) {
    CameraModelChoice c{};
    if (kind == CameraKind::SF) {
        c.pointCount = s.applicationVersion == 4 ? 4 : 25;
        c.exposure = s.applicationVersion >= 3 ? s.exposureHSF : s.exposureSF;
    } else {
        c.pointCount = 4;
        c.exposure = s.exposureLF;
    }
    if (s.ptCount > 0) c.pointCount = s.ptCount;
    return c;
}

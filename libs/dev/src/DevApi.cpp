// The Dev* calls: one index space over the real cameras, then the virtual ones, and a registry of
// live handles so that a stale or foreign handle is refused instead of followed.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "Dev.h"
#include "DevCamera.h"
#include "MfCamera.h"
#include "VirtualCamera.h"

using namespace tavori::dev;

namespace {

std::mutex g_handlesMutex;
std::set<DevCamera*>& Handles() {
    static std::set<DevCamera*> handles;
    return handles;
}

// The camera behind a handle, or null. The handle stays valid until DevDestroy, which callers
// must not overlap with other calls on it.
DevCamera* Lookup(HDEVCTR h) {
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    auto* cam = static_cast<DevCamera*>(h);
    return Handles().count(cam) ? cam : nullptr;
}

void CopyField(char* dst, const std::string& src) {
    const size_t n = std::min(src.size(), size_t{259});
    std::memcpy(dst, src.data(), n);
    dst[n] = '\0';
}

}  // namespace

extern "C" int DevGetCaptureNum(int type) {
    if (type != CAP_TYPE_VIDEO) return 0;
    return static_cast<int>(MfCameraList().size() + PresentVirtualCameras().size());
}

extern "C" int DevGetCaptureInfo(int type, SInfoParam* info) {
    if (!info) return 0;
    info->szName[0] = '\0';
    info->szPath[0] = '\0';
    if (type != CAP_TYPE_VIDEO || info->nIndex < 0) return 0;
    // One enumeration per call: the listener's presence check runs this on its frame thread.
    const std::vector<DeviceInfo> cameras = MfCameraList();
    const int real = static_cast<int>(cameras.size());
    DeviceInfo d;
    if (info->nIndex < real) {
        d = cameras[static_cast<size_t>(info->nIndex)];
    } else {
        const auto virt = PresentVirtualCameras();
        const size_t i = static_cast<size_t>(info->nIndex - real);
        if (i >= virt.size()) return 0;
        d = VirtualInfo(virt[i]);
    }
    CopyField(info->szName, d.name);
    CopyField(info->szPath, d.path);
    return 1;
}

extern "C" HDEVCTR DevCreate(const SCapParam* param) {
    if (!param || param->nType != CAP_TYPE_VIDEO || param->nIndex < 0) return nullptr;
    const int w = param->nWidth, h = param->nHeight;
    if (w < 0 || h < 0 || w > 8192 || h > 8192 || (w == 0) != (h == 0)) return nullptr;
    std::unique_ptr<DevCamera> cam;
    int real = 0;
    cam = CreateMfCamera(param->nIndex, w, h, real);
    if (!cam && param->nIndex >= real) {
        const auto virt = PresentVirtualCameras();
        const size_t i = static_cast<size_t>(param->nIndex - real);
        if (i < virt.size()) cam = CreateVirtualCamera(virt[i], w, h);
    }
    if (!cam) return nullptr;
    std::lock_guard<std::mutex> lock(g_handlesMutex);
    DevCamera* raw = cam.release();
    Handles().insert(raw);
    return raw;
}

extern "C" int DevInitCapture(HDEVCTR h) {
    DevCamera* cam = Lookup(h);
    return cam && cam->Init() ? 1 : 0;
}

extern "C" int DevSetControl(HDEVCTR h, const SCapControl* control) {
    DevCamera* cam = Lookup(h);
    return cam && control && cam->SetControl(*control) ? 1 : 0;
}

extern "C" int DevPlay(HDEVCTR h, int) {
    DevCamera* cam = Lookup(h);
    return cam && cam->Play() ? 1 : 0;
}

extern "C" int DevGetFrame(HDEVCTR h, unsigned char* data, long* size) {
    DevCamera* cam = Lookup(h);
    return cam && cam->GetFrame(data, size) ? 1 : 0;
}

extern "C" int DevStop(HDEVCTR h) {
    DevCamera* cam = Lookup(h);
    if (!cam) return 0;
    cam->Stop();
    return 1;
}

extern "C" int DevDestroy(HDEVCTR h) {
    DevCamera* cam = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_handlesMutex);
        auto* c = static_cast<DevCamera*>(h);
        if (Handles().erase(c)) cam = c;
    }
    if (!cam) return 0;
    delete cam;
    return 1;
}

#include "output/SharedMemory.h"

#include <cstdio>
#include <cstring>
#include <utility>

#include "output/ShareRestrictedSD.h"

RelaxedWord<MultiScreenTable*> g_pMultiScreen{nullptr};

namespace {
win::SharedMapping g_multiScreen;
win::SharedMapping g_touchShare;

// A page-file-backed mapping that every user may open; 0, -4 or -5 as the callers report it.
int CreateSharedMapping(const char* name, DWORD size, win::SharedMapping& mapping) {
    CShareRestrictedSD sd;
    mapping.Close();
    win::Handle map(CreateFileMappingA(INVALID_HANDLE_VALUE, sd.GetSA(), PAGE_READWRITE, 0, size, name));
    if (!map) return -4;
    win::MappedView view(MapViewOfFile(map.get(), FILE_MAP_ALL_ACCESS, 0, 0, size));
    if (!view) return -5;  // no handle without its view
    mapping.map = std::move(map);
    mapping.view = std::move(view);
    return 0;
}
}  // namespace

int CreateMultiScreenShare() {
    g_pMultiScreen = nullptr;
    int r = CreateSharedMapping(kMultiScreenName, sizeof(MultiScreenTable), g_multiScreen);
    if (r != 0) return r;
    memset(g_multiScreen.view.get(), 0, sizeof(MultiScreenTable));
    g_pMultiScreen = static_cast<MultiScreenTable*>(g_multiScreen.view.get());
    return 0;
}

void CloseMultiScreenShare() {
    g_pMultiScreen = nullptr;
    g_multiScreen.Close();
}

bool CreateTouchShare() {
    g_touchShare.Close();
    win::Handle map(CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, kTouchShareSize, kTouchShareName));
    if (!map) return false;
    win::MappedView view(MapViewOfFile(map.get(), FILE_MAP_ALL_ACCESS, 0, 0, 0));
    if (!view) return false;  // no handle without its view
    auto* words = static_cast<int32_t*>(view.get());
    words[0] = 0;
    words[4] = 0;
    g_touchShare.map = std::move(map);
    g_touchShare.view = std::move(view);
    return true;
}

void CloseTouchShare() { g_touchShare.Close(); }

int CPointShare::CreatePointShare(int captureIndex) {
    ClosePointShare();
    char name[64];
    snprintf(name, sizeof(name), "%s_%d", kMultiScreenName, captureIndex + 1);
    int r = CreateSharedMapping(name, kPointShareSize, m_mapping);
    if (r != 0) return r;
    m_pView = static_cast<uint8_t*>(m_mapping.view.get());
    m_pView[0] = 0;
    return 0;
}

void CPointShare::ClosePointShare() {
    m_pView = nullptr;
    m_mapping.Close();
}

void CPointShare::Publish(const _SDetectPoint* points, int count) {
    if (!m_pView || !points) return;
    if (count < 0) count = 0;
    if (count > kMaxSharedPoints) count = kMaxSharedPoints;
    m_pView[0] = static_cast<uint8_t>(count);
    memcpy(m_pView + 1, points, static_cast<size_t>(count) * sizeof(_SDetectPoint));
}

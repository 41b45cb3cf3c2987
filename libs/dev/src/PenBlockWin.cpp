#include "PenBlockWin.h"

#include <windows.h>

#include <cstring>
#include <mutex>

namespace tavori::dev {

PenBlockMapping::~PenBlockMapping() { Close(); }

bool PenBlockMapping::Open() {
    if (view_) return true;
    SetLastError(0);
    HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                  static_cast<DWORD>(vcam::kPenBlockBytes), "TavoriVirtualPen");
    if (!h) return false;
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    void* v = MapViewOfFile(h, FILE_MAP_ALL_ACCESS, 0, 0, vcam::kPenBlockBytes);
    if (!v) {
        CloseHandle(h);
        return false;
    }
    if (created) {
        // A new page-file mapping is zeroed; only the identification is ours to write.
        auto* words = static_cast<volatile uint32_t*>(v);
        words[1] = vcam::kPenVersion;
        words[0] = vcam::kPenMagic;
    }
    handle_ = h;
    view_ = v;
    return true;
}

void PenBlockMapping::Close() {
    if (view_) UnmapViewOfFile(view_);
    if (handle_) CloseHandle(static_cast<HANDLE>(handle_));
    view_ = nullptr;
    handle_ = nullptr;
}

void PenBlockMapping::WriteExposure(int camera, int value, int flags) {
    if (!view_ || camera < 0 || camera >= vcam::kExposureSlots) return;
    auto* block = static_cast<vcam::PenBlock*>(view_);
    auto* slot = reinterpret_cast<volatile int32_t*>(&block->exposure[camera]);
    slot[0] = value;
    slot[1] = flags;
    InterlockedIncrement(reinterpret_cast<volatile LONG*>(&block->sequence));
}

void PenBlockMapping::AddFilmingTime(int camera, double ms) {
    if (!view_ || camera < 0 || camera >= vcam::kExposureSlots || !(ms > 0)) return;
    auto* block = static_cast<vcam::PenBlock*>(view_);
    InterlockedExchangeAdd(reinterpret_cast<volatile LONG*>(&block->filmingUs[camera]), static_cast<LONG>(ms * 1000.0));
}

void PenBlockMapping::CountFrame(int camera) {
    if (!view_ || camera < 0 || camera >= vcam::kExposureSlots) return;
    auto* block = static_cast<vcam::PenBlock*>(view_);
    InterlockedIncrement(reinterpret_cast<volatile LONG*>(&block->frames[camera]));
}

PenBlockMapping& ProcessPenBlock() {
    static PenBlockMapping block;
    static std::mutex m;
    std::lock_guard<std::mutex> lock(m);
    if (!block.IsOpen()) block.Open();
    return block;
}

}  // namespace tavori::dev

#include "capture/PointHandoff.h"

#include <atomic>
#include <mutex>
#include <new>
#include <unordered_set>

namespace {
// 1024 slots: at 60 frames a second and five cameras the window may fall 3 s behind before a
// ticket goes stale.
constexpr uint32_t kSlots = 1024;

struct Slot {
    std::atomic<uint32_t> sequence{0};
    std::atomic<int32_t> id{0}, x{0}, y{0}, state{0};
};
Slot g_ring[kSlots];
std::atomic<uint32_t> g_nextTicket{1};

std::mutex g_framesLock;
std::unordered_set<SCapFrame*> g_frames;
}  // namespace

PointTicket PublishPoint(const _SDetectPoint& point) {
    uint32_t ticket = g_nextTicket.fetch_add(1);
    if (ticket == 0) ticket = g_nextTicket.fetch_add(1);
    Slot& slot = g_ring[ticket % kSlots];
    slot.sequence.store(0, std::memory_order_release);  // being rewritten
    slot.id.store(point.id, std::memory_order_relaxed);
    slot.x.store(point.x, std::memory_order_relaxed);
    slot.y.store(point.y, std::memory_order_relaxed);
    slot.state.store(point.state, std::memory_order_relaxed);
    slot.sequence.store(ticket, std::memory_order_release);
    return ticket;
}

bool TakePoint(uintptr_t ticket, _SDetectPoint& point) {
    if (ticket == 0 || ticket > 0xFFFFFFFFu) return false;
    const auto t = static_cast<uint32_t>(ticket);
    Slot& slot = g_ring[t % kSlots];
    if (slot.sequence.load(std::memory_order_acquire) != t) return false;
    point.id = slot.id.load(std::memory_order_relaxed);
    point.x = slot.x.load(std::memory_order_relaxed);
    point.y = slot.y.load(std::memory_order_relaxed);
    point.state = slot.state.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    return slot.sequence.load(std::memory_order_relaxed) == t;  // not rewritten while copying
}

SCapFrame* NewFrameCopy(const SCapFrame& source) {
    auto* copy = new (std::nothrow) SCapFrame{};
    if (!copy) return nullptr;
    SCapFrameCopy(copy, &source);
    if (!copy->pData) {
        delete copy;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_framesLock);
    g_frames.insert(copy);
    return copy;
}

SCapFrame* TakeFrameCopy(uintptr_t candidate) {
    auto* frame = reinterpret_cast<SCapFrame*>(candidate);
    std::lock_guard<std::mutex> lock(g_framesLock);
    return g_frames.erase(frame) ? frame : nullptr;
}

void ReleaseFrameCopy(SCapFrame* frame) {
    if (!frame) return;
    {
        std::lock_guard<std::mutex> lock(g_framesLock);
        g_frames.erase(frame);
    }
    SCapFrameFree(frame);
    delete frame;
}

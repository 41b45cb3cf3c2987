#include "capture/PointHandoff.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <random>
#include <unordered_map>

namespace {
// 1024 slots: at 60 frames a second and five cameras the window may fall 3 s behind before a
// ticket goes stale.
constexpr unsigned kSlotBits = 10;
constexpr uintptr_t kSlots = uintptr_t{1} << kSlotBits;

struct Slot {
    std::atomic<uintptr_t> ticket{0};  // 0 while being written and once taken
    std::atomic<int32_t> id{0}, x{0}, y{0}, state{0};
};
Slot g_ring[kSlots];
std::atomic<uint64_t> g_published{0};

// A key drawn once per process: the bits above the slot number are the publish count scrambled with
// it, so another process cannot tell the next ticket from the last one it saw.
uint64_t ProcessKey() {
    static const uint64_t key = [] {
        std::random_device device;
        uint64_t k = (uint64_t{device()} << 32) ^ device();
        int local = 0;
        k ^= reinterpret_cast<uintptr_t>(&local);
        k ^= static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
        return k;
    }();
    return key;
}

// splitmix64's finaliser: a bijection, so no two publish counts share a scrambled value.
uint64_t Scramble(uint64_t z) {
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::mutex g_framesLock;
std::unordered_map<SCapFrame*, int> g_frames;  // copy -> its camera
}  // namespace

PointTicket PublishPoint(const _SDetectPoint& point) {
    const uint64_t n = g_published.fetch_add(1, std::memory_order_relaxed);
    const uintptr_t slotIndex = static_cast<uintptr_t>(n) & (kSlots - 1);
    PointTicket ticket = (static_cast<uintptr_t>(Scramble(n ^ ProcessKey())) << kSlotBits) | slotIndex;
    if ((ticket >> kSlotBits) == 0) ticket |= kSlots;  // never 0, and never a bare slot number
    Slot& slot = g_ring[slotIndex];
    slot.ticket.store(0, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    slot.id.store(point.id, std::memory_order_relaxed);
    slot.x.store(point.x, std::memory_order_relaxed);
    slot.y.store(point.y, std::memory_order_relaxed);
    slot.state.store(point.state, std::memory_order_relaxed);
    slot.ticket.store(ticket, std::memory_order_release);
    return ticket;
}

bool TakePoint(uintptr_t ticket, _SDetectPoint& point) {
    if (ticket == 0) return false;
    Slot& slot = g_ring[ticket & (kSlots - 1)];
    if (slot.ticket.load(std::memory_order_acquire) != ticket) return false;
    _SDetectPoint copy;
    copy.id = slot.id.load(std::memory_order_relaxed);
    copy.x = slot.x.load(std::memory_order_relaxed);
    copy.y = slot.y.load(std::memory_order_relaxed);
    copy.state = slot.state.load(std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_acquire);
    // Taking clears the slot: a ticket is good once, and a slot rewritten while copying fails here.
    uintptr_t expected = ticket;
    if (!slot.ticket.compare_exchange_strong(expected, 0, std::memory_order_relaxed)) return false;
    point = copy;
    return true;
}

SCapFrame* NewFrameCopy(const SCapFrame& source, int camera) {
    auto* copy = new (std::nothrow) SCapFrame{};
    if (!copy) return nullptr;
    SCapFrameCopy(copy, &source);
    if (!copy->pData) {
        delete copy;
        return nullptr;
    }
    std::lock_guard<std::mutex> lock(g_framesLock);
    g_frames.emplace(copy, camera);
    return copy;
}

bool FrameCopyCamera(uintptr_t candidate, int& camera) {
    std::lock_guard<std::mutex> lock(g_framesLock);
    const auto found = g_frames.find(reinterpret_cast<SCapFrame*>(candidate));
    if (found == g_frames.end()) return false;
    camera = found->second;
    return true;
}

SCapFrame* TakeFrameCopy(uintptr_t candidate) {
    auto* frame = reinterpret_cast<SCapFrame*>(candidate);
    std::lock_guard<std::mutex> lock(g_framesLock);
    return g_frames.erase(frame) ? frame : nullptr;
}

void ReleaseAllFrameCopies() {
    std::unordered_map<SCapFrame*, int> left;
    {
        std::lock_guard<std::mutex> lock(g_framesLock);
        left.swap(g_frames);
    }
    for (auto& copy : left) {
        SCapFrameFree(copy.first);
        delete copy.first;
    }
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

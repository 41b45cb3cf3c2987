#include "capture/PointHandoff.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <new>
#include <random>
#include <unordered_map>

namespace {
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

// Slots a listener writes and the window takes from: the ticket is cleared while a slot is written,
// so a copy taken meanwhile fails rather than mixing two frames.
template <unsigned SlotBits, int Points>
class Ring {
public:
    explicit Ring(uint64_t salt) : m_salt(salt) {}

    PointTicket Publish(const _SDetectPoint* points, int count) {
        count = count < 0 ? 0 : (count > Points ? Points : count);
        const uint64_t n = m_published.fetch_add(1, std::memory_order_relaxed);
        const uintptr_t slotIndex = static_cast<uintptr_t>(n) & (kSlots - 1);
        PointTicket ticket = (static_cast<uintptr_t>(Scramble(n ^ ProcessKey() ^ m_salt)) << SlotBits) | slotIndex;
        if ((ticket >> SlotBits) == 0) ticket |= kSlots;  // never 0, and never a bare slot number
        Slot& slot = m_slots[slotIndex];
        slot.ticket.store(0, std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_release);
        slot.count.store(count, std::memory_order_relaxed);
        for (int i = 0; i < count; ++i) {
            const int32_t fields[4] = {points[i].id, points[i].x, points[i].y, points[i].state};
            for (int f = 0; f < 4; ++f) slot.words[i * 4 + f].store(fields[f], std::memory_order_relaxed);
        }
        slot.ticket.store(ticket, std::memory_order_release);
        return ticket;
    }

    // The count of points copied out, or -1 for a taken, stale or unknown ticket.
    int Take(uintptr_t ticket, _SDetectPoint* points) {
        if (ticket == 0) return -1;
        Slot& slot = m_slots[ticket & (kSlots - 1)];
        if (slot.ticket.load(std::memory_order_acquire) != ticket) return -1;
        _SDetectPoint copy[Points];
        const int count = slot.count.load(std::memory_order_relaxed);
        for (int i = 0; i < count && i < Points; ++i) {
            copy[i].id = slot.words[i * 4].load(std::memory_order_relaxed);
            copy[i].x = slot.words[i * 4 + 1].load(std::memory_order_relaxed);
            copy[i].y = slot.words[i * 4 + 2].load(std::memory_order_relaxed);
            copy[i].state = slot.words[i * 4 + 3].load(std::memory_order_relaxed);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        // Taking clears the slot: a ticket is good once, and a slot rewritten while copying fails here.
        uintptr_t expected = ticket;
        if (!slot.ticket.compare_exchange_strong(expected, 0, std::memory_order_relaxed)) return -1;
        for (int i = 0; i < count && i < Points; ++i) points[i] = copy[i];
        return count;
    }

private:
    static constexpr uintptr_t kSlots = uintptr_t{1} << SlotBits;
    struct Slot {
        std::atomic<uintptr_t> ticket{0};  // 0 while being written and once taken
        std::atomic<int32_t> count{0};
        std::atomic<int32_t> words[Points * 4] = {};
    };
    Slot m_slots[kSlots];
    std::atomic<uint64_t> m_published{0};
    uint64_t m_salt;
};

// 1024 points: at 60 frames a second and five cameras the window may fall 3 s behind before a
// ticket goes stale; the frames for the touch and pen outputs, larger, almost one second.
Ring<10, 1> g_points{0};
Ring<8, kMaxHandoffPoints> g_pointFrames{0x9E3779B97F4A7C15ull};

std::mutex g_framesLock;
std::unordered_map<SCapFrame*, int> g_frames;  // copy -> its camera
}  // namespace

PointTicket PublishPoint(const _SDetectPoint& point) { return g_points.Publish(&point, 1); }

bool TakePoint(uintptr_t ticket, _SDetectPoint& point) { return g_points.Take(ticket, &point) == 1; }

PointTicket PublishPoints(const _SDetectPoint* points, int count) { return g_pointFrames.Publish(points, count); }

int TakePoints(uintptr_t ticket, _SDetectPoint* points) { return g_pointFrames.Take(ticket, points); }

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

#include "capture/BackgroundSubtraction.h"

#include <cstdlib>
#include <new>

namespace {

bool Lit(const uint8_t* p) {
    return p[0] > BackgroundLights::kLit && p[1] > BackgroundLights::kLit && p[2] > BackgroundLights::kLit;
}

bool Usable(const SCapFrame& f) {
    return f.pData && f.nBitCount == 24 && f.nWidth > 0 && f.nHeight > 0 &&
           static_cast<uint64_t>(SCapFrameStride(f.nWidth)) * f.nHeight <= f.nSize;
}

}  // namespace

void BackgroundLights::Clear() {
    m_runs.clear();
    m_values.clear();
    m_taken = false;
}

bool BackgroundLights::Take(const SCapFrame& snapshot, uint32_t nowMs) {
    Clear();
    if (!Usable(snapshot)) return false;
    const uint32_t stride = SCapFrameStride(snapshot.nWidth);
    try {
        for (uint32_t y = 0; y < snapshot.nHeight; ++y) {
            const uint8_t* row = snapshot.pData + static_cast<size_t>(y) * stride;
            for (uint32_t x = 0; x < snapshot.nWidth;) {
                if (!Lit(row + 3 * x)) {
                    ++x;
                    continue;
                }
                const uint32_t x0 = x;
                while (x < snapshot.nWidth && Lit(row + 3 * x)) ++x;
                const uint32_t bytes = 3 * (x - x0);
                m_runs.push_back(Run{y * stride + 3 * x0, bytes, static_cast<uint32_t>(m_values.size()), nowMs});
                m_values.insert(m_values.end(), row + 3 * x0, row + 3 * x);
            }
        }
    } catch (const std::bad_alloc&) {
        Clear();
        return false;
    }
    m_width = snapshot.nWidth;
    m_height = snapshot.nHeight;
    m_taken = true;
    return true;
}

void BackgroundLights::Subtract(SCapFrame& frame, uint32_t nowMs) {
    if (!m_taken || frame.nWidth != m_width || frame.nHeight != m_height || !Usable(frame)) return;
    size_t kept = 0;
    for (size_t i = 0; i < m_runs.size(); ++i) {
        Run run = m_runs[i];
        uint8_t* p = frame.pData + run.offset;
        const uint8_t* back = m_values.data() + run.value;
        bool lit = false;
        for (uint32_t b = 0; b < run.bytes; b += 3) {
            if (!Lit(p + b)) continue;
            lit = true;
            for (uint32_t c = b; c < b + 3; ++c) p[c] = static_cast<uint8_t>(p[c] > back[c] ? p[c] - back[c] : 0);
        }
        if (lit) run.lastLit = nowMs;
        if (nowMs - run.lastLit <= kForgetMs) m_runs[kept++] = run;
    }
    m_runs.resize(kept);
}

std::vector<BackgroundLights::Centre> BackgroundLights::Lights(uint32_t nowMs) const {
    struct Group {
        double x, y, weight;
    };
    std::vector<Group> groups;
    const uint32_t stride = SCapFrameStride(m_width);
    if (stride == 0) return {};
    for (const Run& r : m_runs) {
        if (nowMs - r.lastLit > kShiningMs) continue;
        const double x = (r.offset % stride) / 3.0 + r.bytes / 6.0, y = r.offset / stride, w = r.bytes / 3.0;
        Group* near = nullptr;
        for (Group& g : groups)
            if (std::abs(g.x - x) < 16 && std::abs(g.y - y) < 16) near = &g;
        if (!near) {
            groups.push_back({x, y, w});
            continue;
        }
        near->x = (near->x * near->weight + x * w) / (near->weight + w);
        near->y = (near->y * near->weight + y * w) / (near->weight + w);
        near->weight += w;
    }
    std::vector<Centre> out;
    for (const Group& g : groups) out.push_back({g.x, g.y});
    return out;
}

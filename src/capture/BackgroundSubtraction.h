// The fixed lights of a snapshot taken when the camera started (a lamp, a reflection), removed from
// later frames so they neither hide nor imitate the pen. Only the places where the snapshot itself
// was bright are kept: bright screen content filmed at start is no light to subtract, and
// subtracting it would darken a pen that later crosses it below the detection threshold.
#pragma once
#include <cstdint>
#include <vector>

#include "MultiIRLight.h"

class BackgroundLights {
public:
    // A place dark this long is dropped: the light left. Longer than someone walking past a lamp.
    static constexpr uint32_t kForgetMs = 8000;
    // A pixel is lit when all three bytes are above this.
    static constexpr uint8_t kLit = 180;

    // Keeps the lit runs of `snapshot`. False (and nothing held) when the frame is unusable or
    // memory runs out.
    bool Take(const SCapFrame& snapshot, uint32_t nowMs);
    // Subtracts the snapshot where it held a light and the frame is lit there too; a frame of
    // another size is left alone.
    void Subtract(SCapFrame& frame, uint32_t nowMs);
    bool Taken() const { return m_taken; }
    size_t LitPlaces() const { return m_runs.size(); }
    // The lights still shining, one centre (camera pixels) per group of runs lit in the last
    // kShiningMs, to ring and name them. A lamp switched off is no longer one, though its place is
    // kept a while in case it comes back.
    static constexpr uint32_t kShiningMs = 500;
    struct Centre {
        double x, y;
    };
    std::vector<Centre> Lights(uint32_t nowMs) const;
    void Clear();

private:
    struct Run {
        uint32_t offset;  // first byte in the frame
        uint32_t bytes;
        uint32_t value;   // first byte in m_values
        uint32_t lastLit;
    };
    std::vector<Run> m_runs;
    std::vector<uint8_t> m_values;
    uint32_t m_width = 0, m_height = 0;
    bool m_taken = false;
};

// How long the frame loop sleeps after a pass: the rest of the period, or a whole period when the
// pass overran it (so an overloaded loop still yields the processor).
#pragma once
#include <cstdint>

inline uint32_t SleepAfterPass(uint32_t periodMs, uint32_t passMs) {
    return passMs < periodMs ? periodMs - passMs : periodMs;
}

// Random numbers for the randomised tests, the same on every platform and compiler: a printed seed replays its run.
#pragma once

#include <stdint.h>

struct SeededRandom {
    uint64_t state;
    explicit SeededRandom(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 11);
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
    bool Chance(uint32_t percent) { return Below(100) < percent; }
};

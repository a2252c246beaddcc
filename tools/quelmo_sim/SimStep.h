// One step of a scripted remote: from timeMs on, the remote reports code.
#pragma once

#include <stdint.h>

// The most steps the simulator holds.
constexpr int SIM_MAX_STEPS = 1024;

struct SimStep {
    uint32_t timeMs;
    uint32_t code;
};

// A remote's script as segments, polled every 30 ms; plain C++ for the native suites too.
#pragma once

#include <stdint.h>

#include <vector>

struct Segment {
    uint32_t from;  // ms after the run's base
    uint8_t code;   // reported from then on
};

// Calls poll(code, t) for t from `from` to end every 30 ms, code being that of
// the last segment begun by t (255, no button, before the first).
template <typename Poll>
void PollSegments(const std::vector<Segment>& segments, uint32_t end, Poll poll, uint32_t from = 0)
{
    for (uint32_t t = from; t <= end; t += 30) {
        uint8_t code = 255;
        for (const Segment& s : segments)
            if (s.from <= t)
                code = s.code;
        poll(code, t);
    }
}

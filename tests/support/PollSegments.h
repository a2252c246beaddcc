// A remote's script as segments, polled every 30 ms; plain C++ for the native suites too.
#pragma once

#include <stdint.h>

#include <vector>

struct Segment {
    uint32_t from;  // ms after the run's base
    uint8_t code;   // reported from then on
};

// poll(code, t) every 30 ms from `from` to end; code: the last segment's begun by t (255 before any).
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

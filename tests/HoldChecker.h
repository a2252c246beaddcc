// Checks the holds one receiver of key events hears: a press while nothing is held, repeats 1, 2, 3, ... and one
// release, all of one button. Key names a button to that receiver (a code or a command); int keys allocate nothing.
#pragma once

#include <stdint.h>

#include <utility>

template <typename Key = int>
struct HoldChecker {
    bool open = false;  // a press was heard and its release not yet
    Key key{};
    int32_t next = 1;  // number of the next repeat
    long presses = 0, repeats = 0, releases = 0;

    // What is wrong with this event; null if nothing. After a wrong repeat number the count goes on from the one heard.
    const char* Accept(const Key& k, int32_t value)
    {
        if (value == 0) {
            key = k;
            next = 1;
            ++presses;
            return std::exchange(open, true) ? "a press while another button is held" : nullptr;
        }
        if (value < -1)
            return "an event value below -1";
        if (!open || !(key == k))
            return value == -1 ? "a release without its press" : "a repeat without its press";
        open = value != -1;  // a release ends the hold
        releases += !open;
        repeats += open;
        return !open || std::exchange(next, value + 1) == value ? nullptr : "a repeat out of sequence";
    }
};

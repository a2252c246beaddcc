// Key-event core: turns the level signal of a remote (which code is down at
// each poll) into press, numbered repeat and release events. Plain C++ with
// no system calls and no state of its own: the caller owns the tracker and
// the timings and receives every event through a sink.
#pragma once

#include <stdint.h>

#include "settings/PluginSettings.h"

constexpr uint8_t NO_KEY = 255;
constexpr int32_t EVENT_PRESS = 0;
constexpr int32_t EVENT_RELEASE = -1;

struct KeyTracker {
    uint8_t heldCode;         // NO_KEY when no button is held
    int32_t repeatCount;      // 0 while delaying; from 1 on, the number of the next repeat
    uint32_t pressTime;       // time of the press; then the time repeating was armed
    uint32_t lastSeenTime;    // last time the held button counted as seen
    uint32_t lastRepeatTime;  // time of the last repeat; kept across presses
    uint32_t resets;          // how often ClearTracker ran (see TrackRemoteCode)
};

constexpr KeyTracker IDLE_TRACKER = {NO_KEY, 0, 0, 0, 0, 0};

// Receives each event: the code and 0 (press), n (n-th repeat) or -1 (release).
struct KeyEventSink {
    void (*receive)(void* context, uint8_t code, int32_t eventValue);
    void* context;
};

// Back to no button and all times 0; counts the reset.
void ClearTracker(KeyTracker& tracker);

// One poll: code is what the remote reports at now (NO_KEY: nothing). Times
// are compared as unsigned 32-bit differences, so the counter may wrap. A
// release is marked in the tracker before it is reported; a receiver that
// clears the tracker (the host stopped or reopened) ends the poll there.
void TrackRemoteCode(KeyTracker& tracker, const PluginSettings& timings, uint8_t code, uint32_t now,
                     const KeyEventSink& sink);

// Clears the tracker, then reports the release of the button that was held.
void ResetTracker(KeyTracker& tracker, const KeyEventSink& sink);

// Forgets the held button and reports its release; the times are kept, so
// polling goes on as before.
void ReleaseHeldKey(KeyTracker& tracker, const KeyEventSink& sink);

// Forgets the held button without an event: if it is still down at the next
// poll, that poll reports a fresh press.
void ForgetHeldKey(KeyTracker& tracker);

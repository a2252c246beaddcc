// Key-event core: the key session. Turns the level signal of a remote (which
// code is down at each poll) into press, numbered repeat and release events,
// and decides who hears them: the setup dialog while it takes them, else the
// host while it listens, else nobody. Plain C++ with no system calls and no
// state of its own: the caller owns the session and its two receivers.
//
// Every receiver may call back into the session (Start, Stop, Open, Close, a
// hand-over, a nested poll from its own modal loop). So every change is made
// before it is reported, and every change of the session bumps its
// generation: a poll that finds the generation moved after a report sends
// nothing more and changes nothing more; the next poll carries on from the
// state as it then is.
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
};

constexpr KeyTracker IDLE_TRACKER = {NO_KEY, 0, 0, 0, 0};

// Receives each event: the code and 0 (press), n (n-th repeat) or -1 (release).
struct KeyEventSink {
    void (*receive)(void* context, uint8_t code, int32_t eventValue);
    void* context;
};

struct KeySession {
    KeyTracker tracker;
    uint32_t polling;        // 1 between Start and Stop
    uint32_t hostListening;  // 1 from an Open with a host window until Close
    KeyEventSink host;       // the host's receiver
    KeyEventSink dialog;     // the setup dialog's while it takes the events, else empty
    uint32_t generation;     // bumped by every change of the session
};

// A stopped session whose events would go to host.
constexpr KeySession IdleKeySession(const KeyEventSink& host)
{
    return {IDLE_TRACKER, 0, 0, host, {nullptr, nullptr}, 0};
}

// Whether a poll counts now: polling, with a host listening.
bool KeySessionPolls(const KeySession& session);

// One poll: code is what the remote reports at now (NO_KEY: nothing). Does
// nothing unless polling with a host listening. Times are compared as
// unsigned 32-bit differences, so the clock may wrap.
void PollKeySession(KeySession& session, const PluginSettings& timings, uint8_t code, uint32_t now);

// Polling on, from a clean tracker; false, changing nothing, if it was on.
bool StartKeySession(KeySession& session);

// Polling off and the tracker cleared; then the held button, if any, is
// released to the receiver in charge.
void StopKeySession(KeySession& session);

// A new Open: the held button is forgotten without a release, polling stops,
// and the host listens if it gave a window.
void OpenKeySession(KeySession& session, bool hostWindow);

// Close: the host stops listening, then polling stops; a held button's
// release reaches the dialog only.
void CloseKeySession(KeySession& session);

// The dialog takes the events over. A button the host saw pressed is
// released to the host first, so no key stays down there.
void HandKeysToDialog(KeySession& session, const KeyEventSink& display);

// The events go to the host again. A button still down reaches the host as
// a fresh press, never as a repeat or release of a press it did not see.
void HandKeysToHost(KeySession& session);

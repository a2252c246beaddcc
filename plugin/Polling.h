// The 30 ms poll of the remote and the routing of its key events: to the
// host as command messages, or to the setup dialog while it takes them.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "engine/KeyEngine.h"

constexpr UINT POLL_PERIOD_MS = 30;

// Kills the poll timer and resets the tracker; a held button is released to
// the current receiver first.
void StopPolling();

// TIMERPROC of the 30 ms thread timer: one vendor read and one clock read.
void CALLBACK PollRemote(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// Sends the event to the dialog while it takes them, else the bound command
// to the host; codes above 92 go nowhere.
void DispatchKeyEvent(uint8_t code, int32_t eventValue);

// Key events go to display from now on. A button the host saw pressed is
// released to the host first, so no key stays down there.
void RouteKeyEventsToDialog(HWND dialog, const KeyEventSink& display);

// Key events go to the host again. A button still down reaches the host as a
// fresh press, never as a repeat or release of a press it did not see.
void RouteKeyEventsToHost();

// Clock seam: the poll reads time only through this. Null restores timeGetTime.
typedef uint32_t (*PollClockFn)();
void SetPollClock(PollClockFn clock);

// Timer seam for tests of a failing SetTimer; null restores SetTimer.
typedef UINT_PTR(WINAPI* PollSetTimerFn)(HWND, UINT_PTR, UINT, TIMERPROC);
void SetPollSetTimer(PollSetTimerFn setTimer);

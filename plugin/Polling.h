// The Win32 side of the key session: the 30 ms thread timer, the vendor read
// at each tick, the command message to the host, and the switch of receiver
// when the setup dialog takes key events over. The rules themselves are the
// key session's (engine/KeyEngine.h).
#pragma once

#include <windows.h>
#include <stdint.h>

#include "engine/KeyEngine.h"

constexpr UINT POLL_PERIOD_MS = 30;

// Kills the poll timer, if one runs; the key session is left as it is.
void KillPollTimer();

// Kills the poll timer, then stops the key session: a held button is
// released to the receiver in charge.
void StopPolling();

// TIMERPROC of the 30 ms thread timer: one vendor read and one clock read.
void CALLBACK PollRemote(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// The host's receiver: copies the bound command of code into the record and
// sends it to the host window; unbound buttons send nothing.
void SendCommandToHost(void* context, uint8_t code, int32_t eventValue);

// Key events go to display from now on (dialog is the window showing it).
void RouteKeyEventsToDialog(HWND dialog, const KeyEventSink& display);

// Key events go to the host again.
void RouteKeyEventsToHost();

// Clock seam: the poll reads time only through this. Null restores timeGetTime.
typedef uint32_t (*PollClockFn)();
void SetPollClock(PollClockFn clock);

// Timer seam for tests of a failing SetTimer; null restores SetTimer.
typedef UINT_PTR(WINAPI* PollSetTimerFn)(HWND, UINT_PTR, UINT, TIMERPROC);
void SetPollSetTimer(PollSetTimerFn setTimer);

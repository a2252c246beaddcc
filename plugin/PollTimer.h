// The 30 ms poll: the exports Start and Stop, the thread timer, and the vendor
// read at each tick that feeds the key session (engine/KeySession.h).
#pragma once

#include <windows.h>
#include <stdint.h>

// Kills the poll timer, if one runs; the key session is left as it is.
void KillPollTimer();

// Kills the poll timer, then stops the key session: a held button is
// released to the receiver in charge.
void StopPolling();

// Starts the 30 ms poll as Start does, for the setup dialog: 0 without an
// open card or a timer, 1 if already polling, else the timer id. Unlike the
// export it leaves polling the dialog's, for Setup to stop at its end.
uint32_t StartPolling();

// TIMERPROC of the 30 ms thread timer: one vendor read and one clock read.
void CALLBACK PollRemote(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// Clock seam: the poll reads time only through this. Null restores timeGetTime.
typedef uint32_t (*PollClockFn)();
void SetPollClock(PollClockFn clock);

// Timer seam for tests of a failing SetTimer; null restores SetTimer.
typedef UINT_PTR(WINAPI* PollSetTimerFn)(HWND, UINT_PTR, UINT, TIMERPROC);
void SetPollSetTimer(PollSetTimerFn setTimer);

// Key-event engine: turns the level signal of the remote into press, numbered
// repeat and release events, and routes each to the host or the setup dialog.
#pragma once

#include <windows.h>
#include <stdint.h>

constexpr UINT POLL_PERIOD_MS = 30;
constexpr int32_t EVENT_PRESS = 0;
constexpr int32_t EVENT_RELEASE = -1;

// Kills the poll timer and resets the tracker; a held button is released first.
void StopPolling();

// Hand-over of a held button when key events change hands between the host
// and the setup dialog, so that whoever saw a press also gets its release and
// never a repeat or release without the press.
// ReleaseHeldKey: sends the release of the held button to the current receiver
// and forgets the button; the timer keeps running.
void ReleaseHeldKey();
// ForgetHeldKey: forgets the held button without an event; if it is still down
// at the next poll, that poll reports a fresh press.
void ForgetHeldKey();

// TIMERPROC of the 30 ms thread timer.
void CALLBACK PollRemote(HWND window, UINT message, UINT_PTR timerId, DWORD time);

// Runs the state machine for one poll result; PollRemote's body after its guard.
void TrackRemoteCode(uint8_t code, uint32_t now);

// Sends the event to the dialog while it exists, else the bound command to the host.
void DispatchKeyEvent(uint8_t code, int32_t eventValue);

// Clock seam: the engine reads time only through EngineNow. Tests may install
// their own source; null restores timeGetTime.
typedef uint32_t (*EngineClockFn)();
void SetEngineClock(EngineClockFn clock);
uint32_t EngineNow();

// Timer seam for tests of a failing SetTimer; null restores SetTimer.
typedef UINT_PTR(WINAPI* EngineSetTimerFn)(HWND, UINT_PTR, UINT, TIMERPROC);
void SetEngineSetTimer(EngineSetTimerFn setTimer);

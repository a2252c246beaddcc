#include "engine/KeyEngine.h"

#include <mmsystem.h>

#include "device/RemoteDevice.h"
#include "plugin/PluginState.h"
#include "ui/LiveKeyDisplay.h"

namespace {

uint32_t SystemClock() { return timeGetTime(); }

EngineClockFn g_clock = SystemClock;
// Bumped by every StopPolling (Stop, Open, Close, Start): a poll whose
// dispatch saw it change has been overtaken by the host and sends no more.
uint32_t g_pollingEnds;
EngineSetTimerFn g_setTimer = SetTimer;

void ClearTracker()
{
    KeyTracker& t = g_plugin.tracker;
    t.lastRepeatTime = 0;
    t.pressTime = 0;
    t.lastSeenTime = 0;
    t.repeatCount = 0;
    t.heldCode = NO_KEY;
}

}  // namespace

void SetEngineClock(EngineClockFn clock) { g_clock = clock ? clock : SystemClock; }
uint32_t EngineNow() { return g_clock(); }
void SetEngineSetTimer(EngineSetTimerFn setTimer) { g_setTimer = setTimer ? setTimer : SetTimer; }

extern "C" uint32_t __cdecl Start()
{
    if (!g_plugin.device || !g_plugin.cardOpen)
        return 0;
    if (g_plugin.polling == 1)
        return 1;
    g_plugin.tracker.heldCode = NO_KEY;
    StopPolling();
    const UINT_PTR id = g_setTimer(nullptr, 0, POLL_PERIOD_MS, PollRemote);
    // A poll that would never tick is no running poll.
    if (id == 0)
        return 0;
    g_plugin.timerId = id;
    g_plugin.polling = 1;
    return static_cast<uint32_t>(id);
}

extern "C" uint32_t __cdecl Stop()
{
    StopPolling();
    return 0;
}

void StopPolling()
{
    ++g_pollingEnds;
    g_plugin.polling = 0;
    if (g_plugin.timerId != 0) {
        KillTimer(nullptr, g_plugin.timerId);
        g_plugin.timerId = 0;
    }
    // Mark the button released before telling anyone, so a host that calls
    // back into Stop or Close from its handler sees nothing left to release.
    const uint8_t held = g_plugin.tracker.heldCode;
    ClearTracker();
    if (held != NO_KEY)
        DispatchKeyEvent(held, EVENT_RELEASE);
}

void ReleaseHeldKey()
{
    KeyTracker& t = g_plugin.tracker;
    const uint8_t held = t.heldCode;
    t.heldCode = NO_KEY;
    t.repeatCount = 0;
    if (held != NO_KEY)
        DispatchKeyEvent(held, EVENT_RELEASE);
}

void ForgetHeldKey()
{
    g_plugin.tracker.heldCode = NO_KEY;
    g_plugin.tracker.repeatCount = 0;
}

void CALLBACK PollRemote(HWND, UINT, UINT_PTR timerId, DWORD)
{
    if (timerId != g_plugin.timerId || !g_plugin.device || g_plugin.polling != 1 ||
        !g_plugin.hostWindow)
        return;
    const uint8_t code = g_plugin.device->ReadCode();
    TrackRemoteCode(code, g_clock());
}

void TrackRemoteCode(uint8_t code, uint32_t now)
{
    KeyTracker& t = g_plugin.tracker;
    const PluginSettings& s = g_plugin.settings;

    // A release is marked in the tracker before it is dispatched, as in
    // StopPolling: a host calling Stop or Close from its handler then finds
    // nothing left to release a second time.
    if (code == NO_KEY) {
        if (now - t.lastSeenTime > s.ReleaseTime) {
            const uint8_t held = t.heldCode;
            t.repeatCount = 0;
            t.heldCode = NO_KEY;
            if (held != NO_KEY)
                DispatchKeyEvent(held, EVENT_RELEASE);
        }
        return;
    }

    if (code != t.heldCode) {
        const uint8_t held = t.heldCode;
        if (held != NO_KEY) {
            const uint32_t ends = g_pollingEnds;
            t.heldCode = NO_KEY;
            DispatchKeyEvent(held, EVENT_RELEASE);
            // The host stopped, reopened or restarted from its handler: the
            // next tick of the live timer presses the new button instead.
            if (g_pollingEnds != ends)
                return;
        }
        t.repeatCount = 0;
        t.heldCode = code;
        t.pressTime = now;
        t.lastSeenTime = now;
        DispatchKeyEvent(code, EVENT_PRESS);
        return;
    }

    if (t.repeatCount <= 0) {
        // Not refreshing lastSeenTime here: until repeating is armed the
        // release test measures from the press.
        if (now - t.pressTime >= s.DelayBeforeRepeat) {
            t.pressTime = now;
            t.repeatCount = 1;
        }
        return;
    }

    t.lastSeenTime = now;
    // Below 20 the threshold wraps to a huge value: no repeats at all.
    if (now - t.lastRepeatTime >= s.RepeatInterval - 20u) {
        t.lastRepeatTime = now;
        DispatchKeyEvent(code, t.repeatCount);
        g_plugin.tracker.repeatCount += 1;
    }
}

void DispatchKeyEvent(uint8_t code, int32_t eventValue)
{
    if (code > MAX_BUTTON_CODE)
        return;
    if (g_plugin.dialogWindow) {
        ShowKeyEventInDialog(code, eventValue);
        return;
    }
    const char* command = g_plugin.currentTable->entries[code].command;
    if (command[0] == '\0' || !g_plugin.hostWindow)
        return;
    CopyText(g_plugin.commandRecord.command, COMMAND_SIZE, command);
    SendMessageA(g_plugin.hostWindow, WM_REMOTE_COMMAND,
                 reinterpret_cast<WPARAM>(&g_plugin.commandRecord),
                 static_cast<LPARAM>(eventValue));
}

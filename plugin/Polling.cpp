#include "plugin/Polling.h"

#include <mmsystem.h>

#include "device/RemoteDevice.h"
#include "plugin/PluginState.h"

namespace {

uint32_t SystemClock() { return timeGetTime(); }

PollClockFn g_clock = SystemClock;
PollSetTimerFn g_setTimer = SetTimer;

void ReceiveKeyEvent(void*, uint8_t code, int32_t eventValue) { DispatchKeyEvent(code, eventValue); }

const KeyEventSink kDispatch = {ReceiveKeyEvent, nullptr};

}  // namespace

void SetPollClock(PollClockFn clock) { g_clock = clock ? clock : SystemClock; }
void SetPollSetTimer(PollSetTimerFn setTimer) { g_setTimer = setTimer ? setTimer : SetTimer; }

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
    g_plugin.polling = 0;
    if (g_plugin.timerId != 0) {
        KillTimer(nullptr, g_plugin.timerId);
        g_plugin.timerId = 0;
    }
    // The button is marked released before anyone hears of it, so a host that
    // calls back into Stop or Close from its handler finds nothing left.
    ResetTracker(g_plugin.tracker, kDispatch);
}

void CALLBACK PollRemote(HWND, UINT, UINT_PTR timerId, DWORD)
{
    if (timerId != g_plugin.timerId || !g_plugin.device || g_plugin.polling != 1 || !g_plugin.hostWindow)
        return;
    const uint8_t code = g_plugin.device->ReadCode();
    TrackRemoteCode(g_plugin.tracker, g_plugin.settings, code, g_clock(), kDispatch);
}

void DispatchKeyEvent(uint8_t code, int32_t eventValue)
{
    if (code > MAX_BUTTON_CODE)
        return;
    if (g_plugin.dialogWindow) {
        const KeyEventSink& display = g_plugin.dialogEvents;
        if (display.receive)
            display.receive(display.context, code, eventValue);
        return;
    }
    const char* command = g_plugin.currentTable->entries[code].command;
    if (command[0] == '\0' || !g_plugin.hostWindow)
        return;
    CopyText(g_plugin.commandRecord.command, COMMAND_SIZE, command);
    SendMessageA(g_plugin.hostWindow, WM_REMOTE_COMMAND, reinterpret_cast<WPARAM>(&g_plugin.commandRecord),
                 static_cast<LPARAM>(eventValue));
}

void RouteKeyEventsToDialog(HWND dialog, const KeyEventSink& display)
{
    if (!g_plugin.dialogWindow)
        ReleaseHeldKey(g_plugin.tracker, kDispatch);
    g_plugin.dialogEvents = display;
    g_plugin.dialogWindow = dialog;
}

void RouteKeyEventsToHost()
{
    if (g_plugin.dialogWindow)
        ForgetHeldKey(g_plugin.tracker);
    g_plugin.dialogWindow = nullptr;
    g_plugin.dialogEvents = {nullptr, nullptr};
}

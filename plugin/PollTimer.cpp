#include "plugin/PollTimer.h"

#include <mmsystem.h>

#include "device/RemoteDevice.h"
#include "plugin/PluginState.h"

// The vendor's code is handed to the key session as it is read: its "no
// button" must be the session's.
static_assert(VENDOR_NO_BUTTON == NO_KEY, "the vendor's no-button code is the key session's NO_KEY");

namespace {

constexpr UINT POLL_PERIOD_MS = 30;

uint32_t SystemClock()
{
    return timeGetTime();
}

PollClockFn g_clock = SystemClock;
PollSetTimerFn g_setTimer = SetTimer;

}  // namespace

void SetPollClock(PollClockFn clock)
{
    g_clock = clock ? clock : SystemClock;
}
void SetPollSetTimer(PollSetTimerFn setTimer)
{
    g_setTimer = setTimer ? setTimer : SetTimer;
}

uint32_t StartPolling()
{
    if (!g_plugin.device || !g_plugin.cardOpen)
        return 0;
    if (g_plugin.session.polling == 1)
        return 1;
    const UINT_PTR id = g_setTimer(nullptr, 0, POLL_PERIOD_MS, PollRemote);
    // A poll that would never tick is no running poll.
    if (id == 0)
        return 0;
    g_plugin.timerId = id;
    StartKeySession(g_plugin.session);
    return static_cast<uint32_t>(id);
}

// The host's own Start: polling that runs from now on is the host's, also
// when the setup dialog had started it, and outlives the dialog.
extern "C" uint32_t __cdecl Start()
{
    const uint32_t result = StartPolling();
    g_plugin.hostStartedPolling = result != 0;
    return result;
}

extern "C" uint32_t __cdecl Stop()
{
    g_plugin.hostStartedPolling = 0;
    StopPolling();
    return 0;
}

void KillPollTimer()
{
    if (g_plugin.timerId != 0) {
        KillTimer(nullptr, g_plugin.timerId);
        g_plugin.timerId = 0;
    }
}

void StopPolling()
{
    KillPollTimer();
    StopKeySession(g_plugin.session);
}

void CALLBACK PollRemote(HWND, UINT, UINT_PTR timerId, DWORD)
{
    if (timerId != g_plugin.timerId || !g_plugin.device || !KeySessionPolls(g_plugin.session))
        return;
    const uint8_t code = g_plugin.device->ReadCode();
    PollKeySession(g_plugin.session, g_plugin.settings, code, g_clock());
}

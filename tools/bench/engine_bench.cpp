// Key-event figures (printed, never judged; that nothing is allocated per
// poll is the day-of-polling test's to prove):
//  1. the key session's step alone, median of several runs, per kind of traffic;
//  2. in-process cost of one PollRemote tick with the simulator as code source
//     and a hand-set clock, likewise;
//  3. through the built DLL with the real 30 ms timer and the simulator's
//     timeline: press-to-message latency p50/p99, release latency, and the
//     spacing of auto-repeats with the default timings.
#include <windows.h>
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "engine/KeySession.h"
#include "plugin/PluginDll.h"
#include "plugin/PluginState.h"
#include "plugin/PollTimer.h"
#include "tools/bench/RoundTimes.h"
#include "tools/host/HostKit.h"
#include "tools/quelmo_sim/SimControl.h"

namespace {

// ---------------------------------------------------------------------------
// In-process ticking.

uint32_t g_now = 1000000;
uint32_t BenchClock()
{
    return g_now;
}

SimControl* g_sim = SimAttachControl();

// The host: counts its command messages and, when asked, keeps when each came.
struct Arrival {
    DWORD time;
    LPARAM value;
};
long g_hostMessages = 0;
std::vector<Arrival>* g_arrivals = nullptr;

LRESULT CALLBACK LeanHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_REMOTE_COMMAND) {
        ++g_hostMessages;
        if (g_arrivals)
            g_arrivals->push_back({timeGetTime(), lParam});
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool InstallSimulator()
{
    if (!g_sim || !SimInstallAsVendor((ProgramFolder(2) + "\\sim\\QuelmoRC_full.dll").c_str()))
        return false;
    SimReset(g_sim);
    return true;
}

HWND CreateLeanHost()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = LeanHostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VrcBenchHost";
    RegisterClassA(&wc);
    return CreateWindowA("VrcBenchHost", "bench host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

struct Mode {
    const char* name;
    uint32_t codeA;  // reported on even ticks
    uint32_t codeB;  // reported on odd ticks
};

// Median and range of the nanoseconds per step of step(i), over runs of steps.
template <typename Step>
void PrintNanosPerStep(const char* name, int runs, int steps, Step step)
{
    const std::vector<double> seconds = SortedRoundSeconds(runs, [&] {
        for (int i = 0; i < steps; ++i)
            step(i);
    });
    const double perStep = 1e9 / steps;
    printf("%-44s median %8.1f ns  (min %.1f, max %.1f)\n", name, seconds[seconds.size() / 2] * perStep,
           seconds.front() * perStep, seconds.back() * perStep);
}

void BenchTicks()
{
    const Mode modes[] = {
        {"idle (no button)", VENDOR_NO_BUTTON, VENDOR_NO_BUTTON},
        {"held, unbound", 0x20, 0x20},
        {"held, bound (repeat every 3rd tick)", 0x1A, 0x1A},
        {"switching A/B every tick (release+press)", 0x1A, 0x12},
    };
    HWND window = CreateLeanHost();
    if (!InstallSimulator()) {
        printf("cannot install the simulator as vendor library\n");
        return;
    }
    // The linked-in plug-in reads the settings file named after this program: none.
    DeleteFileA(IniPathBeside(ProgramFolder(0)).c_str());
    ResetPluginState();
    Open("BENCH", window, 0);
    SetButtonCommand(*g_plugin.currentTable, 0x1A, "CH_UP");
    SetButtonCommand(*g_plugin.currentTable, 0x12, "POWER");
    SetPollClock(BenchClock);
    if (!Start() || !g_plugin.cardOpen) {  // never pumped: the ticks below are the only polls
        printf("in-process Start failed\n");
        return;
    }
    printf("\n== In-process PollRemote tick (simulator code source, hand-set clock +30 ms/tick), ns per tick\n");
    for (const Mode& mode : modes) {
        Stop();
        Start();
        const UINT_PTR id = g_plugin.timerId;
        const long before = g_hostMessages;
        g_sim->heldCode = mode.codeA;
        PrintNanosPerStep(mode.name, 7, 20000, [&](int i) {
            g_sim->heldCode = (i & 1) ? mode.codeB : mode.codeA;
            g_now += 30;
            PollRemote(nullptr, WM_TIMER, id, 0);
        });
        printf("%-44s host messages per tick %.3f\n", "", (g_hostMessages - before) / (7.0 * 20000));
    }
    Close();
    SetPollClock(nullptr);
    DestroyWindow(window);
}

// ---------------------------------------------------------------------------
// The key session alone: one poll step, events to a counter.

long g_coreEvents = 0;
void CountEvent(void*, uint8_t, int32_t)
{
    ++g_coreEvents;
}

void BenchCoreStep()
{
    const Mode modes[] = {
        {"idle (no button)", VENDOR_NO_BUTTON, VENDOR_NO_BUTTON},
        {"held (a repeat every 3rd step)", 0x1A, 0x1A},
        {"switching A/B every step (release+press)", 0x1A, 0x12},
    };
    printf("== Key session: PollKeySession alone (no vendor call, no message), ns per step\n");
    for (const Mode& mode : modes) {
        KeySession session = IdleKeySession({CountEvent, nullptr});
        OpenKeySession(session, true);
        StartKeySession(session);
        uint32_t now = 1000000;
        PrintNanosPerStep(mode.name, 7, 200000, [&](int i) {
            now += 30;
            PollKeySession(session, DEFAULT_SETTINGS, static_cast<uint8_t>((i & 1) ? mode.codeB : mode.codeA), now);
        });
    }
}

// ---------------------------------------------------------------------------
// Real DLL, real timer.

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    size_t index = static_cast<size_t>(p * v.size() + 0.999999);
    if (index == 0)
        index = 1;
    if (index > v.size())
        index = v.size();
    return v[index - 1];
}

double Mean(const std::vector<double>& v)
{
    return v.empty() ? 0 : std::accumulate(v.begin(), v.end(), 0.0) / v.size();
}

void BenchRealTimer()
{
    printf("\n== Built DLL, real 30 ms timer, simulator timeline (defaults 350/100/60)\n");
    const std::string pluginPath = ProgramFolder(2) + "\\VantorixRC.dll";
    const std::string ini = IniPathBeside(pluginPath);
    FILE* file = fopen(ini.c_str(), "wb");
    const bool written = file && fputs("[Buttons]\r\n1A=CH_UP\r\n", file) >= 0;
    if (file)
        fclose(file);
    if (!InstallSimulator() || !written) {
        printf("cannot prepare vendor library or settings file\n");
        return;
    }
    HWND window = CreateLeanHost();
    std::vector<Arrival> arrivals;
    g_arrivals = &arrivals;
    PluginDll plugin;
    if (!plugin.Load(pluginPath)) {
        printf("cannot load the plug-in\n");
        DeleteFileA(ini.c_str());
        return;
    }
    plugin.Open("BENCH", window, 0);
    if (!plugin.Start()) {
        printf("Start failed\n");
        plugin.Close();
        DeleteFileA(ini.c_str());
        return;
    }

    // Taps of 150 ms at uneven periods (so presses fall on every phase of the
    // poll), then long holds for the repeat spacing.
    const int kTaps = 60;
    const int kHolds = 5;
    std::vector<SimStep> steps;
    std::vector<uint32_t> pressAt, releaseAt;
    uint32_t t = 300;
    steps.push_back({0, VENDOR_NO_BUTTON});
    for (int i = 0; i < kTaps; ++i) {
        steps.push_back({t, 0x1A});
        steps.push_back({t + 150, VENDOR_NO_BUTTON});
        pressAt.push_back(t);
        releaseAt.push_back(t + 150);
        t += 310 + (i * 13) % 30;
    }
    for (int i = 0; i < kHolds; ++i) {
        steps.push_back({t, 0x1A});
        steps.push_back({t + 1500, VENDOR_NO_BUTTON});
        pressAt.push_back(t);
        releaseAt.push_back(t + 1500);
        t += 1900;
    }
    const uint32_t readsBefore = g_sim->callCount[CALL_GET_REMOTE_CODE];
    SimPlayTimeline(g_sim, steps.data(), static_cast<uint32_t>(steps.size()));
    const DWORD start = g_sim->timelineStart;
    const size_t presses = pressAt.size();
    auto releases = [&] {
        return static_cast<size_t>(
            std::count_if(arrivals.begin(), arrivals.end(), [](const Arrival& m) { return m.value == -1; }));
    };
    const bool complete = PumpMessagesUntil([&] { return releases() >= presses; }, t + 15000);
    const DWORD elapsed = timeGetTime() - start;
    const uint32_t reads = g_sim->callCount[CALL_GET_REMOTE_CODE] - readsBefore;
    plugin.Close();
    plugin.Unload();
    g_arrivals = nullptr;
    DestroyWindow(window);
    DeleteFileA(ini.c_str());

    // Each message belongs to the latest step of its kind at or before its arrival.
    std::vector<double> pressLatency, tapReleaseLatency, holdReleaseLatency, spacing, firstRepeat;
    const Arrival* previous = nullptr;
    const Arrival* lastPress = nullptr;
    size_t order = 0, gaps = 0;
    int32_t expectedNext = 0;
    for (const Arrival& m : arrivals) {
        const uint32_t rel = m.time - start;
        if (m.value == 0) {
            if (expectedNext != 0)
                ++gaps;
            // The last press scripted at or before its arrival (they are in order).
            const auto after = std::upper_bound(pressAt.begin(), pressAt.end(), rel);
            const uint32_t best = after == pressAt.begin() ? 0 : *(after - 1);
            pressLatency.push_back(static_cast<double>(rel - best));
            lastPress = &m;
            expectedNext = 1;
        } else if (m.value == -1) {
            size_t best = 0;
            for (size_t i = 0; i < releaseAt.size(); ++i)
                if (releaseAt[i] <= rel)
                    best = i;
            const double latency = static_cast<double>(rel - releaseAt[best]);
            (best < static_cast<size_t>(kTaps) ? tapReleaseLatency : holdReleaseLatency).push_back(latency);
            expectedNext = 0;
        } else {
            if (m.value != expectedNext)
                ++gaps;
            expectedNext = static_cast<int32_t>(m.value) + 1;
            if (m.value == 1 && lastPress)
                firstRepeat.push_back(static_cast<double>(m.time - lastPress->time));
            else if (previous && previous->value >= 1)
                spacing.push_back(static_cast<double>(m.time - previous->time));
        }
        previous = &m;
        ++order;
    }

    printf("   %s in %lu ms: %u presses scripted, %u messages (%u presses, %u releases);"
           " numbering/order faults: %u\n",
           complete ? "complete" : "INCOMPLETE", static_cast<unsigned long>(elapsed), static_cast<unsigned>(presses),
           static_cast<unsigned>(order), static_cast<unsigned>(pressLatency.size()),
           static_cast<unsigned>(tapReleaseLatency.size() + holdReleaseLatency.size()), static_cast<unsigned>(gaps));
    printf("   mean poll period: %.1f ms (%u vendor reads)\n", reads ? static_cast<double>(elapsed) / reads : 0.0,
           reads);
    printf("   press-to-message latency: p50 %.0f ms, p99 %.0f ms, max %.0f ms (n=%u)\n",
           Percentile(pressLatency, 0.50), Percentile(pressLatency, 0.99), Percentile(pressLatency, 1.0),
           static_cast<unsigned>(pressLatency.size()));
    // A 150 ms tap is released while still delaying, when the release test
    // measures from the press: the first empty poll already releases it.
    printf("   button-gone-to-release latency, 150 ms taps: p50 %.0f ms, p99 %.0f ms (n=%u)\n",
           Percentile(tapReleaseLatency, 0.50), Percentile(tapReleaseLatency, 0.99),
           static_cast<unsigned>(tapReleaseLatency.size()));
    printf("   button-gone-to-release latency, 1.5 s holds (ReleaseTime 60 after last seen):"
           " p50 %.0f ms, max %.0f ms (n=%u)\n",
           Percentile(holdReleaseLatency, 0.50), Percentile(holdReleaseLatency, 1.0),
           static_cast<unsigned>(holdReleaseLatency.size()));
    printf("   press to first repeat: mean %.1f ms (n=%u)\n", Mean(firstRepeat),
           static_cast<unsigned>(firstRepeat.size()));
    if (!spacing.empty())
        printf("   repeat spacing: mean %.1f ms, min %.0f, max %.0f (n=%u; expected about 90)\n", Mean(spacing),
               Percentile(spacing, 0.0), Percentile(spacing, 1.0), static_cast<unsigned>(spacing.size()));
    else
        printf("   repeat spacing: no repeats seen\n");
}

}  // namespace

int main()
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    BenchCoreStep();
    BenchTicks();
    BenchRealTimer();
    return 0;
}

// Key-event engine figures (printed, never judged):
//  1. in-process cost of one PollRemote tick with the simulator as code source
//     and a fake clock, median of several runs, per kind of traffic;
//  2. allocations per tick: calls through the executable's import table to
//     the C runtime's and the system's allocators, plus operator new, counted
//     while ticking, and the net change of busy blocks in every process heap;
//  3. through the built DLL with the real 30 ms timer and the simulator's
//     timeline: press-to-message latency p50/p99, release latency, and the
//     spacing of auto-repeats with the default timings.
#include <windows.h>
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/KeySession.h"
#include "plugin/PluginState.h"
#include "plugin/PollTimer.h"
#include "support/AllocationCounter.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"

namespace {

// ---------------------------------------------------------------------------
// In-process ticking.

uint32_t g_now = 1000000;
uint32_t FakeClock() { return g_now; }

long g_hostMessages = 0;

LRESULT CALLBACK LeanHostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER + 1) {
        ++g_hostMessages;
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateLeanHost()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = LeanHostProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VrcBenchHost";
    RegisterClassA(&wc);
    return CreateWindowA("VrcBenchHost", "bench host", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

struct Mode {
    const char* name;
    uint32_t codeA;  // reported on even ticks
    uint32_t codeB;  // reported on odd ticks
};

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to, LARGE_INTEGER freq)
{
    return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(freq.QuadPart);
}

void BenchTicks()
{
    const int kRuns = 7;
    const int kTicks = 20000;
    const Mode modes[] = {
        {"idle (no button)", 255, 255},
        {"held, unbound", 0x20, 0x20},
        {"held, bound (repeat every 3rd tick)", 0x1A, 0x1A},
        {"switching A/B every tick (release+press)", 0x1A, 0x12},
    };

    HWND window = CreateLeanHost();
    if (!InstallVendor("full")) {
        printf("cannot install the simulator as vendor library\n");
        return;
    }
    ResetSim();
    const std::string ini = OwnIniPath();
    DeleteFileA(ini.c_str());

    ResetPluginState();
    Open("BENCH", window, 0);
    SetButtonCommand(*g_plugin.currentTable, 0x1A, "CH_UP");
    SetButtonCommand(*g_plugin.currentTable, 0x12, "POWER");
    SetPollClock(FakeClock);
    const UINT_PTR timer = Start();  // never pumped: the ticks below are the only polls
    if (!timer || !g_plugin.cardOpen) {
        printf("in-process Start failed\n");
        return;
    }

    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    printf("== In-process PollRemote tick (simulator code source, fake clock +30 ms/tick)\n");
    printf("   %d runs x %d ticks per kind; median and range of ns per tick\n", kRuns, kTicks);
    printf("   allocation counting: this executable's import slots for malloc/calloc/realloc\n"
           "   and HeapAlloc/HeapReAlloc/LocalAlloc/GlobalAlloc redirected to counters,\n"
           "   plus a counting operator new; and the net busy-block change over a HeapWalk of\n"
           "   all process heaps (system-internal allocations of Windows itself are not seen)\n");

    for (const Mode& mode : modes) {
        std::vector<double> ns;
        long messages = 0;
        long newCalls = 0, crtCalls = 0, heapCalls = 0;
        long heapDelta = 0;
        for (int run = 0; run < kRuns; ++run) {
            Stop();
            Start();
            const UINT_PTR id = g_plugin.timerId;
            SimHold(mode.codeA);
            const long before = g_hostMessages;
            const long blocksBefore = HeapBusyBlocks();
            LARGE_INTEGER t0, t1;
            const bool alternate = mode.codeA != mode.codeB;
            StartCountingAllocations();
            QueryPerformanceCounter(&t0);
            for (int i = 0; i < kTicks; ++i) {
                if (alternate)
                    Sim()->heldCode = (i & 1) ? mode.codeB : mode.codeA;
                g_now += 30;
                PollRemote(nullptr, WM_TIMER, id, 0);
            }
            QueryPerformanceCounter(&t1);
            const AllocationCounts counts = StopCountingAllocations();
            heapDelta += HeapBusyBlocks() - blocksBefore;
            newCalls += counts.newCalls;
            crtCalls += counts.crtCalls;
            heapCalls += counts.heapCalls;
            messages += g_hostMessages - before;
            ns.push_back(Seconds(t0, t1, freq) * 1e9 / kTicks);
        }
        std::sort(ns.begin(), ns.end());
        const double ticks = static_cast<double>(kRuns) * kTicks;
        printf("%-44s median %8.0f ns/tick  (min %.0f, max %.0f)  host messages/tick %.3f\n", mode.name,
               ns[ns.size() / 2], ns.front(), ns.back(), messages / ticks);
        printf("%-44s allocations/tick: operator new %.5f, malloc-family %.5f, heap API %.5f;"
               " net busy heap blocks %+ld over %.0f ticks\n",
               "", newCalls / ticks, crtCalls / ticks, heapCalls / ticks, heapDelta, ticks);
    }

    Close();
    SetPollClock(nullptr);
    DestroyWindow(window);
    DeleteFileA(ini.c_str());
}

// ---------------------------------------------------------------------------
// The key-event core alone: one poll step on a tracker, events to a counter.

long g_coreEvents = 0;
void CountEvent(void*, uint8_t, int32_t) { ++g_coreEvents; }

void BenchCoreStep()
{
    const int kRuns = 7;
    const int kTicks = 200000;
    const Mode modes[] = {
        {"idle (no button)", 255, 255},
        {"held (a repeat every 3rd step)", 0x1A, 0x1A},
        {"switching A/B every step (release+press)", 0x1A, 0x12},
    };
    const KeyEventSink sink = {CountEvent, nullptr};
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    printf("\n== Key-event core: PollKeySession alone (no vendor call, no message)\n");
    for (const Mode& mode : modes) {
        std::vector<double> ns;
        long allocations = 0;
        for (int run = 0; run < kRuns; ++run) {
            KeySession session = IdleKeySession(sink);
            OpenKeySession(session, true);
            StartKeySession(session);
            uint32_t now = 1000000;
            LARGE_INTEGER t0, t1;
            StartCountingAllocations();
            QueryPerformanceCounter(&t0);
            for (int i = 0; i < kTicks; ++i) {
                now += 30;
                PollKeySession(session, DEFAULT_SETTINGS, static_cast<uint8_t>((i & 1) ? mode.codeB : mode.codeA), now);
            }
            QueryPerformanceCounter(&t1);
            allocations += StopCountingAllocations().Total();
            ns.push_back(Seconds(t0, t1, freq) * 1e9 / kTicks);
        }
        std::sort(ns.begin(), ns.end());
        printf("%-44s median %6.1f ns/step  (min %.1f, max %.1f)  allocations %ld over %d steps\n", mode.name,
               ns[ns.size() / 2], ns.front(), ns.back(), allocations, kRuns * kTicks);
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
    double sum = 0;
    for (double x : v)
        sum += x;
    return v.empty() ? 0 : sum / v.size();
}

void BenchRealTimer()
{
    printf("\n== Built DLL, real 30 ms timer, simulator timeline (defaults 350/100/60)\n");
    const std::string ini = BuildDir() + "\\VantorixRC.ini";
    if (!InstallVendor("full") || !WriteFileText(ini, "[Buttons]\r\n1A=CH_UP\r\n")) {
        printf("cannot prepare vendor library or settings file\n");
        return;
    }
    ResetSim();
    RecordingHost host;
    PluginDll plugin;
    if (!plugin.Load(PluginPath())) {
        printf("cannot load %s\n", PluginPath().c_str());
        DeleteFileA(ini.c_str());
        return;
    }
    plugin.Open("BENCH", host.Window(), 0);
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
    steps.push_back({0, 255});
    for (int i = 0; i < kTaps; ++i) {
        steps.push_back({t, 0x1A});
        steps.push_back({t + 150, 255});
        pressAt.push_back(t);
        releaseAt.push_back(t + 150);
        t += 310 + (i * 13) % 30;
    }
    for (int i = 0; i < kHolds; ++i) {
        steps.push_back({t, 0x1A});
        steps.push_back({t + 1500, 255});
        pressAt.push_back(t);
        releaseAt.push_back(t + 1500);
        t += 1900;
    }
    const uint32_t readsBefore = Sim()->callCount[CALL_GET_REMOTE_CODE];
    SimTimeline(steps.data(), static_cast<uint32_t>(steps.size()));
    const DWORD start = Sim()->timelineStart;
    const size_t presses = pressAt.size();
    auto releases = [&] {
        size_t n = 0;
        for (const HostMessage& m : host.messages)
            n += m.lParam == -1;
        return n;
    };
    const bool complete = RecordingHost::PumpUntil([&] { return releases() >= presses; }, t + 15000);
    const DWORD elapsed = timeGetTime() - start;
    const uint32_t reads = Sim()->callCount[CALL_GET_REMOTE_CODE] - readsBefore;
    plugin.Close();
    plugin.Unload();
    DeleteFileA(ini.c_str());

    // Each message belongs to the latest step of its kind at or before its arrival.
    std::vector<double> pressLatency, tapReleaseLatency, holdReleaseLatency, spacing, firstRepeat;
    const HostMessage* previous = nullptr;
    const HostMessage* lastPress = nullptr;
    size_t order = 0, gaps = 0;
    int32_t expectedNext = 0;
    for (const HostMessage& m : host.messages) {
        const uint32_t rel = m.time - start;
        if (m.lParam == 0) {
            if (expectedNext != 0)
                ++gaps;
            uint32_t best = 0;
            for (uint32_t p : pressAt)
                if (p <= rel)
                    best = p;
            pressLatency.push_back(static_cast<double>(rel - best));
            lastPress = &m;
            expectedNext = 1;
        } else if (m.lParam == -1) {
            size_t best = 0;
            for (size_t i = 0; i < releaseAt.size(); ++i)
                if (releaseAt[i] <= rel)
                    best = i;
            const double latency = static_cast<double>(rel - releaseAt[best]);
            (best < static_cast<size_t>(kTaps) ? tapReleaseLatency : holdReleaseLatency).push_back(latency);
            expectedNext = 0;
        } else {
            if (m.lParam != expectedNext)
                ++gaps;
            expectedNext = static_cast<int32_t>(m.lParam) + 1;
            if (m.lParam == 1 && lastPress)
                firstRepeat.push_back(static_cast<double>(m.time - lastPress->time));
            else if (previous && previous->lParam >= 1)
                spacing.push_back(static_cast<double>(m.time - previous->time));
        }
        previous = &m;
        ++order;
    }

    printf("   %s in %lu ms: %u presses scripted, %u messages (%u presses, %u releases);"
           " numbering/order faults: %u\n",
           complete ? "complete" : "INCOMPLETE", static_cast<unsigned long>(elapsed),
           static_cast<unsigned>(presses), static_cast<unsigned>(order),
           static_cast<unsigned>(pressLatency.size()),
           static_cast<unsigned>(tapReleaseLatency.size() + holdReleaseLatency.size()),
           static_cast<unsigned>(gaps));
    printf("   mean poll period: %.1f ms (%u vendor reads)\n",
           reads ? static_cast<double>(elapsed) / reads : 0.0, reads);
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
    const int patched = InstallAllocationCounters();
    printf("engine_bench: %d allocator import slots redirected to counters\n", patched);
    printf("  (malloc, calloc, realloc, HeapAlloc, HeapReAlloc, LocalAlloc, GlobalAlloc where imported)\n\n");
    BenchCoreStep();
    BenchTicks();
    BenchRealTimer();
    return 0;
}

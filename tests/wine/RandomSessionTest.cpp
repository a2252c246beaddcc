// Random sessions against the plug-in's own code linked in: random host calls
// (with handlers that call back into Stop, Close, Open or Start), random vendor
// behaviour through the simulator and its variants, random timings and clock
// steps across the 2^32 wrap. After every step the invariants a host relies on
// are checked: timers, the vendor library, the record and what the host heard.
// Receivers and hand-overs of the key session are checked natively. A failing session is
// shrunk to the shortest step list that still fails and printed with its seed.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "plugin/Polling.h"
#include "plugin/PluginState.h"
#include "support/ImportPatch.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"
#include "tests/SeededRandom.h"
#include "tests/ShrinkSteps.h"

namespace {

typedef SeededRandom Random;

// ---------------------------------------------------------------------------
// Steps.

enum StepKind {
    OPEN,          // a: 0 host window, 1 null window; b: source kind
    CLOSE,
    START,
    STOP,
    TICKS,         // a: polls; b: ms between polls
    HOLD,          // a: code the remote reports (255: none)
    CLOCK,         // a: new clock value
    CARDS,         // a: card count; b: failing-open mask; c: null-name mask; d: remote type
    VENDOR,        // a: variant index (takes effect only while no library is loaded)
    TIMINGS,       // a, b, c: delay, interval, release written straight into the settings
    SETTINGS,      // a: seed of a settings file written beside the module
    REACT,         // a: what the host does in its handler; b: on which later message
    FAIL_TIMER,    // the next SetTimer fails
    STALE_TICK,    // a poll for a timer id that is not (or no longer) the plug-in's
};

struct Step {
    StepKind kind;
    uint32_t a, b, c, d;
};

enum Reaction { REACT_NONE, REACT_STOP, REACT_CLOSE, REACT_OPEN, REACT_START, REACT_COUNT };

const char* const kVariants[] = {"full", "no_name", "no_type", "no_uninit", "count_code", "none", "absent"};
constexpr uint32_t kVariantCount = sizeof kVariants / sizeof kVariants[0];
constexpr uint32_t kAbsent = kVariantCount - 1;

bool HasUnInit(uint32_t variant) { return variant == 0 || variant == 1 || variant == 2; }

std::string Describe(const Step& s)
{
    char text[160];
    switch (s.kind) {
    case OPEN: snprintf(text, sizeof text, "Open(window %s, source kind %u)", s.a ? "null" : "host", s.b); break;
    case CLOSE: snprintf(text, sizeof text, "Close()"); break;
    case START: snprintf(text, sizeof text, "Start()"); break;
    case STOP: snprintf(text, sizeof text, "Stop()"); break;
    case TICKS: snprintf(text, sizeof text, "%u polls, %u ms apart", s.a, s.b); break;
    case HOLD: snprintf(text, sizeof text, "remote reports code %u", s.a); break;
    case CLOCK: snprintf(text, sizeof text, "clock set to %u", s.a); break;
    case CARDS:
        snprintf(text, sizeof text, "vendor: %u cards, failing open mask 0x%X, null name mask 0x%X, remote type %d",
                 s.a, s.b, s.c, static_cast<int>(s.d));
        break;
    case VENDOR: snprintf(text, sizeof text, "vendor library variant %s", kVariants[s.a]); break;
    case TIMINGS: snprintf(text, sizeof text, "timings %u/%u/%u", s.a, s.b, s.c); break;
    case SETTINGS: snprintf(text, sizeof text, "settings file from seed %u", s.a); break;
    case REACT: {
        static const char* const names[] = {"nothing", "Stop", "Close", "Open", "Start"};
        snprintf(text, sizeof text, "host calls %s from its handler of message +%u", names[s.a], s.b);
        break;
    }
    case FAIL_TIMER: snprintf(text, sizeof text, "next SetTimer fails"); break;
    case STALE_TICK: snprintf(text, sizeof text, "poll for a foreign timer id"); break;
    }
    return text;
}

uint32_t RandomTiming(Random& r)
{
    static const uint32_t special[] = {0, 1, 19, 20, 21, 30, 31, 59, 60, 61, 100, 350, 800, 1000,
                                       0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    const uint32_t pick = r.Below(100);
    if (pick < 35)
        return special[r.Below(sizeof special / sizeof special[0])];
    return pick < 90 ? r.Below(1000) : r.Next();
}

uint32_t RandomCode(Random& r)
{
    // Mostly nothing or the bound codes of the settings, sometimes anything.
    const uint32_t pick = r.Below(100);
    if (pick < 35)
        return 255;
    if (pick < 85)
        return 0x10 + r.Below(0x10);
    if (pick < 95)
        return r.Below(93);
    return r.Below(256);
}

Step RandomStep(Random& r)
{
    const uint32_t pick = r.Below(100);
    if (pick < 32) {
        const uint32_t gap = r.Chance(75) ? 30 : (r.Chance(50) ? r.Below(30) : r.Below(r.Chance(90) ? 500 : 200000));
        return {TICKS, 1 + r.Below(r.Chance(20) ? 100 : 25), gap, 0, 0};
    }
    if (pick < 52)
        return {HOLD, RandomCode(r), 0, 0, 0};
    if (pick < 57)
        return {OPEN, r.Chance(8) ? 1u : 0u, r.Below(3), 0, 0};
    if (pick < 59)
        return {CLOSE, 0, 0, 0, 0};
    if (pick < 69)
        return {START, 0, 0, 0, 0};
    if (pick < 72)
        return {STOP, 0, 0, 0, 0};
    if (pick < 75)
        return {CLOCK, r.Chance(60) ? 0xFFFFFFFFu - r.Below(400) : r.Next(), 0, 0, 0};
    if (pick < 78) {
        static const int32_t types[] = {-1, 0, 1, 2, 3, 7};
        return {CARDS, r.Below(r.Chance(80) ? 4 : 9), r.Chance(20) ? r.Below(256) : 0u,
                r.Chance(15) ? r.Below(256) : 0u, static_cast<uint32_t>(types[r.Below(6)])};
    }
    if (pick < 80)
        return {VENDOR, r.Chance(8) ? kAbsent : (r.Chance(50) ? 0 : r.Below(kVariantCount - 1)), 0, 0, 0};
    if (pick < 84)
        return {TIMINGS, RandomTiming(r), RandomTiming(r), RandomTiming(r), 0};
    if (pick < 86)
        return {SETTINGS, r.Next(), 0, 0, 0};
    if (pick < 96)
        return {REACT, 1 + r.Below(REACT_COUNT - 1), r.Below(3), 0, 0};
    if (pick < 99)
        return {FAIL_TIMER, 0, 0, 0, 0};
    return {STALE_TICK, 0, 0, 0, 0};
}

std::vector<Step> RandomSession(uint64_t seed, size_t length)
{
    Random r(seed);
    // A settings file with bindings, then most sessions begin as a host
    // does: open, start, then whatever comes.
    std::vector<Step> steps = {{SETTINGS, r.Next(), 0, 0, 0}};
    if (r.Chance(80)) {
        steps.push_back({OPEN, 0, r.Below(3), 0, 0});
        steps.push_back({START, 0, 0, 0, 0});
    }
    while (steps.size() < length)
        steps.push_back(RandomStep(r));
    return steps;
}

// ---------------------------------------------------------------------------
// The world the plug-in runs in: host window, clock, timers, vendor library.

// Live thread timers of this process, from the plug-in's SetTimer and KillTimer calls.
std::set<UINT_PTR> g_liveTimers;
std::vector<UINT_PTR> g_everSet;
bool g_failNextTimer;
typedef BOOL(WINAPI* KillTimerFn)(HWND, UINT_PTR);
KillTimerFn g_realKillTimer;

UINT_PTR WINAPI WatchedSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc)
{
    if (g_failNextTimer) {
        g_failNextTimer = false;
        return 0;
    }
    const UINT_PTR timer = SetTimer(window, id, period, proc);
    if (timer) {
        g_liveTimers.insert(timer);
        g_everSet.push_back(timer);
    }
    return timer;
}

BOOL WINAPI WatchedKillTimer(HWND window, UINT_PTR id)
{
    const BOOL killed = g_realKillTimer(window, id);
    if (killed)
        g_liveTimers.erase(id);
    return killed;
}

// What the host has seen of the current hold.
struct HostView {
    bool holdOpen = false;
    std::string command;
    int32_t nextRepeat = 1;
};

struct World {
    HWND host = nullptr;
    HostView view;
    bool closed = true;           // the last completed Open/Close was a Close (or none yet)
    uint32_t reaction = REACT_NONE;
    uint32_t reactionCountdown = 0;
    uint32_t variant = 0;         // installed vendor variant
    uint32_t installed = 0xFFFFFFFF;
    std::string source;
    std::string failure;          // first broken invariant
    long messages = 0;
    long livePolls = 0;           // polls of a running poll timer
    long boundPolls = 0;          // of those, with a bound button down
    bool plantRepeatLimit = false;  // the harness's own check: fails at repeat 3
};

World g_world;

void Fail(const std::string& what)
{
    if (g_world.failure.empty())
        g_world.failure = what;
}

std::string SourceFor(uint32_t kind)
{
    switch (kind) {
    case 0: return "TV";
    case 1: return std::string(100, 'S');
    default: return "";
    }
}

void DoOpen(uint32_t nullWindow, uint32_t sourceKind);
void DoClose();

// Abandons the host's view of a hold whose release cannot come any more.
void AbandonHold() { g_world.view.holdOpen = false; }

void OnHostMessage(WPARAM wParam, LPARAM lParam)
{
    World& w = g_world;
    ++w.messages;
    if (w.closed)
        Fail("command message after Close");
    if (wParam != reinterpret_cast<WPARAM>(&g_plugin.commandRecord))
        Fail("message does not carry the record's address");
    const char* record = reinterpret_cast<const char*>(wParam);
    if (memchr(record, 0, SOURCE_NAME_SIZE) == nullptr || memchr(record + SOURCE_NAME_SIZE, 0, COMMAND_SIZE) == nullptr)
        Fail("record text longer than its slot");
    const std::string command(record + SOURCE_NAME_SIZE, strnlen(record + SOURCE_NAME_SIZE, COMMAND_SIZE));
    if (command.empty())
        Fail("message with an empty command");
    const std::string expectedSource = w.source.empty() ? "REMOTE" : w.source.substr(0, 63);
    if (std::string(record, strnlen(record, SOURCE_NAME_SIZE)) != expectedSource)
        Fail("record's source name is not the opened one");

    const int32_t value = static_cast<int32_t>(lParam);
    HostView& v = w.view;
    if (value == EVENT_PRESS) {
        if (v.holdOpen)
            Fail("press of " + command + " while " + v.command + " is still down");
        v.holdOpen = true;
        v.command = command;
        v.nextRepeat = 1;
    } else if (value == EVENT_RELEASE) {
        if (!v.holdOpen || v.command != command)
            Fail("release of " + command + " without its press");
        v.holdOpen = false;
    } else if (value > 0) {
        if (!v.holdOpen || v.command != command)
            Fail("repeat of " + command + " without its press");
        else if (value != v.nextRepeat)
            Fail("repeat " + std::to_string(value) + " of " + command + " where " + std::to_string(v.nextRepeat) +
                 " was due");
        v.nextRepeat = value + 1;
        if (w.plantRepeatLimit && value >= 3)
            Fail("planted: repeat 3 reached");
    } else {
        Fail("event value " + std::to_string(value));
    }

    if (w.reaction != REACT_NONE) {
        if (w.reactionCountdown > 0) {
            --w.reactionCountdown;
        } else {
            const uint32_t reaction = w.reaction;
            w.reaction = REACT_NONE;
            switch (reaction) {
            case REACT_STOP: Stop(); break;
            case REACT_CLOSE: DoClose(); break;
            case REACT_OPEN: DoOpen(0, 0); break;
            case REACT_START: Start(); break;
            default: break;
            }
        }
    }
}

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_REMOTE_COMMAND && window == g_world.host) {
        OnHostMessage(wParam, lParam);
        return 0;
    }
    if (message == WM_REMOTE_COMMAND)
        Fail("command message to a window that is not the host's");
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* title)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HostProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "VrcRandomSessionHost";
        registered = RegisterClassA(&wc) != 0;
    }
    return CreateWindowA("VrcRandomSessionHost", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

void WriteRandomSettings(uint32_t seed)
{
    Random r(seed);
    std::string text = "[Hardware]\r\n";
    text += "DeviceIndex=" + std::to_string(r.Chance(85) ? 0 : (r.Chance(70) ? r.Below(4) : r.Next())) + "\r\n";
    text += "DelayBeforeRepeat=" + std::to_string(RandomTiming(r)) + "\r\n";
    text += "RepeatInterval=" + std::to_string(RandomTiming(r)) + "\r\n";
    text += "ReleaseTime=" + std::to_string(RandomTiming(r)) + "\r\n";
    text += "[Buttons]\r\n";
    static const char* const words[] = {"POWER", "CH_UP", "CH_DOWN", "VOL_UP", "MUTE", "OK", "1", "2"};
    for (uint32_t code = 0; code <= 92; ++code) {
        if (!r.Chance(code >= 0x10 && code < 0x20 ? 80 : 15))
            continue;
        char key[4];
        snprintf(key, sizeof key, "%.2X", code);
        std::string value;
        if (r.Chance(75)) {
            value = words[r.Below(8)];
        } else {
            const uint32_t length = r.Below(90);
            for (uint32_t i = 0; i < length; ++i)
                value += static_cast<char>('A' + r.Below(26));
        }
        text += std::string(key) + "=" + value + "\r\n";
    }
    WriteFileText(OwnIniPath(), text);
    ForgetCachedProfile(OwnIniPath());
}

void DoOpen(uint32_t nullWindow, uint32_t sourceKind)
{
    World& w = g_world;
    w.source = SourceFor(sourceKind);
    AbandonHold();
    const char* description = Open(sourceKind == 2 ? nullptr : w.source.c_str(), nullWindow ? nullptr : w.host, 0);
    if (!description || strcmp(description, kPluginDescription) != 0)
        Fail("Open did not return the description");
    w.closed = nullWindow != 0;
}

void DoClose()
{
    AbandonHold();
    Close();
    g_world.closed = true;
}

void InstallVariant(uint32_t variant)
{
    World& w = g_world;
    w.variant = variant;
    if (w.installed == variant)
        return;
    const bool ok = variant == kAbsent ? RemoveVendor() : InstallVendor(kVariants[variant]);
    if (!ok)
        Fail(std::string("cannot install vendor variant ") + kVariants[variant]);
    w.installed = variant;
}

bool VendorLoaded() { return GetModuleHandleA("QuelmoRC.dll") != nullptr; }

void CheckInvariants(uint32_t callLogLength)
{
    World& w = g_world;
    // One timer exactly while polling; none otherwise.
    if (g_plugin.session.polling == 1) {
        if (g_plugin.timerId == 0 || g_liveTimers.size() != 1 || *g_liveTimers.begin() != g_plugin.timerId)
            Fail("polling without exactly its one timer");
    } else {
        if (g_plugin.session.polling != 0)
            Fail("polling flag neither 0 nor 1");
        if (g_plugin.timerId != 0 || !g_liveTimers.empty())
            Fail("a timer lives while not polling");
    }
    // The vendor library is loaded exactly while a device owns it; the
    // simulator's attach and detach counts prove a single load.
    const bool loaded = VendorLoaded();
    if (loaded && !g_plugin.device)
        Fail("vendor library still loaded without a device");
    if (g_plugin.device && w.variant != kAbsent && !loaded)
        Fail("device without its vendor library");
    const SimControl* sim = Sim();
    if (sim->loadCount - sim->unloadCount != (loaded ? 1u : 0u))
        Fail("vendor library loaded more than once");
    if (g_plugin.cardOpen && !g_plugin.device)
        Fail("card open without a device");
    // UnInit right before every OpenCard, where the library has UnInit.
    for (uint32_t i = 0; i < callLogLength; ++i) {
        if (sim->callLog[i] == CALL_OPEN_CARD && HasUnInit(w.variant) &&
            (i == 0 || sim->callLog[i - 1] != CALL_UNINIT))
            Fail("OpenCard without UnInit before it");
    }
    // Every text slot terminated within its size.
    for (const ButtonTable& table : g_buttonTables) {
        for (const ButtonEntry& entry : table.entries) {
            if (!memchr(entry.command, 0, COMMAND_SIZE) || !memchr(entry.label, 0, LABEL_SIZE))
                Fail("button table slot not terminated");
        }
    }
    if (!memchr(g_plugin.commandRecord.sourceName, 0, SOURCE_NAME_SIZE) ||
        strnlen(g_plugin.commandRecord.command, RECORD_COMMAND_SIZE) > COMMAND_SIZE - 1)
        Fail("record holds more than its texts allow");
    if (g_plugin.currentTable < &g_buttonTables[0] || g_plugin.currentTable > &g_buttonTables[2])
        Fail("current table is not one of the three");
}

// Puts the plug-in, the simulator and the host back to a fresh process's state.
void ResetWorld()
{
    World& w = g_world;
    w.reaction = REACT_NONE;
    Close();
    ResetPluginState();
    ClearAllBindings();
    InstallVariant(0);
    ResetSim();
    DeleteFileA(OwnIniPath().c_str());
    ForgetCachedProfile(OwnIniPath());
    g_liveTimers.clear();
    g_everSet.clear();
    g_failNextTimer = false;
    g_testNow = 1000000;
    w.view = HostView();
    w.closed = true;
    w.source.clear();
    w.failure.clear();
}

void RunStep(const Step& s)
{
    World& w = g_world;
    switch (s.kind) {
    case OPEN: DoOpen(s.a, s.b); break;
    case CLOSE: DoClose(); break;
    case START: {
        const uint32_t wasPolling = g_plugin.session.polling;
        const uint32_t result = Start();
        const bool canPoll = g_plugin.device && g_plugin.cardOpen;
        if (!canPoll && result != 0)
            Fail("Start without an open card returned non-zero");
        if (wasPolling && result != 1)
            Fail("second Start did not return 1");
        if (result == 0 && g_plugin.session.polling)
            Fail("Start returned 0 but polls");
        break;
    }
    case STOP:
        if (Stop() != 0)
            Fail("Stop returned non-zero");
        break;
    case TICKS:
        for (uint32_t i = 0; i < s.a && w.failure.empty(); ++i) {
            g_testNow += s.b;
            // Only a live timer ticks.
            if (g_plugin.session.polling == 1 && g_plugin.timerId) {
                ++w.livePolls;
                const uint32_t code = Sim()->heldCode;
                w.boundPolls += code <= MAX_BUTTON_CODE && g_plugin.cardOpen &&
                                g_plugin.currentTable->entries[code].command[0] != '\0';
                PollRemote(nullptr, WM_TIMER, g_plugin.timerId, g_testNow);
            }
        }
        break;
    case HOLD: Sim()->heldCode = s.a; break;
    case CLOCK: g_testNow = s.a; break;
    case CARDS: {
        SimControl* sim = Sim();
        sim->cardCount = s.a;
        for (uint32_t i = 0; i < SIM_MAX_CARDS; ++i) {
            sim->openResult[i] = (s.b >> i) & 1 ? 0 : 1;
            sim->nullName[i] = (s.c >> i) & 1;
            sim->remoteType[i] = static_cast<int32_t>(s.d);
        }
        break;
    }
    case VENDOR:
        if (!VendorLoaded() && !g_plugin.device)
            InstallVariant(s.a);
        break;
    case TIMINGS:
        g_plugin.settings.DelayBeforeRepeat = s.a;
        g_plugin.settings.RepeatInterval = s.b;
        g_plugin.settings.ReleaseTime = s.c;
        break;
    case SETTINGS: WriteRandomSettings(s.a); break;
    case REACT:
        w.reaction = s.a;
        w.reactionCountdown = s.b;
        break;
    case FAIL_TIMER: g_failNextTimer = true; break;
    case STALE_TICK: {
        // A foreign or killed timer's id never polls.
        const long before = w.messages;
        const uint32_t reads = Sim()->callCount[CALL_GET_REMOTE_CODE];
        const UINT_PTR foreign = g_plugin.timerId + 0x1000;
        PollRemote(nullptr, WM_TIMER, foreign, g_testNow);
        for (UINT_PTR old : g_everSet) {
            if (old != g_plugin.timerId)
                PollRemote(nullptr, WM_TIMER, old, g_testNow);
        }
        if (w.messages != before || Sim()->callCount[CALL_GET_REMOTE_CODE] != reads)
            Fail("a poll for a foreign timer id did something");
        break;
    }
    }
}

struct Outcome {
    std::string failure;
    size_t failedAt = 0;
    size_t polls = 0;
};

Outcome RunSession(const std::vector<Step>& steps)
{
    ResetWorld();
    Outcome outcome;
    for (size_t i = 0; i < steps.size(); ++i) {
        Sim()->callLogLength = 0;
        if (steps[i].kind == TICKS)
            outcome.polls += steps[i].a;
        RunStep(steps[i]);
        CheckInvariants(std::min<uint32_t>(Sim()->callLogLength, SIM_LOG_SIZE));
        if (!g_world.failure.empty()) {
            outcome.failure = g_world.failure;
            outcome.failedAt = i;
            break;
        }
    }
    // The session's end as a host ends: Close, then no timer may remain.
    if (outcome.failure.empty()) {
        DoClose();
        CheckInvariants(0);
        for (UINT_PTR id : g_everSet) {
            if (g_liveTimers.count(id))
                Fail("a timer outlived Close");
        }
        if (VendorLoaded())
            Fail("vendor library loaded after Close");
        outcome.failure = g_world.failure;
        outcome.failedAt = steps.size();
    }
    return outcome;
}

// A replay of at most a few seconds each: the shrinking stops after 3000.
std::vector<Step> Shrink(const std::vector<Step>& steps, int* runs)
{
    return ShrinkSteps(
        steps, [](const std::vector<Step>& candidate) { return !RunSession(candidate).failure.empty(); }, 3000, runs);
}

std::string Report(uint64_t seed, const std::vector<Step>& steps, const Outcome& outcome)
{
    std::string text = "seed " + std::to_string(seed) + ": " + outcome.failure + "\nshortest failing steps (" +
                       std::to_string(steps.size()) + "):\n";
    for (size_t i = 0; i < steps.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + Describe(steps[i]) + "\n";
    return text;
}

// Faults planted in the edge (a timer kept by Stop or Close, a second vendor
// load, a failed SetTimer taken for polling, an unterminated source name,
// Start without an open card) failed within the first four sessions: 40 by
// default, more through VRC_RANDOM_SESSIONS.
uint32_t SessionsWanted()
{
    const char* text = getenv("VRC_RANDOM_SESSIONS");
    const long n = text ? strtol(text, nullptr, 10) : 0;
    return n > 0 ? static_cast<uint32_t>(n) : 40;
}

class RandomSessionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        g_world.host = MakeWindow("random session host");
        PatchImportTyped("KillTimer", &WatchedKillTimer, &g_realKillTimer);
    }

    void SetUp() override
    {
        ASSERT_NE(g_world.host, nullptr);
        ASSERT_NE(g_realKillTimer, nullptr) << "KillTimer is not imported by this executable";
        SetPollClock(TestClock);
        SetPollSetTimer(WatchedSetTimer);
    }

    void TearDown() override
    {
        g_world.plantRepeatLimit = false;
        ResetWorld();
        InstallVariant(0);
        SetPollClock(nullptr);
        SetPollSetTimer(nullptr);
        ResetPluginState();
    }

    BoxWatcher boxes;  // the missing library's warning box
};

TEST_F(RandomSessionTest, RandomSessionsKeepEveryInvariant)
{
    const uint32_t sessions = SessionsWanted();
    const uint64_t firstSeed = 20261209;
    size_t steps = 0, polls = 0;
    long messages = 0;
    const DWORD started = GetTickCount();
    for (uint32_t n = 0; n < sessions; ++n) {
        const uint64_t seed = firstSeed + n;
        const std::vector<Step> session = RandomSession(seed, 20 + seed % 60);
        const long before = g_world.messages;
        const Outcome outcome = RunSession(session);
        steps += session.size();
        polls += outcome.polls;
        messages += g_world.messages - before;
        if (!outcome.failure.empty()) {
            int runs = 0;
            const std::vector<Step> shortest = Shrink(
                std::vector<Step>(session.begin(), session.begin() + static_cast<long>(
                                                       std::min(outcome.failedAt + 1, session.size()))),
                &runs);
            ADD_FAILURE() << Report(seed, shortest, RunSession(shortest));
            return;
        }
    }
    printf("[ random   ] %u sessions, %zu steps, %zu polls (%ld of a running timer, %ld with a bound button down),"
           " %ld host messages, seeds %llu..%llu, %lu ms\n",
           sessions, steps, polls, g_world.livePolls, g_world.boundPolls, messages,
           static_cast<unsigned long long>(firstSeed),
           static_cast<unsigned long long>(firstSeed + sessions - 1),
           static_cast<unsigned long>(GetTickCount() - started));
    EXPECT_GT(messages, static_cast<long>(sessions));  // the sessions did reach the host
}

// The harness itself: with a planted invariant (no third repeat) the random
// sessions must find a failure and shrink it to the few steps that matter.
TEST_F(RandomSessionTest, PlantedFaultIsFoundAndShrunk)
{
    g_world.plantRepeatLimit = true;
    for (uint64_t seed = 1; seed < 400; ++seed) {
        const std::vector<Step> session = RandomSession(seed, 60);
        const Outcome outcome = RunSession(session);
        if (outcome.failure.empty())
            continue;
        EXPECT_NE(outcome.failure.find("planted"), std::string::npos) << outcome.failure;
        int runs = 0;
        const std::vector<Step> shortest = Shrink(session, &runs);
        const Outcome again = RunSession(shortest);
        EXPECT_FALSE(again.failure.empty());
        // Open, Start, a held bound code and polls are all it takes.
        EXPECT_LE(shortest.size(), 6u) << Report(seed, shortest, again);
        EXPECT_LT(shortest.size(), session.size());
        printf("[ random   ] planted fault: seed %llu, %zu steps shrunk to %zu in %d runs\n",
               static_cast<unsigned long long>(seed), session.size(), shortest.size(), runs);
        return;
    }
    ADD_FAILURE() << "no session reached a third repeat";
}

}  // namespace

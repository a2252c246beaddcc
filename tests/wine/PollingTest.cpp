// The plug-in's poll and event routing linked in-process: the exports,
// PollRemote driven tick by tick with a fake clock, the simulator as the
// vendor library and a recording host window. The key-event core's own
// timing rules are tested natively; here: what reaches the host, when the
// poll runs at all, and hosts that call back into the plug-in.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/Polling.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"

namespace {

constexpr uint8_t A = 0x1A;     // bound to CH_UP
constexpr uint8_t B = 0x12;     // bound to POWER
constexpr uint8_t FREE = 0x20;  // never bound
constexpr uint8_t NONE = 255;

uint32_t g_now;
uint32_t FakeClock() { return g_now; }

// What the host saw: when (ms after the run's base), which command, which value.
struct Event {
    uint32_t t;
    std::string command;
    int32_t value;
    bool operator==(const Event& o) const { return t == o.t && command == o.command && value == o.value; }
};
void PrintTo(const Event& e, std::ostream* os) { *os << "{" << e.t << ", " << e.command << ", " << e.value << "}"; }
typedef std::vector<Event> Events;

struct Segment {
    uint32_t from;  // ms after the run's base
    uint8_t code;   // reported from then on
};

// Held one second with the factory timings.
const Events kHeldOneSecond = {
    {0, "CH_UP", 0},   {390, "CH_UP", 1}, {480, "CH_UP", 2}, {570, "CH_UP", 3}, {660, "CH_UP", 4},
    {750, "CH_UP", 5}, {840, "CH_UP", 6}, {930, "CH_UP", 7}, {1080, "CH_UP", -1},
};

UINT_PTR g_fakeTimerResult;
int g_fakeTimerCalls;
UINT g_fakeTimerPeriod;
TIMERPROC g_fakeTimerProc;
UINT_PTR WINAPI FakeSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc)
{
    ++g_fakeTimerCalls;
    g_fakeTimerPeriod = window == nullptr && id == 0 ? period : 0;
    g_fakeTimerProc = proc;
    return g_fakeTimerResult;
}

class PollingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPluginState();
        ASSERT_TRUE(InstallVendor("full"));
        ResetSim();
        // Open reads the file named after this program: the bindings of A and B.
        ASSERT_TRUE(WriteFileText(OwnIniPath(), "[Buttons]\r\n1A=CH_UP\r\n12=POWER\r\n"));
        ForgetCachedProfile(OwnIniPath());
        g_now = base;
        SetPollClock(FakeClock);
        host.onCommand = [this](const HostMessage& m) { OnCommand(m); };
    }

    void TearDown() override
    {
        host.onCommand = nullptr;
        react = nullptr;
        Close();
        SetPollClock(nullptr);
        SetPollSetTimer(nullptr);
        ResetPluginState();
        DeleteFileA(OwnIniPath().c_str());
    }

    void OnCommand(const HostMessage& m)
    {
        EXPECT_EQ(m.wParam, reinterpret_cast<WPARAM>(&g_plugin.commandRecord));
        events.push_back({g_now - base, m.Command(), static_cast<int32_t>(m.lParam)});
        maxDepth = ++depth > maxDepth ? depth : maxDepth;
        if (react)
            react(m);
        --depth;
    }

    void OpenAndStart()
    {
        ASSERT_STREQ(Open("TV", host.Window(), 0), kPluginDescription);
        ASSERT_EQ(g_plugin.cardOpen, 1u);
        ASSERT_GT(Start(), 1u);
    }

    // One poll every 30 ms from base to base + end, each seeing the code of
    // the last segment begun, carrying the timer id of the moment.
    void Run(const std::vector<Segment>& segments, uint32_t end, const std::function<void(uint32_t)>& beforePoll = {})
    {
        for (uint32_t t = 0; t <= end; t += 30) {
            uint8_t code = NONE;
            for (const Segment& s : segments)
                if (s.from <= t)
                    code = s.code;
            SimHold(code);
            g_now = base + t;
            if (beforePoll)
                beforePoll(t);
            PollRemote(nullptr, WM_TIMER, g_plugin.timerId, 0);
        }
    }

    uint32_t ReadCodeCalls() const { return Sim()->callCount[CALL_GET_REMOTE_CODE]; }

    uint32_t base = 1000000;
    RecordingHost host;
    Events events;
    std::function<void(const HostMessage&)> react;
    int depth = 0;
    int maxDepth = 0;
};

}  // namespace

// ---------------------------------------------------------------------------
// What reaches the host.

TEST_F(PollingTest, OnlyBoundButtonsUpTo92ReachTheHostWithTheirCommandLookedUpAtEachEvent)
{
    Sim()->remoteType[0] = 0;  // table 0: entry 93 would read table 1's first entry
    OpenAndStart();
    ASSERT_EQ(g_plugin.currentTable, &g_buttonTables[0]);
    CopyText(g_buttonTables[1].entries[0].command, COMMAND_SIZE, "LEAKED");
    SetButtonCommand(*g_plugin.currentTable, 92, "MENU");
    SetButtonCommand(*g_plugin.currentTable, 0x05, "VOL_DOWN");
    SetButtonCommand(*g_plugin.currentTable, 0x06, "OK");

    // Rebound while held; the record scribbled over before the release.
    Run({{0, A}, {1020, NONE}}, 1200, [&](uint32_t t) {
        if (t == 450)
            SetButtonCommand(*g_plugin.currentTable, A, "MUTE");
        if (t == 1080)
            strcpy(g_plugin.commandRecord.command, "SCRIBBLED_OVER_THE_RECORD");
    });
    EXPECT_EQ(events, (Events{{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "MUTE", 2}, {570, "MUTE", 3},
                              {660, "MUTE", 4}, {750, "MUTE", 5}, {840, "MUTE", 6}, {930, "MUTE", 7},
                              {1080, "MUTE", -1}}));

    // Unbound and above-92 buttons are held silently; a switch from one
    // only presses the bound one; a shorter command after a longer one
    // carries its own terminator.
    events.clear();
    base += 2000;
    Run({{0, FREE}, {510, 93}, {900, 200}, {1290, 92}, {1320, NONE}, {1500, 0x05}, {1560, 0x06}, {1590, NONE}},
        1800);
    EXPECT_EQ(events, (Events{{1290, "MENU", 0}, {1380, "MENU", -1}, {1500, "VOL_DOWN", 0}, {1560, "VOL_DOWN", -1},
                              {1560, "OK", 0}, {1650, "OK", -1}}));
    EXPECT_STREQ(g_plugin.commandRecord.command, "OK");
    EXPECT_STREQ(g_plugin.commandRecord.sourceName, "TV");
    EXPECT_EQ(maxDepth, 1);
}

// While the dialog takes the key events the host gets none; a button the
// host saw pressed is released to it first, and one still down when the
// events come back reaches it as a fresh press.
TEST_F(PollingTest, TheDialogTakesKeyEventsOverAndGivesThemBack)
{
    struct Shown {
        uint8_t code;
        int32_t value;
    };
    std::vector<Shown> shown;
    const KeyEventSink display = {[](void* context, uint8_t code, int32_t value) {
                                      static_cast<std::vector<Shown>*>(context)->push_back({code, value});
                                  },
                                  &shown};
    RecordingHost dialog;
    OpenAndStart();
    Run({{0, A}, {1020, NONE}}, 1200, [&](uint32_t t) {
        if (t == 60)
            RouteKeyEventsToDialog(dialog.Window(), display);
        if (t == 600)
            RouteKeyEventsToHost();
    });
    // The host: its press, the release at the hand-over, and after it a fresh
    // press of the still-held button with its own repeats.
    EXPECT_EQ(events, (Events{{0, "CH_UP", 0}, {60, "CH_UP", -1}, {600, "CH_UP", 0}, {990, "CH_UP", 1},
                              {1080, "CH_UP", -1}}));
    // The dialog: a press of its own (the events are not filtered by binding),
    // then the numbered repeats.
    ASSERT_GE(shown.size(), 3u);
    EXPECT_EQ(shown[0].code, A);
    EXPECT_EQ(shown[0].value, 0);
    for (size_t i = 1; i < shown.size(); ++i)
        EXPECT_EQ(shown[i].value, static_cast<int32_t>(i));
    EXPECT_TRUE(dialog.messages.empty());

    // Stop while the dialog has the events: its release goes to the dialog.
    events.clear();
    shown.clear();
    base += 3000;
    Run({{0, A}}, 60);
    RouteKeyEventsToDialog(dialog.Window(), display);
    Run({{0, A}}, 30);
    Stop();
    RouteKeyEventsToHost();
    EXPECT_EQ(events, (Events{{0, "CH_UP", 0}, {60, "CH_UP", -1}}));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].value, -1);
}

// ---------------------------------------------------------------------------
// Start, Stop, Close and the poll's guard.

TEST_F(PollingTest, StartNeedsAnOpenCardAsksForA30msThreadTimerAndReturnsItsId)
{
    g_plugin.hostWindow = host.Window();
    EXPECT_EQ(Start(), 0u) << "no device";
    Sim()->openResult[0] = 0;
    Open("TV", host.Window(), 0);
    EXPECT_EQ(Start(), 0u) << "card refused to open";
    EXPECT_EQ(g_plugin.polling, 0u);

    ResetSim();
    SetPollSetTimer(FakeSetTimer);
    g_fakeTimerResult = 0;
    g_fakeTimerCalls = 0;
    Open("TV", host.Window(), 0);
    EXPECT_EQ(Start(), 0u) << "SetTimer failed";
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);
    const uint32_t reads = ReadCodeCalls();
    PollRemote(nullptr, WM_TIMER, 0, 0);
    EXPECT_EQ(ReadCodeCalls(), reads) << "a poll for timer id 0 ran";

    g_fakeTimerResult = 0x4242;
    g_plugin.tracker = {A, 3, 11, 12, 13, 0};  // stale: cleared without a release
    EXPECT_EQ(Start(), 0x4242u);
    EXPECT_EQ(g_fakeTimerCalls, 2);
    EXPECT_EQ(g_fakeTimerPeriod, 30u) << "a 30 ms thread timer, no window";
    EXPECT_TRUE(g_fakeTimerProc == &PollRemote);
    EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
    EXPECT_EQ(g_plugin.tracker.repeatCount, 0);
    EXPECT_EQ(Start(), 1u) << "second Start";
    EXPECT_EQ(g_fakeTimerCalls, 2);
    EXPECT_EQ(g_plugin.timerId, 0x4242u);
    Stop();
    EXPECT_EQ(g_plugin.timerId, 0u);
    EXPECT_TRUE(events.empty());
}

TEST_F(PollingTest, StopReleasesAHeldBoundButtonAndCloseDoesNot)
{
    OpenAndStart();
    Run({{0, A}}, 480);
    EXPECT_EQ(Start(), 1u);  // changes nothing while held
    Stop();
    EXPECT_EQ(events, (Events{{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "CH_UP", 2}, {480, "CH_UP", -1}}));
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);
    Stop();
    Run({{0, A}}, 120);  // late polls of the killed timer
    EXPECT_EQ(events.size(), 4u);

    // Started again: numbering and timing from scratch; an unbound button's
    // release is silent.
    events.clear();
    base += 5000;
    ASSERT_GT(Start(), 1u);
    Run({{0, A}, {420, FREE}}, 480);
    Stop();
    EXPECT_EQ(events, (Events{{0, "CH_UP", 0}, {390, "CH_UP", 1}, {420, "CH_UP", -1}}));

    // Close while held: nothing, then nothing more at all.
    events.clear();
    base += 5000;
    ASSERT_GT(Start(), 1u);
    Run({{0, A}}, 60);
    Close();
    Run({{0, B}}, 300);
    EXPECT_EQ(events, (Events{{0, "CH_UP", 0}}));
    EXPECT_EQ(g_plugin.hostWindow, nullptr);
    EXPECT_EQ(g_plugin.device, nullptr);
    EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
    EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);
    EXPECT_EQ(Start(), 0u);
}

TEST_F(PollingTest, PollIsIgnoredUnlessTimerDevicePollingAndHostAreAllThere)
{
    RemoteDevice* device = nullptr;
    HWND window = nullptr;
    UINT_PTR id = 0;
    const struct {
        const char* name;
        std::function<void()> breakIt, restore;
    } cases[] = {
        {"wrong timer id", [&] { id += 1; }, [&] { id -= 1; }},
        {"no device", [&] { std::swap(device, g_plugin.device); }, [&] { std::swap(device, g_plugin.device); }},
        {"polling 0", [] { g_plugin.polling = 0; }, [] { g_plugin.polling = 1; }},
        {"no host window", [&] { std::swap(window, g_plugin.hostWindow); },
         [&] { std::swap(window, g_plugin.hostWindow); }},
    };
    OpenAndStart();
    Run({{0, A}}, 420);  // held and repeating
    ASSERT_EQ(events.size(), 2u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const uint8_t code : {NONE, B, A}) {  // a release, a switch, a repeat would all be due
            const KeyTracker before = g_plugin.tracker;
            const uint32_t reads = ReadCodeCalls();
            SimHold(code);
            g_now += 1000;
            id = g_plugin.timerId;
            c.breakIt();
            PollRemote(nullptr, WM_TIMER, id, 0);
            c.restore();
            EXPECT_EQ(ReadCodeCalls(), reads) << "the vendor library was asked";
            EXPECT_EQ(memcmp(&before, &g_plugin.tracker, sizeof before), 0);
            EXPECT_EQ(events.size(), 2u);
        }
    }
    SimHold(NONE);
    g_now += 1000;
    PollRemote(nullptr, WM_TIMER, g_plugin.timerId, 0);
    EXPECT_EQ(events.size(), 3u) << "with everything in place the same poll works";
}

// ---------------------------------------------------------------------------
// A host that calls back into the plug-in from its handler of one event.
// Every release is marked before it is sent, so nothing is released twice
// and nothing recurses; a poll overtaken by Stop, Open or Close sends nothing
// more; and a still-held button is pressed again by the next live tick only.

TEST_F(PollingTest, HostCallingBackFromItsHandler)
{
    const std::function<void()> stop = [] { Stop(); };
    const std::function<void()> close = [] { Close(); };
    const std::function<void()> open = [this] { Open("TV", host.Window(), 0); };
    const std::function<void()> stopStart = [] { Stop(); Start(); };
    const std::function<void()> openStart = [this] { Open("TV", host.Window(), 0); Start(); };
    struct Script {
        std::vector<Segment> segments;
        uint32_t end;
    };
    const Script hold = {{{0, A}, {1020, NONE}}, 1200};
    const Script slide = {{{0, A}, {120, B}}, 120};  // ends on the poll that sees B
    const Events pressed = {{0, "CH_UP", 0}};
    const Events repeated = {{0, "CH_UP", 0}, {390, "CH_UP", 1}};
    const Events switched = {{0, "CH_UP", 0}, {120, "CH_UP", -1}};
    const struct {
        const char* name;
        int32_t on;  // the event whose handler calls back
        const std::function<void()>& act;
        const Script& script;
        Events expected;
        int depth;
    } cases[] = {
        {"Stop on the press", 0, stop, hold, {{0, "CH_UP", 0}, {0, "CH_UP", -1}}, 2},
        {"Close on the press", 0, close, hold, pressed, 1},
        {"Open on the press", 0, open, hold, pressed, 1},
        {"Stop on a repeat", 1, stop, hold, {{0, "CH_UP", 0}, {390, "CH_UP", 1}, {390, "CH_UP", -1}}, 2},
        {"Close on a repeat", 1, close, hold, repeated, 1},
        {"Open on a repeat", 1, open, hold, repeated, 1},
        {"Stop on the release", -1, stop, hold, kHeldOneSecond, 1},
        {"Close on the release", -1, close, hold, kHeldOneSecond, 1},
        {"Open on the release", -1, open, hold, kHeldOneSecond, 1},
        {"Stop on the release of a switch", -1, stop, slide, switched, 1},
        {"Stop and Start on the release of a switch", -1, stopStart, slide, switched, 1},
        {"Open on the release of a switch", -1, open, slide, switched, 1},
        {"Open and Start on the release of a switch", -1, openStart, slide, switched, 1},
        {"Close on the release of a switch", -1, close, slide, switched, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        maxDepth = 0;
        base += 10000;
        OpenAndStart();
        bool reacted = false;
        react = [&](const HostMessage& m) {
            if (!reacted && m.lParam == c.on) {
                reacted = true;
                c.act();
            }
        };
        // Polls keep coming for the timer id of the moment, as queued ticks would.
        Run(c.script.segments, c.script.end);
        react = nullptr;
        EXPECT_EQ(events, c.expected);
        EXPECT_EQ(maxDepth, c.depth);

        // B is down now: the next ticks of a live timer (the host starts one
        // if its handler left none) press it exactly once.
        const size_t before = events.size();
        if (!g_plugin.polling)
            Start();
        for (int tick = 1; tick <= 3; ++tick) {
            SimHold(B);
            g_now += 30;
            PollRemote(nullptr, WM_TIMER, g_plugin.timerId, 0);
        }
        const Events expectedAfter = g_plugin.device ? Events{{g_now - base - 60, "POWER", 0}} : Events{};
        EXPECT_EQ(Events(events.begin() + static_cast<long>(before), events.end()), expectedAfter);
        Close();
    }
}

TEST_F(PollingTest, StopOrCloseInsideTheReleaseThatStopSentIsHarmless)
{
    for (const bool closeInside : {false, true}) {
        SCOPED_TRACE(closeInside ? "Close" : "Stop");
        events.clear();
        maxDepth = 0;
        base += 10000;
        OpenAndStart();
        react = [closeInside](const HostMessage& m) {
            if (m.lParam == -1)
                closeInside ? Close() : static_cast<void>(Stop());
        };
        Run({{0, A}}, 60);
        Stop();
        react = nullptr;
        EXPECT_EQ(events, (Events{{0, "CH_UP", 0}, {60, "CH_UP", -1}}));
        EXPECT_EQ(maxDepth, 1);
        EXPECT_EQ(g_plugin.device == nullptr, closeInside);
        Close();
    }
}

// The key-event engine linked in-process: a fake clock, the simulator held at
// one code per poll, and PollRemote driven tick by tick, so every event, its
// value and the poll it comes on are exact.
#include <gtest/gtest.h>

#include <string.h>

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/KeyEngine.h"
#include "mapping/ButtonTables.h"
#include "plugin/PluginState.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"

namespace {


constexpr uint8_t A = 0x1A;      // bound to CH_UP
constexpr uint8_t B = 0x12;      // bound to POWER
constexpr uint8_t FREE = 0x20;   // never bound
constexpr uint8_t NONE = 255;    // no button
constexpr uint32_t kPoll = 30;

uint32_t g_now;
uint32_t FakeClock() { return g_now; }

// What the host saw: when (ms after the script's start), which command, which value.
struct Event {
    uint32_t t;
    std::string command;
    int32_t value;
    bool operator==(const Event& o) const { return t == o.t && command == o.command && value == o.value; }
};

void PrintTo(const Event& e, std::ostream* os) { *os << "{" << e.t << ", " << e.command << ", " << e.value << "}"; }

struct Segment {
    uint32_t from;  // ms after the script's start
    uint8_t code;   // reported from then on
};

struct Timings {
    uint32_t delay, interval, release;
};

constexpr Timings kDefaults = {350, 100, 60};

bool SameTracker(const KeyTracker& a, const KeyTracker& b)
{
    return a.heldCode == b.heldCode && a.repeatCount == b.repeatCount && a.pressTime == b.pressTime &&
           a.lastSeenTime == b.lastSeenTime && a.lastRepeatTime == b.lastRepeatTime;
}

std::string OwnIniPath()
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string ini(path);
    const size_t dot = ini.find_last_of('.');
    return ini.substr(0, dot) + ".ini";
}

struct FakeSetTimerLog {
    int calls = 0;
    HWND window = reinterpret_cast<HWND>(1);
    UINT_PTR id = 99;
    UINT period = 0;
    TIMERPROC proc = nullptr;
    UINT_PTR result = 0;
} g_setTimerLog;

UINT_PTR WINAPI FakeSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc)
{
    g_setTimerLog.calls += 1;
    g_setTimerLog.window = window;
    g_setTimerLog.id = id;
    g_setTimerLog.period = period;
    g_setTimerLog.proc = proc;
    return g_setTimerLog.result;
}

class KeyEngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPluginState();
        ClearAllBindings();
        ASSERT_TRUE(InstallVendor("full"));
        ResetSim();
        DeleteFileA(OwnIniPath().c_str());
        g_now = base;
        SetEngineClock(FakeClock);
        host.onCommand = [this](const HostMessage& m) { OnCommand(m); };
    }

    void TearDown() override
    {
        host.onCommand = nullptr;
        react = nullptr;
        Close();
        SetEngineClock(nullptr);
        SetEngineSetTimer(nullptr);
        ResetPluginState();
        ClearAllBindings();
        DeleteFileA(OwnIniPath().c_str());
    }

    void OnCommand(const HostMessage& m)
    {
        EXPECT_EQ(m.wParam, reinterpret_cast<WPARAM>(&g_plugin.commandRecord));
        EXPECT_EQ(m.Source(), source);
        events.push_back({g_now - base, m.Command(), static_cast<int32_t>(m.lParam)});
        ++depth;
        if (depth > maxDepth)
            maxDepth = depth;
        if (react)
            react(m);
        --depth;
    }

    // Runs action inside the host's handler of the first message with lParam value.
    void ReactOnce(int32_t value, std::function<void()> action)
    {
        react = [this, value, action](const HostMessage& m) {
            if (!reacted && m.lParam == value) {
                reacted = true;
                action();
            }
        };
    }

    // Opens the simulated card through the real Open, binds A and B, starts polling.
    void OpenAndStart(Timings timings = kDefaults)
    {
        ASSERT_STREQ(Open(source.c_str(), host.Window(), 0), kPluginDescription);
        ASSERT_NE(g_plugin.device, nullptr);
        ASSERT_EQ(g_plugin.cardOpen, 1u);
        SetButtonCommand(A, "CH_UP");
        SetButtonCommand(B, "POWER");
        g_plugin.settings.DelayBeforeRepeat = timings.delay;
        g_plugin.settings.RepeatInterval = timings.interval;
        g_plugin.settings.ReleaseTime = timings.release;
        timer = Start();
        ASSERT_NE(timer, 0u);
        ASSERT_EQ(g_plugin.timerId, timer);
        ASSERT_EQ(g_plugin.polling, 1u);
    }

    // One poll every 30 ms from t = 0 to end, each seeing the code of the last
    // segment that has begun. The timer id stays the one Start gave, as a
    // queued WM_TIMER would carry it.
    void Run(const std::vector<Segment>& segments, uint32_t end,
             const std::function<void(uint32_t)>& beforePoll = {})
    {
        for (uint32_t t = 0; t <= end; t += kPoll) {
            uint8_t code = NONE;
            for (const Segment& s : segments)
                if (s.from <= t)
                    code = s.code;
            SimHold(code);
            g_now = base + t;
            if (beforePoll)
                beforePoll(t);
            PollRemote(nullptr, WM_TIMER, timer, 0);
        }
    }

    // One state-machine step at base + t, without the poll's guard.
    void Track(uint8_t code, uint32_t t)
    {
        g_now = base + t;
        TrackRemoteCode(code, g_now);
    }

    void ExpectTrackerCleared()
    {
        EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
        EXPECT_EQ(g_plugin.tracker.repeatCount, 0);
        EXPECT_EQ(g_plugin.tracker.pressTime, 0u);
        EXPECT_EQ(g_plugin.tracker.lastSeenTime, 0u);
        EXPECT_EQ(g_plugin.tracker.lastRepeatTime, 0u);
    }

    uint32_t ReadCodeCalls() const { return Sim()->callCount[CALL_GET_REMOTE_CODE]; }

    uint32_t base = 1000000;
    std::string source = "TV";
    UINT_PTR timer = 0;
    RecordingHost host;
    std::vector<Event> events;
    std::function<void(const HostMessage&)> react;
    bool reacted = false;
    int depth = 0;
    int maxDepth = 0;
};

// Held button with defaults: press at t=0; arming at 360 (first poll with
// 350 ms since the press) gives no event; first repeat at 390; then every
// 90 ms (first poll with 80 ms or more); release on the third empty poll.
const std::vector<Event> kHeldOneSecond = {
    {0, "CH_UP", 0},    {390, "CH_UP", 1}, {480, "CH_UP", 2}, {570, "CH_UP", 3}, {660, "CH_UP", 4},
    {750, "CH_UP", 5},  {840, "CH_UP", 6}, {930, "CH_UP", 7}, {1080, "CH_UP", -1},
};

// ---------------------------------------------------------------------------
// Scripts: settings, what the remote reports per poll, and every event.

struct Scenario {
    const char* name;
    Timings timings;
    uint32_t base;
    std::vector<Segment> segments;
    uint32_t end;
    std::vector<Event> expected;
};

const Scenario kScenarios[] = {
    {"HeldOneSecondWithDefaults", kDefaults, 1000000, {{0, A}, {1020, NONE}}, 1200, kHeldOneSecond},
    {"TapReleasesOnFirstEmptyPollMoreThanReleaseTimeAfterPress", kDefaults, 1000000,
     {{0, A}, {30, NONE}}, 300,
     {{0, "CH_UP", 0}, {90, "CH_UP", -1}}},
    // lastSeenTime is not refreshed before repeating is armed, so the release
    // test measures from the press: released on the first empty poll.
    {"ReleaseWhileDelayingMeasuresFromThePress", kDefaults, 1000000, {{0, A}, {330, NONE}}, 600,
     {{0, "CH_UP", 0}, {330, "CH_UP", -1}}},
    {"DropoutOfReleaseTimeKeepsTheButtonHeld", kDefaults, 1000000,
     {{0, A}, {30, NONE}, {60, A}, {420, NONE}}, 700,
     {{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "CH_UP", -1}}},
    {"DropoutLongerThanReleaseTimeGivesANewPress", kDefaults, 1000000,
     {{0, A}, {60, NONE}, {120, A}, {150, NONE}}, 400,
     {{0, "CH_UP", 0}, {90, "CH_UP", -1}, {120, "CH_UP", 0}, {210, "CH_UP", -1}}},
    {"DropoutWhileRepeatingKeepsTheNumbering", kDefaults, 1000000,
     {{0, A}, {420, NONE}, {480, A}, {700, NONE}}, 900,
     {{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "CH_UP", 2}, {570, "CH_UP", 3}, {660, "CH_UP", 4},
      {780, "CH_UP", -1}}},
    {"SwitchWhileDelayingReleasesOldThenPressesNewOnTheSamePoll", kDefaults, 1000000,
     {{0, A}, {120, B}, {210, NONE}}, 400,
     {{0, "CH_UP", 0}, {120, "CH_UP", -1}, {120, "POWER", 0}, {210, "POWER", -1}}},
    // B's first repeat tests against A's last repeat (480), long past by then.
    {"SwitchWhileRepeatingRestartsTheDelayAndNumbering", kDefaults, 1000000,
     {{0, A}, {510, B}, {1000, NONE}}, 1200,
     {{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "CH_UP", 2}, {510, "CH_UP", -1}, {510, "POWER", 0},
      {900, "POWER", 1}, {990, "POWER", 2}, {1080, "POWER", -1}}},
    // Threshold 180: B is armed at 300 but its first repeat waits for 180 ms
    // after A's last repeat (240), i.e. 420, not the next poll.
    {"LastRepeatTimeIsKeptAcrossPresses", {0, 200, 60}, 1000000, {{0, A}, {270, B}, {600, NONE}}, 800,
     {{0, "CH_UP", 0}, {60, "CH_UP", 1}, {240, "CH_UP", 2}, {270, "CH_UP", -1}, {270, "POWER", 0},
      {420, "POWER", 1}, {660, "POWER", -1}}},
    // After a reset lastRepeatTime is 0: with the clock near 0 the first repeat
    // waits until 80 ms have passed since time 0.
    {"FirstRepeatAfterResetMeasuresFromTimeZero", {0, 100, 60}, 0, {{0, A}, {200, NONE}}, 400,
     {{0, "CH_UP", 0}, {90, "CH_UP", 1}, {180, "CH_UP", 2}, {270, "CH_UP", -1}}},
    // RepeatInterval - 20 wraps to a huge threshold below 20.
    {"RepeatInterval0NeverRepeats", {350, 0, 60}, 1000000, {{0, A}, {3000, NONE}}, 3200,
     {{0, "CH_UP", 0}, {3060, "CH_UP", -1}}},
    {"RepeatInterval1NeverRepeats", {350, 1, 60}, 1000000, {{0, A}, {3000, NONE}}, 3200,
     {{0, "CH_UP", 0}, {3060, "CH_UP", -1}}},
    {"RepeatInterval19NeverRepeats", {350, 19, 60}, 1000000, {{0, A}, {3000, NONE}}, 3200,
     {{0, "CH_UP", 0}, {3060, "CH_UP", -1}}},
    {"RepeatInterval20RepeatsOnEveryPoll", {350, 20, 60}, 1000000, {{0, A}, {600, NONE}}, 800,
     {{0, "CH_UP", 0}, {390, "CH_UP", 1}, {420, "CH_UP", 2}, {450, "CH_UP", 3}, {480, "CH_UP", 4},
      {510, "CH_UP", 5}, {540, "CH_UP", 6}, {570, "CH_UP", 7}, {660, "CH_UP", -1}}},
    // Delay 0 arms on the second poll; release 0 releases on the first empty
    // poll; interval 0 never repeats.
    {"AllTimingsZero", {0, 0, 0}, 1000000, {{0, A}, {300, NONE}, {360, B}, {390, NONE}}, 500,
     {{0, "CH_UP", 0}, {300, "CH_UP", -1}, {360, "POWER", 0}, {390, "POWER", -1}}},
    {"ZeroDelayAndReleaseWithInterval20", {0, 20, 0}, 1000000, {{0, A}, {150, NONE}}, 300,
     {{0, "CH_UP", 0}, {60, "CH_UP", 1}, {90, "CH_UP", 2}, {120, "CH_UP", 3}, {150, "CH_UP", -1}}},
    // Unbound and above-92 buttons still take part in the state machine.
    {"UnboundButtonSendsNothingButIsTracked", kDefaults, 1000000,
     {{0, FREE}, {510, A}, {700, NONE}}, 900,
     {{510, "CH_UP", 0}, {720, "CH_UP", -1}}},
    {"CodeAbove92IsTrackedButNeverDispatched", {0, 200, 60}, 1000000, {{0, 93}, {270, A}, {600, NONE}},
     800, {{270, "CH_UP", 0}, {420, "CH_UP", 1}, {660, "CH_UP", -1}}},
};

class EngineScenario : public KeyEngineTest, public ::testing::WithParamInterface<Scenario> {
protected:
    void SetUp() override
    {
        base = GetParam().base;
        KeyEngineTest::SetUp();
    }
};

TEST_P(EngineScenario, GivesExactlyTheseEvents)
{
    const Scenario& s = GetParam();
    OpenAndStart(s.timings);
    Run(s.segments, s.end);
    EXPECT_EQ(events, s.expected);
    EXPECT_EQ(maxDepth, 1);
}

INSTANTIATE_TEST_SUITE_P(Scripts, EngineScenario, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------
// Repeat spacing with 30 ms polls: the first poll at least RepeatInterval - 20
// after the previous repeat.

struct Spacing {
    uint32_t interval;
    uint32_t spacing;
};

class RepeatSpacing : public KeyEngineTest, public ::testing::WithParamInterface<Spacing> {};

TEST_P(RepeatSpacing, RepeatsComeOnTheFirstPollAtLeastIntervalMinus20Apart)
{
    // Delay 0: armed on the poll at 30, first repeat at 60.
    OpenAndStart({0, GetParam().interval, 60});
    Run({{0, A}, {1000, NONE}}, 1200);
    std::vector<Event> expected = {{0, "CH_UP", 0}};
    int32_t n = 1;
    for (uint32_t t = 60; t <= 990; t += GetParam().spacing)
        expected.push_back({t, "CH_UP", n++});
    expected.push_back({1080, "CH_UP", -1});
    EXPECT_EQ(events, expected);
}

INSTANTIATE_TEST_SUITE_P(Intervals, RepeatSpacing,
                         ::testing::Values(Spacing{20, 30}, Spacing{50, 30}, Spacing{51, 60}, Spacing{100, 90},
                                           Spacing{110, 90}, Spacing{111, 120}, Spacing{200, 180}),
                         [](const ::testing::TestParamInfo<Spacing>& info) {
                             return "Interval" + std::to_string(info.param.interval);
                         });

// ---------------------------------------------------------------------------
// The millisecond counter wrapping past 2^32 anywhere in the script changes nothing.

class ClockWrap : public KeyEngineTest, public ::testing::WithParamInterface<uint32_t> {
protected:
    void SetUp() override
    {
        base = GetParam();
        KeyEngineTest::SetUp();
    }
};

TEST_P(ClockWrap, TwoHoldsGiveTheSameEventsAsFarFromTheWrap)
{
    OpenAndStart();
    Run({{0, A}, {1020, NONE}, {1200, A}, {1680, NONE}}, 1900);
    std::vector<Event> expected = kHeldOneSecond;
    // Second hold: armed at 1560, first repeat at 1590 (660 ms after 930).
    expected.push_back({1200, "CH_UP", 0});
    expected.push_back({1590, "CH_UP", 1});
    expected.push_back({1740, "CH_UP", -1});
    EXPECT_EQ(events, expected);
}

INSTANTIATE_TEST_SUITE_P(Bases, ClockWrap,
                         ::testing::Values(5000000u,      // far from the wrap
                                           0xFFFFFF00u,   // wraps while delaying
                                           0u - 500u,     // between two repeats
                                           0u - 1050u,    // on an empty poll before the release
                                           0u - 1560u,    // when the second hold is armed
                                           0u - 1590u));  // on the second hold's first repeat

// ---------------------------------------------------------------------------
// Exact boundaries, one state-machine step at a time.

TEST_F(KeyEngineTest, BoundariesOfDelayRepeatAndReleaseAreExact)
{
    source = "";  // no Open: the record's source name stays empty
    g_plugin.hostWindow = host.Window();
    SetButtonCommand(A, "CH_UP");
    KeyTracker& t = g_plugin.tracker;

    Track(A, 0);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}}));
    EXPECT_EQ(t.heldCode, A);
    EXPECT_EQ(t.repeatCount, 0);
    EXPECT_EQ(t.pressTime, base);
    EXPECT_EQ(t.lastSeenTime, base);

    Track(A, 100);
    Track(A, 349);
    EXPECT_EQ(t.repeatCount, 0);
    EXPECT_EQ(t.lastSeenTime, base) << "not refreshed before repeating is armed";

    Track(A, 350);  // armed, no event
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(t.repeatCount, 1);
    EXPECT_EQ(t.pressTime, base + 350);
    EXPECT_EQ(t.lastSeenTime, base);

    Track(A, 351);
    EXPECT_EQ(events.back(), (Event{351, "CH_UP", 1}));
    EXPECT_EQ(t.lastRepeatTime, base + 351);
    EXPECT_EQ(t.lastSeenTime, base + 351);
    EXPECT_EQ(t.repeatCount, 2);

    Track(A, 430);  // 79 ms
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(t.lastSeenTime, base + 430);
    Track(A, 510);  // 159 ms since the last repeat: one repeat, not two
    EXPECT_EQ(events.back(), (Event{510, "CH_UP", 2}));
    Track(A, 590);  // exactly 80 ms
    EXPECT_EQ(events.back(), (Event{590, "CH_UP", 3}));

    Track(NONE, 650);  // exactly ReleaseTime: still held
    EXPECT_EQ(events.size(), 4u);
    EXPECT_EQ(t.heldCode, A);
    Track(NONE, 651);
    EXPECT_EQ(events.back(), (Event{651, "CH_UP", -1}));
    EXPECT_EQ(t.heldCode, NONE);
    EXPECT_EQ(t.repeatCount, 0);
    EXPECT_EQ(t.lastRepeatTime, base + 590) << "kept across presses";

    Track(NONE, 1000);  // nothing held: nothing to release
    EXPECT_EQ(events.size(), 5u);
}

TEST_F(KeyEngineTest, DelayBeforeRepeatIsMeasuredFromThePressNotFromLastSeen)
{
    source = "";  // no Open: the record's source name stays empty
    g_plugin.hostWindow = host.Window();
    SetButtonCommand(A, "CH_UP");
    Track(A, 0);
    Track(NONE, 40);   // within ReleaseTime
    Track(A, 349);
    EXPECT_EQ(g_plugin.tracker.repeatCount, 0);
    Track(A, 350);
    EXPECT_EQ(g_plugin.tracker.repeatCount, 1);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}}));
}

// ---------------------------------------------------------------------------
// What goes out for which button, and in the record.

TEST_F(KeyEngineTest, CodesAbove92NeverReachTheHostWhileCode92Does)
{
    // Table 0 is current, so entry 93 would read table 1's first entry.
    Sim()->remoteType[0] = 0;
    OpenAndStart();
    ASSERT_EQ(g_plugin.currentTable, &g_buttonTables[0]);
    CopyText(g_buttonTables[1].entries[0].command, COMMAND_SIZE, "LEAKED");
    SetButtonCommand(92, "MENU");

    for (const uint8_t code : {uint8_t(93), uint8_t(128), uint8_t(200), uint8_t(254)}) {
        SCOPED_TRACE(static_cast<int>(code));
        Run({{0, code}, {600, NONE}}, 800, [&](uint32_t t) {
            if (t == 480) {  // armed at 360, the repeat dropped at 390 still counted
                EXPECT_EQ(g_plugin.tracker.heldCode, code);
                EXPECT_EQ(g_plugin.tracker.repeatCount, 2);
            }
        });
        EXPECT_TRUE(events.empty());
        EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
        base += 1000;
    }

    Run({{0, 92}, {30, NONE}}, 200);
    EXPECT_EQ(events, (std::vector<Event>{{0, "MENU", 0}, {90, "MENU", -1}}));
}

TEST_F(KeyEngineTest, UnboundButtonIsHeldAndRepeatsSilently)
{
    OpenAndStart();
    Run({{0, FREE}, {1020, NONE}}, 1200, [&](uint32_t t) {
        if (t == 990) {
            EXPECT_EQ(g_plugin.tracker.heldCode, FREE);
            EXPECT_EQ(g_plugin.tracker.repeatCount, 8);  // seven repeats so far
            EXPECT_EQ(g_plugin.tracker.lastRepeatTime, base + 930);
        }
    });
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(host.messages.empty());
    EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
}

TEST_F(KeyEngineTest, EachEventLooksTheCommandUpAgainAndRewritesTheRecord)
{
    OpenAndStart();
    SetButtonCommand(0x05, "VOL_DOWN");
    SetButtonCommand(0x06, "OK");
    Run({{0, A}, {1020, NONE}}, 1200, [&](uint32_t t) {
        if (t == 450)
            SetButtonCommand(A, "MUTE");  // rebound while held
        if (t == 1080)
            strcpy(g_plugin.commandRecord.command, "SCRIBBLED_OVER_THE_RECORD");
    });
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0},   {390, "CH_UP", 1}, {480, "MUTE", 2},
                                          {570, "MUTE", 3},  {660, "MUTE", 4},  {750, "MUTE", 5},
                                          {840, "MUTE", 6},  {930, "MUTE", 7},  {1080, "MUTE", -1}}));

    // A shorter command after a longer one: its terminator is copied too.
    events.clear();
    base += 2000;
    Run({{0, 0x05}, {60, 0x06}, {90, NONE}}, 300);
    EXPECT_EQ(events, (std::vector<Event>{{0, "VOL_DOWN", 0}, {60, "VOL_DOWN", -1}, {60, "OK", 0},
                                          {150, "OK", -1}}));
    EXPECT_STREQ(g_plugin.commandRecord.command, "OK");
    EXPECT_STREQ(g_plugin.commandRecord.sourceName, "TV");
}

TEST_F(KeyEngineTest, SwitchToAnUnboundButtonOnlyReleasesTheBoundOne)
{
    OpenAndStart();
    Run({{0, A}, {120, FREE}, {300, B}, {330, NONE}}, 600);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {120, "CH_UP", -1}, {300, "POWER", 0},
                                          {390, "POWER", -1}}));
}

TEST_F(KeyEngineTest, NothingReachesTheHostWhileTheDialogExists)
{
    RecordingHost dialog;
    OpenAndStart();
    // Open for the whole hold: nothing at all, yet the hold ran its course.
    Run({{0, A}, {1020, NONE}}, 1200, [&](uint32_t) { g_plugin.dialogWindow = dialog.Window(); });
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
    EXPECT_EQ(g_plugin.tracker.lastRepeatTime, base + 930);

    // Closed in the middle: the host gets the rest, numbering unbroken.
    base += 2000;
    Run({{0, A}, {1020, NONE}}, 1200,
        [&](uint32_t t) { g_plugin.dialogWindow = t < 400 ? dialog.Window() : nullptr; });
    EXPECT_EQ(events, (std::vector<Event>{{480, "CH_UP", 2}, {570, "CH_UP", 3}, {660, "CH_UP", 4},
                                          {750, "CH_UP", 5}, {840, "CH_UP", 6}, {930, "CH_UP", 7},
                                          {1080, "CH_UP", -1}}));

    // Stop's release goes to the dialog too.
    events.clear();
    base += 2000;
    Run({{0, A}}, 60);
    g_plugin.dialogWindow = dialog.Window();
    Stop();
    g_plugin.dialogWindow = nullptr;
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}}));
    EXPECT_TRUE(dialog.messages.empty());
}

// ---------------------------------------------------------------------------
// Start, Stop, Close and the poll's guard.

TEST_F(KeyEngineTest, StartRefusesWithoutDeviceOrOpenCard)
{
    g_plugin.hostWindow = host.Window();
    EXPECT_EQ(Start(), 0u);
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);

    Sim()->openResult[0] = 0;  // card refuses to open
    Open("TV", host.Window(), 0);
    ASSERT_NE(g_plugin.device, nullptr);
    EXPECT_EQ(g_plugin.cardOpen, 0u);
    EXPECT_EQ(Start(), 0u);
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);

    ResetSim();
    Sim()->cardCount = 0;  // no card to open
    Open("TV", host.Window(), 0);
    EXPECT_EQ(g_plugin.cardOpen, 0u);
    EXPECT_EQ(Start(), 0u);
    EXPECT_EQ(g_plugin.polling, 0u);
}

TEST_F(KeyEngineTest, SecondStartReturnsOneAndKeepsTimerAndHeldButton)
{
    OpenAndStart();
    Run({{0, A}}, 420);  // press, armed, one repeat
    const KeyTracker before = g_plugin.tracker;
    EXPECT_EQ(Start(), 1u);
    EXPECT_EQ(g_plugin.timerId, timer);
    EXPECT_EQ(g_plugin.polling, 1u);
    EXPECT_TRUE(SameTracker(before, g_plugin.tracker));
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {390, "CH_UP", 1}}));
}

TEST_F(KeyEngineTest, StartClearsAStaleTrackerWithoutARelease)
{
    Open("TV", host.Window(), 0);
    SetButtonCommand(A, "CH_UP");
    g_plugin.tracker = {A, 3, 11, 12, 13};
    timer = Start();
    ASSERT_NE(timer, 0u);
    ExpectTrackerCleared();
    EXPECT_TRUE(events.empty());
}

TEST_F(KeyEngineTest, StartAsksForA30msThreadTimerAndReturnsItsId)
{
    Open("TV", host.Window(), 0);
    g_setTimerLog = FakeSetTimerLog();
    g_setTimerLog.result = 0x4242;
    SetEngineSetTimer(FakeSetTimer);
    EXPECT_EQ(Start(), 0x4242u);
    EXPECT_EQ(g_setTimerLog.calls, 1);
    EXPECT_EQ(g_setTimerLog.window, nullptr);
    EXPECT_EQ(g_setTimerLog.id, 0u);
    EXPECT_EQ(g_setTimerLog.period, 30u);
    EXPECT_TRUE(g_setTimerLog.proc == &PollRemote);
    EXPECT_EQ(g_plugin.timerId, 0x4242u);
    EXPECT_EQ(g_plugin.polling, 1u);
    Stop();
    EXPECT_EQ(g_plugin.timerId, 0u);
}

TEST_F(KeyEngineTest, FailedSetTimerLeavesPollingOffAndStartReturnsZero)
{
    Open("TV", host.Window(), 0);
    SetButtonCommand(A, "CH_UP");
    g_setTimerLog = FakeSetTimerLog();
    g_setTimerLog.result = 0;
    SetEngineSetTimer(FakeSetTimer);
    EXPECT_EQ(Start(), 0u);
    EXPECT_EQ(g_setTimerLog.calls, 1);
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);

    // A poll carrying id 0 still does nothing.
    SimHold(A);
    const uint32_t reads = ReadCodeCalls();
    PollRemote(nullptr, WM_TIMER, 0, 0);
    EXPECT_EQ(ReadCodeCalls(), reads);
    EXPECT_TRUE(events.empty());

    // Once SetTimer works again, so does Start.
    SetEngineSetTimer(nullptr);
    timer = Start();
    EXPECT_NE(timer, 0u);
    EXPECT_EQ(g_plugin.polling, 1u);
}

TEST_F(KeyEngineTest, StopWhileABoundButtonIsHeldSendsTheReleaseAndResetsEverything)
{
    OpenAndStart();
    Run({{0, A}}, 480);  // press, repeats 1 and 2
    Stop();
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "CH_UP", 2},
                                          {480, "CH_UP", -1}}));
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);
    ExpectTrackerCleared();

    // Nothing more: not from a second Stop, not from a late poll.
    Stop();
    Run({{0, A}}, 120);
    EXPECT_EQ(events.size(), 4u);

    // A new Start begins from scratch: press numbering and repeat timing.
    events.clear();
    base += 5000;
    timer = Start();
    ASSERT_NE(timer, 0u);
    Run({{0, A}, {420, NONE}}, 600);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "CH_UP", -1}}));
}

TEST_F(KeyEngineTest, StopWhileAnUnboundButtonIsHeldSendsNothing)
{
    OpenAndStart();
    Run({{0, FREE}}, 60);
    Stop();
    EXPECT_TRUE(events.empty());
    ExpectTrackerCleared();
}

TEST_F(KeyEngineTest, CloseWhileHeldSendsNothingAndLaterPollsDoNothing)
{
    OpenAndStart();
    Run({{0, A}}, 420);
    Close();
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {390, "CH_UP", 1}}));
    EXPECT_EQ(g_plugin.hostWindow, nullptr);
    EXPECT_EQ(g_plugin.device, nullptr);
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);
    ExpectTrackerCleared();
    EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);

    Run({{0, B}}, 300);
    EXPECT_EQ(events.size(), 2u);
    EXPECT_EQ(Start(), 0u);
}

struct GuardCase {
    const char* name;
    std::function<void(UINT_PTR& id)> breakIt;    // before the poll
    std::function<void(UINT_PTR& id)> restoreIt;  // after it
};

TEST_F(KeyEngineTest, PollIsIgnoredUnlessTimerDevicePollingAndHostAreAllThere)
{
    RemoteDevice* device = nullptr;
    HWND window = nullptr;
    const GuardCase cases[] = {
        {"wrong timer id", [](UINT_PTR& id) { id += 1; }, [](UINT_PTR& id) { id -= 1; }},
        {"no device", [&](UINT_PTR&) { device = g_plugin.device; g_plugin.device = nullptr; },
         [&](UINT_PTR&) { g_plugin.device = device; }},
        {"polling 0", [](UINT_PTR&) { g_plugin.polling = 0; }, [](UINT_PTR&) { g_plugin.polling = 1; }},
        {"no host window", [&](UINT_PTR&) { window = g_plugin.hostWindow; g_plugin.hostWindow = nullptr; },
         [&](UINT_PTR&) { g_plugin.hostWindow = window; }},
    };
    OpenAndStart();
    Run({{0, A}}, 420);  // held and repeating
    ASSERT_EQ(events.size(), 2u);

    for (const GuardCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (const uint8_t code : {NONE, B, A}) {  // release, switch, repeat would all be due
            const KeyTracker before = g_plugin.tracker;
            const uint32_t reads = ReadCodeCalls();
            SimHold(code);
            g_now += 1000;
            UINT_PTR id = timer;
            c.breakIt(id);
            PollRemote(nullptr, WM_TIMER, id, 0);
            c.restoreIt(id);
            EXPECT_EQ(ReadCodeCalls(), reads) << "the vendor library was asked";
            EXPECT_TRUE(SameTracker(before, g_plugin.tracker));
            EXPECT_EQ(events.size(), 2u);
        }
    }
    // With everything back in place the same poll works.
    SimHold(NONE);
    g_now += 1000;
    PollRemote(nullptr, WM_TIMER, timer, 0);
    EXPECT_EQ(events.size(), 3u);
}

// ---------------------------------------------------------------------------
// A host that calls back into the plug-in from its handler. The release is
// marked before it is dispatched, so Stop or Close inside the handler finds
// nothing left to release; a host that ends polling ends the poll too.

TEST_F(KeyEngineTest, StopInsideThePressHandlerReleasesOnce)
{
    OpenAndStart();
    ReactOnce(0, [] { Stop(); });
    Run({{0, A}, {1020, NONE}}, 1200);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {0, "CH_UP", -1}}));
    EXPECT_EQ(maxDepth, 2);
    EXPECT_EQ(g_plugin.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);
    EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
}

TEST_F(KeyEngineTest, StopInsideEveryHandlerNeverRecurses)
{
    OpenAndStart();
    react = [](const HostMessage&) { Stop(); };
    Run({{0, A}, {1020, NONE}}, 1200);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {0, "CH_UP", -1}}));
    EXPECT_EQ(maxDepth, 2);
}

TEST_F(KeyEngineTest, StopInsideARepeatHandlerReleasesOnce)
{
    OpenAndStart();
    ReactOnce(2, [] { Stop(); });
    Run({{0, A}, {1020, NONE}}, 1200);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {390, "CH_UP", 1}, {480, "CH_UP", 2},
                                          {480, "CH_UP", -1}}));
    EXPECT_EQ(maxDepth, 2);
    EXPECT_EQ(g_plugin.tracker.heldCode, NONE);

    // A later Start works normally.
    events.clear();
    base += 5000;
    reacted = true;
    timer = Start();
    ASSERT_NE(timer, 0u);
    Run({{0, A}, {30, NONE}}, 200);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {90, "CH_UP", -1}}));
}

TEST_F(KeyEngineTest, StopInsideTheReleaseHandlerDoesNotReleaseAgain)
{
    OpenAndStart();
    ReactOnce(-1, [] { Stop(); });
    Run({{0, A}, {1020, NONE}}, 1400);
    EXPECT_EQ(events, kHeldOneSecond);
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(g_plugin.polling, 0u);
    ExpectTrackerCleared();
}

TEST_F(KeyEngineTest, StopInsideTheReleaseOfASwitchEndsThePollBeforeTheNewPress)
{
    OpenAndStart();
    ReactOnce(-1, [] { Stop(); });
    Run({{0, A}, {120, B}, {300, NONE}}, 500);
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {120, "CH_UP", -1}}));
    EXPECT_EQ(maxDepth, 1);
    EXPECT_EQ(g_plugin.polling, 0u);
    ExpectTrackerCleared();
}

// The host's handler of A's release (A switched to B) stops, reopens or
// restarts the plug-in: that poll sends nothing more, and while B is held the
// next tick of a live timer presses it once.
TEST_F(KeyEngineTest, HostThatEndsPollingInTheReleaseOfASwitchGetsBsPressFromTheNextTickOnly)
{
    ASSERT_TRUE(WriteFileText(OwnIniPath(), "[Buttons]\r\n1A=CH_UP\r\n12=POWER\r\n"));  // read by Open
    const struct {
        const char* name;
        std::function<void()> act;
    } cases[] = {
        {"Stop", [] { Stop(); }},
        {"Stop and Start", [] { Stop(); Start(); }},
        {"Open", [this] { Open("TV", host.Window(), 0); }},
        {"Open and Start", [this] { Open("TV", host.Window(), 0); Start(); }},
        {"Close", [] { Close(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        events.clear();
        reacted = false;
        base += 10000;
        OpenAndStart();
        ReactOnce(-1, c.act);
        Run({{0, A}, {120, B}}, 120);
        EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {120, "CH_UP", -1}}));
        if (!g_plugin.polling && g_plugin.device)
            Start();  // no live timer was left: the host starts again
        for (int tick = 1; tick <= 3; ++tick) {
            g_now = base + 120 + 30 * tick;
            PollRemote(nullptr, WM_TIMER, g_plugin.timerId, 0);
        }
        const std::vector<Event> pressed = {{0, "CH_UP", 0}, {120, "CH_UP", -1}, {150, "POWER", 0}};
        EXPECT_EQ(events, g_plugin.device ? pressed : std::vector<Event>(pressed.begin(), pressed.end() - 1));
        react = nullptr;
        Close();
    }
}

TEST_F(KeyEngineTest, StopInsideTheReleaseThatStopSentDoesNotReleaseAgain)
{
    OpenAndStart();
    ReactOnce(-1, [] { Stop(); });
    Run({{0, A}}, 60);
    Stop();
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {60, "CH_UP", -1}}));
    EXPECT_EQ(maxDepth, 1);
}

TEST_F(KeyEngineTest, CloseInsideTheReleaseThatStopSentIsHarmless)
{
    OpenAndStart();
    ReactOnce(-1, [] { Close(); });
    Run({{0, A}}, 60);
    Stop();
    EXPECT_EQ(events, (std::vector<Event>{{0, "CH_UP", 0}, {60, "CH_UP", -1}}));
    EXPECT_EQ(g_plugin.device, nullptr);
}

struct CloseCase {
    const char* name;
    int32_t trigger;
    std::vector<Segment> segments;
    std::vector<Event> expected;
};

TEST_F(KeyEngineTest, CloseInsideAHandlerEndsEverythingWithoutAnotherEvent)
{
    const CloseCase cases[] = {
        {"press", 0, {{0, A}, {1020, NONE}}, {{0, "CH_UP", 0}}},
        {"repeat", 1, {{0, A}, {1020, NONE}}, {{0, "CH_UP", 0}, {390, "CH_UP", 1}}},
        {"release", -1, {{0, A}, {1020, NONE}}, kHeldOneSecond},
        {"release of a switch", -1, {{0, A}, {120, B}, {300, NONE}}, {{0, "CH_UP", 0}, {120, "CH_UP", -1}}},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetSim();
        events.clear();
        reacted = false;
        maxDepth = 0;
        base += 10000;
        OpenAndStart();
        ReactOnce(c.trigger, [] { Close(); });
        Run(c.segments, 1400);
        EXPECT_EQ(events, c.expected);
        EXPECT_EQ(maxDepth, 1);
        EXPECT_EQ(g_plugin.device, nullptr);
        EXPECT_EQ(g_plugin.hostWindow, nullptr);
        EXPECT_EQ(g_plugin.polling, 0u);
        EXPECT_EQ(g_plugin.timerId, 0u);
        EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
        EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);
        EXPECT_EQ(Start(), 0u);
    }
}

TEST_F(KeyEngineTest, OpenInsideAHandlerStopsSilentlyAndAFreshStartWorks)
{
    // Open rereads the bindings from the file beside the executable.
    ASSERT_TRUE(WriteFileText(OwnIniPath(), "[Buttons]\r\n1A=CH_UP\r\n12=POWER\r\n"));
    const CloseCase cases[] = {
        {"press", 0, {{0, A}, {1020, NONE}}, {{0, "CH_UP", 0}}},
        {"repeat", 1, {{0, A}, {1020, NONE}}, {{0, "CH_UP", 0}, {390, "CH_UP", 1}}},
        {"release", -1, {{0, A}, {1020, NONE}}, kHeldOneSecond},
        {"release of a switch", -1, {{0, A}, {120, B}, {300, NONE}}, {{0, "CH_UP", 0}, {120, "CH_UP", -1}}},
    };
    for (const CloseCase& c : cases) {
        SCOPED_TRACE(c.name);
        ResetSim();
        events.clear();
        reacted = false;
        maxDepth = 0;
        base += 10000;
        source = "TV";
        OpenAndStart();
        ReactOnce(c.trigger, [this] {
            Open("TV2", host.Window(), 0);
            source = "TV2";
        });
        Run(c.segments, 1400);
        EXPECT_EQ(events, c.expected);
        EXPECT_EQ(maxDepth, 1);
        EXPECT_EQ(g_plugin.polling, 0u);
        EXPECT_EQ(g_plugin.timerId, 0u);
        EXPECT_EQ(g_plugin.tracker.heldCode, NONE);
        ASSERT_NE(g_plugin.device, nullptr);
        EXPECT_EQ(g_plugin.cardOpen, 1u);
        EXPECT_EQ(Sim()->loadCount - Sim()->unloadCount, 1u);

        // Started again, a held button is a new press from the reopened plug-in.
        events.clear();
        base += 5000;
        timer = Start();
        ASSERT_NE(timer, 0u);
        Run({{0, B}, {30, NONE}}, 200);
        EXPECT_EQ(events, (std::vector<Event>{{0, "POWER", 0}, {90, "POWER", -1}}));
        Close();
    }
}

}  // namespace

// The key-event core polled every 30 ms by a rig whose sink records each
// event with the poll it came on, and whose receiver may call back into the
// tracker the way the plug-in's exports do.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/KeyEngine.h"

namespace {

constexpr uint8_t A = 0x1A, B = 0x12, N = NO_KEY;

struct Ev {
    uint32_t t;  // ms after the rig's base
    int code;
    int32_t value;
    bool operator==(const Ev& o) const { return t == o.t && code == o.code && value == o.value; }
};
void PrintTo(const Ev& e, std::ostream* os) { *os << '{' << e.t << ", " << e.code << ", " << e.value << '}'; }
using Events = std::vector<Ev>;

struct Segment {
    uint32_t from;  // ms after the base; the remote reports code from then on
    uint8_t code;
};

PluginSettings Timings(uint32_t delay, uint32_t interval, uint32_t release) { return {0, delay, interval, release}; }

struct Rig {
    KeyTracker tracker = IDLE_TRACKER;
    PluginSettings timings = DEFAULT_SETTINGS;
    uint32_t base = 1000000, now = 0;
    bool polling = true;
    Events events;
    int depth = 0, maxDepth = 0;
    std::function<void(Rig&, const Ev&)> react;

    KeyEventSink Sink() { return {&Rig::Receive, this}; }
    static void Receive(void* self, uint8_t code, int32_t value)
    {
        Rig& r = *static_cast<Rig*>(self);
        const Ev e{r.now - r.base, code, value};
        r.events.push_back(e);
        r.maxDepth = std::max(r.maxDepth, ++r.depth);
        if (r.react && r.depth < 3)  // a runaway recursion shows as a third level, not a crash
            r.react(r, e);
        --r.depth;
    }
    void Poll(uint8_t code, uint32_t t)
    {
        now = base + t;
        if (polling)
            TrackRemoteCode(tracker, timings, code, now, Sink());
    }
    // Polls every 30 ms from `from` to `end`, each seeing the last segment begun.
    void Run(const std::vector<Segment>& segments, uint32_t end, uint32_t from = 0)
    {
        for (uint32_t t = from; t <= end; t += 30) {
            uint8_t code = N;
            for (const Segment& s : segments)
                if (s.from <= t)
                    code = s.code;
            Poll(code, t);
        }
    }
};

// What the plug-in's exports do to the tracker from inside a receiver.
enum Reentry { STOP, STOP_START, OPEN };
const char* const kReentryNames[] = {"Stop", "Stop+Start", "Open"};

void Act(Rig& r, Reentry action)
{
    if (action != STOP_START)
        r.polling = false;
    if (action == OPEN)
        r.tracker.heldCode = NO_KEY;
    ResetTracker(r.tracker, r.Sink());
    if (action == STOP_START)
        ClearTracker(r.tracker);
}

std::string Fields(const KeyTracker& t)
{
    return std::to_string(t.heldCode) + " count " + std::to_string(t.repeatCount) + " press " +
           std::to_string(t.pressTime) + " seen " + std::to_string(t.lastSeenTime) + " repeat " +
           std::to_string(t.lastRepeatTime);
}

// Press at once; armed at 360 without an event; first repeat at 390, then on
// the first poll 80 ms or more after the last; release on the first empty
// poll more than 60 ms after the last one that saw the button.
const Events kHeldOneSecond = {{0, A, 0},   {390, A, 1}, {480, A, 2}, {570, A, 3},  {660, A, 4},
                               {750, A, 5}, {840, A, 6}, {930, A, 7}, {1080, A, -1}};

struct Scenario {
    const char* name;
    PluginSettings timings;
    uint32_t base;
    std::vector<Segment> segments;
    uint32_t end;
    Events expected;
};

const PluginSettings D = DEFAULT_SETTINGS;
const Scenario kScenarios[] = {
    {"held 1 s", D, 1000000, {{0, A}, {1020, N}}, 1200, kHeldOneSecond},
    {"tap", D, 1000000, {{0, A}, {30, N}}, 300, {{0, A, 0}, {90, A, -1}}},
    {"release while delaying counts from the press", D, 1000000, {{0, A}, {330, N}}, 600,
     {{0, A, 0}, {330, A, -1}}},
    {"dropout of ReleaseTime keeps the button", D, 1000000, {{0, A}, {30, N}, {60, A}, {420, N}}, 700,
     {{0, A, 0}, {390, A, 1}, {480, A, -1}}},
    {"longer dropout presses again", D, 1000000, {{0, A}, {60, N}, {120, A}, {150, N}}, 400,
     {{0, A, 0}, {90, A, -1}, {120, A, 0}, {210, A, -1}}},
    {"dropout while repeating keeps the numbering", D, 1000000, {{0, A}, {420, N}, {480, A}, {700, N}}, 900,
     {{0, A, 0}, {390, A, 1}, {480, A, 2}, {570, A, 3}, {660, A, 4}, {780, A, -1}}},
    {"switch while delaying", D, 1000000, {{0, A}, {120, B}, {210, N}}, 400,
     {{0, A, 0}, {120, A, -1}, {120, B, 0}, {210, B, -1}}},
    {"switch while repeating restarts delay and numbering", D, 1000000, {{0, A}, {510, B}, {1000, N}}, 1200,
     {{0, A, 0}, {390, A, 1}, {480, A, 2}, {510, A, -1}, {510, B, 0}, {900, B, 1}, {990, B, 2}, {1080, B, -1}}},
    // B is armed at 300, but its first repeat waits 180 ms after A's last (240).
    {"lastRepeatTime kept across presses", Timings(0, 200, 60), 1000000, {{0, A}, {270, B}, {600, N}}, 800,
     {{0, A, 0}, {60, A, 1}, {240, A, 2}, {270, A, -1}, {270, B, 0}, {420, B, 1}, {660, B, -1}}},
    {"first repeat after a reset counts from time 0", Timings(0, 100, 60), 0, {{0, A}, {200, N}}, 400,
     {{0, A, 0}, {90, A, 1}, {180, A, 2}, {270, A, -1}}},
    {"RepeatInterval 20 repeats on every poll", Timings(350, 20, 60), 1000000, {{0, A}, {600, N}}, 800,
     {{0, A, 0}, {390, A, 1}, {420, A, 2}, {450, A, 3}, {480, A, 4}, {510, A, 5}, {540, A, 6}, {570, A, 7},
      {660, A, -1}}},
    {"all timings 0", Timings(0, 0, 0), 1000000, {{0, A}, {300, N}, {360, B}, {390, N}}, 500,
     {{0, A, 0}, {300, A, -1}, {360, B, 0}, {390, B, -1}}},
    {"delay and release 0, interval 20", Timings(0, 20, 0), 1000000, {{0, A}, {150, N}}, 300,
     {{0, A, 0}, {60, A, 1}, {90, A, 2}, {120, A, 3}, {150, A, -1}}},
    // Which codes reach anyone is decided by the caller, not the core.
    {"codes above 92 are tracked like any other", Timings(0, 200, 60), 1000000, {{0, 93}, {270, 254}, {600, N}},
     800, {{0, 93, 0}, {60, 93, 1}, {240, 93, 2}, {270, 93, -1}, {270, 254, 0}, {420, 254, 1}, {660, 254, -1}}},
};

TEST(KeyEngineScripts, GiveExactlyTheseEvents)
{
    for (const Scenario& s : kScenarios) {
        SCOPED_TRACE(s.name);
        Rig r;
        r.timings = s.timings;
        r.base = s.base;
        r.Run(s.segments, s.end);
        EXPECT_EQ(r.events, s.expected);
        EXPECT_EQ(r.maxDepth, 1);
    }
}

TEST(KeyEngineScripts, RepeatsComeOnTheFirstPollAtLeastIntervalMinus20AfterTheLast)
{
    // Below 20 the threshold wraps to a huge value: never (spacing 0).
    const struct { uint32_t interval, spacing; } cases[] = {
        {0, 0}, {1, 0}, {19, 0}, {20, 30}, {50, 30}, {51, 60}, {100, 90}, {110, 90}, {111, 120}, {200, 180}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.interval);
        Rig r;
        r.timings = Timings(0, c.interval, 60);  // armed at 30, first repeat at 60
        r.Run({{0, A}, {1000, N}}, 1200);
        Events expected = {{0, A, 0}};
        int32_t n = 1;
        for (uint32_t t = 60; c.spacing && t <= 990; t += c.spacing)
            expected.push_back({t, A, n++});
        expected.push_back({1080, A, -1});
        EXPECT_EQ(r.events, expected);
    }
}

TEST(KeyEngineScripts, TwoHoldsAcrossTheClockWrapGiveTheSameEvents)
{
    Events expected = kHeldOneSecond;
    // Second hold armed at 1560; its first repeat 660 ms after the first hold's last.
    expected.insert(expected.end(), {{1200, A, 0}, {1590, A, 1}, {1740, A, -1}});
    // Far from the wrap, then wrapping while delaying, between two repeats, on
    // an empty poll before the release, at the second arming, at its repeat.
    for (const uint32_t base : {5000000u, 0xFFFFFF00u, 0u - 500u, 0u - 1050u, 0u - 1560u, 0u - 1590u}) {
        SCOPED_TRACE(base);
        Rig r;
        r.base = base;
        r.Run({{0, A}, {1020, N}, {1200, A}, {1680, N}}, 1900);
        EXPECT_EQ(r.events, expected);
    }
}

TEST(KeyEngineBoundaries, DelayRepeatAndReleaseAreExactStepByStep)
{
    constexpr int32_t QUIET = INT32_MIN;
    const struct { uint8_t code; uint32_t t; int32_t event; const char* fieldsAfter; } rows[] = {
        {A, 0, 0, "26 count 0 press 0 seen 0 repeat 0"},
        {A, 100, QUIET, "26 count 0 press 0 seen 0 repeat 0"},
        {A, 349, QUIET, "26 count 0 press 0 seen 0 repeat 0"},
        {A, 350, QUIET, "26 count 1 press 350 seen 0 repeat 0"},  // armed; not seen while delaying
        {A, 351, 1, "26 count 2 press 350 seen 351 repeat 351"},
        {A, 430, QUIET, "26 count 2 press 350 seen 430 repeat 351"},  // 79 ms
        {A, 510, 2, "26 count 3 press 350 seen 510 repeat 510"},     // 159 ms: one repeat, not two
        {A, 590, 3, "26 count 4 press 350 seen 590 repeat 590"},     // exactly 80 ms
        {N, 650, QUIET, "26 count 4 press 350 seen 590 repeat 590"}, // exactly ReleaseTime
        {N, 651, -1, "255 count 0 press 350 seen 590 repeat 590"},
        {N, 1000, QUIET, "255 count 0 press 350 seen 590 repeat 590"},
        {B, 1000, 0, "18 count 0 press 1000 seen 1000 repeat 590"},
        {N, 1040, QUIET, "18 count 0 press 1000 seen 1000 repeat 590"},  // a dropout within ReleaseTime
        {B, 1349, QUIET, "18 count 0 press 1000 seen 1000 repeat 590"},  // delay counts from the press
        {B, 1350, QUIET, "18 count 1 press 1350 seen 1000 repeat 590"},
    };
    Rig r;
    r.base = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.t);
        const size_t before = r.events.size();
        const int held = r.tracker.heldCode;
        r.Poll(row.code, row.t);
        Events expected(r.events.begin(), r.events.begin() + static_cast<long>(before));
        if (row.event != QUIET)
            expected.push_back({row.t, row.code == N ? held : row.code, row.event});
        EXPECT_EQ(r.events, expected);
        EXPECT_EQ(Fields(r.tracker), row.fieldsAfter);
    }
}

TEST(KeyEngineHandover, ReleasingOrForgettingTheHeldButtonKeepsTheTimes)
{
    Rig r;
    r.timings = Timings(0, 200, 60);
    r.Run({{0, A}}, 90);                  // press, armed at 30, repeat at 60
    ReleaseHeldKey(r.tracker, r.Sink());  // at 90
    r.Run({{0, A}}, 240, 120);            // pressed again; first repeat 180 ms after 60
    ForgetHeldKey(r.tracker);             // silent
    r.Run({{0, A}}, 330, 270);            // pressed again; 330 is only 90 ms after 240
    EXPECT_EQ(r.events, (Events{{0, A, 0}, {60, A, 1}, {90, A, -1}, {120, A, 0}, {240, A, 1}, {270, A, 0}}));
}

// A receiver that stops, restarts or reopens from inside its handler: no
// recursion, at most the one release of the reset, nothing more from that
// poll, and the next poll that still sees a button presses it once.
TEST(KeyEngineReentry, ResetFromInsideAHandlerEndsThePoll)
{
    const struct {
        const char* name;
        std::vector<Segment> segments;
        Ev trigger;
        Events before;  // events up to and including the trigger
        uint8_t stillDown;
    } triggers[] = {
        {"press", {{0, A}}, {0, A, 0}, {{0, A, 0}}, A},
        {"repeat", {{0, A}}, {390, A, 1}, {{0, A, 0}, {390, A, 1}}, A},
        {"release", {{0, A}, {30, N}}, {90, A, -1}, {{0, A, 0}, {90, A, -1}}, N},
        {"release of a switch", {{0, A}, {120, B}}, {120, A, -1}, {{0, A, 0}, {120, A, -1}}, B},
    };
    for (const auto& trig : triggers) {
        for (const Reentry action : {STOP, STOP_START, OPEN}) {
            SCOPED_TRACE(std::string(kReentryNames[action]) + " on " + trig.name);
            Rig r;
            bool done = false;
            r.react = [&](Rig& rig, const Ev& e) {
                if (!done && e == trig.trigger) {
                    done = true;
                    Act(rig, action);
                }
            };
            r.Run(trig.segments, trig.trigger.t);
            Events expected = trig.before;
            if (action != OPEN && trig.trigger.value >= 0)
                expected.push_back({trig.trigger.t, A, -1});
            EXPECT_EQ(r.events, expected);
            EXPECT_EQ(r.maxDepth, expected.size() > trig.before.size() ? 2 : 1);
            // repeatCount is read again after the repeat is reported.
            const int32_t count = trig.trigger.value > 0 ? 1 : 0;
            EXPECT_EQ(Fields(r.tracker), "255 count " + std::to_string(count) + " press 0 seen 0 repeat 0");

            if (!r.polling)
                ClearTracker(r.tracker);  // the host starts again
            r.polling = true;
            r.events.clear();
            r.Run(trig.segments, trig.trigger.t + 90, trig.trigger.t + 30);
            const Events pressed = {{trig.trigger.t + 30, trig.stillDown, 0}};
            EXPECT_EQ(r.events, trig.stillDown == N ? Events() : pressed);
        }
    }
}

TEST(KeyEngineReentry, AResetInsideTheReleaseOfAResetReleasesOnce)
{
    // Stopped from the press's handler or from outside; the release's handler stops again.
    const std::function<void(Rig&, const Ev&)> stop = [](Rig& rig, const Ev&) { Act(rig, STOP); };
    for (const bool fromPoll : {true, false}) {
        Rig r;
        r.react = fromPoll ? stop : nullptr;
        r.Run({{0, A}}, fromPoll ? 60 : 0);
        r.react = stop;
        if (!fromPoll)
            Act(r, STOP);
        EXPECT_EQ(r.events, (Events{{0, A, 0}, {0, A, -1}}));
        EXPECT_EQ(r.maxDepth, fromPoll ? 2 : 1);
    }
}

}  // namespace

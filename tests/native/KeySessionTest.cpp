// The key session polled every 30 ms by a rig whose receivers (the host, the dialog's display) write down each event
// with its poll, and whose handlers may call back into the session as the exports and a host's modal loop do.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/KeySession.h"
#include "tests/support/PollSegments.h"

namespace {

constexpr uint8_t A = 0x1A, B = 0x12, N = NO_KEY;

// "390 A1": repeat 1 of A 390 ms after the rig's base; "+" a press, "-" a release; " D" when the dialog hears it.
std::string Text(uint32_t t, int code, int32_t value, char to = 'H')
{
    const std::string name = code == A ? "A" : code == B ? "B" : std::to_string(code);
    const std::string event = value == 0 ? "+" : value < 0 ? "-" : std::to_string(value);
    return std::to_string(t) + " " + name + event + (to == 'D' ? " D" : "");
}

struct Rig {
    KeySession session;
    PluginSettings timings = DEFAULT_SETTINGS;
    uint32_t base = 1000000, now = 0;
    std::string heard;  // the events' texts, ", " between them
    int depth = 0, maxDepth = 0;
    std::function<void(Rig&, const std::string& event, int32_t value)> react;

    Rig() : session(IdleKeySession({&Rig::Receive<'H'>, this})) { Restart(true); }
    void Restart(bool open)  // Open or Stop, then Start
    {
        if (open)
            OpenKeySession(session, true);
        else
            StopKeySession(session);
        StartKeySession(session);
    }
    KeyEventSink Display() { return {&Rig::Receive<'D'>, this}; }
    std::string Heard() { return std::exchange(heard, std::string()); }  // since the last call

    template <char To>
    static void Receive(void* self, uint8_t code, int32_t value)
    {
        Rig& r = *static_cast<Rig*>(self);
        const std::string e = Text(r.now - r.base, code, value, To);
        r.heard += (r.heard.empty() ? "" : ", ") + e;
        r.maxDepth = std::max(r.maxDepth, ++r.depth);
        if (r.react && r.depth < 3)  // a runaway recursion shows as a third level, not a crash
            r.react(r, e, value);
        --r.depth;
    }
    void On(const std::string& when, void (*act)(Rig&))  // act in the handler of the first event heard as `when`
    {
        react = [when, act, calls = 0](Rig& rig, const std::string& e, int32_t) mutable {
            if (e == when && calls++ == 0)
                act(rig);
        };
    }
    void Poll(uint8_t code, uint32_t t) { PollKeySession(session, timings, code, now = base + t); }
    // Polls every 30 ms from `from` to `end`, each seeing the code reported then: "0 A, 1020 -" is A, none from 1020.
    void Run(const char* script, uint32_t end, uint32_t from = 0)
    {
        std::vector<Segment> segments;
        std::istringstream in(script);
        uint32_t at;
        for (std::string c; in >> at >> c;)
            segments.push_back({at, c[0] == 'A' ? A : c[0] == 'B' ? B : c[0] == '-' ? N : uint8_t(std::stoi(c))});
        PollSegments(segments, end, std::bind(&Rig::Poll, this, std::placeholders::_1, std::placeholders::_2), from);
    }
};

std::pair<std::string, int> Hear(const char* script, uint32_t end, PluginSettings timings = DEFAULT_SETTINGS,
                                 uint32_t base = 1000000)
{
    Rig r;
    r.timings = timings;
    r.base = base;
    r.Run(script, end);
    return {r.heard, r.maxDepth};
}

std::string Fields(const KeyTracker& t)
{
    return std::to_string(t.heldCode) + " count " + std::to_string(t.repeatCount) + " press " +
           std::to_string(t.pressTime) + " seen " + std::to_string(t.lastSeenTime) + " repeat " +
           std::to_string(t.lastRepeatTime);
}

// Press at once; armed at 360 without an event; first repeat at 390, then on the first poll 80 ms or more after the
// last; release on the first empty poll more than 60 ms after the last one that saw the button.
const std::string kHeldOneSecond = "0 A+, 390 A1, 480 A2, 570 A3, 660 A4, 750 A5, 840 A6, 930 A7, 1080 A-";

struct Scenario {
    const char* name;
    const char* segments;
    uint32_t end;
    std::string expected;
    PluginSettings timings = DEFAULT_SETTINGS;
    uint32_t base = 1000000;
};

const Scenario kScenarios[] = {
    {"held 1 s", "0 A, 1020 -", 1200, kHeldOneSecond},
    {"tap", "0 A, 30 -", 300, "0 A+, 90 A-"},
    {"release while delaying counts from the press", "0 A, 330 -", 600, "0 A+, 330 A-"},
    {"dropout of ReleaseTime keeps the button", "0 A, 30 -, 60 A, 420 -", 700, "0 A+, 390 A1, 480 A-"},
    {"longer dropout presses again", "0 A, 60 -, 120 A, 150 -", 400, "0 A+, 90 A-, 120 A+, 210 A-"},
    {"dropout while repeating keeps the numbering", "0 A, 420 -, 480 A, 700 -", 900,
     "0 A+, 390 A1, 480 A2, 570 A3, 660 A4, 780 A-"},
    {"switch while delaying", "0 A, 120 B, 210 -", 400, "0 A+, 120 A-, 120 B+, 210 B-"},
    {"switch while repeating restarts delay and numbering", "0 A, 510 B, 1000 -", 1200,
     "0 A+, 390 A1, 480 A2, 510 A-, 510 B+, 900 B1, 990 B2, 1080 B-"},
    // B is armed at 300, but its first repeat waits 180 ms after A's last (240).
    {"lastRepeatTime kept across presses", "0 A, 270 B, 600 -", 800,
     "0 A+, 60 A1, 240 A2, 270 A-, 270 B+, 420 B1, 660 B-", PluginSettings{0, 0, 200, 60}},
    {"first repeat after a reset counts from time 0", "0 A, 200 -", 400, "0 A+, 90 A1, 180 A2, 270 A-",
     PluginSettings{0, 0, 100, 60}, 0},
    {"RepeatInterval 20 repeats on every poll", "0 A, 600 -", 800,
     "0 A+, 390 A1, 420 A2, 450 A3, 480 A4, 510 A5, 540 A6, 570 A7, 660 A-", PluginSettings{0, 350, 20, 60}},
    {"all timings 0", "0 A, 300 -, 360 B, 390 -", 500, "0 A+, 300 A-, 360 B+, 390 B-", PluginSettings{0, 0, 0, 0}},
    {"delay and release 0, interval 20", "0 A, 150 -", 300, "0 A+, 60 A1, 90 A2, 120 A3, 150 A-", {0, 0, 20, 0}},
    // Tracked like any other, heard by nobody: A's first repeat waits 180 ms after the unheard repeat of 93 at 240.
    {"codes above 92 are tracked but reach nobody", "0 93, 270 254, 330 A, 600 -", 800, "330 A+, 420 A1, 660 A-",
     PluginSettings{0, 0, 200, 60}}};

}  // namespace

TEST(KeySessionScripts, GiveExactlyTheseEvents)
{
    for (const Scenario& s : kScenarios)
        EXPECT_EQ(Hear(s.segments, s.end, s.timings, s.base), std::make_pair(s.expected, 1)) << s.name;
}

TEST(KeySessionScripts, RepeatsComeOnTheFirstPollAtLeastIntervalMinus20AfterTheLast)
{
    // RepeatInterval and the spacing of the repeats. Below 20 the threshold wraps to a huge value: never (spacing 0).
    const uint32_t cases[][2] = {{0, 0},   {1, 0},    {19, 0},   {20, 30},   {50, 30},
                                 {51, 60}, {100, 90}, {110, 90}, {111, 120}, {200, 180}};
    for (const auto& [interval, spacing] : cases) {
        std::string expected = "0 A+";  // armed at 30, first repeat at 60
        for (uint32_t t = 60; spacing && t <= 990; t += spacing)
            expected += ", " + Text(t, A, int32_t((t - 60) / spacing) + 1);
        EXPECT_EQ(Hear("0 A, 1000 -", 1200, {0, 0, interval, 60}).first, expected + ", 1080 A-") << interval;
    }
}

TEST(KeySessionScripts, TwoHoldsAcrossTheClockWrapGiveTheSameEvents)
{
    // Second hold armed at 1560; its first repeat 660 ms after the first hold's last. Far from the wrap, then wrapping
    // while delaying, between two repeats, on an empty poll before the release, at the second arming, at its repeat.
    const std::string expected = kHeldOneSecond + ", 1200 A+, 1590 A1, 1740 A-";
    for (const uint32_t base : {5000000u, 0xFFFFFF00u, 0u - 500u, 0u - 1050u, 0u - 1560u, 0u - 1590u})
        EXPECT_EQ(Hear("0 A, 1020 -, 1200 A, 1680 -", 1900, DEFAULT_SETTINGS, base).first, expected) << base;
}

TEST(KeySessionBoundaries, DelayRepeatAndReleaseAreExactStepByStep)
{
    const std::tuple<uint8_t, uint32_t, std::string, std::string> rows[] = {
        {A, 0, "0 A+", "26 count 0 press 0 seen 0 repeat 0"},
        {A, 100, "", "26 count 0 press 0 seen 0 repeat 0"},
        {A, 349, "", "26 count 0 press 0 seen 0 repeat 0"},
        {A, 350, "", "26 count 1 press 350 seen 0 repeat 0"},  // armed; not seen while delaying
        {A, 351, "351 A1", "26 count 2 press 350 seen 351 repeat 351"},
        {A, 430, "", "26 count 2 press 350 seen 430 repeat 351"},        // 79 ms
        {A, 510, "510 A2", "26 count 3 press 350 seen 510 repeat 510"},  // 159 ms: one repeat, not two
        {A, 590, "590 A3", "26 count 4 press 350 seen 590 repeat 590"},  // exactly 80 ms
        {N, 650, "", "26 count 4 press 350 seen 590 repeat 590"},        // exactly ReleaseTime
        {N, 651, "651 A-", "255 count 0 press 350 seen 590 repeat 590"},
        {N, 1000, "", "255 count 0 press 350 seen 590 repeat 590"},
        {B, 1000, "1000 B+", "18 count 0 press 1000 seen 1000 repeat 590"},
        {N, 1040, "", "18 count 0 press 1000 seen 1000 repeat 590"},  // a dropout within ReleaseTime
        {B, 1349, "", "18 count 0 press 1000 seen 1000 repeat 590"},  // delay counts from the press
        {B, 1350, "", "18 count 1 press 1350 seen 1000 repeat 590"}};
    Rig r;
    r.base = 0;
    for (const auto& [code, t, heard, fieldsAfter] : rows) {
        r.Poll(code, t);
        EXPECT_EQ(std::make_pair(r.Heard(), Fields(r.session.tracker)), std::make_pair(heard, fieldsAfter)) << t;
    }
}

// Start and Stop as the exports use them; Open and Close around them; polls count only while polling, a host listening.
TEST(KeySession, StartStopOpenAndCloseDecideWhatPollsDo)
{
    Rig r;
    EXPECT_FALSE(StartKeySession(r.session)) << "second Start";
    r.Run("0 A", 480);
    EXPECT_FALSE(StartKeySession(r.session)) << "changes nothing while held";
    StopKeySession(r.session);  // the release before Stop returns
    StopKeySession(r.session);
    r.Run("0 A", 600, 510);  // polls of a stopped session
    EXPECT_EQ(r.Heard(), "0 A+, 390 A1, 480 A2, 480 A-");
    EXPECT_EQ(Fields(r.session.tracker), "255 count 0 press 0 seen 0 repeat 0");

    // Close while held: the host hears nothing more; the dialog, in charge, hears the release.
    for (const bool dialog : {false, true}) {
        SCOPED_TRACE(dialog ? "dialog in charge" : "host in charge");
        r.Restart(true);
        if (dialog)
            HandKeysToDialog(r.session, r.Display());
        r.Run("0 A", 60, 0);
        CloseKeySession(r.session);
        r.Run("0 B", 300, 90);
        StartKeySession(r.session);  // a stray Start: still nobody listens
        r.Run("0 B", 400, 330);
        EXPECT_EQ(r.Heard(), dialog ? "0 A+ D, 60 A- D" : "0 A+");
        HandKeysToHost(r.session);
    }

    // Open with a button held forgets it silently; without a window nobody listens.
    r.Restart(true);
    r.Run("0 A", 60);
    OpenKeySession(r.session, false);
    StartKeySession(r.session);
    r.Run("0 B", 300, 90);
    EXPECT_EQ(r.heard, "0 A+");
}

// While the dialog takes the events the host gets none; a button the host saw pressed is released to it first, and one
// still down when the events come back reaches it as a fresh press. The times of the tracker are kept.
TEST(KeySession, TheDialogTakesKeyEventsOverAndGivesThemBack)
{
    Rig r;  // the hand-overs come right after the polls at 30 and 570
    r.Run("0 A", 30);
    HandKeysToDialog(r.session, r.Display());
    r.Run("0 A", 570, 60);
    HandKeysToHost(r.session);
    r.Run("0 A, 1020 -", 1200, 600);
    EXPECT_EQ(r.Heard(), "0 A+, 30 A-, 60 A+ D, 450 A1 D, 540 A2 D, 600 A+, 990 A1, 1080 A-");

    // Stop while the dialog has the events: its release goes to the dialog.
    r.base += 5000;
    StartKeySession(r.session);
    r.Run("0 A", 60);
    HandKeysToDialog(r.session, r.Display());
    HandKeysToDialog(r.session, r.Display());  // taken once only
    r.Run("0 A", 90, 90);
    StopKeySession(r.session);
    HandKeysToHost(r.session);
    HandKeysToHost(r.session);
    EXPECT_EQ(r.heard, "0 A+, 60 A-, 90 A+ D, 90 A- D");
}

// A receiver that calls back into the session from its handler of one event: nothing is released twice, nothing
// recurses, the poll it came from sends nothing more, and a button still down is pressed once by the next poll.
TEST(KeySessionReentry, AReceiverCallingBackEndsThePollItCameFrom)
{
    // What the handler does; whether it releases the button at once; who hears a button still down next (' ': nobody).
    const std::tuple<const char*, void (*)(Rig&), bool, char> actions[] = {
        {"Stop", [](Rig& r) { StopKeySession(r.session); }, true, 'H'},
        {"Stop+Start", [](Rig& r) { r.Restart(false); }, true, 'H'},
        {"Open", [](Rig& r) { OpenKeySession(r.session, true); }, false, 'H'},
        {"Open+Start", [](Rig& r) { r.Restart(true); }, false, 'H'},
        {"Close", [](Rig& r) { CloseKeySession(r.session); }, false, ' '},
        {"the dialog takes over", [](Rig& r) { HandKeysToDialog(r.session, r.Display()); }, true, 'D'}};
    // The event whose handler acts, the events before it, the button still down after it.
    const std::tuple<const char*, const char*, uint32_t, int32_t, const char*, uint8_t> triggers[] = {
        {"press", "0 A", 0, 0, "", A},
        {"repeat", "0 A", 390, 1, "0 A+, ", A},
        {"release", "0 A, 30 -", 90, -1, "0 A+, ", N},
        {"release of a switch", "0 A, 120 B", 120, -1, "0 A+, ", B}};
    for (const auto& [on, segments, t, value, before, stillDown] : triggers) {
        for (const auto& [name, act, releases, next] : actions) {
            SCOPED_TRACE(std::string(name) + " on the " + on);
            Rig r;
            r.On(Text(t, A, value), act);
            r.Run(segments, t);
            const bool released = releases && value >= 0;
            const std::string heard = before + Text(t, A, value) + (released ? ", " + Text(t, A, -1) : "");
            EXPECT_EQ(std::make_pair(r.Heard(), r.maxDepth), std::make_pair(heard, released ? 2 : 1));

            StartKeySession(r.session);  // the host starts again if its handler left polling off
            r.Run(segments, t + 90, t + 30);
            EXPECT_EQ(r.heard, stillDown != N && next != ' ' ? Text(t + 30, stillDown, 0, next) : "");
        }
    }
}

TEST(KeySessionReentry, AStopInsideTheReleaseOfAStopReleasesOnce)
{
    // Stopped from the press's handler or from outside; the release's handler stops again.
    const decltype(Rig::react) stop = [](Rig& rig, const std::string&, int32_t) { StopKeySession(rig.session); };
    for (const bool fromPoll : {true, false}) {
        Rig r;
        r.react = fromPoll ? stop : nullptr;
        r.Run("0 A", fromPoll ? 60 : 0);
        r.react = stop;
        if (!fromPoll)
            StopKeySession(r.session);
        EXPECT_EQ(std::make_pair(r.heard, r.maxDepth), std::make_pair(std::string("0 A+, 0 A-"), fromPoll ? 2 : 1));
    }
}

// A handler that runs a modal loop of its own (a message box, the host's menu): the poll timer ticks inside it, so
// polls nest. The nested polls work; the poll they interrupted sends and changes nothing more.
TEST(KeySessionReentry, PollsNestedInAHandlersModalLoopLeaveNothingStale)
{
    Rig r;  // in the release of A (a switch to B) the user presses B and lets it go
    r.On("120 A-", [](Rig& rig) { rig.Run("0 B, 210 -", 390, 150); });
    r.Run("0 A, 120 B", 120);
    r.Run("", 600, 420);  // the loop is over
    EXPECT_EQ(r.heard, "0 A+, 120 A-, 150 B+, 240 B-");

    Rig s;  // in A's first repeat the user moves to B and holds it: B repeats only DelayBeforeRepeat after its press
    s.On("390 A1", [](Rig& rig) { rig.Run("0 B", 510, 420); });
    s.Run("0 A", 390);
    s.Run("0 B", 900, 540);
    EXPECT_EQ(s.heard, "0 A+, 390 A1, 420 A-, 420 B+, 810 B1, 900 B2");

    Rig u;  // in each repeat of A the loop polls on with A still down: every number once
    u.react = [](Rig& rig, const std::string&, int32_t value) {
        if (value > 0 && value < 4)
            rig.Run("0 A", rig.now - rig.base + 90, rig.now - rig.base + 30);
    };
    u.Run("0 A", 390);
    EXPECT_EQ(u.heard, "0 A+, 390 A1, 480 A2, 570 A3");
}

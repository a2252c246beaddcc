// Random sessions of the real key session: random polls, gaps, timings, clock jumps across the 2^32 wrap, and handlers
// of the host and the dialog that call back (kActions) or poll again. From its own books (polling, listening, who is in
// charge, the hold) the model works out the events due, checks that exactly those come (none from an overtaken poll)
// and that the session agrees with its books. A failing session is shrunk and printed with its seed.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <tuple>
#include <vector>

#include "engine/KeySession.h"
#include "mapping/ButtonTables.h"
#include "tests/HoldChecker.h"
#include "tests/SeededRandom.h"
#include "tests/ShrinkSteps.h"

namespace {

enum Action { STOP, START, STOP_START, OPEN, OPEN_BLIND, CLOSE, TO_DIALOG, TO_HOST, MODAL_LOOP, ACTION_COUNT };
const char* const kActions[] = {"Stop",  "Start",         "Stop+Start",  "Open",        "Open without a window",
                                "Close", "to the dialog", "to the host", "a modal loop"};

enum Kind { POLLS, CLOCK, TIMINGS, ACT, REACT };
struct Step {
    Kind kind;
    uint32_t a, b, c;  // REACT: action, on which event (0 press, 1 repeat, 2 release), modal loop's code
};

std::string Describe(size_t, const Step& s)  // the shrinker's report numbers the steps itself
{
    static const char* const on[] = {"press", "repeat", "release"};
    const std::string a = std::to_string(s.a), b = std::to_string(s.b), c = std::to_string(s.c);
    switch (s.kind) {
    case POLLS: return a + " polls " + b + " ms apart of code " + c;
    case CLOCK: return "clock set to " + a;
    case TIMINGS: return "timings " + a + "/" + b + "/" + c;
    case ACT: return kActions[s.a];
    default: return kActions[s.a] + (" (code " + c + ") in the handler of the next ") + on[s.b];  // REACT
    }
}

uint8_t RandomCode(SeededRandom& r)
{
    static const uint8_t few[] = {0x12, 0x1A, 0x05};
    const uint32_t c = r.Below(100);
    return static_cast<uint8_t>(c < 40 ? NO_KEY : c < 85 ? few[r.Below(3)] : c < 95 ? r.Below(93) : r.Below(256));
}

uint32_t RandomTiming(SeededRandom& r)
{
    static const uint32_t special[] = {0, 1, 19, 20, 21, 59, 60, 61, 350, 0x7FFFFFFFu, 0xFFFFFFFFu};
    const uint32_t pick = r.Below(100);
    return pick < 45 ? special[r.Below(sizeof special / sizeof special[0])] : pick < 90 ? r.Below(1000) : r.Next();
}

Step RandomStep(SeededRandom& r)
{
    const uint32_t pick = r.Below(100);
    if (pick < 55) {
        const uint32_t g = r.Below(100), gap = g < 75 ? 30 : g < 98 ? r.Below(501) : r.Next();
        return {POLLS, 1 + r.Below(r.Chance(20) ? 60 : 12), gap, RandomCode(r)};
    }
    if (pick < 60)
        return {CLOCK, r.Chance(60) ? 0xFFFFFFFFu - r.Below(400) : r.Next(), 0, 0};
    if (pick < 66)
        return {TIMINGS, RandomTiming(r), RandomTiming(r), RandomTiming(r)};
    const uint32_t action = r.Chance(25) ? static_cast<uint32_t>(START) : r.Below(ACTION_COUNT);
    return pick < 78 ? Step{ACT, action, 0, RandomCode(r)} : Step{REACT, action, r.Below(3), RandomCode(r)};
}

std::vector<Step> RandomSession(uint64_t seed)
{
    SeededRandom r(seed);
    std::vector<Step> steps(20 + seed % 60);
    for (Step& step : steps)
        step = RandomStep(r);
    return steps;
}

enum Receiver { HOST, DIALOG, NOBODY };
const char* const kReceivers[] = {"host", "dialog", "nobody"};

struct Due {  // an event that must come
    Receiver to;
    uint8_t code;
    int32_t value;
};

std::string Say(const Due& d)
{
    const std::string what = d.value > 0 ? "repeat " + std::to_string(d.value) : d.value ? "release" : "press";
    return what + " of " + std::to_string(d.code) + " to the " + kReceivers[d.to];
}

// The hold as the tracker must have it. lastSeen is set at the press, kept while delaying (the arming poll too), then
// set by every poll that sees the button; lastRepeat outlives holds and hand-overs until the tracker is cleared.
struct Hold {
    uint8_t code = NO_KEY;  // codes above 92 too: tracked, heard by nobody
    bool armed = false;
    int32_t next = 1;                                      // the number of the next repeat once armed
    uint32_t pressTime = 0, lastSeen = 0, lastRepeat = 0;  // pressTime: then the time of arming
};

// What is running: a poll (its time, code and the hold it found) or an action; the events due from it and how many have
// passed. Events are charged to the innermost frame.
struct Frame {
    int action;                   // -1: a poll
    uint32_t now, code, changes;  // changes: the model's count of changes of the session when it began
    Hold before;
    Due due[2] = {};
    int dueCount = 0, heard = 0;
};

struct Figures {
    size_t polls = 0, events = 0, nested = 0, overtaken = 0;
} figures;  // counted over all the sessions of a run

struct Model {
    KeySession session;
    PluginSettings timings = DEFAULT_SETTINGS;
    uint32_t now = 1000000, changes = 0;  // changes of the session: each overtakes the polls under way
    const bool failOnThirdRepeat;         // a rule of the harness, for the shrinker's test
    bool polling = false, hostListening = false, dialogTakes = false;  // the books, which the session must agree with
    HoldChecker<int> views[2];                                         // what the host and the dialog were told
    Hold hold;
    std::vector<Frame> frames;
    const Step* reaction = nullptr;  // pending: an action in the handler of the next event of a kind
    std::string failure;

    explicit Model(bool strict) : session(IdleKeySession({&ToHost, this})), failOnThirdRepeat(strict) {}

    static void ToHost(void* m, uint8_t code, int32_t value) { static_cast<Model*>(m)->OnEvent(HOST, code, value); }
    static void ToDialog(void* m, uint8_t code, int32_t value) { static_cast<Model*>(m)->OnEvent(DIALOG, code, value); }

    void Fail(const std::string& why) { failure = failure.empty() ? why : failure; }

    bool Overtaken(const Frame& f) const { return f.action < 0 && f.changes != changes; }

    Receiver InCharge() const { return dialogTakes ? DIALOG : hostListening ? HOST : NOBODY; }

    void CheckBooks(const Step* step, int action)
    {
        const std::tuple<const char*, bool, bool> rows[] = {
            {"polling", session.polling != 0, polling},
            {"hostListening", session.hostListening != 0, hostListening},
            {"the dialog in charge", session.dialog.receive != nullptr, dialogTakes},
            {"the host's receiver", session.host.receive == &Model::ToHost && session.host.context == this, true}};
        for (const auto& [field, has, booked] : rows)
            if (has != booked && failure.empty())
                Fail("after '" + (step ? Describe(0, *step) : std::string(kActions[action])) + "': " + field + " is " +
                     (has ? "on" : "off") + " in the session, " + (booked ? "on" : "off") + " in the model's books");
    }

    std::string Where(const Frame& f) const
    {
        if (f.action >= 0)
            return std::string("at the action '") + kActions[f.action] + "'";
        const Hold& h = f.before;
        char text[240];
        snprintf(text, sizeof text,
                 "at the poll of code %u at %u (held %u %s at %u, seen %u, repeat %u, next %d; timings %u/%u/%u)",
                 f.code, f.now, h.code, h.armed ? "armed" : "pressed", h.pressTime, h.lastSeen, h.lastRepeat, h.next,
                 timings.DelayBeforeRepeat, timings.RepeatInterval, timings.ReleaseTime);
        return text;
    }

    void Apply(const Due& d, uint32_t at)  // what the tracker changes before it reports an event of a poll
    {
        if (d.value == EVENT_RELEASE)
            hold = {NO_KEY, false, hold.next, hold.pressTime, hold.lastSeen, hold.lastRepeat};
        else if (d.value == EVENT_PRESS)
            hold = {d.code, false, hold.next, at, at, hold.lastRepeat};
        else
            hold = {hold.code, hold.armed, hold.next + 1, hold.pressTime, at, at};
    }

    // Passes the due events of codes without a button: nobody hears them. Once the frame ends all due must have come.
    void PassUnheard(Frame& f, bool ended)
    {
        while (f.heard < f.dueCount && f.due[f.heard].code > MAX_BUTTON_CODE)
            Apply(f.due[f.heard++], f.now);
        if (ended && f.heard < f.dueCount)
            Fail(Where(f) + ": due " + Say(f.due[f.heard]) + ", nothing came");
    }

    void OnEvent(Receiver to, uint8_t code, int32_t value)
    {
        ++figures.events;
        Frame& f = frames.back();
        PassUnheard(f, false);
        const Due came{to, code, value}, *due = f.heard < f.dueCount ? &f.due[f.heard] : nullptr;
        const char* why = views[to].Accept(code, value);  // what the receiver makes of it
        if (Overtaken(f))
            Fail(Where(f) + ": " + Say(came) + " came after a call-back overtook the poll");
        else if (!due || due->to != to || due->code != code || due->value != value || why)
            Fail(Where(f) + ": due " + (due ? Say(*due) : "nothing") + ", came " + Say(came) +
                 (why ? std::string(" (") + why + ")" : ""));
        if (failOnThirdRepeat && value >= 3)
            Fail(Where(f) + ": " + Say(came) + " breaks the harness rule of no third repeat");
        f.heard += due != nullptr;
        if (due && f.action < 0)
            Apply(*due, f.now);
        // The step outlives the session; frames may move, so f is not used after this.
        if (const Step* r = reaction; r && (value == EVENT_PRESS ? 0u : value > 0 ? 1u : 2u) == r->b) {
            reaction = nullptr;
            Do(static_cast<Action>(r->a), static_cast<uint8_t>(r->c));
        }
    }

    void Clear(bool keepTimes)  // the tracker forgets its hold; Start, Stop, Open and Close clear its times too
    {
        ++changes;
        hold = keepTimes ? Hold{NO_KEY, false, hold.next, hold.pressTime, hold.lastSeen, hold.lastRepeat} : Hold();
    }

    void Release(bool keepTimes)  // due from the action: the release of a press the receiver in charge was told of
    {
        if (const Receiver to = InCharge(); to != NOBODY && views[to].open)
            frames.back().due[frames.back().dueCount++] = {to, static_cast<uint8_t>(views[to].key), EVENT_RELEASE};
        Clear(keepTimes);
    }

    void Do(Action action, uint8_t code)  // the books change before anyone hears of the change
    {
        frames.push_back({action, now, NO_KEY, changes, hold});
        switch (action) {
        case STOP:
            polling = false;
            Release(false);
            StopKeySession(session);
            break;
        case STOP_START:  // a Stop, then a Start within the same action
            Do(STOP, code);
            [[fallthrough]];
        case START:  // refused, changing nothing, while polling; it reports nothing
            if (!polling)
                Clear(false);
            if (StartKeySession(session) == polling)
                Fail(Where(frames.back()) + ": Start gave " + (polling ? "true, polling on" : "false, polling off"));
            polling = true;
            break;
        case OPEN:
        case OPEN_BLIND:  // a new session: whatever was held is forgotten everywhere
            views[HOST].open = views[DIALOG].open = polling = false;
            hostListening = action == OPEN;
            Clear(false);
            OpenKeySession(session, action == OPEN);
            break;
        case CLOSE:  // the host hears nothing more, not even the release
            views[HOST].open = polling = hostListening = false;
            Release(false);
            CloseKeySession(session);
            break;
        case TO_DIALOG:  // no key stays down at the host
            if (!dialogTakes) {
                Release(true);
                dialogTakes = true;
                HandKeysToDialog(session, {&ToDialog, this});
            }
            break;
        case TO_HOST:  // a button still down is pressed afresh at the next poll that sees it
            if (dialogTakes)
                Clear(true);
            views[DIALOG].open = dialogTakes = false;  // a dialog not in charge was told of no press
            HandKeysToHost(session);
            break;
        case MODAL_LOOP:  // the user holds code for a while, then lets go
            for (int i = 0; i < 16 && failure.empty(); ++i)
                Poll(i < 8 ? code : NO_KEY, now + 30);
            break;
        case ACTION_COUNT: break;
        }
        PassUnheard(frames.back(), true);  // it reports nothing
        frames.pop_back();
        CheckBooks(nullptr, action);
    }

    // Due at a poll: a release of the held button on an empty poll more than ReleaseTime after it was last seen; on a
    // new code the old one's release and then its press; once armed, a repeat at every poll RepeatInterval-20 or more
    // after the last. Repeating arms at the first poll DelayBeforeRepeat or more after the press, without an event.
    void Poll(uint8_t code, uint32_t at)
    {
        now = at;
        const bool live = polling && hostListening, same = live && code != NO_KEY && code == hold.code;
        Frame f{-1, at, code, changes, hold};
        if (live) {
            ++figures.polls;
            figures.nested += frames.size() > 1;  // inside a handler's modal loop
            f.changes = ++changes;                // the polls under way are overtaken, this one not
            if (code == NO_KEY ? hold.code != NO_KEY && at - hold.lastSeen > timings.ReleaseTime : !same) {
                if (hold.code != NO_KEY)
                    f.due[f.dueCount++] = {InCharge(), hold.code, EVENT_RELEASE};
                if (code != NO_KEY)
                    f.due[f.dueCount++] = {InCharge(), code, EVENT_PRESS};
            } else if (same && hold.armed && at - hold.lastRepeat >= timings.RepeatInterval - 20u)
                f.due[f.dueCount++] = {InCharge(), code, hold.next};
        }
        frames.push_back(f);
        PollKeySession(session, timings, code, at);
        Frame done = frames.back();
        frames.pop_back();
        if (Overtaken(done))
            return void(++figures.overtaken);  // it says and changes nothing more
        PassUnheard(done, true);
        if (same && !hold.armed && at - hold.pressTime >= timings.DelayBeforeRepeat)
            hold = {hold.code, true, 1, at, hold.lastSeen, hold.lastRepeat};
        else if (same && hold.armed)
            hold.lastSeen = at;
    }

    void Run(const Step& s)
    {
        switch (s.kind) {
        case POLLS:
            for (uint32_t i = 0; i < s.a && failure.empty(); ++i)
                Poll(static_cast<uint8_t>(s.c), now + s.b);
            break;
        case CLOCK: now = s.a; break;
        case TIMINGS: timings = {0, s.a, s.b, s.c}; break;
        case ACT: Do(static_cast<Action>(s.a), static_cast<uint8_t>(s.c)); break;
        case REACT: reaction = &s; break;
        }
        CheckBooks(&s, 0);
    }
};

template <bool failOnThirdRepeat>
std::string RunSession(const std::vector<Step>& steps)
{
    Model m(failOnThirdRepeat);
    m.Do(OPEN, NO_KEY);
    m.Do(START, NO_KEY);
    for (size_t i = 0; i < steps.size() && m.failure.empty(); ++i)
        m.Run(steps[i]);
    m.reaction = nullptr;
    if (m.failure.empty())
        m.Do(STOP, NO_KEY);  // the end of every session: a stop releases what the receiver in charge holds
    return m.failure;
}

}  // namespace

TEST(KeyModel, RandomSessionsGiveEveryEventDueAndNoOther)
{
    const char* wanted = getenv("VRC_MODEL_STEPS");  // steps of a run, 1,000,000 if unset
    const size_t target = wanted && atol(wanted) > 0 ? static_cast<size_t>(atol(wanted)) : 1000000;
    const auto started = std::chrono::steady_clock::now();
    size_t sessions = 0, steps = 0;
    const Figures& f = figures = {};
    for (uint64_t seed = 1; steps < target; ++seed, ++sessions) {
        const std::vector<Step> session = RandomSession(seed);
        steps += session.size();
        ASSERT_EQ(RunSession<false>(session), "")
            << ShrinkAndReport(seed, session, RunSession<false>, Describe, 1 << 20);
    }
    const auto ms = (std::chrono::steady_clock::now() - started) / std::chrono::milliseconds(1);
    printf("[ model    ] %zu sessions, %zu steps, %zu live polls (%zu in handlers' modal loops, %zu overtaken),"
           " %zu events, %lld ms: every event due and no other\n",
           sessions, steps, f.polls, f.nested, f.overtaken, f.events, static_cast<long long>(ms));
    EXPECT_GT(f.events, f.polls / 10);      // the sessions did hold buttons
    EXPECT_GT(f.nested, f.polls / 100);     // handlers did poll again
    EXPECT_GT(f.overtaken, f.polls / 200);  // and call-backs did overtake polls
}

// The shrinker and the report: a rule of the harness that correct sessions break (no third repeat; the engine is not at
// fault) makes a session fail, and it is cut down to the few steps that still break it.
TEST(KeyModel, FailingSessionIsShrunkToTheStepsThatMatter)
{
    uint64_t seed = 1;
    while (seed < 500 && RunSession<true>(RandomSession(seed)).empty())
        ++seed;
    ASSERT_LT(seed, 500u) << "no session reached a third repeat";
    const std::string report = ShrinkAndReport(seed, RandomSession(seed), RunSession<true>, Describe, 1 << 20);
    const unsigned long shortest = std::stoul(report.substr(report.find("steps (") + 7));
    EXPECT_NE(report.find("no third repeat"), std::string::npos) << report;
    EXPECT_LE(shortest, 3u) << report;
    printf("[ model    ] shrinker: seed %llu breaks a harness rule (no third repeat), %zu steps shrunk to %lu\n",
           static_cast<unsigned long long>(seed), RandomSession(seed).size(), shortest);
}

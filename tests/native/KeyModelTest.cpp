// Random sessions of the real key session: polls of random codes at random
// gaps, clock jumps across the 2^32 wrap, random timings, and two receivers,
// the host and the setup dialog, whose handlers call back with Stop, Start,
// Stop+Start, an Open, a Close, a hand-over either way, or a modal loop of
// their own that polls again. The model keeps only what each receiver was
// told, by whom and when, and checks after every event and step what any
// correct session keeps. A failing session is shrunk and printed with its
// seed. VRC_MODEL_STEPS sets the steps of a run (default 1,000,000).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/KeyEngine.h"
#include "mapping/ButtonTables.h"
#include "tests/SeededRandom.h"
#include "tests/ShrinkSteps.h"

namespace {

enum Action { STOP, START, STOP_START, OPEN, CLOSE, TO_DIALOG, TO_HOST, MODAL_LOOP, ACTION_COUNT };
const char* const kActions[] = {"Stop", "Start", "Stop+Start", "Open", "Close", "the dialog takes the events",
                                "the dialog gives them back", "a modal loop"};

enum Kind { POLLS, CLOCK, TIMINGS, ACT, REACT };
struct Step {
    Kind kind;
    uint32_t a, b, c;  // REACT: action, on which event (0 press, 1 repeat, 2 release), modal loop's code
};

std::string Describe(const Step& s)
{
    static const char* const on[] = {"press", "repeat", "release"};
    char text[160];
    switch (s.kind) {
    case POLLS: snprintf(text, sizeof text, "%u polls %u ms apart of code %u", s.a, s.b, s.c); break;
    case CLOCK: snprintf(text, sizeof text, "clock set to %u", s.a); break;
    case TIMINGS: snprintf(text, sizeof text, "timings %u/%u/%u", s.a, s.b, s.c); break;
    case ACT: snprintf(text, sizeof text, "%s", kActions[s.a]); break;
    case REACT:
        snprintf(text, sizeof text, "%s (code %u) in the handler of the next %s", kActions[s.a], s.c, on[s.b]);
        break;
    }
    return text;
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
    if (pick < 45)
        return special[r.Below(sizeof special / sizeof special[0])];
    return pick < 90 ? r.Below(1000) : r.Next();
}

Step RandomStep(SeededRandom& r)
{
    const uint32_t pick = r.Below(100);
    if (pick < 55) {
        const uint32_t g = r.Below(100);
        const uint32_t gap = g < 75 ? 30 : g < 98 ? r.Below(501) : r.Next();
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

// One receiver's idea of the button held; returns what is wrong with an event.
struct View {
    bool open = false;
    int code = 0;
    int32_t next = 1;
    const char* Accept(int c, int32_t value)
    {
        if (value == EVENT_PRESS) {
            if (open)
                return "a press while another button is held";
            open = true, code = c, next = 1;
            return nullptr;
        }
        if (!open || code != c)
            return value == EVENT_RELEASE ? "a release without its press" : "a repeat without its press";
        if (value == EVENT_RELEASE)
            open = false;
        else if (value != next++)
            return "a repeat out of sequence";
        return nullptr;
    }
};

// What is running: a poll (with its time and code) or an action (with who
// may hear its release); events are charged to the innermost one.
struct Frame {
    bool poll;
    uint32_t now;
    uint8_t code;
    Receiver to;
    bool overtaken;  // something else changed the session while it reported
    int id;
};

struct Model {
    KeySession session;
    PluginSettings timings = DEFAULT_SETTINGS;
    uint32_t now = 1000000;
    bool failOnThirdRepeat = false;  // a rule of the harness, for the shrinker's test
    Receiver inCharge = HOST;  // who should hear events
    bool opened = true;
    View views[2];
    std::vector<Frame> frames;
    int nextFrameId = 0;
    // The hold the tracker should have: its press, and what bounds its repeats and release.
    struct {
        bool active = false;
        uint8_t code = 0;
        uint32_t pressTime = 0, lastSeen = 0;
        int pressFrame = -1;
        bool armable = false;
    } hold;
    uint32_t lastRepeat = 0;  // 0 again whenever the tracker is cleared
    bool lastRepeatKnown = true;  // false once a code above 92 may have repeated unheard
    int reaction = -1;        // pending: action, on which event, with which code
    uint32_t reactOn = 0;
    uint8_t reactCode = 0;
    size_t polls = 0, events = 0, nested = 0;
    std::string failure;

    Model() : session(IdleKeySession({&Model::ToHost, this}))
    {
        OpenKeySession(session, true);
        StartKeySession(session);
    }
    Model(const Model&) = delete;

    static void ToHost(void* self, uint8_t code, int32_t value) { static_cast<Model*>(self)->OnEvent(HOST, code, value); }
    static void ToDialog(void* self, uint8_t code, int32_t value)
    {
        static_cast<Model*>(self)->OnEvent(DIALOG, code, value);
    }

    void Fail(const std::string& why)
    {
        if (failure.empty())
            failure = why;
    }

    void OnEvent(Receiver to, uint8_t code, int32_t value)
    {
        ++events;
        const Frame& frame = frames.back();
        const std::string where = " (code " + std::to_string(code) + " value " + std::to_string(value) + " to " +
                                  kReceivers[to] + (frame.poll ? " from a poll at " + std::to_string(frame.now) : " from an action") + ")";
        const auto check = [&](bool ok, const char* why) {
            if (!ok)
                Fail(why + where);
        };
        check(to == (frame.poll ? inCharge : frame.to), "an event reached a receiver that is not in charge");
        check(code <= MAX_BUTTON_CODE, "an event for a code without a button");
        check(!frame.poll || !frame.overtaken, "an event from a poll after something overtook it");
        check(!frame.poll || session.polling, "an event from a poll while stopped");
        check(frame.poll || value == EVENT_RELEASE, "an action reported more than a release");
        check(!failOnThirdRepeat || value < 3, "repeat 3 breaks the harness rule of no third repeat");
        if (to != NOBODY) {
            if (const char* why = views[to].Accept(code, value))
                Fail(why + where);
        }
        hold.active = frame.poll && value >= 0;
        if (frame.poll && value == EVENT_PRESS) {
            hold = {true, code, frame.now, frame.now, frame.id, false};
        } else if (frame.poll && value > 0) {
            check(hold.armable, "a repeat before DelayBeforeRepeat had passed since its press");
            check(!lastRepeatKnown || frame.now - lastRepeat >= timings.RepeatInterval - 20u,
                  "repeats closer than RepeatInterval-20");
            lastRepeat = frame.now, lastRepeatKnown = true;
        } else if (frame.poll && frame.code == NO_KEY) {
            check(frame.now - hold.pressTime > timings.ReleaseTime || frame.now - hold.lastSeen > timings.ReleaseTime,
                  "a release before ReleaseTime had passed");
        }
        if (reaction >= 0 && (value == EVENT_PRESS ? 0u : value > 0 ? 1u : 2u) == reactOn) {
            const Action action = static_cast<Action>(reaction);
            reaction = -1;
            Do(action, reactCode);
        }
    }

    // Every change of the session overtakes the polls under way.
    void Overtake()
    {
        for (Frame& f : frames)
            f.overtaken = f.overtaken || f.poll;
    }

    // The tracker was cleared (times too) or its hold forgotten.
    void Changed(bool timesCleared)
    {
        Overtake();
        hold.active = false;
        if (timesCleared)
            lastRepeat = 0, lastRepeatKnown = true;
    }

    // Who is in charge changes before anyone hears of the change.
    void Do(Action action, uint8_t code)
    {
        frames.push_back({false, now, NO_KEY, inCharge, false, nextFrameId++});
        Frame& frame = frames.back();
        switch (action) {
        case STOP: Changed(true), StopKeySession(session); break;
        case START:
            if (opened && !session.polling)
                Changed(true), StartKeySession(session);
            break;
        case STOP_START: Do(STOP, code), Do(START, code); break;
        case OPEN:  // a new session: whatever was held is forgotten everywhere
            views[HOST].open = views[DIALOG].open = false;
            opened = true;
            inCharge = inCharge == NOBODY ? HOST : inCharge;
            Changed(true), OpenKeySession(session, true);
            break;
        case CLOSE:  // the host hears nothing more, not even the release
            views[HOST].open = false;
            inCharge = frame.to = inCharge == HOST ? NOBODY : inCharge;
            opened = false;
            Changed(true), CloseKeySession(session);
            break;
        case TO_DIALOG:
            if (inCharge != DIALOG) {
                inCharge = DIALOG;
                Changed(false), HandKeysToDialog(session, {&Model::ToDialog, this});
            }
            break;
        case TO_HOST:
            if (inCharge == DIALOG) {
                views[DIALOG].open = false;  // the dialog is gone
                inCharge = opened ? HOST : NOBODY;
                Changed(false), HandKeysToHost(session);
            }
            break;
        case MODAL_LOOP:  // the user holds code for a while, then lets go
            for (int i = 0; i < 16 && failure.empty(); ++i)
                Poll(i < 8 ? code : NO_KEY, now + 30);
            break;
        case ACTION_COUNT: break;
        }
        frames.pop_back();
    }

    void Poll(uint8_t code, uint32_t at)
    {
        now = at;
        if (!KeySessionPolls(session))
            return PollKeySession(session, timings, code, at);
        ++polls;
        for (const Frame& f : frames)
            nested += f.poll;  // a poll inside a handler's modal loop
        Overtake();
        lastRepeatKnown = lastRepeatKnown && (code <= MAX_BUTTON_CODE || code == NO_KEY);
        frames.push_back({true, at, code, inCharge, false, nextFrameId++});
        PollKeySession(session, timings, code, at);
        const Frame frame = frames.back();
        frames.pop_back();
        // A poll that saw its button again arms repeating once the delay has
        // passed since the press; from then on it counts as seen.
        if (frame.overtaken || !hold.active || hold.code != code || frame.id == hold.pressFrame)
            return;
        hold.armable = hold.armable || at - hold.pressTime >= timings.DelayBeforeRepeat;
        if (hold.armable)
            hold.lastSeen = at;
    }

    // After each step: the tracker holds what the receiver in charge was told.
    void CheckHeld()
    {
        const uint8_t held = session.tracker.heldCode;
        const View* view = inCharge == NOBODY ? nullptr : &views[inCharge];
        const bool told = view && view->open;
        if (held <= MAX_BUTTON_CODE ? !told || view->code != held : told)
            Fail("the tracker holds " + std::to_string(held) + ", the " + kReceivers[inCharge] + " was told " +
                 (told ? std::to_string(view->code) : "nothing"));
        for (int r = HOST; r <= DIALOG; ++r) {
            if (r != inCharge && views[r].open)
                Fail(std::string("the ") + kReceivers[r] + " lost charge with a button still down");
        }
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
        case REACT: reaction = static_cast<int>(s.a), reactOn = s.b, reactCode = static_cast<uint8_t>(s.c); break;
        }
        if (failure.empty())
            CheckHeld();
    }
};

struct Outcome {
    std::string failure;
    size_t polls, events, nested;
};

Outcome RunSession(const std::vector<Step>& steps, bool failOnThirdRepeat)
{
    Model m;
    m.failOnThirdRepeat = failOnThirdRepeat;
    m.frames.push_back({false, 0, NO_KEY, NOBODY, false, -1});  // the steps themselves
    for (size_t i = 0; i < steps.size() && m.failure.empty(); ++i)
        m.Run(steps[i]);
    // The end of every session: a stop releases what the receiver in charge holds.
    m.reaction = -1;
    if (m.failure.empty())
        m.Do(STOP, NO_KEY), m.CheckHeld();
    for (int r = HOST; r <= DIALOG && m.failure.empty(); ++r) {
        if (m.views[r].open)
            m.Fail(std::string("the ") + kReceivers[r] + " never heard a release");
    }
    return {m.failure, m.polls, m.events, m.nested};
}

std::vector<Step> Shrink(const std::vector<Step>& steps, bool failOnThirdRepeat)
{
    int runs = 0;
    const auto fails = [=](const std::vector<Step>& c) { return !RunSession(c, failOnThirdRepeat).failure.empty(); };
    return ShrinkSteps(steps, fails, 1 << 30, &runs);
}

std::string Report(uint64_t seed, const std::vector<Step>& steps, bool failOnThirdRepeat)
{
    std::string text = "seed " + std::to_string(seed) + ": " + RunSession(steps, failOnThirdRepeat).failure +
                       "\nshortest failing steps (" + std::to_string(steps.size()) + "):\n";
    for (size_t i = 0; i < steps.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + Describe(steps[i]) + "\n";
    return text;
}

}  // namespace

TEST(KeyModel, RandomSessionsKeepEveryInvariant)
{
    const char* wanted = getenv("VRC_MODEL_STEPS");
    const size_t target = wanted && atol(wanted) > 0 ? static_cast<size_t>(atol(wanted)) : 1000000;
    const auto started = std::chrono::steady_clock::now();
    size_t sessions = 0, steps = 0, polls = 0, events = 0, nested = 0;
    for (uint64_t seed = 1; steps < target; ++seed, ++sessions) {
        const std::vector<Step> session = RandomSession(seed);
        const Outcome outcome = RunSession(session, false);
        steps += session.size();
        polls += outcome.polls;
        events += outcome.events;
        nested += outcome.nested;
        if (!outcome.failure.empty()) {
            ADD_FAILURE() << Report(seed, Shrink(session, false), false);
            return;
        }
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    printf("[ model    ] %zu sessions, %zu steps, %zu live polls (%zu in handlers' modal loops), %zu events, %lld ms:"
           " no violation\n", sessions, steps, polls, nested, events, static_cast<long long>(ms));
    EXPECT_GT(events, polls / 10);  // the sessions did hold buttons
    EXPECT_GT(nested, polls / 100);  // and handlers did poll again
}

// The shrinker and the report: a rule of the harness that correct sessions
// break (no third repeat; the engine is not at fault) makes a session fail,
// and it is cut down to the few steps that still break it.
TEST(KeyModel, FailingSessionIsShrunkToTheStepsThatMatter)
{
    for (uint64_t seed = 1; seed < 500; ++seed) {
        const std::vector<Step> session = RandomSession(seed);
        if (RunSession(session, true).failure.empty())
            continue;
        const std::vector<Step> shortest = Shrink(session, true);
        const std::string report = Report(seed, shortest, true);
        EXPECT_NE(report.find("no third repeat"), std::string::npos) << report;
        EXPECT_LE(shortest.size(), 3u) << report;
        printf("[ model    ] shrinker: seed %llu breaks a harness rule (no third repeat), %zu steps shrunk to %zu\n",
               static_cast<unsigned long long>(seed), session.size(), shortest.size());
        return;
    }
    ADD_FAILURE() << "no session reached a third repeat";
}

// Random sessions of the key-event core under a small edge of its own: polls
// of random codes at random gaps, clock jumps across the 2^32 wrap, random
// timings, and events going to the host, the setup dialog or nobody, whose
// handlers may stop, restart, reopen, close or hand the events over. The
// invariants any correct core keeps are checked after every event and step;
// a failing session is shrunk and printed with its seed. VRC_MODEL_STEPS sets
// the steps of a run (default 100000).
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <vector>

#include "engine/KeyEngine.h"
#include "tests/SeededRandom.h"
#include "tests/ShrinkSteps.h"

namespace {

typedef SeededRandom Random;

enum Action { STOP, START, STOP_START, OPEN, CLOSE, TAKE, GIVE, ACTION_COUNT };
const char* const kActions[] = {"Stop", "Start", "Stop+Start", "Open", "Close", "the dialog takes the events",
                                "the dialog gives the events back"};

enum Kind { POLLS, CLOCK, TIMINGS, ACT, REACT };
struct Step {
    Kind kind;
    uint32_t a, b, c;
};

std::string Describe(const Step& s)
{
    char text[128];
    switch (s.kind) {
    case POLLS: snprintf(text, sizeof text, "%u polls %u ms apart of code %u", s.a, s.b, s.c); break;
    case CLOCK: snprintf(text, sizeof text, "clock set to %u", s.a); break;
    case TIMINGS: snprintf(text, sizeof text, "timings %u/%u/%u", s.a, s.b, s.c); break;
    case ACT: snprintf(text, sizeof text, "%s", kActions[s.a]); break;
    case REACT: snprintf(text, sizeof text, "%s in the handler of event +%u", kActions[s.a], s.b); break;
    }
    return text;
}

uint32_t RandomTiming(Random& r)
{
    static const uint32_t special[] = {0, 1, 19, 20, 21, 59, 60, 61, 350, 0x7FFFFFFFu, 0xFFFFFFFFu};
    const uint32_t pick = r.Below(100);
    if (pick < 45)
        return special[r.Below(sizeof special / sizeof special[0])];
    return pick < 90 ? r.Below(1000) : r.Next();
}

Step RandomStep(Random& r)
{
    const uint32_t pick = r.Below(100);
    if (pick < 55) {
        static const uint8_t few[] = {0x12, 0x1A, 0x05};
        const uint32_t c = r.Below(100), g = r.Below(100);
        const uint32_t code = c < 40 ? NO_KEY : c < 85 ? few[r.Below(3)] : c < 95 ? r.Below(93) : r.Below(256);
        const uint32_t gap = g < 75 ? 30 : g < 98 ? r.Below(501) : r.Next();
        return {POLLS, 1 + r.Below(r.Chance(20) ? 60 : 12), gap, code};
    }
    if (pick < 60)
        return {CLOCK, r.Chance(60) ? 0xFFFFFFFFu - r.Below(400) : r.Next(), 0, 0};
    if (pick < 68)
        return {TIMINGS, RandomTiming(r), RandomTiming(r), RandomTiming(r)};
    const uint32_t action = r.Chance(30) ? static_cast<uint32_t>(START) : r.Below(ACTION_COUNT);
    return pick < 85 ? Step{ACT, action, 0, 0} : Step{REACT, action, r.Below(3), 0};
}

std::vector<Step> RandomSession(uint64_t seed)
{
    Random r(seed);
    std::vector<Step> steps(20 + seed % 60);
    for (Step& step : steps)
        step = RandomStep(r);
    return steps;
}

enum Receiver { HOST, DIALOG, NOBODY };
constexpr int EVERY = 2;  // the view of every event, whoever receives it
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
        if (value < EVENT_RELEASE)
            return "an event value below -1";
        if (!open || code != c)
            return value == EVENT_RELEASE ? "a release without its press" : "a repeat without its press";
        if (value == EVENT_RELEASE)
            open = false;
        else if (value != next++)
            return "a repeat out of sequence";
        return nullptr;
    }
};

// The edge: starts opened and polling, with the host receiving the events.
struct Session {
    KeyTracker tracker = IDLE_TRACKER;
    PluginSettings timings = DEFAULT_SETTINGS;
    uint32_t now = 1000000;
    bool opened = true, polling = true, plantRepeatLimit = false;
    Receiver receiver = HOST;
    int reaction = -1;
    uint32_t countdown = 0;
    View views[3];
    // Bounds the timing of any correct core: the press, the last poll that saw
    // the held button, the last repeat, and whether repeating may have been armed.
    uint32_t pressTime = 0, lastSamePoll = 0, lastRepeat = 0;
    bool armable = false;
    // The poll under way: a reaction ran in it, or cleared the tracker.
    bool inPoll = false, pressedInPoll = false, overtaken = false, reacted = false;
    uint8_t pollCode = NO_KEY;
    int actions = 0, depth = 0;
    size_t polls = 0, events = 0;
    std::string failure;

    KeyEventSink Sink() { return {&Session::Receive, this}; }
    static void Receive(void* self, uint8_t code, int32_t value) { static_cast<Session*>(self)->OnEvent(code, value); }

    void Fail(const char* why, const std::string& where)
    {
        if (failure.empty())
            failure = std::string(why) + " (" + where + ")";
    }

    void OnEvent(uint8_t code, int32_t value)
    {
        ++events;
        const bool fromPoll = actions == 0;
        const auto where = [&] {
            return "code " + std::to_string(code) + " value " + std::to_string(value) + " at " + std::to_string(now) +
                   " to " + kReceivers[receiver] + (fromPoll ? " from a poll" : " from an action");
        };
        const auto check = [&](bool ok, const char* why) {
            if (!ok)
                Fail(why, where());
        };
        check(code != NO_KEY, "an event for NO_KEY");
        check(!fromPoll || polling, "an event from a poll while not polling");
        check(!fromPoll || !overtaken, "an event from a poll after its receiver reset the tracker");
        check(fromPoll || value == EVENT_RELEASE, "an action reported more than a release");
        check(!plantRepeatLimit || value < 3, "planted: repeat 3 reached");
        if (const char* why = views[EVERY].Accept(code, value))
            Fail(why, where());
        if (const char* why = receiver != NOBODY ? views[receiver].Accept(code, value) : nullptr)
            Fail(why, where() + ", as the receiver sees it");

        if (value == EVENT_PRESS) {
            pressTime = lastSamePoll = now;
            armable = false;
            pressedInPoll = inPoll;
        } else if (value > 0) {
            check(armable, "a repeat before DelayBeforeRepeat had passed since its press");
            check(now - lastRepeat >= timings.RepeatInterval - 20u, "repeats closer than RepeatInterval-20");
            lastRepeat = now;
        } else if (fromPoll && pollCode == NO_KEY) {
            check(now - pressTime > timings.ReleaseTime || now - lastSamePoll > timings.ReleaseTime,
                  "a release before ReleaseTime had passed");
        }

        check(++depth <= 2, "receivers nested deeper than one action");
        if (reaction >= 0 && receiver != NOBODY) {
            if (countdown > 0) {
                --countdown;
            } else {
                const Action action = static_cast<Action>(reaction);
                reaction = -1;
                reacted = reacted || inPoll;
                Do(action);
            }
        }
        --depth;
    }

    // Stop, Start, Open and Close clear the tracker: the last repeat counts
    // from 0 again, and a poll under way is over.
    void Clear(bool reportRelease)
    {
        if (reportRelease)
            ResetTracker(tracker, Sink());
        else
            ClearTracker(tracker);
        lastRepeat = 0;
        overtaken = overtaken || inPoll;
    }

    // What the plug-in's exports and its dialog do to the tracker.
    void Do(Action action)
    {
        ++actions;
        switch (action) {
        case STOP:
            polling = false;
            Clear(true);
            break;
        case START:
            if (opened && !polling) {
                Clear(false);
                polling = true;
            }
            break;
        case STOP_START:
            Do(STOP);
            Do(START);
            break;
        case OPEN:  // the reopened plug-in forgets the held button silently
            polling = false;
            tracker.heldCode = NO_KEY;
            views[HOST].open = views[DIALOG].open = views[EVERY].open = false;
            Clear(true);
            opened = true;
            receiver = receiver == NOBODY ? HOST : receiver;
            break;
        case CLOSE:  // the release goes to nobody: the receivers never see their hold end
            receiver = NOBODY;
            polling = opened = false;
            Clear(true);
            views[HOST].open = views[DIALOG].open = false;
            break;
        case TAKE:
            if (receiver == HOST) {
                ReleaseHeldKey(tracker, Sink());
                receiver = DIALOG;
            }
            break;
        case GIVE:
            if (receiver == DIALOG) {
                ForgetHeldKey(tracker);
                views[EVERY].open = views[DIALOG].open = false;
                receiver = HOST;
            }
            break;
        case ACTION_COUNT: break;
        }
        --actions;
    }

    void Poll(uint8_t code)
    {
        ++polls;
        inPoll = true;
        pressedInPoll = overtaken = reacted = false;
        pollCode = code;
        TrackRemoteCode(tracker, timings, code, now, Sink());
        inPoll = false;
        const View& every = views[EVERY];
        const bool held = every.open && every.code == code;
        if (!reacted && code != NO_KEY && !held)  // a new button is pressed at once
            Fail("the button reported is not held after its poll", "code " + std::to_string(code));
        if (held && !pressedInPoll && now - pressTime >= timings.DelayBeforeRepeat)
            armable = true;
        if (held)
            lastSamePoll = now;
    }

    void Run(const Step& s)
    {
        switch (s.kind) {
        case POLLS:
            for (uint32_t i = 0; i < s.a && failure.empty(); ++i) {
                now += s.b;
                if (polling)
                    Poll(static_cast<uint8_t>(s.c));
            }
            break;
        case CLOCK: now = s.a; break;
        case TIMINGS: timings = {0, s.a, s.b, s.c}; break;
        case ACT: Do(static_cast<Action>(s.a)); break;
        case REACT: reaction = static_cast<int>(s.a), countdown = s.b; break;
        }
        const View& every = views[EVERY];
        if (tracker.heldCode != (every.open ? every.code : NO_KEY))
            Fail("the tracker holds another button than the events say", "held " + std::to_string(tracker.heldCode));
    }
};

Session RunSession(const std::vector<Step>& steps, bool plant)
{
    Session s;
    s.plantRepeatLimit = plant;
    for (size_t i = 0; i < steps.size() && s.failure.empty(); ++i)
        s.Run(steps[i]);
    return s;
}

std::vector<Step> Shrink(const std::vector<Step>& steps, bool plant)
{
    int runs = 0;
    return ShrinkSteps(
        steps, [plant](const std::vector<Step>& candidate) { return !RunSession(candidate, plant).failure.empty(); },
        1 << 30, &runs);
}

std::string Report(uint64_t seed, const std::vector<Step>& steps, bool plant)
{
    std::string text = "seed " + std::to_string(seed) + ": " + RunSession(steps, plant).failure +
                       "\nshortest failing steps (" + std::to_string(steps.size()) + "):\n";
    for (size_t i = 0; i < steps.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + Describe(steps[i]) + "\n";
    return text;
}

}  // namespace

TEST(KeyModel, RandomSessionsKeepEveryInvariant)
{
    const char* wanted = getenv("VRC_MODEL_STEPS");
    const size_t target = wanted && atol(wanted) > 0 ? static_cast<size_t>(atol(wanted)) : 100000;
    const auto started = std::chrono::steady_clock::now();
    size_t sessions = 0, steps = 0, polls = 0, events = 0;
    for (uint64_t seed = 1; steps < target; ++seed, ++sessions) {
        const std::vector<Step> session = RandomSession(seed);
        const Session outcome = RunSession(session, false);
        steps += session.size();
        polls += outcome.polls;
        events += outcome.events;
        if (!outcome.failure.empty()) {
            ADD_FAILURE() << Report(seed, Shrink(session, false), false);
            return;
        }
    }
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
    printf("[ model    ] %zu sessions, %zu steps, %zu polls, %zu events, %lld ms\n", sessions, steps, polls, events,
           static_cast<long long>(ms));
    EXPECT_GT(events, polls / 10);  // the sessions did hold buttons
}

// The harness itself: a planted invariant (no third repeat) must be found and
// shrunk to the few steps that reach it.
TEST(KeyModel, PlantedFaultIsFoundAndShrunk)
{
    for (uint64_t seed = 1; seed < 500; ++seed) {
        const std::vector<Step> session = RandomSession(seed);
        if (RunSession(session, true).failure.empty())
            continue;
        const std::vector<Step> shortest = Shrink(session, true);
        const std::string report = Report(seed, shortest, true);
        EXPECT_NE(report.find("planted"), std::string::npos) << report;
        EXPECT_LE(shortest.size(), 3u) << report;
        printf("[ model    ] planted fault: seed %llu, %zu steps shrunk to %zu\n",
               static_cast<unsigned long long>(seed), session.size(), shortest.size());
        return;
    }
    ADD_FAILURE() << "no session reached a third repeat";
}

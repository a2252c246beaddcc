#include "engine/KeySession.h"

#include "mapping/ButtonTables.h"

namespace {

void Deliver(const KeyEventSink* receiver, uint8_t code, int32_t eventValue)
{
    if (code <= MAX_BUTTON_CODE && receiver && receiver->receive)
        receiver->receive(receiver->context, code, eventValue);
}

// Forgets the held button; returns it (NO_KEY if none). The times are kept.
uint8_t TakeHeldKey(KeyTracker& tracker)
{
    const uint8_t held = tracker.heldCode;
    tracker.heldCode = NO_KEY;
    tracker.repeatCount = 0;
    return held;
}

const KeyEventSink* KeyReceiverInCharge(const KeySession& session)
{
    if (session.dialog.receive)
        return &session.dialog;
    return session.hostListening ? &session.host : nullptr;
}

// Reports the event to the receiver in charge (the dialog while it takes the
// events, else the host while it listens, else nobody); codes above 92 go
// nowhere.
void DispatchKeyEvent(const KeySession& session, uint8_t code, int32_t eventValue)
{
    Deliver(KeyReceiverInCharge(session), code, eventValue);
}

}  // namespace

bool KeySessionPolls(const KeySession& session)
{
    return session.polling && session.hostListening;
}

void PollKeySession(KeySession& session, const PluginSettings& timings, uint8_t code, uint32_t now)
{
    if (!KeySessionPolls(session))
        return;
    // A poll is a change too: a poll overtaken by a nested one (a receiver's
    // modal loop dispatches the timer) must not go on with what it saw.
    const uint32_t generation = ++session.generation;
    KeyTracker& tracker = session.tracker;

    if (code == NO_KEY) {
        if (now - tracker.lastSeenTime > timings.ReleaseTime) {
            const uint8_t held = TakeHeldKey(tracker);
            if (held != NO_KEY)
                DispatchKeyEvent(session, held, EVENT_RELEASE);
        }
        return;
    }

    if (code != tracker.heldCode) {
        // The old button goes at once, without waiting for ReleaseTime.
        if (tracker.heldCode != NO_KEY) {
            DispatchKeyEvent(session, TakeHeldKey(tracker), EVENT_RELEASE);
            if (session.generation != generation)
                return;
        }
        tracker.repeatCount = 0;
        tracker.heldCode = code;
        tracker.pressTime = now;
        tracker.lastSeenTime = now;
        DispatchKeyEvent(session, code, EVENT_PRESS);
        return;
    }

    if (tracker.repeatCount <= 0) {
        // lastSeenTime is not refreshed here: until repeating is armed the
        // release test measures from the press.
        if (now - tracker.pressTime >= timings.DelayBeforeRepeat) {
            tracker.pressTime = now;
            tracker.repeatCount = 1;
        }
        return;
    }

    tracker.lastSeenTime = now;
    // Below 20 the threshold wraps to a huge value: no repeats at all.
    if (now - tracker.lastRepeatTime >= timings.RepeatInterval - 20u) {
        tracker.lastRepeatTime = now;
        // Counted before it is reported: a poll nested in the receiver's
        // handler numbers the next repeat, not this one again.
        const int32_t number = tracker.repeatCount;
        tracker.repeatCount = static_cast<int32_t>(static_cast<uint32_t>(number) + 1u);
        DispatchKeyEvent(session, code, number);
    }
}

bool StartKeySession(KeySession& session)
{
    if (session.polling)
        return false;
    session.tracker = IDLE_TRACKER;
    session.polling = 1;
    ++session.generation;
    return true;
}

void StopKeySession(KeySession& session)
{
    const uint8_t held = session.tracker.heldCode;
    session.tracker = IDLE_TRACKER;
    session.polling = 0;
    ++session.generation;
    if (held != NO_KEY)
        DispatchKeyEvent(session, held, EVENT_RELEASE);
}

void OpenKeySession(KeySession& session, bool hostWindow)
{
    TakeHeldKey(session.tracker);
    StopKeySession(session);
    session.hostListening = hostWindow ? 1 : 0;
}

void CloseKeySession(KeySession& session)
{
    session.hostListening = 0;
    StopKeySession(session);
}

void HandKeysToDialog(KeySession& session, const KeyEventSink& display)
{
    const bool fromHost = !session.dialog.receive;
    const uint8_t held = fromHost ? TakeHeldKey(session.tracker) : NO_KEY;
    session.dialog = display;
    ++session.generation;
    if (held != NO_KEY && session.hostListening)
        Deliver(&session.host, held, EVENT_RELEASE);
}

void HandKeysToHost(KeySession& session)
{
    if (!session.dialog.receive)
        return;
    TakeHeldKey(session.tracker);
    session.dialog = {nullptr, nullptr};
    ++session.generation;
}

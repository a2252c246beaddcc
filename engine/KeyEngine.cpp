#include "engine/KeyEngine.h"

namespace {

void Report(const KeyEventSink& sink, uint8_t code, int32_t eventValue)
{
    sink.receive(sink.context, code, eventValue);
}

}  // namespace

void ClearTracker(KeyTracker& tracker)
{
    tracker.heldCode = NO_KEY;
    tracker.repeatCount = 0;
    tracker.pressTime = 0;
    tracker.lastSeenTime = 0;
    tracker.lastRepeatTime = 0;
    ++tracker.resets;
}

void ResetTracker(KeyTracker& tracker, const KeyEventSink& sink)
{
    const uint8_t held = tracker.heldCode;
    ClearTracker(tracker);
    if (held != NO_KEY)
        Report(sink, held, EVENT_RELEASE);
}

void ReleaseHeldKey(KeyTracker& tracker, const KeyEventSink& sink)
{
    const uint8_t held = tracker.heldCode;
    ForgetHeldKey(tracker);
    if (held != NO_KEY)
        Report(sink, held, EVENT_RELEASE);
}

void ForgetHeldKey(KeyTracker& tracker)
{
    tracker.heldCode = NO_KEY;
    tracker.repeatCount = 0;
}

void TrackRemoteCode(KeyTracker& tracker, const PluginSettings& timings, uint8_t code, uint32_t now,
                     const KeyEventSink& sink)
{
    if (code == NO_KEY) {
        if (now - tracker.lastSeenTime > timings.ReleaseTime)
            ReleaseHeldKey(tracker, sink);
        return;
    }

    if (code != tracker.heldCode) {
        if (tracker.heldCode != NO_KEY) {
            // The old button goes at once. A receiver that stopped, reopened or
            // restarted meanwhile owns what comes next: the new button is
            // pressed by the next poll that sees it, not by this stale one.
            const uint32_t resets = tracker.resets;
            ReleaseHeldKey(tracker, sink);
            if (tracker.resets != resets)
                return;
        }
        tracker.repeatCount = 0;
        tracker.heldCode = code;
        tracker.pressTime = now;
        tracker.lastSeenTime = now;
        Report(sink, code, EVENT_PRESS);
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
        Report(sink, code, tracker.repeatCount);
        // Read again: the receiver may have reset the tracker meanwhile.
        tracker.repeatCount += 1;
    }
}

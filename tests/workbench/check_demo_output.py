#!/usr/bin/env python3
"""Checks the workbench's output for its default timeline: the exact sequence
of command events (press, numbered repeats without gaps, release), not times."""
import re
import sys

EVENT = re.compile(r"^\s*\d+ ms\s+(\S+)\s+(press|release|repeat (\d+))\s+source (.*)$")


def main():
    text = sys.stdin.read()
    sys.stdout.write(text)
    events = []
    for line in text.splitlines():
        m = EVENT.match(line)
        if m:
            events.append((m.group(1), m.group(2), m.group(4).strip()))
    if not text.startswith('Open -> "Remote Control plugin for TV tuners Vantorix"'):
        return fail("the description of Open is missing")
    if any(source != "TV" for _, _, source in events):
        return fail("a record carried another source name")

    # Collapse the repeats of the one held button into a count.
    shape = []
    expected_repeat = 1
    for command, event, _ in events:
        if event.startswith("repeat"):
            number = int(event.split()[1])
            if number != expected_repeat:
                return fail(f"repeat {number} of {command} where {expected_repeat} was due")
            expected_repeat += 1
            continue
        if expected_repeat > 1:
            shape.append((shape[-1][0], f"repeats 1..{expected_repeat - 1}"))
        expected_repeat = 1
        shape.append((command, event))

    repeats = [s for s in shape if s[1].startswith("repeats")]
    if len(repeats) != 1 or repeats[0][0] != "VOL_UP":
        return fail(f"expected repeats of VOL_UP only, got {repeats}")
    count = int(repeats[0][1].split("..")[1])
    if not 3 <= count <= 12:
        return fail(f"a one-second hold gave {count} repeats")
    plain = [s for s in shape if not s[1].startswith("repeats")]
    expected = [
        ("POWER", "press"), ("POWER", "release"),
        ("VOL_UP", "press"), ("VOL_UP", "release"),
        ("1", "press"), ("1", "release"), ("2", "press"), ("2", "release"),
        ("3", "press"), ("3", "release"),
        ("CH_UP", "press"), ("CH_UP", "release"), ("CH_DOWN", "press"), ("CH_DOWN", "release"),
    ]
    if plain != expected:
        return fail(f"event sequence {plain}")
    print(f"workbench demo: {len(events)} events as expected ({count} repeats of VOL_UP)")
    return 0


def fail(why):
    print("workbench demo output wrong: " + why, file=sys.stderr)
    return 1


if __name__ == "__main__":
    sys.exit(main())

// Timeline scripts for the workbench: one step a line, "TIME CODE", where TIME
// is milliseconds from the start (never going backwards) and CODE is a remote
// code 0-255 (decimal or 0x hex) or "none". '#' starts a comment.
#pragma once

#include <string>
#include <vector>

#include "tools/quelmo_sim/SimStep.h"

struct TimelineParse {
    std::vector<SimStep> steps;
    std::string error;  // empty on success, else "line N: why"
};

TimelineParse ParseTimeline(const std::string& text);

// The timeline of a script file, or the built-in one for an empty path; the
// error names the file ("cannot read PATH", or "PATH: line N: why").
TimelineParse LoadTimeline(const std::string& path);

// The built-in demo: a tap of Power, a one-second hold of Vol +, the digits
// 1 2 3, and a switch from Chan + straight to Chan -.
const char* DefaultTimelineText();

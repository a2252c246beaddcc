// Shortens a failing random session for its report: removes chunks of steps,
// halving their size down to single steps, while the session still fails.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

// `stillFails(candidate)` replays a candidate; `*runs` counts the replays, which stop at `maxRuns`.
template <typename Step, typename StillFails>
std::vector<Step> ShrinkSteps(std::vector<Step> steps, StillFails stillFails, int maxRuns, int* runs)
{
    for (size_t chunk = steps.size() / 2; chunk >= 1 && *runs < maxRuns;) {
        bool removed = false;
        for (size_t at = 0; at + chunk <= steps.size() && *runs < maxRuns;) {
            std::vector<Step> candidate(steps.begin(), steps.begin() + static_cast<long>(at));
            candidate.insert(candidate.end(), steps.begin() + static_cast<long>(at + chunk), steps.end());
            ++*runs;
            if (stillFails(candidate)) {
                steps = candidate;
                removed = true;
            } else {
                at += chunk;
            }
        }
        if (!removed)
            chunk /= 2;
    }
    return steps;
}

// The report of a failing random session: its seed, the failure of the
// shortest steps that still fail, and those steps one a line. `run(steps)`
// replays steps and returns the failure, empty if none; `describe(i, step)`
// says what step i is. At most maxRuns replays go into the shrinking.
template <typename Step, typename Run, typename Describe>
std::string ShrinkAndReport(uint64_t seed, const std::vector<Step>& failing, Run run, Describe describe, int maxRuns)
{
    int runs = 0;
    const std::vector<Step> steps = ShrinkSteps(
        failing, [&](const std::vector<Step>& c) { return !run(c).empty(); }, maxRuns, &runs);
    std::string text = "seed " + std::to_string(seed) + ": " + run(steps) + "\nshortest failing steps (" +
                       std::to_string(steps.size()) + "):\n";
    for (size_t i = 0; i < steps.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + describe(i, steps[i]) + "\n";
    return text;
}

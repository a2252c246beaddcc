// The report of a failing random session: its seed, then the failure and the steps (one a line) of the shortest session
// that still fails, found by removing chunks of steps, halving their size down to single steps. `run(steps)` replays
// steps and returns the failure, empty if none; `describe(i, step)` says what step i is; at most maxRuns replays.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

template <typename Step, typename Run, typename Describe>
std::string ShrinkAndReport(uint64_t seed, std::vector<Step> steps, Run run, Describe describe, int maxRuns)
{
    int runs = 0;
    for (size_t chunk = steps.size() / 2; chunk >= 1 && runs < maxRuns;) {
        const size_t before = steps.size();
        for (size_t at = 0; at + chunk <= steps.size() && runs < maxRuns; ++runs) {
            std::vector<Step> candidate = steps;
            candidate.erase(candidate.begin() + long(at), candidate.begin() + long(at + chunk));
            if (!run(candidate).empty())
                steps = candidate;
            else
                at += chunk;
        }
        chunk = steps.size() < before ? chunk : chunk / 2;
    }
    std::string text = "seed " + std::to_string(seed) + ": " + run(steps) + "\nshortest failing steps (" +
                       std::to_string(steps.size()) + "):\n";
    for (size_t i = 0; i < steps.size(); ++i)
        text += "  " + std::to_string(i + 1) + ". " + describe(i, steps[i]) + "\n";
    return text;
}

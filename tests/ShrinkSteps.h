// Shortens a failing random session for its report: removes chunks of steps,
// halving their size down to single steps, while the session still fails.
#pragma once

#include <stddef.h>

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

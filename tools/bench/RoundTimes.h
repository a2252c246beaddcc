// Timing for the benchmarks: how long each round of some work took.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

// The seconds each of rounds calls of round() took, shortest first.
template <typename Round>
std::vector<double> SortedRoundSeconds(int rounds, Round round)
{
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    std::vector<double> seconds;
    for (int i = 0; i < rounds; ++i) {
        LARGE_INTEGER start, end;
        QueryPerformanceCounter(&start);
        round();
        QueryPerformanceCounter(&end);
        seconds.push_back(static_cast<double>(end.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart));
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds;
}

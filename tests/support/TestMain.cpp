// Test entry point: unbuffered output, so a crash under Wine still shows
// which case was running.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    fflush(stdout);
    fflush(stderr);
    // Ends without the library detach round: under emulated Wine the X
    // driver's shutdown sometimes traps, which would turn a passing run
    // into a failing exit status.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}

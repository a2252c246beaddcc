// Unbuffered output, so a crash under Wine still shows which case was running.
#include <gtest/gtest.h>

#include <stdio.h>

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

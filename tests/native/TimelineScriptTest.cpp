// The workbench's timeline format: accepted forms and one clear message per kind of mistake, naming the line.
#include <gtest/gtest.h>

#include <string>

#include "tools/workbench/TimelineScript.h"

TEST(TimelineScript, ReadsDecimalHexNoneCommentsAndBlankLines)
{
    const TimelineParse parsed = ParseTimeline(
        "# demo\n\n0 0x1a\n  30\t26  # same code\n40 0X1A\n100 none\r\n100 NONE\n00000000000000000000150 1\n"
        "4294967295 255");  // the last line without a line end
    ASSERT_EQ(parsed.error, "");
    std::string steps;  // time and code of each
    for (const auto& step : parsed.steps)
        steps += std::to_string(step.timeMs) + " " + std::to_string(step.code) + ", ";
    EXPECT_EQ(steps, "0 26, 30 26, 40 26, 100 255, 100 255, 150 1, 4294967295 255, ");
}

TEST(TimelineScript, RejectsMistakesNamingTheLine)
{
    const char* const cases[][2] = {
        {"0 1\nabc 2\n", "line 2: bad time \"abc\" (milliseconds, 0-4294967295)"},
        {"-5 2\n", "line 1: bad time \"-5\" (milliseconds, 0-4294967295)"},
        {"4294967296 2\n", "line 1: bad time \"4294967296\" (milliseconds, 0-4294967295)"},
        {"0 1\n\n200 2\n100 3\n", "line 4: time 100 goes backwards (previous step at 200)"},
        {"0 256\n", "line 1: code 256 is out of 0-255"},
        {"0 0x100\n", "line 1: code 0x100 is out of 0-255"},
        // Past 64 bits: 2^64 and 2^64 + 26 would wrap to 0 and 26.
        {"18446744073709551616 2\n", "line 1: bad time \"18446744073709551616\" (milliseconds, 0-4294967295)"},
        {"0 0x1000000000000001A\n", "line 1: code 0x1000000000000001A is out of 0-255"},
        {"0 0x\n", "line 1: unknown word \"0x\" (a code 0-255 or \"none\")"},
        {"# c\n0 power\n", "line 2: unknown word \"power\" (a code 0-255 or \"none\")"},
        {"0 1 2\n", "line 1: expected \"TIME CODE\", got \"0 1 2\""},
        {"10\n", "line 1: expected \"TIME CODE\", got \"10\""}};
    for (const auto& [text, error] : cases)  // text, what it is told
        EXPECT_EQ(ParseTimeline(text).error, error) << text;
    std::string full;
    for (int i = 0; i <= 1024; ++i)
        full += std::to_string(i) + " none\n";
    EXPECT_EQ(ParseTimeline(full).error, "line 1025: more than 1024 steps");
}

TEST(TimelineScript, DefaultTimelineParsesAndEndsWithNoButton)
{
    const TimelineParse parsed = ParseTimeline(DefaultTimelineText());
    ASSERT_EQ(std::make_pair(parsed.error, parsed.steps.empty()), std::make_pair(std::string(), false));
    EXPECT_EQ(std::make_pair(parsed.steps.front().code, parsed.steps.back().code), std::make_pair(0x12u, 255u));
}

TEST(TimelineScript, LoadsTheBuiltInTimelineOrAFileNamingItInErrors)
{
    EXPECT_EQ(LoadTimeline("").steps.size(), ParseTimeline(DefaultTimelineText()).steps.size());
    const std::string bad = std::string(VRC_TEST_DATA) + "/backwards.timeline";
    EXPECT_EQ(LoadTimeline(bad).error, bad + ": line 4: time 100 goes backwards (previous step at 200)");
    EXPECT_EQ(LoadTimeline("/no/such/file").error, "cannot read /no/such/file");
}

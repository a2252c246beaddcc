// The built plug-in opened and closed, and its setup dialog shown, many times in
// one process: what the process holds must come back, the vendor library go.
#include "support/DialogScript.h"
#include "support/LinkedPlugin.h"
#include "support/ProcessCounters.h"

// Sized so that a heap block leaked by each Open/Close shows at twice the heap
// slack, a GDI object leaked by each dialog at more than twice the object slack.
constexpr int kOpenCloseCycles = 64;
constexpr int kSetupCycles = 20;
constexpr int kWarmUpCycles = 5;

// Slack, in the order of the counts, for what the system allocates once and
// keeps (caches, a grown handle table page): far below a leak of one a cycle.
constexpr long kObjectSlack = 8;
constexpr long kSlack[] = {kObjectSlack, kObjectSlack, kObjectSlack, 512 * 1024, 4 * kObjectSlack};

static std::string Counts(const ProcessCounts& c)
{
    std::string text;
    for (size_t i = 0; i < c.size(); ++i)
        text += (i ? ", " : "") + std::string(kProcessCountNames[i]) + " " + std::to_string(c[i]);
    return text;
}

// Warms up, then runs cycles cycles between two counts: each must go well (cycle
// returns true; bad says what a bad one is) and nothing the process holds grow.
template <typename Cycle>
void ExpectNoGrowth(const char* what, int cycles, Cycle cycle, const char* bad)
{
    int badCycles = 0;
    for (int i = 0; i < kWarmUpCycles; ++i)
        badCycles += !cycle();
    const ProcessCounts before = CountProcessObjects();
    const DWORD started = GetTickCount();
    for (int i = 0; i < cycles; ++i)
        badCycles += !cycle();
    const unsigned long each = (GetTickCount() - started) / cycles;
    const ProcessCounts after = CountProcessObjects();
    printf("[ leaks    ] %d %s (%lu ms each): before %s\n", cycles, what, each, Counts(before).c_str());
    printf("[ leaks    ] %*s after %s\n", 33, "", Counts(after).c_str());
    EXPECT_EQ(badCycles, 0) << bad;
    for (size_t i = 0; i < before.size(); ++i) {
        SCOPED_TRACE(kProcessCountNames[i]);
        // Every counter was read (-1: no way to), and a live process with a window has some of each.
        EXPECT_GT(before[i], 0);
        EXPECT_GT(after[i], 0);
        EXPECT_LE(after[i], before[i] + kSlack[i]);
    }
}

// No box watcher here: its thread would allocate while the heaps are counted.
typedef PluginHostTest LeakTest;

TEST_F(LeakTest, OpenCloseCyclesGiveEverythingBack)
{
    ASSERT_TRUE(plugin.Load(PluginPath()));
    const auto cycle = [this]() {
        plugin.Open("TV", host.Window(), 0);
        const bool loaded = VendorLoaded();
        const uint32_t started = plugin.Start();
        plugin.Close();
        return loaded && started != 0 && !VendorLoaded();
    };
    ExpectNoGrowth("Open/Start/Close cycles", kOpenCloseCycles, cycle,
                   "cycles where the library was not loaded by Open, polling did not start, "
                   "or the library stayed loaded after Close");
    EXPECT_EQ(Sim()->loadCount, static_cast<uint32_t>(kWarmUpCycles + kOpenCloseCycles));
    EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);
}

TEST_F(LeakTest, SetupDialogsGiveEverythingBack)
{
    OpenPlugin();
    // Picks the next button each time (so the live lists change), then leaves by the exit button.
    int pick = 0;
    const auto cycle = [&]() {
        const Script script = Script().Do([&](HWND dialog) { Pick(dialog, ID_BUTTONS, pick++ % 20); }).Do(Exit);
        const SetupRun run = RunSetup(script, [this] { return plugin.Setup(); });
        return run.completed && !run.forcedEnd && run.result == 0;
    };
    ExpectNoGrowth("Setup dialogs", kSetupCycles, cycle,
                   "dialogs that ended without being worked, or with a result other than 0");
    // The dialog saved nothing: picking a button changes no setting.
    EXPECT_EQ(GetFileAttributesA(PluginIniPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

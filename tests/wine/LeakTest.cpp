// The built plug-in loaded as a host loads it, opened and closed hundreds of
// times and its setup dialog opened and closed dozens of times in one
// process: what the process holds of the system must come back to where it
// was, and the vendor library must be gone after every Close.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>

#include <string>

#include "support/ProcessCounters.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"

namespace {

// Sized to what finds a leak of one object per cycle: a heap block leaked by
// each Open/Close shows at twice the heap slack, a GDI object leaked by each
// dialog at more than twice the object slack.
constexpr int kOpenCloseCycles = 64;
constexpr int kSetupCycles = 20;
constexpr int kWarmUpCycles = 5;

// Slack for what the system allocates once and keeps (caches, a grown
// handle table page); a leak of one object per cycle is far beyond it.
constexpr long kObjectSlack = 8;
constexpr long kPrivateBytesSlack = 512 * 1024;

bool VendorLoaded() { return GetModuleHandleA("QuelmoRC.dll") != nullptr; }

std::string Counts(const ProcessCounts& c)
{
    return "handles " + std::to_string(c.handles) + ", GDI " + std::to_string(c.gdiObjects) + ", USER " +
           std::to_string(c.userObjects) + ", private bytes " + std::to_string(c.privateBytes) + ", heap blocks " +
           std::to_string(c.heapBlocks);
}

void ExpectNoGrowth(const ProcessCounts& before, const ProcessCounts& after)
{
    // Every counter was read (-1: no way to), and a live process with a window has some of each.
    for (const ProcessCounts& c : {before, after})
        EXPECT_TRUE(c.handles > 0 && c.gdiObjects > 0 && c.userObjects > 0 && c.privateBytes > 0 && c.heapBlocks > 0)
            << Counts(c);
    EXPECT_LE(after.handles, before.handles + kObjectSlack);
    EXPECT_LE(after.gdiObjects, before.gdiObjects + kObjectSlack);
    EXPECT_LE(after.userObjects, before.userObjects + kObjectSlack);
    EXPECT_LE(after.privateBytes, before.privateBytes + kPrivateBytesSlack);
    EXPECT_LE(after.heapBlocks, before.heapBlocks + 4 * kObjectSlack);
}

// No box watcher here: its thread would allocate while the heaps are counted.
class LeakTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InstallVendor("full"));
        ResetSim();
        DeleteFileA(PluginIniPath().c_str());
        ASSERT_TRUE(plugin.Load(PluginPath()));
    }
    void TearDown() override
    {
        SimHold(255);
        plugin.Close();
        plugin.Unload();
        DeleteFileA(PluginIniPath().c_str());
    }

    RecordingHost host;
    PluginDll plugin;
};

TEST_F(LeakTest, OpenCloseCyclesGiveEverythingBack)
{
    const auto cycle = [this]() {
        plugin.Open("TV", host.Window(), 0);
        const bool loaded = VendorLoaded();
        const uint32_t started = plugin.Start();
        plugin.Close();
        return loaded && started != 0 && !VendorLoaded();
    };
    for (int i = 0; i < kWarmUpCycles; ++i)
        ASSERT_TRUE(cycle());

    const ProcessCounts before = CountProcessObjects();
    const uint32_t loadsBefore = Sim()->loadCount;
    int badCycles = 0;
    for (int i = 0; i < kOpenCloseCycles; ++i)
        badCycles += !cycle();
    const ProcessCounts after = CountProcessObjects();

    printf("[ leaks    ] %d Open/Start/Close cycles: before %s\n", kOpenCloseCycles, Counts(before).c_str());
    printf("[ leaks    ] %*s after %s\n", 33, "", Counts(after).c_str());
    EXPECT_EQ(badCycles, 0) << "cycles where the library was not loaded by Open, polling did not start, "
                               "or the library stayed loaded after Close";
    EXPECT_EQ(Sim()->loadCount - loadsBefore, static_cast<uint32_t>(kOpenCloseCycles));
    EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);
    ExpectNoGrowth(before, after);
}

// Works the dialog a little each time (picks the next button, so the live
// lists change), then leaves by the exit button.
struct DialogCycle {
    int pick = 0;
    bool done = false;
    UINT_PTR timer = 0;
} g_cycle;

VOID CALLBACK WorkDialog(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_cycle.done)
        return;
    const HWND dialog = FindSetupDialog();
    if (!dialog)
        return;
    g_cycle.done = true;
    const HWND buttons = GetDlgItem(dialog, 1012);
    SendMessageA(buttons, CB_SETCURSEL, static_cast<WPARAM>(g_cycle.pick % 20), 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(1012, CBN_SELCHANGE), reinterpret_cast<LPARAM>(buttons));
    ++g_cycle.pick;
    SendMessageA(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
}

TEST_F(LeakTest, SetupDialogsGiveEverythingBack)
{
    plugin.Open("TV", host.Window(), 0);
    const UINT_PTR timer = SetTimer(nullptr, 0, 10, WorkDialog);
    ASSERT_NE(timer, 0u);
    int notDriven = 0;
    const auto cycle = [&]() {
        g_cycle.done = false;
        const int32_t result = plugin.Setup();
        notDriven += !g_cycle.done || result != 0;
    };
    for (int i = 0; i < kWarmUpCycles; ++i)
        cycle();

    const ProcessCounts before = CountProcessObjects();
    const DWORD started = GetTickCount();
    for (int i = 0; i < kSetupCycles; ++i)
        cycle();
    const DWORD elapsed = GetTickCount() - started;
    const ProcessCounts after = CountProcessObjects();
    KillTimer(nullptr, timer);

    printf("[ leaks    ] %d Setup dialogs (%lu ms each): before %s\n", kSetupCycles,
           static_cast<unsigned long>(elapsed / kSetupCycles), Counts(before).c_str());
    printf("[ leaks    ] %*s after %s\n", 33, "", Counts(after).c_str());
    EXPECT_EQ(notDriven, 0) << "dialogs that ended without being worked, or with a result other than 0";
    ExpectNoGrowth(before, after);
    // The dialog saved nothing: picking a button changes no setting.
    EXPECT_EQ(GetFileAttributesA(PluginIniPath().c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace

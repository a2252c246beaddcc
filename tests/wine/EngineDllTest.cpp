// The built plug-in as a host drives it: the real 30 ms timer, the simulator on
// a timeline. Order and numbering are exact; times only have generous bounds.
#include "support/LinkedPlugin.h"

typedef HostedPluginTest EngineDllTest;

const SimStep kChanUpThenPower[] = {{0, 255}, {100, 0x1A}, {400, 0x12}, {700, 255}};

TEST_F(EngineDllTest, HeldButtonGivesPressNumberedRepeatsAndOneReleaseAndStopFromTheHandlerEndsIt)
{
    OpenAndStart("[Buttons]\r\n1A=CH_UP\r\n");
    const SimStep steps[] = {{0, 255}, {200, 0x1A}, {1700, 255}};
    SimPlayTimeline(Sim(), steps, 3);
    const DWORD start = Sim()->timelineStart;
    ASSERT_TRUE(
        RecordingHost::PumpUntil([&] { return !host.messages.empty() && host.messages.back().lParam == -1; }, 30000));
    RecordingHost::PumpFor(400);  // nothing may follow the release

    const std::vector<HostMessage>& m = host.messages;
    ASSERT_GE(m.size(), 3u) << "press, at least one repeat in 1.5 s, release";
    // Repeats come at least RepeatInterval - 20 = 80 ms apart: no more than this in 1.5 s.
    EXPECT_LE(m.size(), 2u + 1500 / 80 + 1);
    for (size_t i = 0; i < m.size(); ++i) {
        SCOPED_TRACE(i);
        const int32_t expected = i + 1 == m.size() ? -1 : static_cast<int32_t>(i);
        EXPECT_EQ(m[i].lParam, expected);
        EXPECT_EQ(m[i].Command(), "CH_UP");
        EXPECT_EQ(m[i].Source(), "TV");
        EXPECT_EQ(m[i].wParam, m[0].wParam);
    }

    // Causality with slack for the time between the poll and the handler.
    EXPECT_GE(static_cast<int32_t>(m[0].time - (start + 200)), 0) << "press before the button";
    EXPECT_GE(static_cast<int32_t>(m[1].time - m[0].time), 340) << "first repeat before the delay";
    for (size_t i = 2; i + 1 < m.size(); ++i)
        EXPECT_GE(static_cast<int32_t>(m[i].time - m[i - 1].time), 70) << "repeat " << i;
    EXPECT_GE(static_cast<int32_t>(m.back().time - (start + 1700)), 0) << "release before the button went";
    EXPECT_LT(static_cast<int32_t>(m.back().time - (start + 1700)), 10000);
    EXPECT_TRUE(boxes.Boxes().empty());

    // Held again, a Stop from the host's handler of repeat 1 ends polling after one release.
    host.messages.clear();
    host.onCommand = [this](const HostMessage& each) {
        if (each.lParam == 1)
            plugin.Stop();
    };
    ASSERT_TRUE(host.Hold(0x1A, 3, 30000));
    RecordingHost::PumpFor(400);
    host.onCommand = nullptr;
    EXPECT_EQ(host.Log(), "CH_UP 0, CH_UP 1, CH_UP -1");
}

TEST_F(EngineDllTest, SwitchStopAndCloseThroughTheExports)
{
    // A long delay keeps repeats out, so the sequence does not depend on timing.
    OpenAndStart("[Hardware]\r\nDelayBeforeRepeat=60000\r\n[Buttons]\r\n1A=CH_UP\r\n12=POWER\r\n");
    SimPlayTimeline(Sim(), kChanUpThenPower, 4);
    ASSERT_TRUE(RecordingHost::PumpUntil([&] { return host.messages.size() >= 4; }, 30000));
    RecordingHost::PumpFor(300);
    const std::string switched = "CH_UP 0, CH_UP -1, POWER 0, POWER -1";
    ASSERT_EQ(host.Log(), switched);

    // Stop while held: the release comes back before Stop returns.
    ASSERT_TRUE(host.Hold(0x1A, 5));
    plugin.Stop();
    ASSERT_EQ(host.Log(), switched + ", CH_UP 0, CH_UP -1");
    RecordingHost::PumpFor(300);
    EXPECT_EQ(host.messages.size(), 6u) << "the timer is gone";

    // Close while held: no release.
    ASSERT_NE(plugin.Start(), 0u);
    ASSERT_TRUE(host.Hold(0x12, 7));
    plugin.Close();
    RecordingHost::PumpFor(300);
    EXPECT_EQ(host.Log(), switched + ", CH_UP 0, CH_UP -1, POWER 0");
    for (const HostMessage& each : host.messages)
        EXPECT_EQ(each.wParam, host.messages[0].wParam);
}

// A host's handler runs a modal loop of its own (a message box, a menu): the
// remote works inside it, and the poll it interrupted sends nothing stale after.
TEST_F(EngineDllTest, PollsInsideTheHostsModalLoopLeaveNothingStale)
{
    OpenAndStart("[Buttons]\r\n1A=CH_UP\r\n12=POWER\r\n");
    const auto last = [this](const char* command, int32_t value) {
        return !host.messages.empty() && host.messages.back().Command() == command &&
               host.messages.back().lParam == value;
    };

    // Chan +'s release (the remote went straight to Power) opens a loop in which Power is tapped.
    bool looped = false;
    host.onCommand = [&](const HostMessage& m) {
        if (!looped && m.lParam == -1 && m.Command() == "CH_UP") {
            looped = true;
            EXPECT_TRUE(RecordingHost::PumpUntil([&] { return last("POWER", -1); }, 10000));
        }
    };
    SimPlayTimeline(Sim(), kChanUpThenPower, 4);
    ASSERT_TRUE(RecordingHost::PumpUntil([&] { return host.messages.size() >= 4; }, 10000));
    RecordingHost::PumpFor(400);
    EXPECT_EQ(host.Log(), "CH_UP 0, CH_UP -1, POWER 0, POWER -1");

    // Chan +'s first repeat opens a loop in which Power is held: it repeats DelayBeforeRepeat after its press.
    host.messages.clear();
    looped = false;
    host.onCommand = [&](const HostMessage& m) {
        if (!looped && m.lParam == 1 && m.Command() == "CH_UP") {
            looped = true;
            EXPECT_TRUE(RecordingHost::PumpUntil([&] { return last("POWER", 0); }, 10000));
            RecordingHost::PumpFor(100);
        }
    };
    const SimStep move[] = {{0, 255}, {100, 0x1A}, {700, 0x12}, {1700, 255}};
    SimPlayTimeline(Sim(), move, 4);
    ASSERT_TRUE(RecordingHost::PumpUntil([&] { return last("POWER", -1); }, 10000));
    host.onCommand = nullptr;
    // Chan + repeats on in the loop, each number once; then its release, Power's press and first repeat.
    const std::vector<HostMessage>& m = host.messages;
    const auto text = [&](size_t k) { return m[k].Command() + " " + std::to_string(m[k].lParam); };
    size_t i = 1;
    while (i < m.size() && text(i) == "CH_UP " + std::to_string(i))
        ++i;
    ASSERT_LT(i + 2, m.size());
    EXPECT_EQ(text(i) + ", " + text(i + 1) + ", " + text(i + 2), "CH_UP -1, POWER 0, POWER 1");
    EXPECT_GE(static_cast<int32_t>(m[i + 2].time - m[i + 1].time), 340) << "Power repeated before the delay";
}

// A host unloads the plug-in while it polls, without Close: the timer must not outlive it.
TEST_F(EngineDllTest, UnloadingWhilePollingLeavesNoTimerBehind)
{
    OpenPlugin();
    const uint32_t timer = plugin.Start();
    ASSERT_GT(timer, 1u);
    plugin.Unload();
    int stale = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 400) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, WM_TIMER, WM_TIMER, PM_REMOVE))
            stale += msg.wParam == timer;
        Sleep(5);
    }
    EXPECT_EQ(stale, 0) << "WM_TIMER of the unloaded plug-in's timer";
    // The host leaked the device; give its vendor library back for the next tests.
    if (HMODULE vendor = GetModuleHandleA(VENDOR_LIBRARY_NAME))
        FreeLibrary(vendor);
}

// No window, nobody to hear: the vendor library is not asked either.
TEST_F(EngineDllTest, OpenWithoutAWindowNeverAsksTheVendorForACode)
{
    ASSERT_TRUE(plugin.Load(PluginPath()));
    plugin.Open("TV", nullptr, 0);
    ASSERT_NE(plugin.Start(), 0u);
    RecordingHost::PumpFor(300);
    EXPECT_EQ(Sim()->callCount[CALL_GET_REMOTE_CODE], 0u);
}

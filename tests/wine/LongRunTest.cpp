// A day of polling in one go: 2.88 million ticks of the 30 ms poll with the plug-in's code linked in, a fake clock and
// the simulator reporting random presses and holds. Nothing may be allocated on the poll path, the heaps may not grow,
// and the host must see well-formed holds all day.
#include "support/AllocationCounter.h"
#include "support/LinkedPlugin.h"
#include "support/ProcessCounters.h"
#include "tests/HoldChecker.h"
#include "tests/SeededRandom.h"

constexpr uint32_t kTicksPerDay = 24u * 60u * 60u * 1000u / 30u;  // 2,880,000

typedef LinkedPluginTest LongRun;

TEST_F(LongRun, ADayOfPollingAllocatesNothingAndDoesNotGrow)
{
    // What the host saw, without allocating: the holds, well formed or not.
    RecordingHost host;
    host.keep = false;
    HoldChecker<> day;
    long malformed = 0;
    host.onCommand = [&](const auto& m) { malformed += day.Accept(0, static_cast<int32_t>(m.lParam)) != nullptr; };
    ASSERT_GT(InstallAllocationCounters(), 0) << "no allocator is imported: nothing would be counted";

    g_testNow = 0xFFFFFFFFu - 3600u * 1000u;  // the millisecond counter wraps an hour in
    SetPollClock(TestClock);
    Open("TV", host.Window(), 0);
    // The codes the day presses, each bound but the last, 0x2F.
    const uint8_t codes[] = {0x10, 0x11, 0x12, 0x13, 0x1A, 0x1B, 0x1E, 0x1F, 0x2F};
    for (int i = 0; i < 8; ++i)
        SetButtonCommand(*g_plugin.currentTable, codes[i], "CH_UP");
    ASSERT_NE(Start(), 0u);
    SimControl* sim = Sim();

    // Alternating idle gaps (1 s to 2 min) and holds (one poll to 6 s);
    // sometimes one button slides straight into another.
    SeededRandom rng(12345);
    uint32_t ticksLeftInPhase = 0;
    auto poll = [&](uint32_t ticks) {
        for (uint32_t tick = 0; tick < ticks; ++tick) {
            if (ticksLeftInPhase == 0) {
                const uint32_t r = rng.Next();
                const bool release = sim->heldCode != 255 && r % 4 != 0;
                sim->heldCode = release ? 255 : codes[(r >> 2) % sizeof codes];
                ticksLeftInPhase = release ? 33 + (r >> 4) % 4000 : 1 + (r >> 4) % 200;
            }
            --ticksLeftInPhase;
            g_testNow += 30;
            PollRemote(nullptr, WM_TIMER, g_plugin.timerId, g_testNow);
        }
    };
    // A warm-up hour first: the first messages may make the system set up what it keeps for the rest of the process.
    poll(120000);
    // Counted from here on; the hold in progress, if any, as heard so far.
    day.presses = day.repeats = day.releases = malformed = 0;
    const bool heldAtStart = day.open;
    const long blocksBefore = HeapBusyBlocks();
    const long privateBefore = PrivateBytes();
    sim->callCount[CALL_GET_REMOTE_CODE] = 0;
    StartCountingAllocations();
    poll(kTicksPerDay);
    const AllocationCounts allocations = StopCountingAllocations();
    sim->heldCode = 255;
    g_testNow += 1000;
    PollRemote(nullptr, WM_TIMER, g_plugin.timerId, g_testNow);
    const long blocksAfter = HeapBusyBlocks();
    const long privateAfter = PrivateBytes();

    printf("[ long run ] %u polls (a day at 30 ms), %ld presses, %ld repeats, %ld releases; allocations %ld;"
           " heap busy blocks %ld -> %ld; private bytes %ld -> %ld\n",
           kTicksPerDay, day.presses, day.repeats, day.releases, allocations.Total(), blocksBefore, blocksAfter,
           privateBefore, privateAfter);
    EXPECT_EQ(sim->callCount[CALL_GET_REMOTE_CODE], kTicksPerDay + 1) << "one vendor read per poll";
    EXPECT_EQ(allocations.Total(), 0) << "new " << allocations.newCalls << ", C runtime " << allocations.crtCalls
                                      << ", heap " << allocations.heapCalls;
    EXPECT_EQ(malformed, 0);
    EXPECT_FALSE(day.open) << "the last button was not released a second after it went";
    EXPECT_EQ(day.presses + (heldAtStart ? 1 : 0), day.releases);
    EXPECT_GT(day.presses, 1000);
    EXPECT_GT(day.repeats, 10000);
    EXPECT_LE(blocksAfter - blocksBefore, 0);
    EXPECT_GT(privateBefore, 0);
    EXPECT_EQ(privateAfter, privateBefore) << "private bytes changed over the day";
}

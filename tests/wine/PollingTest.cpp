// The plug-in's poll linked in, on a fake clock: the timer, the vendor read and the record
// the host gets (the key session's own rules are tested natively).
#include <functional>

#include "support/LinkedPlugin.h"
#include "support/PollSegments.h"

constexpr uint8_t A = 0x1A;     // bound to CH_UP
constexpr uint8_t B = 0x12;     // bound to POWER
constexpr uint8_t FREE = 0x20;  // never bound
constexpr uint8_t NONE = 255;

static UINT_PTR g_fakeTimerResult;
static int g_fakeTimerCalls;
static UINT g_fakeTimerPeriod;
static TIMERPROC g_fakeTimerProc;
static UINT_PTR WINAPI FakeSetTimer(HWND window, UINT_PTR id, UINT period, TIMERPROC proc)
{
    ++g_fakeTimerCalls;
    g_fakeTimerPeriod = window == nullptr && id == 0 ? period : 0;
    g_fakeTimerProc = proc;
    return g_fakeTimerResult;
}

class PollingTest : public LinkedPluginTest {
protected:
    void SetUp() override
    {
        LinkedPluginTest::SetUp();
        // Open reads the file named after this program: the bindings of A and B.
        ASSERT_TRUE(PutSettingsFile(OwnIniPath(), "[Buttons]\r\n1A=CH_UP\r\n12=POWER\r\n"));
        g_testNow = base;
        SetPollClock(TestClock);
        // What the host saw: when (ms after the run's base), which command, which value.
        host.onCommand = [this](const HostMessage& m) {
            EXPECT_EQ(m.wParam, reinterpret_cast<WPARAM>(&g_plugin.commandRecord));
            events += (events.empty() ? "" : ", ") + std::to_string(g_testNow - base) + " " + m.Command() + " " +
                      std::to_string(m.lParam);
        };
    }

    void OpenAndStart()
    {
        ASSERT_STREQ(Open("TV", host.Window(), 0), kPluginDescription);
        ASSERT_EQ(g_plugin.cardOpen, 1u);
        ASSERT_GT(Start(), 1u);
    }

    // Polls every 30 ms from base to base + end along the segments, with the timer id of the moment.
    void Run(const std::vector<Segment>& segments, uint32_t end, const std::function<void(uint32_t)>& beforePoll = {})
    {
        PollSegments(segments, end, [&](uint8_t code, uint32_t t) {
            SimHold(code);
            g_testNow = base + t;
            if (beforePoll)
                beforePoll(t);
            PollRemote(nullptr, WM_TIMER, g_plugin.timerId, 0);
        });
    }

    uint32_t ReadCodeCalls() const { return Sim()->callCount[CALL_GET_REMOTE_CODE]; }

    uint32_t base = 1000000;
    RecordingHost host;
    std::string events;
};

TEST_F(PollingTest, OnlyBoundButtonsUpTo92ReachTheHostWithTheirCommandLookedUpAtEachEvent)
{
    Sim()->remoteType[0] = 0;  // table 0: entry 93 would read table 1's first entry
    OpenAndStart();
    ASSERT_EQ(g_plugin.currentTable, &g_buttonTables[0]);
    CopyText(g_buttonTables[1].entries[0].command, COMMAND_SIZE, "LEAKED");
    SetButtonCommand(*g_plugin.currentTable, 92, "MENU");
    SetButtonCommand(*g_plugin.currentTable, 0x05, "VOL_DOWN");
    SetButtonCommand(*g_plugin.currentTable, 0x06, "OK");

    // Rebound while held; the record scribbled over before the release.
    Run({{0, A}, {1020, NONE}}, 1200, [&](uint32_t t) {
        if (t == 450)
            SetButtonCommand(*g_plugin.currentTable, A, "MUTE");
        if (t == 1080)
            strcpy(g_plugin.commandRecord.command, "SCRIBBLED_OVER_THE_RECORD");
    });
    EXPECT_EQ(events, "0 CH_UP 0, 390 CH_UP 1, 480 MUTE 2, 570 MUTE 3, 660 MUTE 4, 750 MUTE 5, 840 MUTE 6, "
                      "930 MUTE 7, 1080 MUTE -1");

    // Unbound and above-92 buttons are held silently; a switch from one only presses the
    // bound one; a shorter command after a longer one carries its own terminator.
    events.clear();
    base += 2000;
    Run({{0, FREE}, {510, 93}, {900, 200}, {1290, 92}, {1320, NONE}, {1500, 0x05}, {1560, 0x06}, {1590, NONE}}, 1800);
    EXPECT_EQ(events, "1290 MENU 0, 1380 MENU -1, 1500 VOL_DOWN 0, 1560 VOL_DOWN -1, 1560 OK 0, 1650 OK -1");
    EXPECT_STREQ(g_plugin.commandRecord.command, "OK");
    EXPECT_STREQ(g_plugin.commandRecord.sourceName, "TV");
}

TEST_F(PollingTest, StartNeedsAnOpenCardAsksForA30msThreadTimerAndReturnsItsId)
{
    g_plugin.hostWindow = host.Window();
    EXPECT_EQ(Start(), 0u) << "no device";
    Sim()->openResult[0] = 0;
    Open("TV", host.Window(), 0);
    EXPECT_EQ(Start(), 0u) << "card refused to open";
    EXPECT_EQ(g_plugin.session.polling, 0u);

    ResetSim();
    SetPollSetTimer(FakeSetTimer);
    g_fakeTimerResult = 0;
    g_fakeTimerCalls = 0;
    Open("TV", host.Window(), 0);
    EXPECT_EQ(Start(), 0u) << "SetTimer failed";
    EXPECT_EQ(g_plugin.session.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);
    const uint32_t reads = ReadCodeCalls();
    PollRemote(nullptr, WM_TIMER, 0, 0);
    EXPECT_EQ(ReadCodeCalls(), reads) << "a poll for timer id 0 ran";

    g_fakeTimerResult = 0x4242;
    g_plugin.session.tracker = {A, 3, 11, 12, 13};  // stale: cleared without a release
    EXPECT_EQ(Start(), 0x4242u);
    EXPECT_EQ(g_fakeTimerCalls, 2);
    EXPECT_EQ(g_fakeTimerPeriod, 30u) << "a 30 ms thread timer, no window";
    EXPECT_TRUE(g_fakeTimerProc == &PollRemote);
    EXPECT_EQ(g_plugin.session.tracker.heldCode, NONE);
    EXPECT_EQ(g_plugin.session.tracker.repeatCount, 0);
    EXPECT_EQ(Start(), 1u) << "second Start";
    EXPECT_EQ(g_fakeTimerCalls, 2);
    EXPECT_EQ(g_plugin.timerId, 0x4242u);
    Stop();
    EXPECT_EQ(g_plugin.timerId, 0u);
    EXPECT_TRUE(events.empty());
}

TEST_F(PollingTest, StopReleasesAHeldBoundButtonAndCloseDoesNot)
{
    OpenAndStart();
    Run({{0, A}}, 480);
    EXPECT_EQ(Start(), 1u);  // changes nothing while held
    Stop();
    EXPECT_EQ(events, "0 CH_UP 0, 390 CH_UP 1, 480 CH_UP 2, 480 CH_UP -1");
    EXPECT_EQ(g_plugin.session.polling, 0u);
    EXPECT_EQ(g_plugin.timerId, 0u);
    Stop();
    Run({{0, A}}, 120);  // late polls of the killed timer
    EXPECT_EQ(host.messages.size(), 4u);

    // Close while held: nothing, then nothing more at all; the device is gone.
    events.clear();
    base += 5000;
    ASSERT_GT(Start(), 1u);
    Run({{0, A}}, 60);
    Close();
    Run({{0, B}}, 300);
    EXPECT_EQ(events, "0 CH_UP 0");
    EXPECT_EQ(g_plugin.hostWindow, nullptr);
    EXPECT_EQ(g_plugin.device, nullptr);
    EXPECT_EQ(g_plugin.session.tracker.heldCode, NONE);
    EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);
    EXPECT_EQ(Start(), 0u);
}

TEST_F(PollingTest, PollIsIgnoredUnlessTimerDevicePollingAndHostAreAllThere)
{
    RemoteDevice* device = nullptr;
    uint32_t listening = 0;
    UINT_PTR id = 0;
    const struct {
        const char* name;
        std::function<void()> toggle;  // takes it away; a second call gives it back
    } cases[] = {
        {"wrong timer id", [&] { id ^= 1; }},
        {"no device", [&] { std::swap(device, g_plugin.device); }},
        {"polling 0", [] { g_plugin.session.polling ^= 1; }},
        {"no host window", [&] { std::swap(listening, g_plugin.session.hostListening); }},
    };
    OpenAndStart();
    Run({{0, A}}, 420);  // held and repeating
    ASSERT_EQ(host.messages.size(), 2u);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const uint8_t code : {NONE, B, A}) {  // a release, a switch, a repeat would all be due
            const KeyTracker before = g_plugin.session.tracker;
            const uint32_t reads = ReadCodeCalls();
            SimHold(code);
            g_testNow += 1000;
            id = g_plugin.timerId;
            c.toggle();
            PollRemote(nullptr, WM_TIMER, id, 0);
            c.toggle();
            EXPECT_EQ(ReadCodeCalls(), reads) << "the vendor library was asked";
            EXPECT_EQ(memcmp(&before, &g_plugin.session.tracker, sizeof before), 0);
            EXPECT_EQ(host.messages.size(), 2u);
        }
    }
    SimHold(NONE);
    g_testNow += 1000;
    PollRemote(nullptr, WM_TIMER, g_plugin.timerId, 0);
    EXPECT_EQ(host.messages.size(), 3u) << "with everything in place the same poll works";
}

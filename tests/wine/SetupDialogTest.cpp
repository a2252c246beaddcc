// The setup dialog and its live key display, used as a host and a user would:
// this thread is the host and calls Setup, which runs the modal loop; a script
// of user actions, run from a timer of this thread inside that loop, works the
// controls with the messages the controls themselves send. What the screen
// does not show is read back from the settings file written when the dialog
// closes, from the simulator's call counters, and from the host's messages
// after the dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <stdint.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>

#include <iterator>
#include <string>
#include <vector>

#include "support/DialogScript.h"
#include "support/PeImage.h"
#include "support/SettingsFiles.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"
#include "tests/ExpectedTables.h"

namespace {

// "Настройка плагина VantorixRC"
const wchar_t kCaption[] = L"\u041d\u0430\u0441\u0442\u0440\u043e\u0439\u043a\u0430 "
                           L"\u043f\u043b\u0430\u0433\u0438\u043d\u0430 VantorixRC";
// Texts the dialog sets at run time, Windows-1251.
const std::string kPressed = "\xcd\xe0\xe6\xe0\xf2\xe0";   // "Нажата"
const std::string kReleased = "\xce\xf2\xe6\xe0\xf2\xe0";  // "Отжата"
std::string Repeat(int n)
{
    return "\xcf\xee\xe2\xf2\xee\xf0 " + std::to_string(n);
}  // "Повтор n"
const char kNoDevice[] = "< NONE >";

const Texts kVocabulary(std::begin(expected::kVocabulary), std::end(expected::kVocabulary));

int VocabularyIndex(const std::string& word)
{
    for (size_t i = 0; i < kVocabulary.size(); ++i) {
        if (kVocabulary[i] == word)
            return static_cast<int>(i);
    }
    return -1;
}

// The labels of a table as list 1012 shows them: the non-empty ones in code order.
Texts LabelsOf(int table)
{
    Texts labels;
    for (const auto& label : expected::kLabels[table])
        labels.push_back(label.second);
    return labels;
}

typedef expected::CodeTexts Bindings;  // code -> command; a code not listed is unbound

// Every text the status field of a dialog is given, from RecordStatuses on:
// none is missed however fast the events come.
Texts g_statuses;
WNDPROC g_statusProc;
LRESULT CALLBACK RecordStatus(HWND field, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcW(g_statusProc, field, message, wParam, lParam);
    if (message == WM_SETTEXT)
        g_statuses.push_back(Text(GetParent(field), ID_STATUS));
    return result;
}
void RecordStatuses(HWND d)
{
    g_statuses = {Text(d, ID_STATUS)};
    g_statusProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(Item(d, ID_STATUS), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordStatus)));
}

// ---------------------------------------------------------------------------
// The settings file beside the plug-in.

bool PutIni(const std::string& text)
{
    return PutSettingsFile(PluginIniPath(), text);
}
bool IniExists()
{
    return GetFileAttributesA(PluginIniPath().c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The file beside the plug-in as it saves it.
void ExpectSavedFile(KeyOrder order, uint32_t device, uint32_t delay, uint32_t interval, uint32_t release,
                     const Bindings& bindings)
{
    ::ExpectSavedFile(PluginIniPath(), order, device, delay, interval, release, bindings);
}

// ---------------------------------------------------------------------------

class SetupDialogTest : public HostedPluginTest {
protected:
    // Two cards with the given names and remote types.
    static void TwoCards(const char* first, int32_t firstType, const char* second, int32_t secondType)
    {
        SimControl* sim = Sim();
        sim->cardCount = 2;
        strcpy(sim->cardNames[0], first);
        strcpy(sim->cardNames[1], second);
        sim->remoteType[0] = firstType;
        sim->remoteType[1] = secondType;
    }

    // Calls Setup while the script works the dialog.
    SetupRun RunSetup(const Script& script)
    {
        return ::RunSetup(script, [this] { return plugin.Setup(); });
    }

    // Calls Setup, works the dialog in one step and presses its exit button.
    void WorkDialog(const std::function<void(HWND)>& work)
    {
        Script script;
        script.Do([&](HWND d) {
            work(d);
            Exit(d);
        });
        ExpectRanThrough(RunSetup(script));
    }

    // Holds code until the host has count messages; false on timeout.
    bool HostReceives(uint32_t code, size_t count)
    {
        SimHold(code);
        return RecordingHost::PumpUntil([&] { return host.messages.size() >= count; }, kEventMs);
    }
};

}  // namespace

// ---------------------------------------------------------------------------
// Opening

TEST_F(SetupDialogTest, OpensWithCardsLabelsVocabularyTimingsAndFocusOnExit)
{
    TwoCards("Card Alpha", 2, "Card Beta", 2);
    const std::string ini =
        "[Hardware]\r\nDeviceIndex=0\r\nDelayBeforeRepeat=500\r\nRepeatInterval=150\r\nReleaseTime=70\r\n"
        "[Buttons]\r\n00=mute\r\n";
    ASSERT_TRUE(PutIni(ini));
    OpenPlugin();

    WorkDialog([&](HWND d) {
        wchar_t caption[128] = {};
        InternalGetWindowText(d, caption, 128);
        EXPECT_TRUE(wcscmp(caption, kCaption) == 0);
        EXPECT_EQ(GetWindow(d, GW_OWNER), host.Window()) << "modal over the host window";
        EXPECT_EQ(Items(d, ID_DEVICES), (Texts{"Card Alpha", "Card Beta"}));
        EXPECT_EQ(Sel(d, ID_DEVICES), 0);
        EXPECT_TRUE(IsWindowEnabled(Item(d, ID_DEVICES)));

        EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(2));
        EXPECT_EQ(Sel(d, ID_BUTTONS), 0);
        EXPECT_EQ(Items(d, ID_COMMANDS), kVocabulary);
        EXPECT_EQ(Sel(d, ID_COMMANDS), VocabularyIndex("MUTE")) << "binding of button 0, any case";

        EXPECT_EQ(Text(d, ID_DELAY), "500");
        EXPECT_EQ(Text(d, ID_INTERVAL), "150");
        EXPECT_EQ(Text(d, ID_RELEASE), "70");
        EXPECT_EQ(Text(d, ID_STATUS), kReleased);
        EXPECT_EQ(Text(d, ID_CODE), "");
        EXPECT_EQ(Text(d, ID_LABEL), "");

        EXPECT_EQ(GetFocus(), Item(d, ID_EXIT));

        struct Spin {
            int spin, edit, minimum, maximum, step;
        };
        const Spin spins[] = {{ID_DELAY_SPIN, ID_DELAY, 200, 800, 50},
                              {ID_INTERVAL_SPIN, ID_INTERVAL, 80, 200, 10},
                              {ID_RELEASE_SPIN, ID_RELEASE, 40, 400, 10}};
        for (const Spin& s : spins) {
            const HWND spin = Item(d, s.spin);
            ASSERT_NE(spin, nullptr) << s.spin;
            EXPECT_EQ(ClassOf(spin), "msctls_updown32") << s.spin;
            EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)), Item(d, s.edit)) << s.spin;
            const LRESULT range = SendMessageA(spin, UDM_GETRANGE, 0, 0);
            EXPECT_EQ(LOWORD(range), s.maximum) << s.spin;
            EXPECT_EQ(HIWORD(range), s.minimum) << s.spin;
            UDACCEL accel[4] = {};
            EXPECT_EQ(SendMessageA(spin, UDM_GETACCEL, 4, reinterpret_cast<LPARAM>(accel)), 1)
                << s.spin << ": one step only";
            EXPECT_EQ(accel[0].nInc, static_cast<UINT>(s.step)) << s.spin;
        }
    });
    EXPECT_EQ(ReadFileText(PluginIniPath()), ini) << "closing without a change writes nothing";
}

TEST_F(SetupDialogTest, ButtonListHoldsTheNonEmptyLabelsOfTheCardsTable)
{
    struct Case {
        int32_t remoteType;
        int table;
    };
    const Case cases[] = {{0, 0}, {1, 1}, {2, 2}, {7, 0}};
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const Case& c : cases) {
        Sim()->remoteType[0] = c.remoteType;
        ASSERT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription);
        WorkDialog([&](HWND d) {
            EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(c.table)) << "remote type " << c.remoteType;
            EXPECT_EQ(Sel(d, ID_BUTTONS), 0) << "remote type " << c.remoteType;
            EXPECT_EQ(Sel(d, ID_COMMANDS), 0) << "remote type " << c.remoteType << ": button 0 unbound";
        });
        plugin.Close();
        EXPECT_FALSE(IniExists()) << "remote type " << c.remoteType << ": nothing written without a change";
    }
}

TEST_F(SetupDialogTest, WithoutVendorLibraryTheDeviceListShowsNoneDisabledAndDefaultsStillSave)
{
    ASSERT_TRUE(RemoveVendor());
    OpenPlugin();
    boxes.ExpectOneWarning("Unable to load library '" + VendorLibraryPath() + "'!");

    WorkDialog([&](HWND d) {
        EXPECT_EQ(Items(d, ID_DEVICES), (Texts{kNoDevice}));
        EXPECT_EQ(Sel(d, ID_DEVICES), 0);
        EXPECT_FALSE(IsWindowEnabled(Item(d, ID_DEVICES)));
        EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(0));
        EXPECT_EQ(Text(d, ID_STATUS), kReleased);

        Click(d, ID_DEFAULTS);
        EXPECT_EQ(Text(d, ID_DELAY), "350");
        EXPECT_EQ(Text(d, ID_INTERVAL), "100");
        EXPECT_EQ(Text(d, ID_RELEASE), "60");
        EXPECT_EQ(SelText(d, ID_BUTTONS), "Button 0");
        EXPECT_EQ(SelText(d, ID_COMMANDS), "0");
    });
    ExpectSavedFile(WRITE_ORDER, 0, 350, 100, 60, expected::kOtherSet);
}

// No cards, or a count with the top bit set (a vendor's error code such as -1).
TEST_F(SetupDialogTest, WithNoCardsOrAnErrorCountTheDeviceListShowsNoneDisabled)
{
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const uint32_t count : {0u, 0xFFFFFFFFu}) {
        ResetSim();
        Sim()->cardCount = count;
        ASSERT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription);
        WorkDialog([&](HWND d) {
            EXPECT_EQ(Items(d, ID_DEVICES), (Texts{kNoDevice})) << count;
            EXPECT_EQ(Sel(d, ID_DEVICES), 0) << count;
            EXPECT_FALSE(IsWindowEnabled(Item(d, ID_DEVICES))) << count;
            EXPECT_EQ(Text(d, ID_STATUS), kReleased) << count;
        });
        plugin.Close();
        EXPECT_EQ(Sim()->callCount[CALL_GET_CARD_NAME] + Sim()->callCount[CALL_OPEN_CARD], 0u) << count;
    }
    for (const BoxRecord& box : boxes.Boxes())
        EXPECT_NE(box.caption, "VantorixRC") << box.text;
    EXPECT_FALSE(IniExists());
}

// The test program has no common-controls initialisation of its own, so the
// up-down class must come from Setup.
TEST_F(SetupDialogTest, OpensInAHostThatDidNotInitialiseCommonControls)
{
    char self[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    const PeNames names = ReadPeNames(self);
    ASSERT_FALSE(names.imports.empty());
    for (const std::string& dll : names.imports)
        ASSERT_NE(_stricmp(dll.c_str(), "comctl32.dll"), 0) << "the test host must not load the common controls";

    OpenPlugin();
    Script script;
    script.Do([&](HWND d) {
        for (int id : {ID_DELAY_SPIN, ID_INTERVAL_SPIN, ID_RELEASE_SPIN}) {
            EXPECT_NE(Item(d, id), nullptr) << id;
            EXPECT_EQ(ClassOf(Item(d, id)), "msctls_updown32") << id;
        }
        Exit(d);
    });
    const SetupRun run = RunSetup(script);
    ExpectRanThrough(run);
    EXPECT_NE(run.result, -1);
}

// ---------------------------------------------------------------------------
// Closing

TEST_F(SetupDialogTest, EscapeAndCloseRequestsKeepItOpenAndEnterExits)
{
    OpenPlugin();
    EXPECT_GT(plugin.Start(), 0u);
    Script script;
    script
        .Do([&](HWND d) {
            ASSERT_EQ(GetFocus(), Item(d, ID_EXIT));
            PostKey(Item(d, ID_EXIT), VK_ESCAPE);
            SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
            SendMessageA(d, WM_CLOSE, 0, 0);
            SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
            // Queued behind Escape and the close requests: once the focus
            // has moved, they have all been handled.
            PostKey(Item(d, ID_EXIT), VK_TAB);
        })
        .Until("Tab moves the focus to the device list", [](HWND d) { return GetFocus() == Item(d, ID_DEVICES); })
        .Do([&](HWND d) {
            EXPECT_TRUE(IsWindowVisible(d)) << "Escape or a close request ended the dialog";
            PostKey(GetFocus(), VK_RETURN);  // ends it through the default button
        });
    const SetupRun run = RunSetup(script);
    ExpectRanThrough(run);
    EXPECT_EQ(run.result, 0) << "exit result while polling was on";
    EXPECT_FALSE(IniExists()) << "the list gaining the focus on the card in use changed nothing";
}

// Ended from outside, by the end of its owner or by WM_QUIT in its loop (which
// the dialog manager posts again for the host): the key events go back to the host.
TEST_F(SetupDialogTest, ADialogEndedFromOutsideHandsTheKeysBackToTheHost)
{
    ASSERT_TRUE(PutIni("[Buttons]\r\n12=POWER\r\n"));
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const bool quit : {false, true}) {
        // Not a pooled host window: this one is destroyed.
        const HWND owner = CreateWindowA("STATIC", "", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        plugin.Open("TV", owner, 0);
        Script script;
        script.Do([&](HWND) { quit ? PostQuitMessage(0) : static_cast<void>(DestroyWindow(owner)); });
        ExpectRanThrough(RunSetup(script));
        MSG msg;
        EXPECT_EQ(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE), quit ? TRUE : FALSE);
        DestroyWindow(owner);
        host.messages.clear();
        plugin.Open("TV", host.Window(), 0);
        ASSERT_GT(plugin.Start(), 0u);
        HostReceives(0x12, 1);
        SimHold(255);
        const auto released = [&] { return !host.messages.empty() && host.messages.back().lParam == -1; };
        EXPECT_TRUE(RecordingHost::PumpUntil(released, kEventMs) && host.messages[0].lParam == 0)
            << (quit ? "WM_QUIT" : "owner destroyed") << ": no press and release reached the host";
    }
}

// ---------------------------------------------------------------------------
// Timings

TEST_F(SetupDialogTest, ArrowsStepWithinTheirRangesAndTypedOrEmptyTextIsStored)
{
    OpenPlugin();
    WorkDialog([&](HWND d) {
        struct Walk {
            int edit, start, minimum, maximum, step;
        };
        const Walk walks[] = {
            {ID_DELAY, 350, 200, 800, 50}, {ID_INTERVAL, 100, 80, 200, 10}, {ID_RELEASE, 60, 40, 400, 10}};
        for (const Walk& w : walks) {
            ASSERT_EQ(Text(d, w.edit), std::to_string(w.start)) << w.edit;
            // Up past the maximum, then down past the minimum.
            Texts expected, actual;
            int value = w.start;
            for (int i = 0; i < (w.maximum - w.start) / w.step + 2; ++i) {
                value = value + w.step > w.maximum ? w.maximum : value + w.step;
                expected.push_back(std::to_string(value));
                Arrow(d, w.edit, VK_UP);
                actual.push_back(Text(d, w.edit));
            }
            for (int i = 0; i < (w.maximum - w.minimum) / w.step + 2; ++i) {
                value = value - w.step < w.minimum ? w.minimum : value - w.step;
                expected.push_back(std::to_string(value));
                Arrow(d, w.edit, VK_DOWN);
                actual.push_back(Text(d, w.edit));
            }
            EXPECT_EQ(actual, expected) << "arrows on " << w.edit;
        }
        Type(d, ID_DELAY, "900");
        Type(d, ID_INTERVAL, "");
        EXPECT_EQ(Text(d, ID_DELAY), "900");
    });
    // 900 beyond the arrows' range, 0 for the emptied edit, 40 from the arrows.
    ExpectSavedFile(WRITE_ORDER, 0, 900, 0, 40, {});
}

TEST_F(SetupDialogTest, ATimingChangedAndChangedBackIsStillSaved)
{
    ASSERT_TRUE(PutIni("[Hardware]\r\nDelayBeforeRepeat=500\r\nRepeatInterval=150\r\nReleaseTime=70\r\n"));
    OpenPlugin();
    WorkDialog([&](HWND d) {
        Type(d, ID_DELAY, "501");
        Type(d, ID_DELAY, "500");
    });
    ExpectSavedFile(ANY_ORDER, 0, 500, 150, 70, {});
}

TEST_F(SetupDialogTest, TimingTextIsStoredAsTypedAndAboveTheUnsignedRangeAsZero)
{
    OpenPlugin();
    WorkDialog([&](HWND d) {
        Type(d, ID_INTERVAL, "4294967296");
        // Stored as typed, far beyond any range. (4294967294: Wine's reading
        // takes 4294967295 itself for an overflow.)
        Type(d, ID_RELEASE, "4294967294");
    });
    ExpectSavedFile(WRITE_ORDER, 0, 350, 0, 4294967294u, {});
}

// ---------------------------------------------------------------------------
// Device change

TEST_F(SetupDialogTest, PickingTheCardInUseChangesNothing)
{
    TwoCards("Card Alpha", 2, "Card Beta", 1);
    const std::string ini = "[Hardware]\r\nDeviceIndex=0\r\n[Buttons]\r\n00=MUTE\r\n";
    ASSERT_TRUE(PutIni(ini));
    OpenPlugin();
    WorkDialog([&](HWND d) {
        const uint32_t opens = Sim()->callCount[CALL_OPEN_CARD];
        const uint32_t uninits = Sim()->callCount[CALL_UNINIT];
        Pick(d, ID_DEVICES, 0);
        for (int code : {CBN_SETFOCUS, CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELENDOK, CBN_KILLFOCUS})
            Notify(d, ID_DEVICES, code);
        EXPECT_EQ(Sim()->callCount[CALL_OPEN_CARD], opens);
        EXPECT_EQ(Sim()->callCount[CALL_UNINIT], uninits);
        EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(2));
    });
    EXPECT_EQ(ReadFileText(PluginIniPath()), ini) << "settings not marked changed";
}

TEST_F(SetupDialogTest, ChangingTheCardReopensItAndBindsByLabelInTheNewTable)
{
    TwoCards("Card Alpha", 2, "Card Beta", 1);
    ASSERT_TRUE(PutIni("[Hardware]\r\nDeviceIndex=0\r\n[Buttons]\r\n00=MUTE\r\n"));
    OpenPlugin();
    Script script;
    script
        .Do([&](HWND d) {
            const uint32_t opens = Sim()->callCount[CALL_OPEN_CARD];
            Pick(d, ID_DEVICES, 1);
            EXPECT_EQ(Sim()->callCount[CALL_OPEN_CARD], opens + 1);
            EXPECT_EQ(Sim()->lastOpenIndex, 1u);
            EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(2)) << "the list keeps the labels it opened with";
            // Polling runs again, on the new card's table: 0x1D is "REC" in
            // table 1 ("Sleep" in table 2).
            SimHold(0x1D);
        })
        .Until("press of 0x1D shown", [](HWND d) { return Text(d, ID_CODE) == "0x1D"; })
        .Do([&](HWND d) {
            EXPECT_EQ(Text(d, ID_LABEL), "REC");
            EXPECT_EQ(SelText(d, ID_BUTTONS), "Button 0") << "REC is not in the list";
            SimHold(255);
        })
        .Until("release shown", [](HWND d) { return Text(d, ID_STATUS) == kReleased; })
        .Do([&](HWND d) {
            // "Mute" is code 0x13 in table 1 (0x11 in table 2).
            ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
            EXPECT_EQ(Sel(d, ID_COMMANDS), 0) << "table 1 holds no bindings yet";
            ASSERT_TRUE(PickText(d, ID_COMMANDS, "VOL_DOWN"));
            // "Ch Up" is missing from table 1: shown unbound, and binding it does nothing.
            ASSERT_TRUE(PickText(d, ID_BUTTONS, "Ch Up"));
            EXPECT_EQ(Sel(d, ID_COMMANDS), 0);
            ASSERT_TRUE(PickText(d, ID_COMMANDS, "VOL_UP"));
            ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
            EXPECT_EQ(SelText(d, ID_COMMANDS), "VOL_DOWN");
            Exit(d);
        });
    ExpectRanThrough(RunSetup(script));
    // The bindings of the new table; the file's 00=MUTE went to table 2 only.
    ExpectSavedFile(ANY_ORDER, 1, 350, 100, 60, {{0x13, "VOL_DOWN"}});
}

TEST_F(SetupDialogTest, ChangingToACardThatFailsReleasesTheHeldButtonAndStopsPolling)
{
    TwoCards("Card Alpha", 2, "Card Beta", 2);
    Sim()->openResult[1] = 0;
    OpenPlugin();
    uint32_t reads = 0;
    Script script;
    script.Do([](HWND) { SimHold(0x12); })
        .Until("press shown", [](HWND d) { return Text(d, ID_STATUS) == kPressed; })
        .Do([&](HWND d) {
            EXPECT_EQ(Text(d, ID_CODE), "0x12");
            Pick(d, ID_DEVICES, 1);
            EXPECT_EQ(Text(d, ID_STATUS), kReleased) << "the held button is released by the change";
            EXPECT_EQ(Text(d, ID_CODE), "0x12");
            EXPECT_EQ(Text(d, ID_LABEL), "Power");
            reads = Sim()->callCount[CALL_GET_REMOTE_CODE];
        })
        .Pause(600)
        .Do([&](HWND d) {
            EXPECT_EQ(Sim()->callCount[CALL_GET_REMOTE_CODE], reads) << "polling stopped";
            EXPECT_EQ(Text(d, ID_STATUS), kReleased);
            SimHold(255);
            // Table 0 is current now: "Info" is its code 0x10 (0x0D in table 2).
            ASSERT_TRUE(PickText(d, ID_BUTTONS, "Info"));
            ASSERT_TRUE(PickText(d, ID_COMMANDS, "SCAN"));
            Exit(d);
        });
    ExpectRanThrough(RunSetup(script));
    ExpectSavedFile(ANY_ORDER, 1, 350, 100, 60, {{0x10, "SCAN"}});
    EXPECT_EQ(plugin.Start(), 0u) << "no card open";
}

// The configured card is unplugged today (the second of two, one left): the
// list opens without a selection. Notifications that choose nothing (the list
// gaining the focus, opening and closing) leave the stored card, the device
// and the file alone; a real choice from there acts as ever.
TEST_F(SetupDialogTest, AnAbsentConfiguredCardSurvivesTheDialogUntilARealChoice)
{
    const std::string ini = "[Hardware]\r\nDeviceIndex=1\r\n";
    ASSERT_TRUE(PutIni(ini));
    OpenPlugin();
    uint32_t opens = 0, uninits = 0;
    Script look;
    look.Do([&](HWND d) {
            EXPECT_EQ(Items(d, ID_DEVICES), (Texts{"Simulated TV card"}));
            EXPECT_EQ(Sel(d, ID_DEVICES), CB_ERR);
            EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(0)) << "no card open, so table 0";
            opens = Sim()->callCount[CALL_OPEN_CARD];
            uninits = Sim()->callCount[CALL_UNINIT];
            ASSERT_EQ(GetFocus(), Item(d, ID_EXIT));
            PostKey(Item(d, ID_EXIT), VK_TAB);
        })
        .Until("Tab moves the focus to the device list", [](HWND d) { return GetFocus() == Item(d, ID_DEVICES); })
        .Do([&](HWND d) {
            for (int code : {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELENDCANCEL, CBN_KILLFOCUS})
                Notify(d, ID_DEVICES, code);
            EXPECT_EQ(Sim()->callCount[CALL_UNINIT], uninits) << "the card was closed";
            EXPECT_EQ(Sim()->callCount[CALL_OPEN_CARD], opens);
            Exit(d);
        });
    ExpectRanThrough(RunSetup(look));
    EXPECT_EQ(ReadFileText(PluginIniPath()), ini) << "the stored card was changed";

    WorkDialog([&](HWND d) {
        Pick(d, ID_DEVICES, 0);
        EXPECT_EQ(Sim()->callCount[CALL_OPEN_CARD], opens + 1) << "the chosen card is opened";
    });
    ExpectSavedFile(ANY_ORDER, 0, 350, 100, 60, {});
}

// A name without a terminator, right before memory that cannot be read: the
// list shows its first 63 characters. A null name is an empty item.
TEST_F(SetupDialogTest, CardNamesAreReadWithinTheirFirst64Bytes)
{
    std::string name;
    for (int i = 0; i < SIM_NAME_SIZE; ++i)
        name += static_cast<char>('A' + i % 26);
    Sim()->cardCount = 2;
    memcpy(Sim()->cardNames[0], name.data(), SIM_NAME_SIZE);
    Sim()->fencedName[0] = 1;
    Sim()->nullName[1] = 1;
    OpenPlugin();
    WorkDialog([&](HWND d) { EXPECT_EQ(Items(d, ID_DEVICES), (Texts{name.substr(0, 63), ""})); });
}

// ---------------------------------------------------------------------------
// Bindings

TEST_F(SetupDialogTest, ShowingABindingSelectsItsWordIgnoringCaseOrOther)
{
    const std::string ini = "[Buttons]\r\n00=MUTE\r\n0A=recall\r\n11=ZAP\r\n12=power\r\n";
    ASSERT_TRUE(PutIni(ini));
    OpenPlugin();
    WorkDialog([&](HWND d) {
        const std::pair<const char*, const char*> cases[] = {
            {"Mute", "< Other >"},    {"Power", "POWER"},   {"Recall", "RECALL"},
            {"Button 1", "< None >"}, {"Button 0", "MUTE"}, {"Freeze", "< None >"},
        };
        for (const auto& c : cases) {
            ASSERT_TRUE(PickText(d, ID_BUTTONS, c.first)) << c.first;
            EXPECT_EQ(SelText(d, ID_COMMANDS), c.second) << c.first;
        }
    });
    EXPECT_EQ(ReadFileText(PluginIniPath()), ini) << "showing a binding changes nothing";
}

TEST_F(SetupDialogTest, BindingStoresTheWordNoneEmptiesAndOtherKeepsThroughAnUnchangedTiming)
{
    ASSERT_TRUE(PutIni("[Buttons]\r\n00=MUTE\r\n11=ZAP\r\n12=POWER\r\n"));
    OpenPlugin();
    WorkDialog([&](HWND d) {
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        Pick(d, ID_COMMANDS, 1);  // "< Other >"
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Power"));
        Pick(d, ID_COMMANDS, 0);  // "< None >"
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Button 5"));
        ASSERT_TRUE(PickText(d, ID_COMMANDS, "VOL_UP"));

        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Power"));
        EXPECT_EQ(SelText(d, ID_COMMANDS), "< None >");
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        EXPECT_EQ(SelText(d, ID_COMMANDS), "< Other >");
        Type(d, ID_DELAY, "0350");  // the value in force: the bindings stay to be saved
    });
    ExpectSavedFile(ANY_ORDER, 0, 350, 100, 60, {{0x00, "MUTE"}, {0x05, "VOL_UP"}, {0x11, "ZAP"}});

    // The bindings are live after the dialog: the kept word goes out unchanged.
    EXPECT_GT(plugin.Start(), 0u);
    ASSERT_TRUE(HostReceives(0x05, 1));
    EXPECT_EQ(host.messages[0].Command(), "VOL_UP");
    SimHold(255);
    RecordingHost::PumpUntil([&] { return host.messages.back().lParam == -1; }, kEventMs);
    const size_t before = host.messages.size();
    ASSERT_TRUE(HostReceives(0x11, before + 1));
    EXPECT_EQ(host.messages[before].Command(), "ZAP");
    SimHold(255);
    plugin.Stop();
}

TEST_F(SetupDialogTest, OtherAloneMarksTheSettingsChanged)
{
    ASSERT_TRUE(PutIni("[Buttons]\r\n11=ZAP\r\n"));
    OpenPlugin();
    WorkDialog([&](HWND d) {
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        Pick(d, ID_COMMANDS, 1);
    });
    ExpectSavedFile(ANY_ORDER, 0, 350, 100, 60, {{0x11, "ZAP"}});
}

TEST_F(SetupDialogTest, DefaultsRestoreFactoryTimingsAndTheSetOfTheRemoteType)
{
    TwoCards("Card Alpha", 2, "Card Beta", 2);
    ASSERT_TRUE(PutIni("[Hardware]\r\nDeviceIndex=1\r\nDelayBeforeRepeat=500\r\nRepeatInterval=150\r\n"
                       "ReleaseTime=70\r\n[Buttons]\r\n00=POWER\r\n28=MUTE\r\n"));
    OpenPlugin();
    WorkDialog([&](HWND d) {
        EXPECT_EQ(Sel(d, ID_DEVICES), 1);
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        Click(d, ID_DEFAULTS);
        EXPECT_EQ(Text(d, ID_DELAY), "350");
        EXPECT_EQ(Text(d, ID_INTERVAL), "100");
        EXPECT_EQ(Text(d, ID_RELEASE), "60");
        EXPECT_EQ(Sel(d, ID_BUTTONS), 0);
        EXPECT_EQ(SelText(d, ID_BUTTONS), "Button 0");
        EXPECT_EQ(Sel(d, ID_COMMANDS), 2);
        EXPECT_EQ(SelText(d, ID_COMMANDS), "0");
        // The channel key of this remote carries a direction command.
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Ch Up"));
        EXPECT_EQ(SelText(d, ID_COMMANDS), "UP");
    });
    ExpectSavedFile(ANY_ORDER, 1, 350, 100, 60, expected::kType2Set);
}

// After Close no device is left to ask: the factory set still follows the
// buttons the dialog lists, here those of a type-2 remote.
TEST_F(SetupDialogTest, DefaultsAfterCloseRestoreTheSetOfTheButtonsOnScreen)
{
    OpenPlugin();
    plugin.Close();
    WorkDialog([&](HWND d) {
        EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(2));
        Click(d, ID_DEFAULTS);
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Ch Up"));
        EXPECT_EQ(SelText(d, ID_COMMANDS), "UP");
    });
    ExpectSavedFile(WRITE_ORDER, 0, 350, 100, 60, expected::kType2Set);
}

// ---------------------------------------------------------------------------
// Live key display

TEST_F(SetupDialogTest, LiveDisplayShowsPressDecimalRepeatsPastNineAndReleaseAndTheHostGetsNothing)
{
    Sim()->remoteType[0] = 0;  // table 0
    // A repeat at every poll.
    const std::string ini =
        "[Hardware]\r\nDelayBeforeRepeat=0\r\nRepeatInterval=20\r\nReleaseTime=60\r\n[Buttons]\r\n1A=CH_UP\r\n";
    ASSERT_TRUE(PutIni(ini));
    OpenPlugin();
    EXPECT_GT(plugin.Start(), 0u);

    const Texts& statuses = g_statuses;  // from the first step on
    Script script;
    script
        .Do([&](HWND d) {
            RecordStatuses(d);
            ASSERT_TRUE(PickText(d, ID_BUTTONS, "Button 3"));
            SimHold(100);  // above 92: changes nothing
        })
        .Pause(400)
        .Do([&](HWND d) {
            EXPECT_EQ(Text(d, ID_STATUS), kReleased);
            EXPECT_EQ(Text(d, ID_CODE), "");
            EXPECT_EQ(Text(d, ID_LABEL), "");
            SimHold(0x1A);
        })
        .Until("twelfth repeat", [&](HWND) { return statuses.size() >= 14; })
        .Do([&](HWND d) {
            EXPECT_EQ(Text(d, ID_CODE), "0x1A");
            EXPECT_EQ(Text(d, ID_LABEL), "Chan +");
            EXPECT_EQ(SelText(d, ID_BUTTONS), "Chan +") << "the press selects the button";
            EXPECT_EQ(SelText(d, ID_COMMANDS), "CH_UP") << "and its binding";
            SimHold(255);
        })
        .Until("release", [&](HWND) { return statuses.back() == kReleased; })
        .Do([&](HWND) {
            // "Отжата", "Нажата", "Повтор 1", "Повтор 2", ... "Повтор n", "Отжата".
            ASSERT_GE(statuses.size(), 15u);
            Texts expected = {kReleased, kPressed};
            for (size_t n = 1; n + 3 <= statuses.size(); ++n)
                expected.push_back(Repeat(static_cast<int>(n)));
            expected.push_back(kReleased);
            EXPECT_EQ(statuses, expected);
            SimHold(0x19);  // no label in table 0
        })
        .Until("press of 0x19 shown", [](HWND d) { return Text(d, ID_CODE) == "0x19"; })
        .Do([&](HWND d) {
            EXPECT_EQ(Text(d, ID_STATUS), kPressed);
            EXPECT_EQ(Text(d, ID_LABEL), "");
            EXPECT_EQ(SelText(d, ID_BUTTONS), "Chan +") << "the lists stay";
            EXPECT_EQ(SelText(d, ID_COMMANDS), "CH_UP");
            SimHold(255);
        })
        .Until("release of 0x19", [](HWND d) { return Text(d, ID_STATUS) == kReleased; })
        .Do([](HWND d) { Exit(d); });
    ExpectRanThrough(RunSetup(script));
    EXPECT_TRUE(host.messages.empty()) << "a bound button reached the host while the dialog was open";
    EXPECT_EQ(ReadFileText(PluginIniPath()), ini) << "the display changes no setting";

    // After the exit button events go to the host again, polling still on.
    EXPECT_EQ(plugin.Start(), 1u) << "polling was on before Setup and stays on";
    ASSERT_TRUE(HostReceives(0x1A, 1));
    EXPECT_EQ(host.messages[0].Command(), "CH_UP");
    EXPECT_EQ(host.messages[0].lParam, 0);
    EXPECT_EQ(host.messages[0].Source(), "TV");
    SimHold(255);
    EXPECT_TRUE(RecordingHost::PumpUntil([&] { return host.messages.back().lParam == -1; }, kEventMs));
    plugin.Stop();
}

// The status texts the display sets read right as wide text whatever the
// ANSI code page. The "codepage" test runs this case alone in a process with
// code page 1252 (VRC_EXPECT_ACP), where Windows-1251 bytes read as "Íàæàòà".
// (The template's own first "Отжата" is left out: Wine, unlike Windows, turns
// the texts of a template opened through the ANSI call into the ANSI code
// page, so there it reads as question marks.)
TEST_F(SetupDialogTest, StatusTextsReadRightWhateverTheCodePage)
{
    if (const char* acp = getenv("VRC_EXPECT_ACP")) {
        ASSERT_EQ(GetACP(), strtoul(acp, nullptr, 10));
    }
    const std::wstring pressed = L"\u041d\u0430\u0436\u0430\u0442\u0430";
    const std::wstring released = L"\u041e\u0442\u0436\u0430\u0442\u0430";
    const std::wstring repeat1 = L"\u041f\u043e\u0432\u0442\u043e\u0440 1";
    Sim()->remoteType[0] = 0;
    ASSERT_TRUE(PutIni("[Hardware]\r\nDelayBeforeRepeat=0\r\nRepeatInterval=400\r\n"));
    OpenPlugin();
    std::vector<std::wstring> statuses;
    auto watch = [&](HWND d) {
        wchar_t text[64] = {};
        GetDlgItemTextW(d, ID_STATUS, text, 64);
        if (statuses.empty() || statuses.back() != text)
            statuses.push_back(text);
        return std::wstring(text);
    };
    Script script;
    script
        .Do([&](HWND d) {
            watch(d);
            SimHold(0x1A);
        })
        .Until("first repeat", [&](HWND d) { return watch(d) == repeat1; })
        .Do([](HWND) { SimHold(255); })
        .Until("release", [&](HWND d) { return watch(d) == released; })
        .Do([](HWND d) { Exit(d); });
    ExpectRanThrough(RunSetup(script));
    ASSERT_GE(statuses.size(), 4u);
    EXPECT_EQ(std::vector<std::wstring>(statuses.begin() + 1, statuses.begin() + 3),
              (std::vector<std::wstring>{pressed, repeat1}));
    EXPECT_EQ(statuses.back(), released);
}

TEST_F(SetupDialogTest, LiveDisplayPressInTable1SelectsRecNotRecall)
{
    Sim()->remoteType[0] = 1;
    OpenPlugin();
    Script script;
    script.Do([](HWND) { SimHold(0x1D); })
        .Until("press of 0x1D shown", [](HWND d) { return Text(d, ID_CODE) == "0x1D"; })
        .Do([](HWND d) {
            EXPECT_EQ(Text(d, ID_LABEL), "REC");
            EXPECT_EQ(SelText(d, ID_BUTTONS), "REC");
            SimHold(255);
            Exit(d);
        });
    ExpectRanThrough(RunSetup(script));
}

// A button held while the dialog opens and closes: the host gets the release
// of the press it saw, the dialog shows a press of its own, and after the
// dialog the host's first event is a fresh press, never a repeat or release
// of a press it did not see.
TEST_F(SetupDialogTest, HeldButtonChangesHandsWithTheDialog)
{
    Sim()->remoteType[0] = 0;
    ASSERT_TRUE(PutIni("[Buttons]\r\n1A=CH_UP\r\n"));
    OpenPlugin();
    EXPECT_GT(plugin.Start(), 0u);
    ASSERT_TRUE(HostReceives(0x1A, 1));
    ASSERT_EQ(host.messages[0].lParam, 0);

    size_t atOpening = 0;
    Script script;
    script.Do([&](HWND) { atOpening = host.messages.size(); })
        .Until("press shown in the dialog", [](HWND d) { return Text(d, ID_STATUS) == kPressed; })
        .Do([](HWND d) {
            EXPECT_EQ(Text(d, ID_CODE), "0x1A");
            Exit(d);  // still held
        });
    ExpectRanThrough(RunSetup(script));
    ASSERT_GE(atOpening, 2u);
    EXPECT_EQ(host.messages[atOpening - 1].lParam, -1) << "the host's press was not released when the dialog opened";
    EXPECT_EQ(host.messages[atOpening - 1].Command(), "CH_UP");
    EXPECT_EQ(host.messages.size(), atOpening) << "the host got events while the dialog was open";

    ASSERT_TRUE(RecordingHost::PumpUntil([&] { return host.messages.size() > atOpening; }, kEventMs));
    EXPECT_EQ(host.messages[atOpening].lParam, 0) << "after the dialog the held button must reach the host as a press";
    EXPECT_EQ(host.messages[atOpening].Command(), "CH_UP");
    SimHold(255);
    EXPECT_TRUE(RecordingHost::PumpUntil([&] { return host.messages.back().lParam == -1; }, kEventMs));
    for (size_t i = atOpening + 1; i + 1 < host.messages.size(); ++i)
        EXPECT_EQ(host.messages[i].lParam, static_cast<LPARAM>(i - atOpening)) << "repeats run 1, 2, 3, ...";
    plugin.Stop();
}

TEST_F(SetupDialogTest, SetupWithPollingOffPollsDuringTheDialogAndLeavesItOff)
{
    Sim()->remoteType[0] = 0;
    ASSERT_TRUE(PutIni("[Buttons]\r\n1A=CH_UP\r\n"));
    OpenPlugin();
    Script script;
    script.Do([](HWND) { SimHold(0x1A); })
        .Until("press shown: Setup polls", [](HWND d) { return Text(d, ID_STATUS) == kPressed; })
        .Do([](HWND d) {
            EXPECT_EQ(Text(d, ID_CODE), "0x1A");
            SimHold(255);
        })
        .Until("release shown", [](HWND d) { return Text(d, ID_STATUS) == kReleased; })
        .Do([](HWND d) { Exit(d); });
    ExpectRanThrough(RunSetup(script));
    EXPECT_TRUE(host.messages.empty());

    SimHold(0x1A);
    RecordingHost::PumpFor(1000);
    EXPECT_TRUE(host.messages.empty()) << "polling left on after Setup";
    SimHold(255);
    const uint32_t id = plugin.Start();
    EXPECT_GT(id, 1u) << "Start found polling already on";
    ASSERT_TRUE(HostReceives(0x1A, 1));
    EXPECT_EQ(host.messages[0].Command(), "CH_UP");
    EXPECT_EQ(host.messages[0].lParam, 0);
    SimHold(255);
    plugin.Stop();
}

// ---------------------------------------------------------------------------
// One dialog at a time

namespace {

int g_secondDialogs;  // setup dialogs found besides the one the script works

// Ends any setup dialog but the script's, as its exit button would.
VOID CALLBACK EndSecondDialog(HWND, UINT, UINT_PTR, DWORD)
{
    if (HWND second = FindSetupDialog(true, ScriptDialog())) {
        ++g_secondDialogs;
        Click(second, ID_EXIT);
    }
}

}  // namespace

// A host that calls Setup again while the dialog is open (here from a timer
// of its thread, run by the dialog's modal loop) gets -1 at once and no second
// dialog; the first one keeps its edits and its key events.
TEST_F(SetupDialogTest, SetupWhileItsDialogIsOpenReturnsMinusOneAndChangesNothing)
{
    OpenPlugin();
    int32_t nested = 0;
    g_secondDialogs = 0;
    Script script;
    script
        .Do([&](HWND d) {
            Type(d, ID_DELAY, "500");
            const UINT_PTR ender = SetTimer(nullptr, 0, 100, EndSecondDialog);  // should a second one open
            nested = plugin.Setup();
            KillTimer(nullptr, ender);
            Type(d, ID_INTERVAL, "150");
            SimHold(0x12);
        })
        .Until("press shown: the dialog still takes key events", [](HWND d) { return Text(d, ID_STATUS) == kPressed; })
        .Do([](HWND d) {
            SimHold(255);
            Exit(d);
        });
    ExpectRanThrough(RunSetup(script));
    EXPECT_EQ(nested, -1);
    EXPECT_EQ(g_secondDialogs, 0) << "a second dialog was shown";
    ExpectSavedFile(WRITE_ORDER, 0, 500, 150, 60, {});
}

// ---------------------------------------------------------------------------
// The host's Open and Close from a timer of its own, run by the dialog's loop.

// Untouched, the dialog shows what Open read; what the user changed there is
// saved before Open reads the file, so it stays on screen and in force.
TEST_F(SetupDialogTest, OpenWhileTheDialogIsOpenShowsWhatItReadAndKeepsTheUsersEdits)
{
    TwoCards("Card Alpha", 2, "Card Beta", 2);
    OpenPlugin();
    WorkDialog([&](HWND d) {
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Power"));
        ASSERT_TRUE(PutIni("[Hardware]\r\nDeviceIndex=1\r\nReleaseTime=80\r\n[Buttons]\r\n12=MUTE\r\n"));
        plugin.Open("TV", host.Window(), 0);
        EXPECT_EQ(Text(d, ID_RELEASE), "80");
        EXPECT_EQ(Sel(d, ID_DEVICES), 1);
        EXPECT_EQ(SelText(d, ID_COMMANDS), "MUTE");

        Type(d, ID_DELAY, "450");
        ASSERT_TRUE(PickText(d, ID_COMMANDS, "SCAN"));
        Pick(d, ID_DEVICES, 0);
        plugin.Open("TV", host.Window(), 0);
        EXPECT_EQ(Text(d, ID_DELAY), "450");
        EXPECT_EQ(Sel(d, ID_DEVICES), 0);
        EXPECT_EQ(SelText(d, ID_COMMANDS), "SCAN");
    });
    ExpectSavedFile(ANY_ORDER, 0, 450, 100, 80, {{0x12, "SCAN"}});
    EXPECT_EQ(Sim()->lastOpenIndex, 0u);
    ASSERT_GT(plugin.Start(), 0u);
    ASSERT_TRUE(HostReceives(0x12, 1));
    EXPECT_EQ(host.messages[0].Command(), "SCAN");
}

// After Close no card is open: the dialog offers none to pick, as it would
// if opened now, so no binding is made with another remote's codes.
TEST_F(SetupDialogTest, CloseWhileTheDialogIsOpenOffersNoCardAndBindsInTheTableInForce)
{
    TwoCards("Card Alpha", 2, "Card Beta", 1);
    OpenPlugin();
    WorkDialog([&](HWND d) {
        plugin.Close();
        EXPECT_EQ(Items(d, ID_DEVICES), Texts{kNoDevice});
        EXPECT_FALSE(IsWindowEnabled(Item(d, ID_DEVICES)));
        Pick(d, ID_DEVICES, 1);
        EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(2));
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        ASSERT_TRUE(PickText(d, ID_COMMANDS, "MUTE"));
    });
    ExpectSavedFile(WRITE_ORDER, 0, 350, 100, 60, {{0x11, "MUTE"}});
}

// The host's Start inside the dialog, also after an Open there, makes the
// polling the host's: it outlives the dialog.
TEST_F(SetupDialogTest, StartWhileTheDialogIsOpenKeepsTheRemoteAliveAfterIt)
{
    const struct {
        const char* name;
        bool reopen;
    } rows[] = {{"Start inside", false}, {"Open then Start inside", true}};
    ASSERT_TRUE(PutIni("[Buttons]\r\n12=POWER\r\n"));
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const auto& r : rows) {
        ASSERT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription) << r.name;
        host.messages.clear();
        WorkDialog([&](HWND) {
            if (r.reopen)
                plugin.Open("TV", host.Window(), 0);
            EXPECT_NE(plugin.Start(), 0u) << r.name;
        });
        EXPECT_TRUE(HostReceives(0x12, 1) && host.messages[0].lParam == 0 && host.messages[0].Command() == "POWER")
            << r.name << ": no press reached the host after the dialog";
        SimHold(255);
        plugin.Close();
    }
}

// A save that fails while the host opens again loses no edit: the edits stay
// in force, on screen and pending, and the dialog's end saves them.
TEST_F(SetupDialogTest, OpenWhileTheDialogIsOpenWithAFailedSaveKeepsTheEditsForItsEnd)
{
    OpenPlugin();
    const std::string path = PluginIniPath();
    const std::string warning = "Unable to save settings to '" + path + "'!";
    WorkDialog([&](HWND d) {
        Type(d, ID_DELAY, "450");
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Power"));
        ASSERT_TRUE(PickText(d, ID_COMMANDS, "SCAN"));
        ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));  // a directory where the file should be
        plugin.Open("TV", host.Window(), 0);
        boxes.ExpectOneWarning(warning);
        EXPECT_EQ(Text(d, ID_DELAY), "450");
        EXPECT_EQ(SelText(d, ID_BUTTONS), "Power");
        EXPECT_EQ(SelText(d, ID_COMMANDS), "SCAN");
        EXPECT_TRUE(RemoveDirectoryA(path.c_str()));
    });
    RemoveDirectoryA(path.c_str());  // should a step have failed before
    boxes.ExpectOneWarning(warning);
    ExpectSavedFile(WRITE_ORDER, 0, 450, 100, 60, {{0x12, "SCAN"}});
}

// After the host's Open the lists show the cards and the labels in force:
// cards gone since the dialog opened, or cards come.
TEST_F(SetupDialogTest, OpenWhileTheDialogIsOpenShowsTheCardsAndLabelsInForce)
{
    struct Lists {
        uint32_t cards;
        Texts devices;
        bool enabled;
        int sel, table;
    };
    const Lists none = {0, {kNoDevice}, false, 0, 0};
    const Lists cards = {2, {"Card Alpha", "Card Beta"}, true, 1, 1};
    const struct {
        const char* name;
        const Lists &atSetup, &atOpen;
    } rows[] = {{"cards gone", cards, none}, {"cards come", none, cards}};
    const auto expectLists = [](HWND d, const Lists& l, const std::string& what) {
        EXPECT_EQ(Items(d, ID_DEVICES), l.devices) << what;
        EXPECT_EQ(IsWindowEnabled(Item(d, ID_DEVICES)) != FALSE, l.enabled) << what;
        EXPECT_EQ(Sel(d, ID_DEVICES), l.sel) << what;
        EXPECT_EQ(Items(d, ID_BUTTONS), LabelsOf(l.table)) << what;
    };
    ASSERT_TRUE(PutIni("[Hardware]\r\nDeviceIndex=1\r\n"));
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const auto& r : rows) {
        TwoCards("Card Alpha", 2, "Card Beta", 1);
        Sim()->cardCount = r.atSetup.cards;
        ASSERT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription) << r.name;
        WorkDialog([&](HWND d) {
            expectLists(d, r.atSetup, std::string(r.name) + ", at Setup");
            Sim()->cardCount = r.atOpen.cards;
            plugin.Open("TV", host.Window(), 0);
            expectLists(d, r.atOpen, std::string(r.name) + ", after Open");
        });
        plugin.Close();
    }
}

// The setup dialog as a host and a user work it: this thread calls Setup, a script run from its timer inside the
// modal loop works the controls; the file, the simulator's counters and the host's messages show the rest.
#include <windows.h>
#include <commctrl.h>
#include <stdlib.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <tuple>

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
// Texts the dialog sets at run time, Windows-1251 and wide.
const std::string kPressed = "\xcd\xe0\xe6\xe0\xf2\xe0";   // "Нажата"
const std::string kReleased = "\xce\xf2\xe6\xe0\xf2\xe0";  // "Отжата"
const std::wstring kPressedW = L"\u041d\u0430\u0436\u0430\u0442\u0430";
const std::wstring kReleasedW = L"\u041e\u0442\u0436\u0430\u0442\u0430";
const std::wstring kRepeatW = L"\u041f\u043e\u0432\u0442\u043e\u0440 ";  // "Повтор ", then the repeat's number
const char kNoDevice[] = "< NONE >";

// Timings other than the factory's, as keys of [Hardware].
const std::string kEditedTimings = "DelayBeforeRepeat=500\r\nRepeatInterval=150\r\nReleaseTime=70\r\n";

// The timing edits with their up-downs, factory values, and the arrows' ranges and steps.
struct Timing {
    int edit, spin, factory, minimum, maximum, step;
};
const Timing kTimings[] = {{ID_DELAY, ID_DELAY_SPIN, 350, 200, 800, 50},
                           {ID_INTERVAL, ID_INTERVAL_SPIN, 100, 80, 200, 10},
                           {ID_RELEASE, ID_RELEASE_SPIN, 60, 40, 400, 10}};

// The device list's items, selection and whether it can be used.
void ExpectDevices(HWND d, const Texts& items, int sel, bool enabled)
{
    EXPECT_EQ(std::make_tuple(Items(d, ID_DEVICES), Sel(d, ID_DEVICES), IsWindowEnabled(Item(d, ID_DEVICES)) != FALSE),
              std::make_tuple(items, sel, enabled));
}

// Holds code until the dialog shows its press.
Script PressInDialog(Script script, uint32_t code)
{
    char hex[8];
    snprintf(hex, sizeof hex, "0x%.2X", code);
    return script.Do([code](HWND) { SimHold(code); })
        .Until("press of " + std::string(hex) + " shown", [hex = std::string(hex)](HWND d) {
            return Shown(d, {ID_CODE, ID_STATUS}) == Texts{hex, kPressed};
        });
}

// The same, then checks the dialog and lets go until it shows the release.
Script HoldInDialog(
    Script script, uint32_t code, const std::function<void(HWND)>& check = [](HWND) {})
{
    return PressInDialog(script, code).Do(check).Do([](HWND) { SimHold(255); }).Until("release shown", [](HWND d) {
        return Text(d, ID_STATUS) == kReleased;
    });
}

// A window's text (a dialog's caption) read wide.
std::wstring WideText(HWND window)
{
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    return text;
}

// Every text the status field is given from RecordStatuses on, read wide: none is missed however fast events come.
typedef std::vector<std::wstring> WideTexts;
WideTexts g_statuses;
WNDPROC g_statusProc;
LRESULT CALLBACK RecordStatus(HWND field, UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallWindowProcW(g_statusProc, field, message, wParam, lParam);
    if (message == WM_SETTEXT)
        g_statuses.push_back(WideText(field));
    return result;
}
void RecordStatuses(HWND d)
{
    g_statuses = {WideText(Item(d, ID_STATUS))};
    g_statusProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(Item(d, ID_STATUS), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordStatus)));
}

class SetupDialogTest : public HostedPluginTest {
protected:
    // Cards "Card Alpha" (the simulator's remote type 2) and "Card Beta" with a remote of secondType.
    static void TwoCards(int32_t secondType)
    {
        Sim()->cardCount = 2;
        strcpy(Sim()->cardNames[0], "Card Alpha");
        strcpy(Sim()->cardNames[1], "Card Beta");
        Sim()->remoteType[1] = secondType;
    }
    // Picks the button, then the command for it; false if a list lacks either.
    static bool Bind(HWND d, const char* button, const char* command)
    {
        return PickText(d, ID_BUTTONS, button) && PickText(d, ID_COMMANDS, command);
    }
    // Picks the button and reads the command shown for it.
    static std::string CommandFor(HWND d, const char* button)
    {
        return PickText(d, ID_BUTTONS, button) ? SelText(d, ID_COMMANDS) : "<no " + std::string(button) + ">";
    }
    // "По умолчанию": the factory timings, and button 0 shown with its factory word.
    static void ClickDefaults(HWND d)
    {
        Click(d, ID_DEFAULTS);
        EXPECT_EQ(Shown(d, {ID_DELAY, ID_INTERVAL, ID_RELEASE, ID_BUTTONS, ID_COMMANDS}),
                  (Texts{"350", "100", "60", "Button 0", "0"}));
        EXPECT_EQ(std::make_pair(Sel(d, ID_BUTTONS), Sel(d, ID_COMMANDS)), std::make_pair(0, 2));
    }
    // The vendor's OpenCard and UnInit calls so far.
    static std::pair<uint32_t, uint32_t> CardCalls()
    {
        return {Sim()->callCount[CALL_OPEN_CARD], Sim()->callCount[CALL_UNINIT]};
    }

    // The host's Open for its window, the plug-in loaded.
    void HostOpen() { ASSERT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription); }
    // The settings file beside the plug-in; "" when there is none.
    bool PutIni(const std::string& text) { return PutSettingsFile(PluginIniPath(), text); }
    std::string Ini() { return ReadFileText(PluginIniPath()); }
    void OpenWith(const std::string& ini)
    {
        ASSERT_TRUE(PutIni(ini));
        OpenPlugin();
    }
    // That file as the plug-in saves it; the factory timings unless given.
    void ExpectSaved(KeyOrder order, uint32_t device, const expected::CodeTexts& bindings, uint32_t delay = 350,
                     uint32_t interval = 100, uint32_t release = 60)
    {
        ExpectSavedFile(PluginIniPath(), order, device, delay, interval, release, bindings);
    }

    // Calls Setup while the script works the dialog; every step must run and the script close the dialog itself.
    SetupRun RunThrough(const Script& script)
    {
        const SetupRun run = RunSetup(script, [this] { return plugin.Setup(); });
        EXPECT_TRUE(run.shown) << "no dialog";
        EXPECT_TRUE(run.completed) << "the dialog ended before the script did, or a step failed";
        EXPECT_FALSE(run.forcedEnd) << "the dialog did not end when the script expected it to";
        return run;
    }
    // Calls Setup, works the dialog in one step and presses its exit button.
    SetupRun WorkDialog(const std::function<void(HWND)>& work)
    {
        return RunThrough(Script().Do([&](HWND d) {
            work(d);
            Exit(d);
        }));
    }

    // Holds code until the host gets a message: its command if it is a press.
    std::string HostPress(uint32_t code)
    {
        const size_t before = host.messages.size();
        if (!host.Hold(code, before + 1, kEventMs))
            return "<nothing>";
        return host.messages[before].lParam == 0 ? host.messages[before].Command() : "<not a press>";
    }
    // The same, then lets go until the host's last message is a release.
    std::string HostTap(uint32_t code)
    {
        const std::string press = HostPress(code);
        SimHold(255);
        const auto released = [&] { return !host.messages.empty() && host.messages.back().lParam == -1; };
        return RecordingHost::PumpUntil(released, kEventMs) ? press : press + " without a release";
    }
};

}  // namespace

// The test program has no common-controls initialisation of its own: the up-down class must come from Setup.
TEST_F(SetupDialogTest, OpensWithCardsLabelsVocabularyTimingsAndFocusOnExit)
{
    const PeNames names = ReadPeNames(ProgramFolder(0));
    ASSERT_FALSE(names.imports.empty());
    for (const std::string& dll : names.imports)
        ASSERT_NE(_stricmp(dll.c_str(), "comctl32.dll"), 0) << "the test host must not load the common controls";

    TwoCards(2);
    const std::string ini = "[Hardware]\r\nDeviceIndex=0\r\n" + kEditedTimings + "[Buttons]\r\n00=mute\r\n";
    OpenWith(ini);
    const SetupRun run = WorkDialog([&](HWND d) {
        EXPECT_EQ(WideText(d), kCaption);
        EXPECT_EQ(GetWindow(d, GW_OWNER), host.Window()) << "modal over the host window";
        ExpectDevices(d, {"Card Alpha", "Card Beta"}, 0, true);
        EXPECT_EQ(std::make_pair(Items(d, ID_BUTTONS), Sel(d, ID_BUTTONS)),
                  std::make_pair(expected::ListedLabels(2), 0));
        EXPECT_EQ(Items(d, ID_COMMANDS), expected::kVocabulary);
        // Button 0's binding in any case, the timings, then the display.
        EXPECT_EQ(Shown(d, {ID_COMMANDS, ID_DELAY, ID_INTERVAL, ID_RELEASE, ID_STATUS, ID_CODE, ID_LABEL}),
                  (Texts{"MUTE", "500", "150", "70", kReleased, "", ""}));
        EXPECT_EQ(GetFocus(), Item(d, ID_EXIT));
        for (const Timing& t : kTimings) {
            SCOPED_TRACE(t.spin);
            const HWND spin = Item(d, t.spin);
            ASSERT_NE(spin, nullptr);
            UDACCEL accel[4] = {};
            const LRESULT accels = SendMessageA(spin, UDM_GETACCEL, 4, reinterpret_cast<LPARAM>(accel));
            // Class, buddy, range, and one step only.
            EXPECT_EQ(std::make_tuple(ClassOf(spin), reinterpret_cast<HWND>(SendMessageA(spin, UDM_GETBUDDY, 0, 0)),
                                      SendMessageA(spin, UDM_GETRANGE, 0, 0), accels, accel[0].nInc),
                      std::make_tuple(std::string("msctls_updown32"), Item(d, t.edit),
                                      static_cast<LRESULT>(MAKELONG(t.maximum, t.minimum)), LRESULT{1},
                                      static_cast<UINT>(t.step)));
        }
    });
    EXPECT_NE(run.result, -1);
    EXPECT_EQ(Ini(), ini) << "closing without a change writes nothing";
}

// "< NONE >", disabled, and no card asked for without cards or with an error count (top bit set).
TEST_F(SetupDialogTest, ButtonListHoldsTheNonEmptyLabelsOfTheCardsTable)
{
    const struct {
        const char* name;
        uint32_t cards;
        int32_t remoteType;
        int table;
    } rows[] = {{"remote type 0", 1, 0, 0}, {"remote type 1", 1, 1, 1}, {"remote type 2", 1, 2, 2},
                {"remote type 7", 1, 7, 0}, {"no cards", 0, 2, 0},      {"error count", 0xFFFFFFFFu, 2, 0}};
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const bool card = r.cards == 1;
        ResetSim();
        Sim()->cardCount = r.cards;
        Sim()->remoteType[0] = r.remoteType;
        HostOpen();
        WorkDialog([&](HWND d) {
            ExpectDevices(d, {card ? "Simulated TV card" : kNoDevice}, 0, card);
            EXPECT_EQ(std::make_pair(Items(d, ID_BUTTONS), Sel(d, ID_BUTTONS)),
                      std::make_pair(expected::ListedLabels(r.table), 0));
            EXPECT_EQ(Sel(d, ID_COMMANDS), 0) << "button 0 unbound";
            EXPECT_EQ(Text(d, ID_STATUS), kReleased);
        });
        plugin.Close();
        EXPECT_EQ(Ini(), "") << "nothing written without a change";
        if (!card) {
            EXPECT_EQ(Sim()->callCount[CALL_GET_CARD_NAME] + Sim()->callCount[CALL_OPEN_CARD], 0u);
        }
    }
    for (const BoxRecord& box : boxes.Boxes())
        EXPECT_NE(box.caption, "VantorixRC") << box.text;
}

TEST_F(SetupDialogTest, WithoutVendorLibraryTheDeviceListShowsNoneDisabledAndDefaultsStillSave)
{
    ASSERT_TRUE(RemoveVendor());
    OpenPlugin();
    boxes.ExpectOneWarning(LoadWarning(VendorLibraryPath()));
    WorkDialog([&](HWND d) {
        ExpectDevices(d, {kNoDevice}, 0, false);
        EXPECT_EQ(Items(d, ID_BUTTONS), expected::ListedLabels(0));
        EXPECT_EQ(Text(d, ID_STATUS), kReleased);
        ClickDefaults(d);
    });
    ExpectSaved(WRITE_ORDER, 0, expected::kOtherSet);
}

TEST_F(SetupDialogTest, EscapeAndCloseRequestsKeepItOpenAndEnterExits)
{
    OpenPlugin();
    EXPECT_GT(plugin.Start(), 0u);
    const SetupRun run = RunThrough(
        Script()
            .Do([&](HWND d) {
                ASSERT_EQ(GetFocus(), Item(d, ID_EXIT));
                PostKey(Item(d, ID_EXIT), VK_ESCAPE);
                SendMessageA(d, WM_COMMAND, IDCANCEL, 0);
                SendMessageA(d, WM_CLOSE, 0, 0);
                SendMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0);
                // Queued behind Escape and the close requests: once the focus has moved, they have all been handled.
                PostKey(Item(d, ID_EXIT), VK_TAB);
            })
            .Until("Tab moves the focus to the device list", [](HWND d) { return GetFocus() == Item(d, ID_DEVICES); })
            .Do([&](HWND d) {
                EXPECT_TRUE(IsWindowVisible(d)) << "Escape or a close request ended the dialog";
                PostKey(GetFocus(), VK_RETURN);  // ends it through the default button
            }));
    EXPECT_EQ(run.result, 0) << "exit result while polling was on";
    EXPECT_EQ(Ini(), "") << "the list gaining the focus on the card in use changed nothing";
}

// Ended by its owner's end or by WM_QUIT in its loop (posted again for the host): the keys go back to the host.
TEST_F(SetupDialogTest, ADialogEndedFromOutsideHandsTheKeysBackToTheHost)
{
    ASSERT_TRUE(PutIni("[Buttons]\r\n12=POWER\r\n"));
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "WM_QUIT" : "owner destroyed");
        // Not a pooled host window: this one is destroyed.
        const HWND owner = CreateWindowA("STATIC", "", WS_OVERLAPPED, 0, 0, 50, 50, nullptr, nullptr, nullptr, nullptr);
        plugin.Open("TV", owner, 0);
        RunThrough(Script().Do([&](HWND) { quit ? PostQuitMessage(0) : static_cast<void>(DestroyWindow(owner)); }));
        MSG msg;
        EXPECT_EQ(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE), quit ? TRUE : FALSE);
        DestroyWindow(owner);
        HostOpen();
        ASSERT_GT(plugin.Start(), 0u);
        EXPECT_EQ(HostTap(0x12), "POWER") << "no press and release reached the host";
    }
}

TEST_F(SetupDialogTest, ArrowsStepWithinTheirRangesAndTypedOrEmptyTextIsStored)
{
    OpenPlugin();
    WorkDialog([&](HWND d) {
        for (const Timing& t : kTimings) {
            SCOPED_TRACE(t.edit);
            ASSERT_EQ(Text(d, t.edit), std::to_string(t.factory));
            // Up past the maximum, then down past the minimum.
            Texts expected, actual;
            int value = t.factory;
            for (const int key : {VK_UP, VK_DOWN}) {
                const int steps = (t.maximum - (key == VK_UP ? t.factory : t.minimum)) / t.step + 2;
                for (int i = 0; i < steps; ++i) {
                    value = key == VK_UP ? std::min(value + t.step, t.maximum) : std::max(value - t.step, t.minimum);
                    expected.push_back(std::to_string(value));
                    Arrow(d, t.edit, key);
                    actual.push_back(Text(d, t.edit));
                }
            }
            EXPECT_EQ(actual, expected);
        }
        Type(d, ID_DELAY, "900");
        Type(d, ID_INTERVAL, "");
        EXPECT_EQ(Text(d, ID_DELAY), "900");
    });
    // 900 beyond the arrows' range, 0 for the emptied edit, 40 from the arrows.
    ExpectSaved(WRITE_ORDER, 0, {}, 900, 0, 40);
}

TEST_F(SetupDialogTest, ATimingChangedAndChangedBackIsStillSaved)
{
    OpenWith("[Hardware]\r\n" + kEditedTimings);
    WorkDialog([&](HWND d) {
        Type(d, ID_DELAY, "501");
        Type(d, ID_DELAY, "500");
    });
    ExpectSaved(ANY_ORDER, 0, {}, 500, 150, 70);
}

TEST_F(SetupDialogTest, TimingTextIsStoredAsTypedAndAboveTheUnsignedRangeAsZero)
{
    OpenPlugin();
    WorkDialog([&](HWND d) {
        Type(d, ID_INTERVAL, "4294967296");
        // Stored as typed, far beyond any range. (4294967294: Wine's reading takes 4294967295 itself for an overflow.)
        Type(d, ID_RELEASE, "4294967294");
    });
    ExpectSaved(WRITE_ORDER, 0, {}, 350, 0, 4294967294u);
}

TEST_F(SetupDialogTest, PickingTheCardInUseChangesNothing)
{
    TwoCards(1);
    const std::string ini = "[Hardware]\r\nDeviceIndex=0\r\n[Buttons]\r\n00=MUTE\r\n";
    OpenWith(ini);
    WorkDialog([&](HWND d) {
        const auto calls = CardCalls();
        Pick(d, ID_DEVICES, 0);
        for (int code : {CBN_SETFOCUS, CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELENDOK, CBN_KILLFOCUS})
            Notify(d, ID_DEVICES, code);
        EXPECT_EQ(CardCalls(), calls) << "the card was opened or closed";
        EXPECT_EQ(Items(d, ID_BUTTONS), expected::ListedLabels(2));
    });
    EXPECT_EQ(Ini(), ini) << "settings not marked changed";
}

TEST_F(SetupDialogTest, ChangingTheCardReopensItAndBindsByLabelInTheNewTable)
{
    TwoCards(1);
    OpenWith("[Hardware]\r\nDeviceIndex=0\r\n[Buttons]\r\n00=MUTE\r\n");
    const Script changed = Script().Do([&](HWND d) {
        const uint32_t opens = CardCalls().first;
        Pick(d, ID_DEVICES, 1);
        EXPECT_EQ(std::make_pair(CardCalls().first, Sim()->lastOpenIndex), std::make_pair(opens + 1, 1u));
        EXPECT_EQ(Items(d, ID_BUTTONS), expected::ListedLabels(2)) << "the list keeps the labels it opened with";
    });
    // Polling runs again, on the new card's table: 0x1D is "REC" in table 1 ("Sleep" in table 2), not in the list.
    const auto recNotListed = [](HWND d) { EXPECT_EQ(Shown(d, {ID_LABEL, ID_BUTTONS}), (Texts{"REC", "Button 0"})); };
    RunThrough(HoldInDialog(changed, 0x1D, recNotListed).Do([&](HWND d) {
        // "Mute" is code 0x13 in table 1 (0x11 in table 2), which holds no bindings yet.
        EXPECT_EQ(CommandFor(d, "Mute"), "< None >");
        ASSERT_TRUE(PickText(d, ID_COMMANDS, "VOL_DOWN"));
        // "Ch Up" is missing from table 1: shown unbound, and binding it does nothing.
        EXPECT_EQ(CommandFor(d, "Ch Up"), "< None >");
        ASSERT_TRUE(PickText(d, ID_COMMANDS, "VOL_UP"));
        EXPECT_EQ(CommandFor(d, "Mute"), "VOL_DOWN");
        Exit(d);
    }));
    // The bindings of the new table; the file's 00=MUTE went to table 2 only.
    ExpectSaved(ANY_ORDER, 1, {{0x13, "VOL_DOWN"}});
}

TEST_F(SetupDialogTest, ChangingToACardThatFailsReleasesTheHeldButtonAndStopsPolling)
{
    TwoCards(2);
    Sim()->openResult[1] = 0;
    OpenPlugin();
    uint32_t reads = 0;
    Script script = PressInDialog(Script(), 0x12);
    script
        .Do([&](HWND d) {
            EXPECT_EQ(Text(d, ID_CODE), "0x12");
            Pick(d, ID_DEVICES, 1);
            EXPECT_EQ(Shown(d, {ID_STATUS, ID_CODE, ID_LABEL}), (Texts{kReleased, "0x12", "Power"}))
                << "the held button is released by the change";
            reads = Sim()->callCount[CALL_GET_REMOTE_CODE];
        })
        .Pause(600)
        .Do([&](HWND d) {
            EXPECT_EQ(Sim()->callCount[CALL_GET_REMOTE_CODE], reads) << "polling stopped";
            EXPECT_EQ(Text(d, ID_STATUS), kReleased);
            SimHold(255);
            // Table 0 is current now: "Info" is its code 0x10 (0x0D in table 2).
            ASSERT_TRUE(Bind(d, "Info", "SCAN"));
            Exit(d);
        });
    RunThrough(script);
    ExpectSaved(ANY_ORDER, 1, {{0x10, "SCAN"}});
    EXPECT_EQ(plugin.Start(), 0u) << "no card open";
}

// The stored card (second of two) is unplugged: no selection, and only a real choice changes card or file.
TEST_F(SetupDialogTest, AnAbsentConfiguredCardSurvivesTheDialogUntilARealChoice)
{
    const std::string ini = "[Hardware]\r\nDeviceIndex=1\r\n";
    OpenWith(ini);
    std::pair<uint32_t, uint32_t> calls;
    RunThrough(
        Script()
            .Do([&](HWND d) {
                ExpectDevices(d, {"Simulated TV card"}, CB_ERR, true);
                EXPECT_EQ(Items(d, ID_BUTTONS), expected::ListedLabels(0)) << "no card open, so table 0";
                calls = CardCalls();
                ASSERT_EQ(GetFocus(), Item(d, ID_EXIT));
                PostKey(Item(d, ID_EXIT), VK_TAB);
            })
            .Until("Tab moves the focus to the device list", [](HWND d) { return GetFocus() == Item(d, ID_DEVICES); })
            .Do([&](HWND d) {
                for (int code : {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELENDCANCEL, CBN_KILLFOCUS})
                    Notify(d, ID_DEVICES, code);
                EXPECT_EQ(CardCalls(), calls) << "the card was opened or closed";
                Exit(d);
            }));
    EXPECT_EQ(Ini(), ini) << "the stored card was changed";

    WorkDialog([&](HWND d) {
        Pick(d, ID_DEVICES, 0);
        EXPECT_EQ(CardCalls().first, calls.first + 1) << "the chosen card is opened";
    });
    ExpectSaved(ANY_ORDER, 0, {});
}

// An unterminated name before unreadable memory shows 63 characters; a null name is an empty item.
TEST_F(SetupDialogTest, CardNamesAreReadWithinTheirFirst64Bytes)
{
    const std::string name = "ABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKLMNOPQRSTUVWXYZABCDEFGHIJKL";  // 64 bytes
    Sim()->cardCount = 2;
    memcpy(Sim()->cardNames[0], name.data(), SIM_NAME_SIZE);
    Sim()->fencedName[0] = 1;
    Sim()->nullName[1] = 1;
    OpenPlugin();
    WorkDialog([&](HWND d) { EXPECT_EQ(Items(d, ID_DEVICES), (Texts{name.substr(0, 63), ""})); });
}

TEST_F(SetupDialogTest, ShowingABindingSelectsItsWordIgnoringCaseOrOther)
{
    const std::string ini = "[Buttons]\r\n00=MUTE\r\n0A=recall\r\n11=ZAP\r\n12=power\r\n";
    OpenWith(ini);
    WorkDialog([&](HWND d) {
        const std::pair<const char*, const char*> cases[] = {
            {"Mute", "< Other >"},    {"Power", "POWER"},   {"Recall", "RECALL"},
            {"Button 1", "< None >"}, {"Button 0", "MUTE"}, {"Freeze", "< None >"},
        };
        for (const auto& c : cases)
            EXPECT_EQ(CommandFor(d, c.first), c.second) << c.first;
    });
    EXPECT_EQ(Ini(), ini) << "showing a binding changes nothing";
}

TEST_F(SetupDialogTest, BindingStoresTheWordNoneEmptiesAndOtherKeepsThroughAnUnchangedTiming)
{
    OpenWith("[Buttons]\r\n00=MUTE\r\n11=ZAP\r\n12=POWER\r\n");
    WorkDialog([&](HWND d) {
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        Pick(d, ID_COMMANDS, 1);  // "< Other >"
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Power"));
        Pick(d, ID_COMMANDS, 0);  // "< None >"
        ASSERT_TRUE(Bind(d, "Button 5", "VOL_UP"));
        EXPECT_EQ(CommandFor(d, "Power"), "< None >");
        EXPECT_EQ(CommandFor(d, "Mute"), "< Other >");
        Type(d, ID_DELAY, "0350");  // the value in force: the bindings stay to be saved
    });
    ExpectSaved(ANY_ORDER, 0, {{0x00, "MUTE"}, {0x05, "VOL_UP"}, {0x11, "ZAP"}});

    // The bindings are live after the dialog: the kept word goes out unchanged.
    EXPECT_GT(plugin.Start(), 0u);
    EXPECT_EQ(HostTap(0x05), "VOL_UP");
    EXPECT_EQ(HostPress(0x11), "ZAP");
}

TEST_F(SetupDialogTest, OtherAloneMarksTheSettingsChanged)
{
    OpenWith("[Buttons]\r\n11=ZAP\r\n");
    WorkDialog([&](HWND d) {
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        Pick(d, ID_COMMANDS, 1);
    });
    ExpectSaved(ANY_ORDER, 0, {{0x11, "ZAP"}});
}

TEST_F(SetupDialogTest, DefaultsRestoreFactoryTimingsAndTheSetOfTheRemoteType)
{
    TwoCards(2);
    OpenWith("[Hardware]\r\nDeviceIndex=1\r\n" + kEditedTimings + "[Buttons]\r\n00=POWER\r\n28=MUTE\r\n");
    WorkDialog([&](HWND d) {
        EXPECT_EQ(Sel(d, ID_DEVICES), 1);
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Mute"));
        ClickDefaults(d);
        // The channel key of this remote carries a direction command.
        EXPECT_EQ(CommandFor(d, "Ch Up"), "UP");
    });
    ExpectSaved(ANY_ORDER, 1, expected::kType2Set);
}

// With no device left to ask, the factory set follows the buttons listed, here a type-2 remote's.
TEST_F(SetupDialogTest, DefaultsAfterCloseRestoreTheSetOfTheButtonsOnScreen)
{
    OpenPlugin();
    plugin.Close();
    WorkDialog([&](HWND d) {
        EXPECT_EQ(Items(d, ID_BUTTONS), expected::ListedLabels(2));
        ClickDefaults(d);
        EXPECT_EQ(CommandFor(d, "Ch Up"), "UP");
    });
    ExpectSaved(WRITE_ORDER, 0, expected::kType2Set);
}

TEST_F(SetupDialogTest, LiveDisplayShowsPressDecimalRepeatsPastNineAndReleaseAndTheHostGetsNothing)
{
    Sim()->remoteType[0] = 0;  // table 0
    // A repeat at every poll.
    const std::string ini =
        "[Hardware]\r\nDelayBeforeRepeat=0\r\nRepeatInterval=20\r\nReleaseTime=60\r\n[Buttons]\r\n1A=CH_UP\r\n";
    OpenWith(ini);
    EXPECT_GT(plugin.Start(), 0u);

    Script script;
    script
        .Do([&](HWND d) {
            RecordStatuses(d);
            ASSERT_TRUE(PickText(d, ID_BUTTONS, "Button 3"));
            SimHold(100);  // above 92: changes nothing
        })
        .Pause(400)
        .Do([&](HWND d) {
            EXPECT_EQ(Shown(d, {ID_STATUS, ID_CODE, ID_LABEL}), (Texts{kReleased, "", ""}));
            SimHold(0x1A);
        })
        .Until("twelfth repeat", [](HWND) { return g_statuses.size() >= 14; })
        .Do([&](HWND d) {
            // The press selects the button and its binding.
            EXPECT_EQ(Shown(d, {ID_CODE, ID_LABEL, ID_BUTTONS, ID_COMMANDS}),
                      (Texts{"0x1A", "Chan +", "Chan +", "CH_UP"}));
            SimHold(255);
        })
        .Until("release", [](HWND) { return g_statuses.back() == kReleasedW; })
        .Do([&](HWND) {
            // "Отжата", "Нажата", "Повтор 1", "Повтор 2", ... "Повтор n", "Отжата".
            ASSERT_GE(g_statuses.size(), 15u);
            WideTexts expected = {kReleasedW, kPressedW};
            for (size_t n = 1; n + 3 <= g_statuses.size(); ++n)
                expected.push_back(kRepeatW + std::to_wstring(n));
            expected.push_back(kReleasedW);
            EXPECT_EQ(g_statuses, expected);
        });
    // 0x19 has no label in table 0; the lists stay.
    const auto listsStay = [](HWND d) {
        EXPECT_EQ(Shown(d, {ID_LABEL, ID_BUTTONS, ID_COMMANDS}), (Texts{"", "Chan +", "CH_UP"}));
    };
    RunThrough(HoldInDialog(script, 0x19, listsStay).Do(Exit));
    EXPECT_TRUE(host.messages.empty()) << "a bound button reached the host while the dialog was open";
    EXPECT_EQ(Ini(), ini) << "the display changes no setting";

    // After the exit button events go to the host again, polling still on.
    EXPECT_EQ(plugin.Start(), 1u) << "polling was on before Setup and stays on";
    ASSERT_EQ(HostTap(0x1A), "CH_UP");
    EXPECT_EQ(host.messages[0].Source(), "TV");
}

// The "codepage" test runs this case alone under code page 1252 (VRC_EXPECT_ACP), where 1251 bytes read "Íàæàòà".
// The template's first "Отжата" is left out: Wine turns a template opened the ANSI way into the ANSI code page.
TEST_F(SetupDialogTest, StatusTextsReadRightWhateverTheCodePage)
{
    if (const char* acp = getenv("VRC_EXPECT_ACP")) {
        ASSERT_EQ(GetACP(), strtoul(acp, nullptr, 10));
    }
    Sim()->remoteType[0] = 0;
    OpenWith("[Hardware]\r\nDelayBeforeRepeat=0\r\nRepeatInterval=400\r\n");
    RunThrough(Script()
                   .Do([&](HWND d) {
                       RecordStatuses(d);
                       SimHold(0x1A);
                   })
                   .Until("first repeat", [](HWND) { return g_statuses.back() == kRepeatW + L"1"; })
                   .Do([](HWND) { SimHold(255); })
                   .Until("release", [](HWND) { return g_statuses.back() == kReleasedW; })
                   .Do(Exit));
    ASSERT_GE(g_statuses.size(), 4u);
    EXPECT_EQ(WideTexts(g_statuses.begin() + 1, g_statuses.begin() + 3), (WideTexts{kPressedW, kRepeatW + L"1"}));
    EXPECT_EQ(g_statuses.back(), kReleasedW);
}

TEST_F(SetupDialogTest, LiveDisplayPressInTable1SelectsRecNotRecall)
{
    Sim()->remoteType[0] = 1;
    OpenPlugin();
    const auto recShown = [](HWND d) { EXPECT_EQ(Shown(d, {ID_LABEL, ID_BUTTONS}), (Texts{"REC", "REC"})); };
    RunThrough(HoldInDialog(Script(), 0x1D, recShown).Do(Exit));
}

// The host gets the release of the press it saw, the dialog its own press, then the host a fresh press.
TEST_F(SetupDialogTest, HeldButtonChangesHandsWithTheDialog)
{
    Sim()->remoteType[0] = 0;
    OpenWith("[Buttons]\r\n1A=CH_UP\r\n");
    EXPECT_GT(plugin.Start(), 0u);
    ASSERT_EQ(HostPress(0x1A), "CH_UP");

    size_t atOpening = 0;
    RunThrough(Script()
                   .Do([&](HWND) { atOpening = host.messages.size(); })
                   .Until("press shown in the dialog", [](HWND d) { return Text(d, ID_STATUS) == kPressed; })
                   .Do([](HWND d) {
                       EXPECT_EQ(Text(d, ID_CODE), "0x1A");
                       Exit(d);  // still held
                   }));
    ASSERT_GE(atOpening, 2u);
    EXPECT_EQ(host.messages[atOpening - 1].lParam, -1) << "the host's press was not released when the dialog opened";
    EXPECT_EQ(host.messages[atOpening - 1].Command(), "CH_UP");
    ASSERT_EQ(host.messages.size(), atOpening) << "the host got events while the dialog was open";

    EXPECT_EQ(HostTap(0x1A), "CH_UP") << "after the dialog the held button must reach the host as a press";
    for (size_t i = atOpening + 1; i + 1 < host.messages.size(); ++i)
        EXPECT_EQ(host.messages[i].lParam, static_cast<LPARAM>(i - atOpening)) << "repeats run 1, 2, 3, ...";
}

// The dialog polls for its display and stops at its end, unless the host's Start inside made the polling the host's.
TEST_F(SetupDialogTest, SetupWithPollingOffPollsForTheDialogAndStopsUnlessTheHostStarted)
{
    const struct {
        const char* name;
        bool open, start;
    } rows[] = {
        {"no host call inside", false, false}, {"Start inside", false, true}, {"Open, Start inside", true, true}};
    Sim()->remoteType[0] = 0;
    ASSERT_TRUE(PutIni("[Buttons]\r\n1A=CH_UP\r\n"));
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        HostOpen();
        host.messages.clear();
        const Script startInside = Script().Do([&](HWND) {
            if (r.open)
                HostOpen();
            if (r.start) {
                EXPECT_NE(plugin.Start(), 0u);
            }
        });
        RunThrough(HoldInDialog(startInside, 0x1A).Do(Exit));  // the press shown: the dialog polls
        EXPECT_TRUE(host.messages.empty());
        if (!r.start) {
            SimHold(0x1A);
            RecordingHost::PumpFor(1000);
            EXPECT_TRUE(host.messages.empty()) << "polling left on after Setup";
            SimHold(255);
            EXPECT_GT(plugin.Start(), 1u) << "Start found polling already on";
        }
        EXPECT_EQ(HostTap(0x1A), "CH_UP") << "no press and release reached the host after the dialog";
        plugin.Close();
    }
}

// Called from the dialog's loop; the first dialog keeps its edits and key events.
TEST_F(SetupDialogTest, SetupWhileItsDialogIsOpenReturnsMinusOneAndChangesNothing)
{
    OpenPlugin();
    const Script nesting = Script().Do([&](HWND d) {
        Type(d, ID_DELAY, "500");
        const SetupRun nested = RunSetup(Script().Do(Exit), [this] { return plugin.Setup(); });  // a second one ends
        EXPECT_EQ(nested.result, -1);
        EXPECT_FALSE(nested.shown) << "a second dialog was shown";
        Type(d, ID_INTERVAL, "150");
    });
    RunThrough(HoldInDialog(nesting, 0x12).Do(Exit));  // the press shown: the dialog still takes key events
    ExpectSaved(WRITE_ORDER, 0, {}, 500, 150, 60);
}

// Edits made in the dialog are saved before Open reads the file, so they stay on screen and in force.
TEST_F(SetupDialogTest, OpenWhileTheDialogIsOpenShowsWhatItReadAndKeepsTheUsersEdits)
{
    TwoCards(2);
    OpenPlugin();
    WorkDialog([&](HWND d) {
        ASSERT_TRUE(PickText(d, ID_BUTTONS, "Power"));
        ASSERT_TRUE(PutIni("[Hardware]\r\nDeviceIndex=1\r\nReleaseTime=80\r\n[Buttons]\r\n12=MUTE\r\n"));
        HostOpen();
        EXPECT_EQ(Shown(d, {ID_RELEASE, ID_COMMANDS}), (Texts{"80", "MUTE"}));
        EXPECT_EQ(Sel(d, ID_DEVICES), 1);

        Type(d, ID_DELAY, "450");
        ASSERT_TRUE(PickText(d, ID_COMMANDS, "SCAN"));
        Pick(d, ID_DEVICES, 0);
        HostOpen();
        EXPECT_EQ(Shown(d, {ID_DELAY, ID_COMMANDS}), (Texts{"450", "SCAN"}));
        EXPECT_EQ(Sel(d, ID_DEVICES), 0);
    });
    ExpectSaved(ANY_ORDER, 0, {{0x12, "SCAN"}}, 450, 100, 80);
    EXPECT_EQ(Sim()->lastOpenIndex, 0u);
    ASSERT_GT(plugin.Start(), 0u);
    EXPECT_EQ(HostPress(0x12), "SCAN");
}

// The edits stay in force, on screen and pending, and the dialog's end saves them.
TEST_F(SetupDialogTest, OpenWhileTheDialogIsOpenWithAFailedSaveKeepsTheEditsForItsEnd)
{
    OpenPlugin();
    const std::string path = PluginIniPath();
    const std::string warning = SaveWarning(path);
    WorkDialog([&](HWND d) {
        Type(d, ID_DELAY, "450");
        ASSERT_TRUE(Bind(d, "Power", "SCAN"));
        ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr));  // a directory where the file should be
        HostOpen();
        boxes.ExpectOneWarning(warning);
        EXPECT_EQ(Shown(d, {ID_DELAY, ID_BUTTONS, ID_COMMANDS}), (Texts{"450", "Power", "SCAN"}));
        EXPECT_TRUE(RemoveDirectoryA(path.c_str()));
    });
    RemoveDirectoryA(path.c_str());  // should a step have failed before
    boxes.ExpectOneWarning(warning);
    ExpectSaved(WRITE_ORDER, 0, {{0x12, "SCAN"}}, 450);
}

// Cards gone since the dialog opened, or cards come: with the two, the stored second one and its table 1.
TEST_F(SetupDialogTest, OpenWhileTheDialogIsOpenShowsTheCardsAndLabelsInForce)
{
    const auto expectLists = [](HWND d, bool cards, const char* when) {
        SCOPED_TRACE(when);
        ExpectDevices(d, cards ? Texts{"Card Alpha", "Card Beta"} : Texts{kNoDevice}, cards ? 1 : 0, cards);
        EXPECT_EQ(Items(d, ID_BUTTONS), expected::ListedLabels(cards ? 1 : 0));
    };
    ASSERT_TRUE(PutIni("[Hardware]\r\nDeviceIndex=1\r\n"));
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const bool gone : {true, false}) {
        SCOPED_TRACE(gone ? "cards gone" : "cards come");
        TwoCards(1);
        Sim()->cardCount = gone ? 2 : 0;
        HostOpen();
        WorkDialog([&](HWND d) {
            expectLists(d, gone, "at Setup");
            Sim()->cardCount = gone ? 0 : 2;
            HostOpen();
            expectLists(d, !gone, "after Open");
        });
        plugin.Close();
    }
}

// No card to pick, so no binding with another remote's codes; the disabled list's notifications change nothing.
TEST_F(SetupDialogTest, CloseWhileTheDialogIsOpenOffersNoCardAndBindsInTheTableInForce)
{
    const struct {
        const char* name;
        int before, after;  // the card picked before Close (-1: none), the item picked after it
        uint32_t device;
        int table, mute;  // "Mute" is code 0x11 in table 2, 0x13 in table 1
    } rows[] = {{"card 0 in force", -1, 1, 0, 2, 0x11}, {"card 1 picked first", 1, 0, 1, 1, 0x13}};
    TwoCards(1);
    ASSERT_TRUE(plugin.Load(PluginPath()));
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        RemoveSettingsFile(PluginIniPath());
        HostOpen();
        WorkDialog([&](HWND d) {
            if (r.before >= 0)
                Pick(d, ID_DEVICES, r.before);
            plugin.Close();
            ExpectDevices(d, {kNoDevice}, 0, false);
            Pick(d, ID_DEVICES, r.after);
            EXPECT_EQ(Items(d, ID_BUTTONS), expected::ListedLabels(r.table));
            ASSERT_TRUE(Bind(d, "Mute", "MUTE"));
        });
        ExpectSaved(WRITE_ORDER, r.device, {{r.mute, "MUTE"}});
    }
}

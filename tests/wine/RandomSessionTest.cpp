// Random sessions of the plug-in's code, setup dialog included, with books of what is due kept from the test's own
// calls alone and compared after every step and poll. A program of its own: the dialog needs comctl32.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "plugin/PluginState.h"
#include "plugin/PollTimer.h"
#include "support/DialogScript.h"
#include "support/ImportPatch.h"
#include "support/SettingsFiles.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"
#include "tests/ExpectedTables.h"
#include "tests/HoldChecker.h"
#include "tests/SeededRandom.h"
#include "tests/ShrinkSteps.h"

namespace {

struct Step {
    const struct Kind* kind;
    uint32_t a = 0, b = 0, c = 0, d = 0;
};

// A kind of step: its report (%s for a, by name if it has one), weight of 200, whether only in a dialog, its action.
struct Kind {
    const char* format;
    uint32_t weight;
    bool inDialog;
    void (*run)(const Step&);
};

enum Reaction { REACT_NONE, REACT_STOP, REACT_CLOSE, REACT_OPEN, REACT_START, REACT_SETUP, REACT_COUNT };

const char* const kVariants[] = {"full", "no_name", "no_type", "no_uninit", "count_code", "none", "absent"};
constexpr uint32_t kAbsent = 6;
const int kTimingEdits[] = {ID_DELAY, ID_INTERVAL, ID_RELEASE};
const expected::CodeTexts* const kSets[] = {&expected::kOtherSet, &expected::kType1Set, &expected::kType2Set};
uint32_t PluginSettings::*const kFields[] = {&PluginSettings::DeviceIndex, &PluginSettings::DelayBeforeRepeat,
                                             &PluginSettings::RepeatInterval, &PluginSettings::ReleaseTime};

uint32_t RandomTiming(SeededRandom& r)
{
    static const uint32_t special[] = {0,  1,   19,  20,  21,   30,          31,          59,          60,
                                       61, 100, 350, 800, 1000, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFEu, 0xFFFFFFFFu};
    const uint32_t pick = r.Below(100);
    return pick < 35 ? special[r.Below(18)] : pick < 90 ? r.Below(1000) : r.Next();
}

enum Phase { TOP, HANDOVER, DIALOG };

// A session's books, all from the harness's own calls.
struct Books {
    HoldChecker<std::string> heard;              // the host's holds, by command
    uint8_t heardCode = NO_KEY, held = NO_KEY;   // of the host's last press; the dialog's
    uint64_t clock = 0, pressAt = 0, sawAt = 0;  // ms, never jumping; that press; the last read of its code
    bool pressTimed = false;                     // no clock jump since
    HWND dialog = nullptr;
    uint32_t phase = TOP, reactions = 0;
    std::pair<uint32_t, uint32_t> reaction = {REACT_NONE, 0};  // the host's call armed, and the messages before it
    std::string source, failure, file, bound[3][BUTTON_COUNT];
    const std::vector<Step>* steps = nullptr;
    size_t next = 0;  // steps run; after a failure, up to the failing one
    uint32_t variant = 0, simCards = 0, failMask = 0, nullMask = 0, cards = 0;  // the vendor as set; the cards counted
    int32_t type = 0;
    bool device = false, cardOpen = false, listening = false, polling = false, hostsPolling = false, devicesOn = false;
    bool failTimer = false, pending = false, locked = false, pathKnown = false, armed = false, failNextTimer = false;
    PluginSettings settings = DEFAULT_SETTINGS;
    int table = 0, deviceSel = 0, buttonSel = 0, commandSel = 0;
    Texts devices, buttons, boxes;
    uint32_t pressTime = 0, lastSeen = 0;  // the key session as the dialog hears it, with held and armed
    std::set<UINT_PTR> liveTimers;         // the plug-in's thread timers, from its SetTimer and KillTimer calls
    std::vector<UINT_PTR> everSet;
};

struct World : Books {
    HWND host = nullptr;
    BoxWatcher* watcher = nullptr;
    uint32_t installed = 0xFFFFFFFF;
    std::vector<bool> inDialog;  // of the last session's steps
    struct {
        long steps, polls, messages, dialogs, failedSaves;
    } counts = {};
} w;

BOOL(WINAPI* g_realKillTimer)(HWND, UINT_PTR);

// A real thread timer that never comes due: only the harness polls.
UINT_PTR WINAPI WatchedSetTimer(HWND window, UINT_PTR id, UINT, TIMERPROC proc)
{
    const UINT_PTR timer = w.failNextTimer ? 0 : SetTimer(window, id, USER_TIMER_MAXIMUM, proc);
    w.failNextTimer = false;
    if (timer) {
        w.liveTimers.insert(timer);
        w.everSet.push_back(timer);
    }
    return timer;
}

BOOL WINAPI WatchedKillTimer(HWND window, UINT_PTR id)
{
    const BOOL killed = g_realKillTimer(window, id);
    if (killed)
        w.liveTimers.erase(id);
    return killed;
}

void FailIf(bool failed, const std::string& what)
{
    if (failed && w.failure.empty())
        w.failure = what;
}

uint32_t Shown(HWND dialog, int timing)
{
    const std::string text = Text(dialog, kTimingEdits[timing]);
    const unsigned long long value = strtoull(text.c_str(), nullptr, 10);
    return text.size() <= 10 && value <= 0xFFFFFFFFull ? static_cast<uint32_t>(value) : 0;  // 0: none or past 32 bits
}

std::string Join(const Texts& texts)
{
    std::string text;
    for (const std::string& t : texts)
        text += "'" + t + "' ";
    return text;
}

void SetCards(uint32_t count, uint32_t failMask, uint32_t nullMask, int32_t type)
{
    w.simCards = count;
    w.failMask = failMask;
    w.nullMask = nullMask;
    w.type = type;
    Sim()->cardCount = count;
    for (uint32_t i = 0; i < SIM_MAX_CARDS; ++i) {
        Sim()->openResult[i] = !((failMask >> i) & 1);
        Sim()->nullName[i] = (nullMask >> i) & 1;
        Sim()->remoteType[i] = type;
        snprintf(Sim()->cardNames[i], SIM_NAME_SIZE, "Card %u of %u", i, count);
    }
}

// Card i is there, named, for a library with GetCardName and OpenCard.
bool Opens(uint32_t i)
{
    return (w.variant == 0 || w.variant == 2 || w.variant == 3) && i < w.simCards && i < SIM_MAX_CARDS;
}

void OpenCard(uint32_t i)
{
    w.cardOpen = w.device && i < w.cards && Opens(i) && !((w.failMask >> i) & 1);
    w.table = w.cardOpen && w.variant != 2 && (w.type == 1 || w.type == 2) ? w.type : 0;
}

// Polling started if a card is open and a timer comes; the dialog hears a fresh start.
bool DueStart()
{
    if (!w.cardOpen || (!w.polling && w.failTimer)) {
        w.failTimer = w.failTimer && !w.cardOpen;
        return false;
    }
    w.held = w.polling ? w.held : NO_KEY;
    return w.polling = true;
}

int Code(const std::string& label)
{
    const expected::CodeTexts& labels = expected::kLabels[w.table];
    const auto it = std::find_if(labels.begin(), labels.end(), [&](const auto& e) { return e.second == label; });
    return it == labels.end() ? -1 : it->first;
}

// The selected button's binding: "< None >", the word ignoring case, or "< Other >".
void ShowBinding()
{
    const int code = Code(w.buttons[w.buttonSel]);
    const std::string command = code < 0 ? "" : w.bound[w.table][code];
    w.commandSel = command.empty() ? VOCAB_NONE : VOCAB_OTHER;
    for (int i = 0; i < VOCABULARY_SIZE && w.commandSel == VOCAB_OTHER && !command.empty(); ++i)
        w.commandSel = _stricmp(expected::kVocabulary[i].c_str(), command.c_str()) ? VOCAB_OTHER : i;
}

// The lists as filled on opening (label "") and after Open or Close, label kept; a copy, as the list is refilled.
void Fill(const std::string label)
{
    const uint32_t n = w.device ? w.cards : 0;
    w.devices = n ? Texts() : Texts{"< NONE >"};
    for (uint32_t i = 0; i < n; ++i)
        w.devices.push_back(Opens(i) && !((w.nullMask >> i) & 1) ? Sim()->cardNames[i] : "");
    w.devicesOn = n > 0;
    w.deviceSel = !n ? 0 : w.settings.DeviceIndex < n ? static_cast<int>(w.settings.DeviceIndex) : CB_ERR;
    w.buttons = expected::ListedLabels(w.table);
    const auto kept = std::find(w.buttons.begin(), w.buttons.end(), label);
    w.buttonSel = kept == w.buttons.end() ? 0 : static_cast<int>(kept - w.buttons.begin());
    ShowBinding();
}

void Save()
{
    const std::string path = OwnIniPath();
    if (w.locked) {  // a warning; else the file holds what is in force
        ++w.counts.failedSaves;
        w.boxes.push_back("VantorixRC: " + SaveWarning(path));
        return;
    }
    std::map<int, std::string> bindings;
    for (int code = 0; code < BUTTON_COUNT; ++code)
        bindings[code] = w.bound[w.table][code];
    const PluginSettings& s = w.settings;
    const std::string wrong = SavedFileMismatch(path, ANY_ORDER, s.DeviceIndex, s.DelayBeforeRepeat, s.RepeatInterval,
                                                s.ReleaseTime, bindings);
    FailIf(!wrong.empty(), "the save: " + wrong);
    w.file = ReadFileText(path);
}

std::string FileCommand(int code)
{
    const size_t section = w.locked ? std::string::npos : w.file.find("[Buttons]\r\n");  // the last section
    const size_t at = section == std::string::npos ? section : w.file.find("\r\n" + KeyOf(code) + "=", section);
    if (at == std::string::npos)
        return "";
    return w.file.substr(at + 5, std::min<size_t>(w.file.find("\r\n", at + 5) - at - 5, 31));  // cut to 31
}

void DoOpen(uint32_t nullWindow, uint32_t sourceKind)
{
    w.source = sourceKind == 0 ? "TV" : sourceKind == 1 ? std::string(100, 'S') : "";
    w.heard.open = false;
    const char* description = Open(sourceKind == 2 ? nullptr : w.source.c_str(), nullWindow ? nullptr : w.host, 0);
    FailIf(!description || strcmp(description, kPluginDescription) != 0, "Open did not return the description");
    // Pending edits saved first; unsaved, they stay and move to the new table.
    if (w.pending && w.pathKnown)
        Save();
    w.pending = w.pending && (w.locked || !w.pathKnown);
    if (!w.pending)
        for (int i = 0; i < 4; ++i)
            w.settings.*kFields[i] = ProfileSetting(OwnIniPath(), kHardwareKeyNames[i]);
    if (w.variant == kAbsent)
        w.boxes.push_back("VantorixRC: " + LoadWarning(VendorLibraryPath()));
    w.pathKnown = w.device = true;
    w.listening = !nullWindow;
    w.hostsPolling = w.polling = false;
    w.cards = w.variant < 5 ? w.simCards : 0;
    const int edited = w.table;
    OpenCard(w.settings.DeviceIndex);
    for (int code = 0; code < BUTTON_COUNT; ++code)
        w.bound[w.table][code] = w.pending ? w.bound[edited][code] : FileCommand(code);
    if (w.phase == DIALOG)
        Fill(w.buttons[w.buttonSel]);
}

void DoClose()
{
    w.heard.open = false;
    Close();
    w.listening = w.hostsPolling = w.device = w.cardOpen = w.polling = false;
    if (w.phase == DIALOG)
        Fill(w.buttons[w.buttonSel]);
}

void DoStart()
{
    const bool was = w.polling;
    const uint32_t result = Start();
    w.hostsPolling = DueStart();
    FailIf((result != 0) != w.hostsPolling || (was && result != 1), "Start returned " + std::to_string(result));
}

void DoStop()
{
    FailIf(Stop() != 0, "Stop returned non-zero");
    w.hostsPolling = w.polling = false;
}

void DoSetup();

void OnHostMessage(const HostMessage& m)
{
    ++w.counts.messages;
    const std::string command = m.Command(), event = command + " " + std::to_string(m.lParam);
    FailIf(!w.listening || m.wParam != reinterpret_cast<WPARAM>(&g_plugin.commandRecord) || command.empty() ||
               !memchr(m.record, 0, SOURCE_NAME_SIZE) || !memchr(m.record + SOURCE_NAME_SIZE, 0, COMMAND_SIZE) ||
               m.Source() != (w.source.empty() ? "REMOTE" : w.source.substr(0, 63)),
           "message " + event + " from " + m.Source() + " with no host listening, not in the record or overlong");
    const int32_t value = static_cast<int32_t>(m.lParam);
    FailIf(w.phase == DIALOG || (w.phase == HANDOVER && value != EVENT_RELEASE),  // only the hand-over's release
           "the host heard " + event + " while the dialog was open");
    const char* wrong = w.heard.Accept(command, value);
    FailIf(wrong, (wrong ? wrong : "") + (": " + event));
    if (value == EVENT_PRESS) {
        w.heardCode = static_cast<uint8_t>(Sim()->heldCode);
        w.pressAt = w.sawAt = w.clock;
        w.pressTimed = true;
    }
    if (w.reaction.first == REACT_NONE || w.reaction.second-- > 0)
        return;
    static void (*const calls[])() = {nullptr, DoStop, DoClose, [] { DoOpen(0, 0); }, DoStart, DoSetup};
    ++w.reactions;
    calls[std::exchange(w.reaction.first, uint32_t(REACT_NONE))]();
}

std::string RandomSettings(uint32_t seed)
{
    SeededRandom r(seed);
    const uint32_t device = r.Chance(85) ? 0 : (r.Chance(70) ? r.Below(4) : r.Next());
    std::string text = "[Hardware]\r\nDeviceIndex=" + std::to_string(device) + "\r\n";
    const bool factory = r.Chance(50);  // factory timings in half the files, so holds repeat and end
    const uint32_t factoryMs[] = {350, 100, 60};
    for (int i = 0; i < 3; ++i)
        text += kHardwareKeyNames[i + 1] + ("=" + std::to_string(factory ? factoryMs[i] : RandomTiming(r))) + "\r\n";
    text += "[Buttons]\r\n";
    static const char* const words[] = {"POWER", "CH_UP", "CH_DOWN", "VOL_UP", "MUTE", "OK", "1", "2"};
    for (int code = 0; code <= 92; ++code) {
        if (!r.Chance(code >= 0x10 && code < 0x20 ? 80 : 15))
            continue;
        std::string value = r.Chance(75) ? words[r.Below(8)] : "";
        for (uint32_t n = value.empty() ? r.Below(90) : 0; n > 0; --n)
            value += static_cast<char>('A' + r.Below(26));
        text += KeyOf(code) + "=" + value + "\r\n";
    }
    return text;
}

void InstallVariant(uint32_t variant)
{
    w.variant = variant;
    FailIf(w.installed != variant && !(variant == kAbsent ? RemoveVendor() : InstallVendor(kVariants[variant])),
           std::string("cannot install vendor variant ") + kVariants[variant]);
    w.installed = variant;
}

void Expect(const std::string& what, const std::string& is, const std::string& due)
{
    FailIf(is != due, what + is + "; due: " + due);
}

// Timers: id set, live ones, the id among them; library: loaded, loads; then the four settings.
std::string State(int device, int library, int card, int polling, int timers, int hosts, int failTimer, int pending,
                  int table, PluginSettings s)
{
    char text[160];
    snprintf(text, sizeof text,
             "device %d library %d card %d polling %d timers %d host's %d failing %d pending %d table %d %u/%u/%u/%u",
             device, library, card, polling, timers, hosts, failTimer, pending, table, s.DeviceIndex,
             s.DelayBeforeRepeat, s.RepeatInterval, s.ReleaseTime);
    return text;
}

std::string Lists(const Texts& devices, int deviceSel, bool on, const Texts& buttons, int buttonSel, int commandSel,
                  uint32_t delay, uint32_t interval, uint32_t release)
{
    return "cards " + Join(devices) + "selected " + std::to_string(deviceSel) + (on ? "" : " disabled") + ", buttons " +
           Join(buttons) + "selected " + std::to_string(buttonSel) + ", command " + std::to_string(commandSel) +
           ", timings " + std::to_string(delay) + "/" + std::to_string(interval) + "/" + std::to_string(release);
}

void CheckInvariants(uint32_t callLogLength)
{
    const SimControl* sim = Sim();
    for (uint32_t i = 0; i < callLogLength; ++i)
        FailIf(sim->callLog[i] == CALL_OPEN_CARD && w.variant <= 2 && (i == 0 || sim->callLog[i - 1] != CALL_UNINIT),
               "OpenCard without UnInit before it");
    FailIf(!BrokenSlot().empty() || !memchr(g_plugin.commandRecord.sourceName, 0, SOURCE_NAME_SIZE) ||
               strnlen(g_plugin.commandRecord.command, RECORD_COMMAND_SIZE) > COMMAND_SIZE - 1,
           "text slot run over: " + BrokenSlot());
    const UINT_PTR id = g_plugin.timerId;
    Expect("in force: ",
           State(g_plugin.device != nullptr, VendorLoaded() * 10 + sim->loadCount - sim->unloadCount, g_plugin.cardOpen,
                 g_plugin.session.polling, (id != 0) * 100 + w.liveTimers.size() * 10 + w.liveTimers.count(id),
                 g_plugin.hostStartedPolling, w.failNextTimer, g_plugin.settingsDirty,
                 static_cast<int>(g_plugin.currentTable - g_buttonTables), g_plugin.settings),
           State(w.device, (w.device && w.variant != kAbsent) * 11, w.cardOpen, w.polling, w.polling * 111,
                 w.hostsPolling, w.failTimer, w.pending, w.table, w.settings));
    for (int t = 0; t < 3; ++t)
        for (int code = 0; code < BUTTON_COUNT; ++code)
            if (w.bound[t][code] != g_buttonTables[t].entries[code].command)
                Expect("table " + std::to_string(t) + " code " + std::to_string(code) + ": ",
                       g_buttonTables[t].entries[code].command, w.bound[t][code]);
    Texts boxes;
    for (const BoxRecord& box : w.watcher->Boxes())
        boxes.push_back(box.caption + ": " + box.text);
    Expect("warnings ", Join(boxes), Join(w.boxes));
    const HWND d = w.dialog;
    if (w.phase == DIALOG && IsWindowVisible(d))
        Expect("the dialog shows ",
               Lists(Items(d, ID_DEVICES), Sel(d, ID_DEVICES), IsWindowEnabled(Item(d, ID_DEVICES)),
                     Items(d, ID_BUTTONS), Sel(d, ID_BUTTONS), Sel(d, ID_COMMANDS), Shown(d, 0), Shown(d, 1),
                     Shown(d, 2)),
               Lists(w.devices, w.deviceSel, w.devicesOn, w.buttons, w.buttonSel, w.commandSel,
                     w.settings.DelayBeforeRepeat, w.settings.RepeatInterval, w.settings.ReleaseTime));
}

// The plug-in, simulator, file and host as in a fresh process.
void ResetWorld()
{
    Close();
    ResetPluginState();
    ClearAllBindings();
    InstallVariant(0);
    ResetSim();
    RemoveDirectoryA(OwnIniPath().c_str());
    RemoveSettingsFile(OwnIniPath());
    g_testNow = 1000000;
    static_cast<Books&>(w) = Books();
    SetCards(1, 0, 0, 2);
    w.watcher->Clear();
}

// A poll the dialog hears: a press selects the pressed button where listed.
void DialogHears(uint8_t code)
{
    const uint32_t now = g_testNow;
    if (code == NO_KEY) {
        w.held = now - w.lastSeen > w.settings.ReleaseTime ? NO_KEY : w.held;
    } else if (code != w.held) {
        w.held = code;
        w.armed = false;
        w.pressTime = w.lastSeen = now;
        const expected::CodeTexts& labels = expected::kLabels[w.table];
        const auto item = std::find(w.buttons.begin(), w.buttons.end(), labels.count(code) ? labels.at(code) : "");
        if (code <= MAX_BUTTON_CODE && item != w.buttons.end()) {
            w.buttonSel = static_cast<int>(item - w.buttons.begin());
            ShowBinding();
        }
    } else if (!w.armed) {
        w.armed = now - w.pressTime >= w.settings.DelayBeforeRepeat;
        w.pressTime = w.armed ? now : w.pressTime;
    } else {
        w.lastSeen = now;
    }
}

void Poll()
{
    ++w.counts.polls;
    const uint32_t reads = Sim()->callCount[CALL_GET_REMOTE_CODE];
    const uint32_t reactions = w.reactions;
    const bool top = w.phase == TOP, listening = w.listening;
    PollRemote(nullptr, WM_TIMER, *w.liveTimers.begin(), g_testNow);
    FailIf((Sim()->callCount[CALL_GET_REMOTE_CODE] != reads) != listening,
           listening ? "a poll did not read the remote" : "a poll read the remote while no host listens");
    const uint8_t code = static_cast<uint8_t>(Sim()->heldCode);
    if (listening && w.phase == DIALOG)
        DialogHears(code);
    if (!listening)
        return;
    if (code == w.heardCode)
        w.sawAt = w.clock;
    // The host in charge (no call-back overtook the poll) holds the code's command; nothing once past ReleaseTime.
    if (!top || w.reactions != reactions)
        return;
    const std::string held = w.heard.open ? w.heard.key : "nothing";
    if (code != NO_KEY) {
        const std::string bound = code <= MAX_BUTTON_CODE ? w.bound[w.table][code] : "";
        FailIf(held != (bound.empty() ? "nothing" : bound),
               "the host holds " + held + " for code " + std::to_string(code) + ", bound to '" + bound + "'");
    } else if (w.pressTimed && w.clock - w.sawAt > w.settings.ReleaseTime && w.clock - w.pressAt < (1ull << 32)) {
        w.pressTimed = false;
        FailIf(w.heard.open, "the host still holds " + held + " " + std::to_string(w.clock - w.sawAt) +
                                 " ms after the remote last reported its code");
    }
}

void Lock(bool locked)
{
    const std::string path = OwnIniPath();  // a directory of its name fails every write
    if (locked && !w.locked) {
        RemoveSettingsFile(path);
        CreateDirectoryA(path.c_str(), nullptr);
        ForgetCachedProfile(path);
    } else if (!locked && w.locked) {
        RemoveDirectoryA(path.c_str());
        PutSettingsFile(path, w.file);
    }
    w.locked = locked;
}

const Kind kOpen = {"Open(window %s, source %u)", 4, false, [](const Step& s) { DoOpen(s.a, s.b); }};
const Kind kClose = {"Close()", 2, false, [](const Step&) { DoClose(); }};
const Kind kStart = {"Start()", 18, false, [](const Step&) { DoStart(); }};
const Kind kStop = {"Stop()", 4, false, [](const Step&) { DoStop(); }};
const Kind kTicks = {"%s polls %u ms apart", 58, false, [](const Step& s) {
                         for (uint32_t i = 0; i < s.a && w.failure.empty(); ++i) {
                             g_testNow += s.b;
                             w.clock += s.b;
                             if (w.polling && !w.liveTimers.empty())
                                 Poll();
                         }
                     }};
const Kind kHold = {"code %s", 47, false, [](const Step& s) { Sim()->heldCode = s.a; }};
const Kind kClock = {"clock %s", 3, false, [](const Step& s) {
                         g_testNow = s.a;
                         w.pressTimed = false;
                     }};
const Kind kCards = {"%s cards, failing 0x%X, nameless 0x%X, type %d", 4, false,
                     [](const Step& s) { SetCards(s.a, s.b, s.c, static_cast<int32_t>(s.d)); }};
const Kind kVendor = {"vendor %s (if unloaded)", 2, false, [](const Step& s) {
                          if (!w.device)
                              InstallVariant(s.a);
                      }};
const Kind kTimings = {"timings %s/%u/%u (not in a dialog)", 4, false, [](const Step& s) {
                           if (w.phase != DIALOG)
                               g_plugin.settings = w.settings = {w.settings.DeviceIndex, s.a, s.b, s.c};
                       }};
const Kind kSettings = {"settings file %s", 2, false, [](const Step& s) {
                            w.file = RandomSettings(s.a);
                            if (!w.locked)
                                PutSettingsFile(OwnIniPath(), w.file);
                        }};
const Kind kReact = {"host calls %s at message +%u", 8, false, [](const Step& s) { w.reaction = {s.a, s.b}; }};
const Kind kFailTimer = {"SetTimer fails", 2, false, [](const Step&) { w.failNextTimer = w.failTimer = true; }};
const Kind kStaleTick = {"foreign ticks", 2, false, [](const Step&) {
                             const long before = w.counts.messages;
                             const uint32_t reads = Sim()->callCount[CALL_GET_REMOTE_CODE];
                             const UINT_PTR live = w.liveTimers.empty() ? 0 : *w.liveTimers.begin();
                             PollRemote(nullptr, WM_TIMER, live + 0x1000, g_testNow);
                             for (UINT_PTR old : w.everSet)
                                 PollRemote(nullptr, WM_TIMER, old == live ? old + 0x1000 : old, g_testNow);
                             FailIf(w.counts.messages != before || Sim()->callCount[CALL_GET_REMOTE_CODE] != reads,
                                    "a poll for a foreign timer id did something");
                         }};
const Kind kLock = {"file %s", 3, false, [](const Step& s) { Lock(s.a); }};
const Kind kSetup = {"Setup()", 2, false, [](const Step&) { DoSetup(); }};
const Kind kType = {
    "type %s %u (text kind %u: 1 none, 2 99999999999)", 8, true, [](const Step& s) {
        uint32_t& timing = w.settings.*kFields[s.a + 1];
        w.pending |= timing != (s.c ? 0 : s.b);
        timing = s.c ? 0 : s.b;
        Type(w.dialog, kTimingEdits[s.a], s.c == 1 ? "" : s.c == 2 ? "99999999999" : std::to_string(s.b).c_str());
    }};
const Kind kBind = {"button %s, command %u", 3, true, [](const Step& s) {
                        w.buttonSel = static_cast<int>(s.a % w.buttons.size());
                        Pick(w.dialog, ID_BUTTONS, w.buttonSel);
                        Pick(w.dialog, ID_COMMANDS, static_cast<int>(s.b));
                        w.commandSel = static_cast<int>(s.b);
                        const int code = Code(w.buttons[w.buttonSel]);
                        if (code >= 0 && s.b != VOCAB_OTHER)
                            w.bound[w.table][code] = s.b ? expected::kVocabulary[s.b] : "";
                        w.pending |= code >= 0;
                    }};
const Kind kDefaults = {"defaults", 1, true, [](const Step&) {
                            Click(w.dialog, ID_DEFAULTS);
                            w.settings = {w.settings.DeviceIndex, 350, 100, 60};
                            for (int code = 0; code < BUTTON_COUNT; ++code)
                                w.bound[w.table][code] = kSets[w.table]->count(code) ? kSets[w.table]->at(code) : "";
                            w.buttonSel = 0;
                            w.commandSel = 2;
                            w.pending = true;
                        }};
// Only in an enabled list; another card restarts polling.
const Kind kCard = {"card %s", 5, true, [](const Step& s) {
                        if (!w.devicesOn || s.a >= w.devices.size())
                            return;
                        Pick(w.dialog, ID_DEVICES, static_cast<int>(s.a));
                        w.deviceSel = static_cast<int>(s.a);
                        if (s.a == w.settings.DeviceIndex)
                            return;
                        w.polling = false;
                        w.settings.DeviceIndex = s.a;
                        w.pending = true;
                        OpenCard(s.a);
                        DueStart();
                    }};
const Kind kExit = {"exit", 8, true, [](const Step&) {
                        Click(w.dialog, ID_EXIT);
                        FailIf(IsWindowVisible(w.dialog), "the exit button left the dialog open");
                    }};
// A box ends at once while WM_QUIT is pending: seen or not, a race.
const Kind kQuit = {"WM_QUIT (file unlocked)", 10, true, [](const Step&) {
                        Lock(false);
                        PostQuitMessage(0);
                    }};
const Kind* const kKinds[] = {&kOpen,   &kClose,   &kStart,    &kStop,  &kTicks,     &kHold,      &kClock, &kCards,
                              &kVendor, &kTimings, &kSettings, &kReact, &kFailTimer, &kStaleTick, &kLock,  &kSetup,
                              &kType,   &kBind,    &kDefaults, &kCard,  &kExit,      &kQuit};

Step Draw(SeededRandom& r, const Kind* k)
{
    if (k == &kTicks) {
        const uint32_t gap = r.Chance(75) ? 30 : (r.Chance(50) ? r.Below(30) : r.Below(r.Chance(90) ? 500 : 200000));
        return {k, 1 + r.Below(r.Chance(20) ? 100 : 25), gap};
    }
    if (k == &kHold) {
        const uint32_t pick = r.Below(100);  // codes mostly none or bound
        return {k, pick < 35 ? 255 : pick < 85 ? 0x10 + r.Below(0x10) : r.Below(pick < 95 ? 93 : 256)};
    }
    if (k == &kCards) {
        static const int32_t types[] = {-1, 0, 1, 2, 3, 7};
        return {k, r.Chance(80) ? 1 + r.Below(3) : r.Below(9), r.Chance(20) ? r.Below(256) : 0u,
                r.Chance(15) ? r.Below(256) : 0u, static_cast<uint32_t>(types[r.Below(6)])};
    }
    if (k == &kType)  // Wine's GetDlgItemInt reads 4294967295 as 0: it is never typed.
        return {k, r.Below(3), std::min(RandomTiming(r), 0xFFFFFFFEu), r.Chance(10) ? 1 + r.Below(2) : 0u};
    if (k == &kReact)  // Setup from a handler mostly hands over a button just pressed.
        return {k, r.Chance(35) ? uint32_t(REACT_SETUP) : 1 + r.Below(REACT_COUNT - 2), r.Below(3)};
    return k == &kOpen       ? Step{k, (r.Chance(8) ? 1u : 0u), r.Below(3)}
           : k == &kClock    ? Step{k, (r.Chance(60) ? 0xFFFFFFFFu - r.Below(400) : r.Next())}
           : k == &kVendor   ? Step{k, (r.Chance(8) ? kAbsent : (r.Chance(50) ? 0 : r.Below(kAbsent)))}
           : k == &kTimings  ? Step{k, RandomTiming(r), RandomTiming(r), RandomTiming(r)}
           : k == &kSettings ? Step{k, r.Next()}
           : k == &kLock     ? Step{k, (r.Chance(50) ? 1u : 0u)}
           : k == &kBind     ? Step{k, r.Below(40), r.Below(61)}
           : k == &kCard     ? Step{k, r.Below(4)}
                             : Step{k};
}

std::vector<Step> RandomSession(uint64_t seed, size_t length)
{
    SeededRandom r(seed);
    std::vector<Step> steps = {{&kSettings, r.Next()}};
    if (r.Chance(90))
        steps.insert(steps.end(), {{&kOpen, 0, r.Below(3)}, {&kStart}});
    while (steps.size() < length) {
        uint32_t pick = r.Below(200), kind = 0;
        while (pick >= kKinds[kind]->weight)
            pick -= kKinds[kind++]->weight;
        const Step s = Draw(r, kKinds[kind]);
        // A button often down as a dialog ends; an edit, cards, a lock before an Open.
        if ((s.kind == &kExit || s.kind == &kQuit) && r.Chance(60))
            steps.insert(steps.end(), {{&kHold, 0x10 + r.Below(0x10)}, {&kTicks, 1 + r.Below(3), 30}});
        if (s.kind == &kOpen && r.Chance(30))
            steps.push_back(Draw(r, &kCards));
        if (s.kind == &kOpen && r.Chance(30))
            steps.push_back({&kLock, 1});
        if (s.kind == &kOpen && r.Chance(50))
            steps.push_back({&kType, r.Below(3), r.Below(1000)});
        steps.push_back(s);
        static const Kind* const inDialog[] = {&kType, &kBind,  &kCard,  &kDefaults, &kLock, &kCards,
                                               &kOpen, &kClose, &kStart, &kStop,     &kTicks};
        for (uint32_t n = s.kind == &kSetup ? 2 + r.Below(6) : 0; n > 0; --n)
            steps.push_back(Draw(r, inDialog[r.Below(11)]));
    }
    return steps;
}

std::string Describe(size_t i, const Step& s)
{
    static const char* const reactions[] = {"nothing", "Stop", "Close", "Open", "Start", "Setup"};
    const std::string name = s.kind == &kOpen     ? (s.a ? "null" : "host")
                             : s.kind == &kVendor ? kVariants[s.a]
                             : s.kind == &kReact  ? reactions[s.a]
                             : s.kind == &kType   ? kHardwareKeyNames[s.a + 1]
                             : s.kind == &kLock   ? (s.a ? "locked" : "unlocked")
                                                  : std::to_string(s.a);
    char text[160];
    snprintf(text, sizeof text, s.kind->format, name.c_str(), s.b, s.c, s.d);
    return (w.inDialog[i] ? "  in the dialog: " : "") + std::string(text);
}

// Runs the next steps; in a Setup's dialog up to an exit or WM_QUIT, and says if one ended it.
bool RunSteps(bool inDialog)
{
    while (w.next < w.steps->size() && w.failure.empty()) {
        const Step& s = (*w.steps)[w.next];
        w.inDialog[w.next++] = inDialog;
        ++w.counts.steps;
        Sim()->callLogLength = 0;
        if (!s.kind->inDialog || w.phase == DIALOG)
            s.kind->run(s);
        CheckInvariants(std::min<uint32_t>(Sim()->callLogLength, SIM_LOG_SIZE));
        if (inDialog && (s.kind == &kExit || s.kind == &kQuit))
            return true;
    }
    return false;
}

void DoSetup()
{
    if (w.phase != TOP)  // one dialog at a time
        return FailIf(Setup() != -1, "Setup while its dialog is open did not return -1");
    DueStart();
    w.phase = HANDOVER;
    w.dialog = nullptr;
    // The script's one step, from a timer in the dialog's loop.
    const Script script = Script().Do([](HWND d) {
        w.dialog = d;
        w.phase = DIALOG;
        w.held = NO_KEY;
        Fill("");
        FailIf(w.heard.open, "the host still holds " + w.heard.key + " when the dialog opens");
        if (!RunSteps(true))
            kExit.run({&kExit});
    });
    const SetupRun run = RunSetup(script, [] { return Setup(); });
    MSG quit;
    PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);  // re-posted by the dialog manager
    w.phase = TOP;
    ++w.counts.dialogs;
    FailIf(!run.shown || run.forcedEnd || IsWindow(w.dialog), "the dialog did not open and end as the steps did");
    // Setup stops polling not the host's; the end saves, nothing stays pending.
    w.polling = w.polling && w.hostsPolling;
    if (w.pending && w.pathKnown)
        Save();
    w.pending = false;
    FailIf(!w.locked && ReadFileText(OwnIniPath()) != w.file, "the settings file is not as last written");
}

std::string RunSession(const std::vector<Step>& steps)
{
    ResetWorld();
    w.steps = &steps;
    w.inDialog.assign(steps.size(), false);
    RunSteps(false);
    // The end as a host ends: Stop releases what the host holds. After a failure the first one stands.
    DoStop();
    FailIf(w.heard.open, "the host still holds " + w.heard.key + " after Stop");
    DoClose();
    CheckInvariants(0);
    return w.failure;
}

// 40 sessions (VRC_RANDOM_SESSIONS for more): about 20 s under qemu.
TEST(RandomSessionTest, RandomSessionsKeepEveryInvariant)
{
    PatchImportTyped("KillTimer", &WatchedKillTimer, &g_realKillTimer);
    ASSERT_NE(g_realKillTimer, nullptr) << "KillTimer is not imported by this executable";
    g_plugin.moduleInstance = GetModuleHandleA(nullptr);  // the dialog's template
    RecordingHost host;
    BoxWatcher boxes;
    host.keep = false;
    host.onCommand = OnHostMessage;
    w.host = host.Window();
    w.watcher = &boxes;
    w.counts = {};
    SetPollClock(TestClock);
    SetPollSetTimer(WatchedSetTimer);
    const char* wanted = getenv("VRC_RANDOM_SESSIONS");
    const uint32_t sessions = wanted && atoi(wanted) > 0 ? atoi(wanted) : 40, firstSeed = 20261209;
    const DWORD started = GetTickCount();
    for (uint32_t seed = firstSeed; seed < firstSeed + sessions && !HasFailure(); ++seed) {
        const std::vector<Step> session = RandomSession(seed, 30 + seed % 90);
        if (!RunSession(session).empty())
            ADD_FAILURE() << ShrinkAndReport(
                seed, std::vector<Step>(session.begin(), session.begin() + static_cast<long>(w.next)), RunSession,
                Describe, 3000);
    }
    ResetWorld();
    SetPollClock(nullptr);
    SetPollSetTimer(nullptr);
    if (HasFailure())
        return;
    const auto& c = w.counts;
    printf("[ random   ] %u sessions from seed %u: %ld steps, %ld dialogs, %ld polls, %ld host messages, %ld failed "
           "saves, %lu ms\n",
           sessions, firstSeed, c.steps, c.dialogs, c.polls, c.messages, c.failedSaves,
           static_cast<unsigned long>(GetTickCount() - started));
    EXPECT_GT(c.messages, static_cast<long>(sessions));     // the sessions did reach the host,
    EXPECT_GT(c.dialogs, static_cast<long>(sessions / 2));  // worked the dialog
    EXPECT_GT(c.failedSaves, 0L);                           // and met saves that failed
}

}  // namespace

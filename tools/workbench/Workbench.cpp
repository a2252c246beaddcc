// Host workbench: loads a remote-control plug-in exactly as a TV host does and
// shows (window mode) or prints (script mode) every command it receives. With
// the QuelmoRC simulator it doubles as a remote: PC keys stand for buttons.
//
//   workbench [--plugin PATH] [--source NAME] [--remote-type N] [--card NAME]...
//             [--settings INI] [--vendor QuelmoRC.dll] [--script FILE | --window]
//
// Script mode (the default without --window) plays a timeline of remote codes
// through the simulator, prints each command message and exits 0 at its end.
// Window mode can also play it (--play) and save a picture of the window
// afterwards (--screenshot), or play it inside the setup dialog and save the
// dialog's picture (--dialog-picture): the README's pictures.
//
// Built with VRC_REMOTE_TESTER it is the remote tester of the release: always
// a window, the plug-in from its own folder, the vendor library the PC has,
// and only a Setup button.
#include <windows.h>
#include <commctrl.h>
#include <mmsystem.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "device/VendorLibrary.h"
#include "plugin/PluginDll.h"
#include "tools/host/HostKit.h"
#include "tools/quelmo_sim/SimControl.h"
#include "tools/workbench/TimelineScript.h"
#include "tools/workbench/WindowPicture.h"
#include "ui/resource.h"

namespace {

#ifdef VRC_REMOTE_TESTER
constexpr bool kTester = true;
const char kTitle[] = "VantorixRC remote tester";
#else
constexpr bool kTester = false;
const char kTitle[] = "VantorixRC workbench";
#endif

struct Options {
    std::string pluginPath;
    std::string source = "TV";
    std::string scriptPath;
    int remoteType = -2;             // -2: leave the simulator's setting alone
    std::string settingsPath;        // copied beside the plug-in before it loads
    std::string vendorPath;          // installed as the system's QuelmoRC.dll
    bool play = false;               // window mode: also play the timeline
    std::string screenshotPath;      // window mode: save the window as BMP after the timeline
    std::string dialogPicturePath;   // window mode: the timeline in the setup dialog, then its BMP
    std::vector<std::string> cards;  // names of the simulated cards; none: the simulator's own
    bool window = false;
};

PluginDll g_plugin;
SimControl* g_sim;
HWND g_mainWindow;
HWND g_logList;
HWND g_buttons[5];
HWND g_keyMapText;
DWORD g_startTime;
bool g_scriptMode;
std::string g_description;

// The simulator's control block when the loaded QuelmoRC.dll is the simulator.
SimControl* FindSimulator()
{
    HMODULE vendor = GetModuleHandleA(VENDOR_LIBRARY_NAME);
    if (!vendor)
        return nullptr;
    typedef SimControl*(__cdecl * SimulatorControlFn)();
    const auto control = ProcAddress<SimulatorControlFn>(vendor, "SimulatorControl");
    return control ? control() : nullptr;
}

std::string FileNameOf(const std::string& path)
{
    const size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string EventName(LPARAM value)
{
    if (value == 0)
        return "press";
    if (value == -1)
        return "release";
    return "repeat " + std::to_string(static_cast<long>(value));
}

void Log(const std::string& line)
{
    if (g_scriptMode) {
        printf("%s\n", line.c_str());
        fflush(stdout);
        return;
    }
    if (!g_logList)
        return;
    const LRESULT index = SendMessageA(g_logList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(g_logList, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

void LogCommand(WPARAM wParam, LPARAM lParam)
{
    const auto* record = reinterpret_cast<const HostCommandRecord*>(wParam);
    char source[SOURCE_NAME_SIZE] = {};
    char command[33] = {};
    if (record) {
        memcpy(source, record->sourceName, sizeof source - 1);
        memcpy(command, record->command, sizeof command - 1);
    }
    char line[160];
    snprintf(line, sizeof line, "%7lu ms  %-22s %-11s source %s",
             static_cast<unsigned long>(timeGetTime() - g_startTime), command, EventName(lParam).c_str(), source);
    Log(line);
}

void LogCall(const char* what, long long result)
{
    char line[96];
    snprintf(line, sizeof line, "%7lu ms  %s -> %lld", static_cast<unsigned long>(timeGetTime() - g_startTime), what,
             result);
    Log(line);
}

// PC keys that stand for remote buttons (codes of the simulated remote).
struct KeyButton {
    UINT key;
    uint8_t code;
    const char* name;  // the button on the remote
    const char* keyName;
};

const KeyButton kKeyMap[] = {
    {'0', 0x00, "0", "0"},
    {'1', 0x01, "1", "1"},
    {'2', 0x02, "2", "2"},
    {'3', 0x03, "3", "3"},
    {'4', 0x04, "4", "4"},
    {'5', 0x05, "5", "5"},
    {'6', 0x06, "6", "6"},
    {'7', 0x07, "7", "7"},
    {'8', 0x08, "8", "8"},
    {'9', 0x09, "9", "9"},
    {VK_BACK, 0x0A, "Recall", "Backspace"},
    {VK_UP, 0x0B, "Up", "Up"},
    {VK_RIGHT, 0x0C, "Right", "Right"},
    {VK_DOWN, 0x15, "Down", "Down"},
    {VK_LEFT, 0x18, "Left", "Left"},
    {VK_RETURN, 0x16, "OK", "Enter"},
    {'P', 0x12, "Power", "P"},
    {'M', 0x13, "Mute", "M"},
    {VK_SPACE, 0x13, "Mute", "Space"},
    {VK_F1, 0x14, "Menu", "F1"},
    {VK_PRIOR, 0x1A, "Chan +", "PgUp"},
    {VK_NEXT, 0x1E, "Chan -", "PgDn"},
    {VK_ADD, 0x1B, "Vol +", "+"},
    {VK_OEM_PLUS, 0x1B, "Vol +", "="},
    {VK_SUBTRACT, 0x1F, "Vol -", "-"},
    {VK_OEM_MINUS, 0x1F, "Vol -", "-"},
    {'S', 0x0E, "Sleep", "S"},
    {'A', 0x0F, "Audio", "A"},
    {'I', 0x10, "Info", "I"},
    {'T', 0x11, "TV/AV", "T"},
};

const KeyButton* FindKey(UINT key)
{
    const KeyButton* end = kKeyMap + sizeof kKeyMap / sizeof kKeyMap[0];
    const KeyButton* found = std::find_if(kKeyMap, end, [key](const KeyButton& k) { return k.key == key; });
    return found == end ? nullptr : found;
}

enum CommandId { ID_START = 100, ID_STOP, ID_SETUP, ID_CLOSE, ID_OPEN, ID_LOG };

void OpenPlugin(HWND window, const std::string& source)
{
    const char* description = g_plugin.Open(source.c_str(), window, 0);
    g_description = description ? description : "(null)";
    Log("Open -> \"" + g_description + "\"");
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_REMOTE_COMMAND: LogCommand(wParam, lParam); return 0;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case ID_START: LogCall("Start", g_plugin.Start()); break;
        case ID_STOP: LogCall("Stop", g_plugin.Stop()); break;
        case ID_SETUP: LogCall("Setup", g_plugin.Setup()); break;
        case ID_CLOSE:
            g_plugin.Close();
            Log("Close");
            break;
        case ID_OPEN: OpenPlugin(window, "TV"); break;
        default: return DefWindowProcA(window, message, wParam, lParam);
        }
        SetFocus(window);  // keep the keyboard remote working after a click
        return 0;
    case WM_KEYDOWN:
        if (const KeyButton* k = FindKey(static_cast<UINT>(wParam))) {
            if (g_sim) {
                g_sim->codeMode = SIM_HELD;
                g_sim->heldCode = k->code;
            }
            return 0;
        }
        break;
    case WM_KEYUP:
        if (FindKey(static_cast<UINT>(wParam)) && g_sim) {
            g_sim->heldCode = VENDOR_NO_BUTTON;
            return 0;
        }
        break;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateMainWindow(bool visible)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VantorixRCWorkbench";
    RegisterClassA(&wc);
    HWND window = CreateWindowA(wc.lpszClassName, kTitle, WS_OVERLAPPEDWINDOW, 20, 20, 760, 520, nullptr, nullptr,
                                wc.hInstance, nullptr);
    if (!window || !visible)
        return window;

    const char* buttons[] = {"Start", "Stop", "Setup", "Close", "Open"};
    for (int i = 0; i < 5; ++i) {
        if (kTester && ID_START + i != ID_SETUP)
            continue;
        const int x = kTester ? 10 : 10 + i * 90;
        g_buttons[i] =
            CreateWindowA("BUTTON", buttons[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, x, 10, 80, 26, window,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ID_START + i)), wc.hInstance, nullptr);
    }
    g_keyMapText =
        CreateWindowA("STATIC", "", WS_CHILD | WS_VISIBLE, 10, 44, 730, 70, window, nullptr, wc.hInstance, nullptr);
    g_logList = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "", WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOSEL, 10,
                                118, 730, 360, window, reinterpret_cast<HMENU>(ID_LOG), wc.hInstance, nullptr);
    HFONT font = static_cast<HFONT>(GetStockObject(ANSI_FIXED_FONT));
    SendMessageA(g_logList, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    ShowWindow(window, SW_SHOW);
    return window;
}

// Says whether PC keys can stand in for the remote: only with the simulator.
void ShowKeyboardRemote()
{
    std::string text;
    if (g_sim) {
        text = "Keyboard remote (hold a key = hold the button):  ";
        for (const KeyButton& k : kKeyMap) {
            if (k.key == VK_OEM_MINUS)
                continue;  // same label as the keypad minus
            text += std::string(k.keyName) + "=" + k.name + "  ";
        }
    } else {
        text = "Keyboard remote: not available. The QuelmoRC.dll of this PC is not the simulator, so PC keys "
               "cannot stand in for the remote: press the buttons of the real remote.";
    }
    SetWindowTextA(g_keyMapText, text.c_str());
}

// The tester sits beside the plug-in; the workbench in <build>\tools.
std::string DefaultPluginPath()
{
    return ProgramFolder(kTester ? 1 : 2) + "\\VantorixRC.dll";
}

void PlayTimeline(const std::vector<SimStep>& steps)
{
    SimPlayTimeline(g_sim, steps.data(), static_cast<uint32_t>(steps.size()));
}

int RunScript(const Options& options, const std::vector<SimStep>& steps)
{
    HWND window = CreateMainWindow(false);
    OpenPlugin(window, options.source);
    const uint32_t started = g_plugin.Start();
    LogCall("Start", started);
    if (!started) {
        g_plugin.Close();
        fprintf(stderr, "workbench: the plug-in did not start polling (no card open)\n");
        return 1;
    }
    const uint32_t last = steps.empty() ? 0 : steps.back().timeMs;
    PlayTimeline(steps);

    // Play to the end of the timeline plus time for the last release.
    PumpMessagesUntil([] { return false; }, last + 500);
    LogCall("Stop", g_plugin.Stop());
    g_plugin.Close();
    Log("Close");
    DestroyWindow(window);
    return 0;
}

// Plays the timeline once the setup dialog is up, saves the dialog's picture
// a moment after the timeline's end, then leaves the dialog.
struct DialogPicture {
    std::string path;
    const std::vector<SimStep>* steps;
    DWORD takeAt;  // 0 until the dialog is up
    bool saved;
} g_dialogPicture;

VOID CALLBACK DialogPictureTick(HWND, UINT, UINT_PTR timer, DWORD)
{
    // The setup dialog: the one dialog window owned by the main window.
    const HWND dialog = FindWindowA("#32770", nullptr);
    if (!dialog || GetWindow(dialog, GW_OWNER) != g_mainWindow || !IsWindowVisible(dialog))
        return;
    DialogPicture& picture = g_dialogPicture;
    if (!picture.takeAt) {
        PlayTimeline(*picture.steps);
        picture.takeAt = timeGetTime() + picture.steps->back().timeMs + 1500;
        return;
    }
    if (static_cast<int32_t>(timeGetTime() - picture.takeAt) < 0)
        return;
    KillTimer(nullptr, timer);
    UpdateWindow(dialog);
    picture.saved = SaveWindowPicture(dialog, picture.path);
    SendMessageA(GetDlgItem(dialog, IDC_EXIT), BM_CLICK, 0, 0);
}

int RunWindow(const Options& options, const std::vector<SimStep>& steps)
{
    HWND window = CreateMainWindow(true);
    g_mainWindow = window;
    Log("Plug-in: " + FileNameOf(options.pluginPath));
    OpenPlugin(window, options.source);
    // Open loaded the vendor library: only now can it be told whether it is
    // the simulator.
    g_sim = FindSimulator();
    if (g_sim) {
        g_sim->codeMode = SIM_HELD;
        g_sim->heldCode = VENDOR_NO_BUTTON;
    }
    ShowKeyboardRemote();
    const uint32_t started = g_plugin.Start();
    LogCall("Start", started);
    if (!started)
        Log("The plug-in does not poll the remote: no card is open (no remote library, no card, or a refused card).");
    SetFocus(window);
    if (!options.dialogPicturePath.empty() && g_sim && !steps.empty()) {
        g_dialogPicture = {options.dialogPicturePath, &steps, 0, false};
        SetTimer(nullptr, 0, 50, DialogPictureTick);
        LogCall("Setup", g_plugin.Setup());
        g_plugin.Close();
        DestroyWindow(window);
        return g_dialogPicture.saved ? 0 : 1;
    }
    if (options.play && g_sim && !steps.empty()) {
        PlayTimeline(steps);
        if (!options.screenshotPath.empty()) {
            // Picture of the finished command stream, then leave.
            PumpMessagesUntil([] { return false; }, steps.back().timeMs + 500);
            UpdateWindow(window);
            const bool saved = SaveWindowPicture(window, options.screenshotPath);
            g_plugin.Close();
            DestroyWindow(window);
            return saved ? 0 : 1;
        }
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_plugin.Close();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    g_startTime = timeGetTime();  // every time in the log counts from here
    Options options;
    options.pluginPath = DefaultPluginPath();
    options.window = kTester;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc)
            options.pluginPath = argv[++i];
        else if (arg == "--source" && i + 1 < argc)
            options.source = argv[++i];
        else if (arg == "--script" && i + 1 < argc)
            options.scriptPath = argv[++i];
        else if (arg == "--settings" && i + 1 < argc)
            options.settingsPath = argv[++i];
        else if (arg == "--vendor" && i + 1 < argc)
            options.vendorPath = argv[++i];
        else if (arg == "--remote-type" && i + 1 < argc)
            options.remoteType = atoi(argv[++i]);
        else if (arg == "--play")
            options.play = true;
        else if (arg == "--screenshot" && i + 1 < argc)
            options.screenshotPath = argv[++i];
        else if (arg == "--dialog-picture" && i + 1 < argc)
            options.dialogPicturePath = argv[++i];
        else if (arg == "--card" && i + 1 < argc && !kTester)
            options.cards.push_back(argv[++i]);
        else if (arg == "--window")
            options.window = true;
        else if (kTester) {
            fprintf(stderr, "usage: RemoteTester [--plugin PATH] [--vendor QuelmoRC.dll]\n");
            return 2;
        } else {
            fprintf(stderr,
                    "usage: workbench [--plugin PATH] [--source NAME] [--remote-type N] [--card NAME]...\n"
                    "                 [--settings INI] [--vendor QuelmoRC.dll] [--script FILE]\n"
                    "                 [--window [--play [--screenshot FILE.bmp]] [--dialog-picture FILE.bmp]]\n");
            return 2;
        }
    }

    std::vector<SimStep> steps;
    if (!options.window || options.play || !options.dialogPicturePath.empty()) {
        const TimelineParse timeline = LoadTimeline(options.scriptPath);
        if (!timeline.error.empty()) {
            fprintf(stderr, "workbench: %s\n", timeline.error.c_str());
            return 2;
        }
        steps = timeline.steps;
    }

    if (!options.settingsPath.empty()) {
        const std::string ini = IniPathBeside(options.pluginPath);
        if (!CopyFileA(options.settingsPath.c_str(), ini.c_str(), FALSE)) {
            fprintf(stderr, "workbench: cannot copy %s to %s\n", options.settingsPath.c_str(), ini.c_str());
            return 2;
        }
    }
    if (!options.vendorPath.empty() && !SimInstallAsVendor(options.vendorPath.c_str())) {
        fprintf(stderr, "workbench: cannot install %s as the system's %s\n", options.vendorPath.c_str(),
                VENDOR_LIBRARY_NAME);
        return 2;
    }

    // A host initialises the common controls; the setup dialog uses them.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);

    g_scriptMode = !options.window;
    // The workbench sets the simulated remote up before the plug-in loads it;
    // the tester takes the PC's vendor library as it is.
    if (!kTester) {
        g_sim = SimAttachControl();
        if (g_sim && options.remoteType != -2)
            std::fill(std::begin(g_sim->remoteType), std::end(g_sim->remoteType), options.remoteType);
        if (g_sim && !options.cards.empty()) {
            g_sim->cardCount = static_cast<uint32_t>(std::min<size_t>(options.cards.size(), SIM_MAX_CARDS));
            for (uint32_t i = 0; i < g_sim->cardCount; ++i)
                snprintf(g_sim->cardNames[i], SIM_NAME_SIZE, "%s", options.cards[i].c_str());
        }
    }
    if (!g_plugin.Load(options.pluginPath)) {
        char text[MAX_PATH + 160];
        snprintf(text, sizeof text,
                 "Cannot load the plug-in %s (error %lu). If the TV software is running, close it "
                 "first: only one copy of the plug-in can be loaded.",
                 options.pluginPath.c_str(), GetLastError());
        if (kTester)
            MessageBoxA(nullptr, text, kTitle, MB_ICONERROR);
        else
            fprintf(stderr, "workbench: %s\n", text);
        return 1;
    }
    const int status = options.window ? RunWindow(options, steps) : RunScript(options, steps);
    g_plugin.Unload();
    return status;
}

#include "tools/workbench/HostWindow.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "device/VendorLibrary.h"

PluginDll g_plugin;
SimControl* g_sim;

namespace {

HWND g_logList;
HWND g_keyMapText;
DWORD g_startTime;
bool g_logToStdout;

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

}  // namespace

void StartLogClock()
{
    g_startTime = timeGetTime();
}

void LogToStdout()
{
    g_logToStdout = true;
}

void Log(const std::string& line)
{
    if (g_logToStdout) {
        printf("%s\n", line.c_str());
        fflush(stdout);
        return;
    }
    if (!g_logList)
        return;
    const LRESULT index = SendMessageA(g_logList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line.c_str()));
    SendMessageA(g_logList, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

void LogCall(const char* what, long long result)
{
    char line[96];
    snprintf(line, sizeof line, "%7lu ms  %s -> %lld", static_cast<unsigned long>(timeGetTime() - g_startTime), what,
             result);
    Log(line);
}

bool PrepareHost(const char* program, const std::string& vendorPath)
{
    if (!vendorPath.empty() && !SimInstallAsVendor(vendorPath.c_str())) {
        fprintf(stderr, "%s: cannot install %s as the system's %s\n", program, vendorPath.c_str(), VENDOR_LIBRARY_NAME);
        return false;
    }
    // A host initialises the common controls; the setup dialog uses them.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES | ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);
    return true;
}

std::string PluginLoadFailure(const std::string& path)
{
    char text[MAX_PATH + 160];
    snprintf(text, sizeof text,
             "Cannot load the plug-in %s (error %lu). If the TV software is running, close it "
             "first: only one copy of the plug-in can be loaded.",
             path.c_str(), GetLastError());
    return text;
}

HWND CreateHostWindow(const char* title, bool visible, HostButtons layout)
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "VantorixRCWorkbench";
    RegisterClassA(&wc);
    HWND window = CreateWindowA(wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 20, 20, 760, 520, nullptr, nullptr,
                                wc.hInstance, nullptr);
    if (!window || !visible)
        return window;

    const char* buttons[] = {"Start", "Stop", "Setup", "Close", "Open"};
    const bool setupOnly = layout == HostButtons::SetupOnly;
    for (int i = 0; i < 5; ++i) {
        if (setupOnly && ID_START + i != ID_SETUP)
            continue;
        const int x = setupOnly ? 10 : 10 + i * 90;
        // A click reaches the window as WM_COMMAND with the button's id; the
        // handle is not kept.
        (void)CreateWindowA("BUTTON", buttons[i], WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, x, 10, 80, 26, window,
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

void OpenPlugin(HWND window, const std::string& source)
{
    const char* description = g_plugin.Open(source.c_str(), window, 0);
    Log("Open -> \"" + std::string(description ? description : "(null)") + "\"");
}

HWND BeginWindowSession(const char* title, HostButtons buttons, const std::string& pluginPath,
                        const std::string& source)
{
    HWND window = CreateHostWindow(title, true, buttons);
    Log("Plug-in: " + FileNameOf(pluginPath));
    OpenPlugin(window, source);
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
    return window;
}

int RunWindowUntilClosed()
{
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    g_plugin.Close();
    return 0;
}

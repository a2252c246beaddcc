#include "support/TestHost.h"

#include <mmsystem.h>
#include <string.h>

#include <algorithm>

#include "support/SettingsFiles.h"
#include "support/TestEnv.h"
#include "ui/resource.h"

static const char kHostClass[] = "VrcRecordingHost";
// The id of the icon static in a message box.
constexpr int kBoxIconId = 0x0440;
// Host windows live as long as the process, handed from host to host: an X
// window made and destroyed per case only adds work (and races) for Wine.
static thread_local std::vector<HWND> t_spareWindows;

RecordingHost::RecordingHost()
{
    if (!t_spareWindows.empty()) {
        window_ = t_spareWindows.back();
        t_spareWindows.pop_back();
    } else {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = WindowProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = kHostClass;
        RegisterClassA(&wc);  // fails harmlessly when already registered
        window_ = CreateWindowA(kHostClass, "Test host", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    }
    SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

RecordingHost::~RecordingHost()
{
    if (!window_)
        return;
    SetWindowLongPtrA(window_, GWLP_USERDATA, 0);
    t_spareWindows.push_back(window_);
}

LRESULT CALLBACK RecordingHost::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* host = reinterpret_cast<RecordingHost*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_REMOTE_COMMAND && host) {
        HostMessage m = {wParam, lParam, {}, timeGetTime()};
        if (wParam)
            memcpy(m.record, reinterpret_cast<const void*>(wParam), sizeof m.record);
        if (host->keep)
            host->messages.push_back(m);
        if (host->onCommand)
            host->onCommand(m);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RecordingHost::Hold(uint32_t code, size_t count, DWORD timeoutMs)
{
    SimHold(code);
    count = count ? count : messages.size() + 1;
    return PumpUntil([&] { return messages.size() >= count; }, timeoutMs);
}

size_t RecordingHost::Tap(uint32_t code)
{
    Hold(code);
    SimHold(255);
    return messages.size();
}

std::string RecordingHost::Log() const
{
    std::string log;
    for (const HostMessage& m : messages)
        log += (log.empty() ? "" : ", ") + m.Command() + " " + std::to_string(m.lParam);
    return log;
}

BoxWatcher::BoxWatcher() : started_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), thread_([this] { Run(); })
{
    WaitForSingleObject(started_, INFINITE);
}

BoxWatcher::~BoxWatcher()
{
    stop_ = true;
    thread_.join();
    CloseHandle(started_);
}

void BoxWatcher::ExpectOneWarning(const std::string& text)
{
    const std::vector<BoxRecord> shown = Boxes();
    ASSERT_EQ(shown.size(), 1u) << text;
    EXPECT_EQ(shown[0].caption, "VantorixRC");
    EXPECT_EQ(shown[0].text, text);
    EXPECT_FALSE(shown[0].hasOwner);
    EXPECT_TRUE(shown[0].warningIcon);
}

std::string WindowText(HWND window)
{
    char text[1024] = {};
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string ClassOf(HWND window)
{
    char name[64] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

std::vector<HWND> VisibleTopWindows(DWORD pid, const char* className)
{
    std::vector<HWND> found;
    ForEachWindow(EnumWindows, [&](HWND window) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && IsWindowVisible(window) && ClassOf(window) == className)
            found.push_back(window);
        return true;
    });
    return found;
}

void BoxWatcher::Run()
{
    const HICON warning = LoadIconA(nullptr, MAKEINTRESOURCEA(32515));  // IDI_WARNING
    SetEvent(started_);
    std::vector<HWND> answered;
    while (!stop_) {
        for (HWND box : VisibleTopWindows(GetCurrentProcessId(), "#32770")) {
            // No text static: a dialog, not a message box.
            if (!GetDlgItem(box, kBoxTextId) || std::count(answered.begin(), answered.end(), box))
                continue;
            const HWND icon = GetDlgItem(box, kBoxIconId);
            const BoxRecord record = {
                WindowText(box), WindowText(GetDlgItem(box, kBoxTextId)), GetWindow(box, GW_OWNER) != nullptr,
                icon && reinterpret_cast<HICON>(SendMessageA(icon, STM_GETICON, 0, 0)) == warning};
            // Recorded before it is answered: the test reads the record once its box has gone.
            std::lock_guard<std::mutex> lock(mutex_);
            boxes_.push_back(record);
            answered.push_back(box);
            PostMessageA(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(10);
    }
}

HWND FindSetupDialog(bool visibleOnly, HWND other)
{
    HWND found = nullptr;
    ForEachWindow([](WNDENUMPROC proc, LPARAM param) { return EnumThreadWindows(GetCurrentThreadId(), proc, param); },
                  [&](HWND window) {
                      if (window != other && ClassOf(window) == "#32770" && GetDlgItem(window, IDC_COMMAND_LIST) &&
                          (!visibleOnly || IsWindowVisible(window)))
                          found = window;
                      return !found;
                  });
    return found;
}

void PluginHostTest::SetUp()
{
    ASSERT_TRUE(InstallVendor("full"));
    ResetSim();
    RemoveSettingsFile(PluginIniPath());
}

void PluginHostTest::TearDown()
{
    SimHold(255);
    if (plugin.module)
        plugin.Close();
    plugin.Unload();
    RemoveSettingsFile(PluginIniPath());
}

void PluginHostTest::OpenPlugin(const char* sourceName)
{
    ASSERT_TRUE(plugin.Load(PluginPath()));
    ASSERT_STREQ(plugin.Open(sourceName, host.Window(), 0), kPluginDescription);
}

void PluginHostTest::OpenAndStart(const std::string& ini, const char* sourceName)
{
    ASSERT_TRUE(ini.empty() || PutSettingsFile(PluginIniPath(), ini));
    OpenPlugin(sourceName);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_NE(plugin.Start(), 0u);
}

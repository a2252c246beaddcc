// A host as the TV software would be: a window recording every command message,
// a watcher that answers message boxes, windows to find, and the host's fixture.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plugin/PluginDll.h"
#include "tools/host/HostKit.h"

struct HostMessage {
    WPARAM wParam;
    LPARAM lParam;
    uint8_t record[sizeof(HostCommandRecord)];
    DWORD time;  // timeGetTime when it arrived
    std::string Command() const { return Text(SOURCE_NAME_SIZE, RECORD_COMMAND_SIZE); }
    std::string Source() const { return Text(0, SOURCE_NAME_SIZE); }
    // Up to the terminator or size bytes.
    std::string Text(size_t at, size_t size) const { return std::string(Chars(at), strnlen(Chars(at), size)); }
    const char* Chars(size_t at) const { return reinterpret_cast<const char*>(record + at); }
};

class RecordingHost {
public:
    RecordingHost();
    ~RecordingHost();
    HWND Window() const { return window_; }

    std::vector<HostMessage> messages;  // every command message, unless keep is false
    bool keep = true;                   // false: nothing is allocated per message
    // Runs inside the host's handler of each command message (re-entrancy tests).
    std::function<void(const HostMessage&)> onCommand;

    // Dispatch this thread's messages (and so the poll timer) for ms, or until done() (returned).
    static void PumpFor(DWORD ms)
    {
        PumpMessagesUntil([] { return false; }, ms);
    }
    static bool PumpUntil(const std::function<bool()>& done, DWORD ms) { return PumpMessagesUntil(done, ms); }
    // Holds code (255: none), then pumps until count messages (0: one more than now); false on timeout.
    bool Hold(uint32_t code, size_t count = 0, DWORD timeoutMs = 20000);
    // Holds code until the next message comes, then lets go; the message count.
    size_t Tap(uint32_t code);
    // Every message as "COMMAND value", joined by ", ": a whole sequence in one check.
    std::string Log() const;

private:
    static LRESULT CALLBACK WindowProc(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
};

// The id of a message box's text static.
constexpr int kBoxTextId = 0xFFFF;

// The plug-in's warnings, as the user reads them.
inline std::string SaveWarning(const std::string& path)
{
    return "Unable to save settings to '" + path + "'!";
}
inline std::string LoadWarning(const std::string& library)
{
    return "Unable to load library '" + library + "'!";
}

struct BoxRecord {
    std::string caption, text;
    bool hasOwner, warningIcon;
};

class BoxWatcher {
public:
    // Returns once the thread runs: a box shown from DllMain holds the loader lock, which a thread still
    // starting waits for.
    BoxWatcher();
    ~BoxWatcher();
    std::vector<BoxRecord> Boxes()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return boxes_;
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        boxes_.clear();
    }
    // Exactly one box: the plug-in's warning (caption, no owner, warning icon) with text.
    void ExpectOneWarning(const std::string& text);

private:
    void Run();
    std::mutex mutex_;
    std::vector<BoxRecord> boxes_;
    volatile bool stop_ = false;
    HANDLE started_;
    std::thread thread_;
};

// Calls visit(window) for each window enumerate(proc, param) passes to proc
// (EnumWindows, EnumChildWindows with a bound parent, ...) while it returns true.
template <typename Enumerate, typename Visit>
void ForEachWindow(Enumerate enumerate, Visit visit)
{
    struct Thunk {
        static BOOL CALLBACK Call(HWND window, LPARAM param) { return (*reinterpret_cast<Visit*>(param))(window); }
    };
    enumerate(&Thunk::Call, reinterpret_cast<LPARAM>(&visit));
}

std::string WindowText(HWND window);
std::string ClassOf(HWND window);
std::vector<HWND> VisibleTopWindows(DWORD pid, const char* className);

// A setup dialog (known by its command list) among this thread's windows but other; or null.
HWND FindSetupDialog(bool visibleOnly = true, HWND other = nullptr);

// A test as a host runs it, with the full simulator and no settings file beside
// the plug-in; afterwards the plug-in is closed and unloaded, no button held.
class PluginHostTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    void OpenPlugin(const char* sourceName = "TV");
    // The settings file ini (none if empty), OpenPlugin, and a Start that must succeed.
    void OpenAndStart(const std::string& ini = "", const char* sourceName = "TV");

    RecordingHost host;
    PluginDll plugin;
};

class HostedPluginTest : public PluginHostTest {
protected:
    BoxWatcher boxes;
};

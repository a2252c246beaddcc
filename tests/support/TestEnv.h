// Test environment: where the build put things, the simulator's control block,
// and installing a simulator variant as the system's vendor library.
#pragma once

#include <windows.h>
#include <string.h>

#include <string>

#include "plugin/PluginState.h"
#include "tools/quelmo_sim/SimControl.h"

// The build directory (the parent of the folder that holds the test executable).
std::string BuildDir();
// Full path of the built plug-in.
std::string PluginPath();
// The settings file the built plug-in uses: beside it, named after it.
std::string PluginIniPath();
// What Open must return, as the host contract fixes it.
extern const char kPluginDescription[];
// "<system directory>\QuelmoRC.dll".
std::string VendorLibraryPath();

// Whether the vendor library is loaded in this process now.
inline bool VendorLoaded()
{
    return GetModuleHandleA(VENDOR_LIBRARY_NAME) != nullptr;
}

// Copies sim\QuelmoRC_<variant>.dll over the system's vendor library
// ("full", "no_name", "no_type", "no_uninit", "count_code", "none").
bool InstallVendor(const char* variant);
// Deletes the system's vendor library, so loading it fails.
bool RemoveVendor();

// The simulator's control block, mapped for the life of the process.
SimControl* Sim();
// Defaults and cleared counters: one card, remote type 2, no button held.
void ResetSim();
// The simulator reports code (255: no button) until told otherwise.
void SimHold(uint32_t code);
// One code per GetRemoteCode call, then 255.
void SimSequence(const uint32_t* codes, uint32_t count);
// Timeline starting now: step i reports codes[i] from timesMs[i] on.
void SimTimeline(const SimStep* steps, uint32_t count);

// The clock of the plug-in's code linked into this program, set by hand:
// SetPollClock(TestClock) makes every poll read g_testNow.
extern uint32_t g_testNow;
uint32_t TestClock();

// The settings file of the plug-in's code linked into this program: the
// program's own path with ".ini".
std::string OwnIniPath();
// The profile functions cache parsed files by write time; a file rewritten
// or removed within one tick would be read stale. Flushing drops the copy.
void ForgetCachedProfile(const std::string& path);

// Writes text as the whole content of a file; true on success.
bool WriteFileText(const std::string& path, const std::string& text);
// Reads a whole file; empty if it cannot be read.
std::string ReadFileText(const std::string& path);

// Empties the commands of the three tables of the plug-in's code linked into
// this program; labels and the rest of the state stay.
inline void ClearAllBindings()
{
    for (ButtonTable& table : g_buttonTables)
        ClearButtonCommands(table);
}

// The first slot of those tables that was run over ("" if none): a label
// that is not the shipped one, or a command not ended by its last byte.
inline std::string BrokenSlot()
{
    for (int t = 0; t < TABLE_COUNT; ++t) {
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const ButtonEntry& entry = g_buttonTables[t].entries[code];
            if (memcmp(entry.label, SHIPPED_BUTTON_TABLES[t].entries[code].label, LABEL_SIZE) != 0 ||
                entry.command[COMMAND_SIZE - 1] != '\0')
                return "table " + std::to_string(t) + " code " + std::to_string(code);
        }
    }
    return "";
}

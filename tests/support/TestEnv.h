// Where the build put things, the simulator's control block, the vendor library to install.
#pragma once

#include <windows.h>
#include <string.h>

#include <fstream>
#include <iterator>
#include <string>

#include "plugin/PluginState.h"
#include "tools/host/HostKit.h"
#include "tools/quelmo_sim/SimControl.h"

// The build directory (the parent of the folder that holds the test executable).
inline const std::string kBuildDir = ProgramFolder(2);
inline std::string PluginPath()
{
    return kBuildDir + "\\VantorixRC.dll";
}
// The settings file the built plug-in uses: beside it, named after it.
inline std::string PluginIniPath()
{
    return IniPathBeside(PluginPath());
}
// What Open must return, as the host contract fixes it.
constexpr char kPluginDescription[] = "Remote Control plugin for TV tuners Vantorix";
inline std::string VendorLibraryPath()
{
    char dir[MAX_PATH] = {};
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + VENDOR_LIBRARY_NAME;
}

inline bool VendorLoaded()
{
    return GetModuleHandleA(VENDOR_LIBRARY_NAME) != nullptr;
}

// Copies sim\QuelmoRC_<variant>.dll (full, no_name, no_type, no_uninit, count_code, none) in its place.
inline bool InstallVendor(const char* variant)
{
    return SimInstallAsVendor((kBuildDir + "\\sim\\QuelmoRC_" + variant + ".dll").c_str());
}
// Deletes the system's vendor library, so loading it fails.
inline bool RemoveVendor()
{
    return DeleteFileA(VendorLibraryPath().c_str()) != 0 ||
           GetFileAttributesA(VendorLibraryPath().c_str()) == INVALID_FILE_ATTRIBUTES;
}

// The simulator's control block, mapped for the life of the process.
inline SimControl* Sim()
{
    static SimControl* control = SimAttachControl();
    return control;
}
// Defaults and cleared counters: one card, remote type 2, no button held.
inline void ResetSim()
{
    SimReset(Sim());
}
// The simulator reports code (255: no button) until told otherwise.
inline void SimHold(uint32_t code)
{
    Sim()->codeMode = SIM_HELD;
    Sim()->heldCode = code;
}

// The linked plug-in's clock set by hand: SetPollClock(TestClock) makes every poll read g_testNow.
inline uint32_t g_testNow;
inline uint32_t TestClock()
{
    return g_testNow;
}

// The settings file of the plug-in's code linked in: this program's own path with ".ini".
inline std::string OwnIniPath()
{
    return IniPathBeside(ProgramFolder(0));
}
// The profile functions cache parsed files by write time; a file rewritten
// or removed within one tick would be read stale. Flushing drops the copy.
inline void ForgetCachedProfile(const std::string& path)
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

// The whole content of a file: written (true on success), read (empty if it cannot be).
inline bool WriteFileText(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), text.size());
    out.close();
    return !out.fail();
}
inline std::string ReadFileText(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Empties the commands (not the labels) of the three tables of the linked plug-in's code.
inline void ClearAllBindings()
{
    for (ButtonTable& table : g_buttonTables)
        ClearButtonCommands(table);
}

// The first slot of those tables that was run over ("" if none): a label
// that is not the shipped one, or a command not ended by its last byte.
inline std::string BrokenSlot()
{
    for (int t = 0; t < TABLE_COUNT; ++t)
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const ButtonEntry& entry = g_buttonTables[t].entries[code];
            if (memcmp(entry.label, SHIPPED_BUTTON_TABLES[t].entries[code].label, LABEL_SIZE) != 0 ||
                entry.command[COMMAND_SIZE - 1] != '\0')
                return "table " + std::to_string(t) + " code " + std::to_string(code);
        }
    return "";
}

// The plug-in's code linked into the test program: what a test of it
// includes, its fixture, and the settings file read into its state.
#pragma once

#include <windows.h>

#include <array>

#include "mapping/CopyText.h"
#include "plugin/PluginState.h"
#include "plugin/PollTimer.h"
#include "support/SettingsFiles.h"
#include "support/TestHost.h"

// The four settings in force, in file order.
typedef std::array<uint32_t, 4> Timings;
inline Timings SettingsInForce()
{
    const PluginSettings& s = g_plugin.settings;
    return {s.DeviceIndex, s.DelayBeforeRepeat, s.RepeatInterval, s.ReleaseTime};
}

// The settings in force and the current table's commands are what the profile functions give for the file at path.
inline void ExpectReadAsTheProfileFunctions(const std::string& path)
{
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(SettingsInForce()[k], ProfileSetting(path, kHardwareKeyNames[k])) << kHardwareKeyNames[k];
    for (int code = 0; code < BUTTON_COUNT; ++code) {
        // The answer with a 64-byte buffer, cut to 31 characters.
        char value[64] = {};
        GetPrivateProfileStringA("Buttons", KeyOf(code).c_str(), "", value, sizeof value, path.c_str());
        EXPECT_EQ(Printable(g_plugin.currentTable->entries[code].command), Printable(std::string(value).substr(0, 31)))
            << "code " << KeyOf(code);
    }
}

inline void SetIniPath(const std::string& path)
{
    CopyText(g_plugin.iniPath, sizeof g_plugin.iniPath, path.c_str());
}

typedef std::map<int, std::string> Commands;  // code -> command; a code not listed is unbound

// Table holds the commands and every other table others in every slot.
inline void ExpectTableCommands(int table, const Commands& commands, const std::string& what, const char* others = "")
{
    for (int t = 0; t < TABLE_COUNT; ++t)
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const auto it = commands.find(code);
            const std::string want = t != table ? others : it == commands.end() ? "" : it->second;
            EXPECT_EQ(g_buttonTables[t].entries[code].command, want)
                << what << ", table " << t << ", code " << KeyOf(code);
        }
}

// Reads both sections of the file in force: [Buttons] into the current table.
inline void ReadSettingsFile()
{
    ReadHardwareSettings(g_plugin.iniPath, g_plugin.settings);
    ReadButtonBindings(g_plugin.iniPath, *g_plugin.currentTable);
}

// Closed, with the real clock and timer, the state as loaded, no binding
// anywhere and no settings file of this program's own.
inline void ResetLinkedPlugin()
{
    SimHold(255);
    Close();
    SetPollClock(nullptr);
    SetPollSetTimer(nullptr);
    g_plugin.moduleInstance = nullptr;
    ResetPluginState();
    ClearAllBindings();
    RemoveSettingsFile(OwnIniPath());
}

// The full simulator as the vendor library and the plug-in reset, before and after.
class LinkedPluginTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(InstallVendor("full"));
        ResetSim();
        ResetLinkedPlugin();
    }
    void TearDown() override { ResetLinkedPlugin(); }
};

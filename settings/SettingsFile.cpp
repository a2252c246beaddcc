#include "settings/SettingsFile.h"

#include <windows.h>
#include <stdio.h>

#include "mapping/CopyText.h"
#include "mapping/PluginName.h"
#include "settings/IniPath.h"

namespace {

const char kHardwareSection[] = "Hardware";
const char kButtonsSection[] = "Buttons";
const char kFallbackIniName[] = "VantorixRC.ini";

struct HardwareKey {
    const char* name;
    uint32_t PluginSettings::*field;
    uint32_t defaultValue;
};

// Also the order in which they are written.
const HardwareKey kHardwareKeys[] = {
    {"DeviceIndex", &PluginSettings::DeviceIndex, DEFAULT_DEVICE_INDEX},
    {"DelayBeforeRepeat", &PluginSettings::DelayBeforeRepeat, DEFAULT_DELAY_BEFORE_REPEAT},
    {"RepeatInterval", &PluginSettings::RepeatInterval, DEFAULT_REPEAT_INTERVAL},
    {"ReleaseTime", &PluginSettings::ReleaseTime, DEFAULT_RELEASE_TIME},
};

void FormatButtonKey(int code, char (&key)[8])
{
    snprintf(key, sizeof key, "%.2X", static_cast<unsigned>(code));
}

bool BuildIniPathFromModule(HMODULE module, char (&iniPath)[PATH_SIZE])
{
    char modulePath[PATH_SIZE];
    const DWORD length = GetModuleFileNameA(module, modulePath, sizeof modulePath);
    if (length == 0 || length >= sizeof modulePath)
        return false;

    char fullPath[PATH_SIZE];
    const DWORD fullLength = GetFullPathNameA(modulePath, sizeof fullPath, fullPath, nullptr);
    if (fullLength == 0 || fullLength >= sizeof fullPath)
        return false;
    return IniPathBesideModule(fullPath, iniPath, sizeof iniPath);
}

}  // namespace

void DeriveIniPath(HMODULE module, char (&iniPath)[PATH_SIZE])
{
    iniPath[0] = '\0';
    if (!BuildIniPathFromModule(module, iniPath))
        CopyText(iniPath, sizeof iniPath, kFallbackIniName);
}

void ReadHardwareSettings(const char* iniPath, PluginSettings& settings)
{
    if (iniPath[0] == '\0')
        return;
    for (const HardwareKey& key : kHardwareKeys) {
        settings.*key.field = static_cast<uint32_t>(
            GetPrivateProfileIntA(kHardwareSection, key.name, static_cast<INT>(key.defaultValue), iniPath));
    }
}

void ReadButtonBindings(const char* iniPath, ButtonTable& table)
{
    if (iniPath[0] == '\0')
        return;
    for (int code = 0; code < BUTTON_COUNT; ++code) {
        char key[8];
        FormatButtonKey(code, key);
        char value[64] = {};
        GetPrivateProfileStringA(kButtonsSection, key, "", value, sizeof value, iniPath);
        value[sizeof value - 1] = '\0';
        SetButtonCommand(table, code, value);
    }
}

bool WriteSettingsFile(const char* iniPath, const PluginSettings& settings, const ButtonTable& table)
{
    if (iniPath[0] == '\0')
        return true;
    bool failed = false;
    for (const HardwareKey& key : kHardwareKeys) {
        char value[16];
        snprintf(value, sizeof value, "%u", static_cast<unsigned>(settings.*key.field));
        if (!WritePrivateProfileStringA(kHardwareSection, key.name, value, iniPath))
            failed = true;
    }
    for (int code = 0; code < BUTTON_COUNT; ++code) {
        char key[8];
        FormatButtonKey(code, key);
        if (!WritePrivateProfileStringA(kButtonsSection, key, table.entries[code].command, iniPath))
            failed = true;
    }
    if (failed) {
        // Otherwise every change made in the dialog would be lost without a word.
        char text[PATH_SIZE + 64];
        snprintf(text, sizeof text, "Unable to save settings to '%s'!", iniPath);
        MessageBoxA(nullptr, text, PLUGIN_NAME, MB_ICONWARNING);
    }
    return !failed;
}

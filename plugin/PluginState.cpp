#include "plugin/PluginState.h"

#include <string.h>

#include "device/RemoteDevice.h"
#include "mapping/DefaultBindings.h"

ButtonTable g_buttonTables[TABLE_COUNT] = {SHIPPED_BUTTON_TABLES[0], SHIPPED_BUTTON_TABLES[1],
                                           SHIPPED_BUTTON_TABLES[2]};

namespace {

// No receiver of the host's until Open gives the host window.
constexpr KeyEventSink kNoHost = {nullptr, nullptr};

// The family of the table on screen: 0, 1 or 2.
int32_t CurrentTableFamily()
{
    return static_cast<int32_t>(g_plugin.currentTable - g_buttonTables);
}

}  // namespace

PluginState g_plugin = {
    nullptr, nullptr, nullptr, {}, "", DEFAULT_SETTINGS, nullptr, 0, &g_buttonTables[0], 0, IdleKeySession(kNoHost),
    nullptr, 0,       0,       0,  0};

void ResetPluginState()
{
    const HMODULE module = g_plugin.moduleInstance;
    const HANDLE mutex = g_plugin.instanceMutex;
    memset(&g_plugin, 0, sizeof g_plugin);
    g_plugin.moduleInstance = module;
    g_plugin.instanceMutex = mutex;
    g_plugin.settings = DEFAULT_SETTINGS;
    g_plugin.currentTable = &g_buttonTables[0];
    g_plugin.session = IdleKeySession(kNoHost);
    memcpy(g_buttonTables, SHIPPED_BUTTON_TABLES, sizeof g_buttonTables);
}

void SelectButtonTable(int32_t remoteType)
{
    g_plugin.currentTable = &g_buttonTables[ButtonTableForRemoteType(remoteType)];
}

void OpenCardAndSelectTable(uint32_t index)
{
    RemoteDevice* device = g_plugin.device;
    g_plugin.cardOpen = device ? device->OpenCard(index) : 0;
    SelectButtonTable(device ? device->RemoteType() : VENDOR_NO_REMOTE_TYPE);
}

void ApplyDefaultBindings()
{
    g_plugin.settings.DelayBeforeRepeat = DEFAULT_DELAY_BEFORE_REPEAT;
    g_plugin.settings.RepeatInterval = DEFAULT_REPEAT_INTERVAL;
    g_plugin.settings.ReleaseTime = DEFAULT_RELEASE_TIME;
    // The set follows the table on screen, so it matches the labels the user
    // sees even after Close, when no device is left to ask.
    ApplyFactoryBindings(*g_plugin.currentTable, CurrentTableFamily());
}

void SaveSettings()
{
    if (g_plugin.iniPath[0] == '\0')
        return;
    // The flag stays set through the write: an edit made while the warning
    // box of a failed write is up is still pending afterwards.
    if (WriteSettingsFile(g_plugin.iniPath, g_plugin.settings, *g_plugin.currentTable))
        g_plugin.settingsDirty = 0;
}

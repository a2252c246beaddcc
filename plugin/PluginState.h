// Process-wide plug-in state: the one static record of the Win32 edge, and
// the three button tables it points into.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "engine/KeySession.h"
#include "mapping/ButtonTables.h"
#include "plugin/HostContract.h"
#include "settings/PluginSettings.h"
#include "settings/SettingsFile.h"

class RemoteDevice;

struct PluginState {
    HMODULE moduleInstance;
    HANDLE instanceMutex;
    HWND hostWindow;
    HostCommandRecord commandRecord;
    char iniPath[PATH_SIZE];
    PluginSettings settings;
    RemoteDevice* device;
    uint32_t cardOpen;
    ButtonTable* currentTable;
    UINT_PTR timerId;
    KeySession session;  // the tracker, polling, and who hears the key events
    HWND dialogWindow;
    uint32_t dialogReady;
    uint32_t settingsDirty;
    uint32_t setupRunning;        // 1 while Setup runs its dialog: a second Setup is refused
    uint32_t hostStartedPolling;  // 1 while the polling in force is the host's Start: Setup leaves it on
};

// Sent to the open setup dialog by Open and Close, once they have changed the
// device, the table or the settings: the dialog then shows what is in force.
constexpr UINT WM_SHOW_SETTINGS_IN_FORCE = WM_APP + 1;

extern PluginState g_plugin;
extern ButtonTable g_buttonTables[TABLE_COUNT];

// Every field and table back to its load-time value, except the module and
// its mutex (tests use it between cases).
void ResetPluginState();

// Points currentTable at the table of the remote type's family.
void SelectButtonTable(int32_t remoteType);

// Opens card index of the device and selects the button table of its
// remote's family; table 0 when there is no device or the card does not open.
void OpenCardAndSelectTable(uint32_t index);

// Factory timings, and the factory set of the current table's family in it;
// DeviceIndex is left alone.
void ApplyDefaultBindings();

// Writes both sections of the settings file; clears settingsDirty only when
// every write succeeded (a failed one has warned). Nothing at all without a
// settings path.
void SaveSettings();

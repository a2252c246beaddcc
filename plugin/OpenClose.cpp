// The exports Open and Close, and the device they own.
#include <string.h>

#include <new>

#include "device/RemoteDevice.h"
#include "mapping/CopyText.h"
#include "plugin/HostCommand.h"
#include "plugin/PluginState.h"
#include "plugin/PollTimer.h"
#include "settings/SettingsFile.h"

namespace {

const char kDefaultSourceName[] = "REMOTE";
constexpr KeyEventSink kHostCommands = {SendCommandToHost, nullptr};

// Gives the device back: closes the card, frees the library and the object.
void ReleaseDevice()
{
    g_plugin.cardOpen = 0;
    if (g_plugin.device) {
        RemoteDevice* device = g_plugin.device;
        g_plugin.device = nullptr;
        device->Release();
        device->~RemoteDevice();
        HeapFree(GetProcessHeap(), 0, device);
    }
}

// The open setup dialog, if any, shows what is in force now.
void ShowSettingsInDialog()
{
    if (g_plugin.dialogWindow)
        SendMessageA(g_plugin.dialogWindow, WM_SHOW_SETTINGS_IN_FORCE, 0, 0);
}

}  // namespace

extern "C" const char* __stdcall Open(const char* sourceName, HWND window, uint32_t)
{
    // A host may open again while the setup dialog is open (from a timer of
    // its own): what the user changed there is saved before the file is read.
    // First of all, since a failed save warns in a box whose loop may run
    // the host's calls. If it still cannot be saved, it stays in force and
    // pending, for the dialog's end to try again, and the file is not read.
    if (g_plugin.settingsDirty)
        SaveSettings();
    const bool keepEdits = g_plugin.settingsDirty != 0;

    g_plugin.hostWindow = window;
    g_plugin.hostStartedPolling = 0;

    memset(&g_plugin.commandRecord, 0, sizeof g_plugin.commandRecord);
    CopyText(g_plugin.commandRecord.sourceName, SOURCE_NAME_SIZE, sourceName ? sourceName : kDefaultSourceName);

    DeriveIniPath(g_plugin.moduleInstance, g_plugin.iniPath);
    if (!keepEdits)
        ReadHardwareSettings(g_plugin.iniPath, g_plugin.settings);

    // A button held now is forgotten, not released: this is a new session.
    KillPollTimer();
    g_plugin.session.host = kHostCommands;
    OpenKeySession(g_plugin.session, window != nullptr);
    ReleaseDevice();

    // Process heap, not operator new: the plug-in carries no C++ runtime allocator.
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(RemoteDevice));
    g_plugin.device = memory ? new (memory) RemoteDevice() : nullptr;
    const ButtonTable* const edited = g_plugin.currentTable;
    OpenCardAndSelectTable(g_plugin.settings.DeviceIndex);

    // The bindings are keyed by code alone: kept edits move to the table of
    // the card now open, as a save and a read would have carried them.
    if (keepEdits)
        CopyButtonCommands(*g_plugin.currentTable, *edited);
    else
        ReadButtonBindings(g_plugin.iniPath, *g_plugin.currentTable);
    ShowSettingsInDialog();
    return PLUGIN_DESCRIPTION;
}

extern "C" void __cdecl Close()
{
    // Cleared first: the release of a held button no longer reaches the host.
    g_plugin.hostWindow = nullptr;
    g_plugin.hostStartedPolling = 0;
    KillPollTimer();
    CloseKeySession(g_plugin.session);
    ReleaseDevice();
    ShowSettingsInDialog();
}

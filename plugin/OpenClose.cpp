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

}  // namespace

extern "C" const char* __stdcall Open(const char* sourceName, HWND window, uint32_t)
{
    g_plugin.hostWindow = window;

    memset(&g_plugin.commandRecord, 0, sizeof g_plugin.commandRecord);
    if (sourceName)
        strncpy(g_plugin.commandRecord.sourceName, sourceName, SOURCE_NAME_SIZE - 1);
    else
        CopyText(g_plugin.commandRecord.sourceName, SOURCE_NAME_SIZE, kDefaultSourceName);

    // A host may open again while the setup dialog is open (from a timer of
    // its own): what the user changed there is saved before the file is read.
    if (g_plugin.settingsDirty)
        SaveSettings();
    DeriveIniPath(g_plugin.moduleInstance, g_plugin.iniPath);
    ReadHardwareSettings(g_plugin.iniPath, g_plugin.settings);

    // A button held now is forgotten, not released: this is a new session.
    KillPollTimer();
    g_plugin.session.host = kHostCommands;
    OpenKeySession(g_plugin.session, window != nullptr);
    ReleaseDevice();

    // Process heap, not operator new: the plug-in carries no C++ runtime allocator.
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(RemoteDevice));
    g_plugin.device = memory ? new (memory) RemoteDevice() : nullptr;
    OpenCardAndSelectTable(g_plugin.settings.DeviceIndex);

    ReadButtonBindings(g_plugin.iniPath, *g_plugin.currentTable);
    if (g_plugin.dialogWindow)
        SendMessageA(g_plugin.dialogWindow, WM_SETTINGS_REREAD, 0, 0);
    return PLUGIN_DESCRIPTION;
}

extern "C" void __cdecl Close()
{
    // Cleared first: the release of a held button no longer reaches the host.
    g_plugin.hostWindow = nullptr;
    KillPollTimer();
    CloseKeySession(g_plugin.session);
    ReleaseDevice();
}

#include "plugin/HostCommand.h"

#include "mapping/CopyText.h"
#include "plugin/PluginState.h"

void SendCommandToHost(void*, uint8_t code, int32_t eventValue)
{
    const char* command = g_plugin.currentTable->entries[code].command;
    if (command[0] == '\0' || !g_plugin.hostWindow)
        return;
    CopyText(g_plugin.commandRecord.command, COMMAND_SIZE, command);
    SendMessageA(g_plugin.hostWindow, WM_REMOTE_COMMAND, reinterpret_cast<WPARAM>(&g_plugin.commandRecord),
                 static_cast<LPARAM>(eventValue));
}

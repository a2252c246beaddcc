#include "plugin/PluginState.h"

#include <string.h>

const char PLUGIN_DESCRIPTION[] = "Remote Control plugin for TV tuners Vantorix";
const char PLUGIN_CAPTION[] = "VantorixRC";

PluginState g_plugin = {
    nullptr, nullptr, nullptr, {}, "",
    {DEFAULT_DEVICE_INDEX, DEFAULT_DELAY_BEFORE_REPEAT, DEFAULT_REPEAT_INTERVAL,
     DEFAULT_RELEASE_TIME},
    nullptr, 0, &g_buttonTables[0], 0, 0,
    {NO_KEY, 0, 0, 0, 0},
    nullptr, 0, 0,
};

void ResetPluginState()
{
    const HMODULE module = g_plugin.moduleInstance;
    const HANDLE mutex = g_plugin.instanceMutex;
    memset(&g_plugin, 0, sizeof g_plugin);
    g_plugin.moduleInstance = module;
    g_plugin.instanceMutex = mutex;
    g_plugin.settings = {DEFAULT_DEVICE_INDEX, DEFAULT_DELAY_BEFORE_REPEAT,
                         DEFAULT_REPEAT_INTERVAL, DEFAULT_RELEASE_TIME};
    g_plugin.currentTable = &g_buttonTables[0];
    g_plugin.tracker.heldCode = NO_KEY;
}

void CopyText(char* dst, size_t size, const char* src)
{
    if (size == 0)
        return;
    if (!src)
        src = "";
    // Like strcpy, bytes after the terminator are left as they are.
    size_t i = 0;
    for (; i + 1 < size && src[i] != '\0'; ++i)
        dst[i] = src[i];
    dst[i] = '\0';
}

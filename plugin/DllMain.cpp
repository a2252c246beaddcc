// Process attach and detach of the plug-in module.
#include <windows.h>

#include "mapping/PluginName.h"
#include "plugin/PluginState.h"
#include "plugin/PollTimer.h"

// cppcheck-suppress constParameter ; the loader's prototype fixes the type
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_plugin.moduleInstance = instance;
        HANDLE mutex = CreateMutexA(nullptr, TRUE, "Nimbrel_VantorixRC");
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            if (mutex)
                CloseHandle(mutex);
            MessageBoxA(nullptr, "VantorixRC plugin is already loaded", PLUGIN_NAME, MB_ICONWARNING);
            return FALSE;
        }
        g_plugin.instanceMutex = mutex;
    } else if (reason == DLL_PROCESS_DETACH) {
        // Unloaded by FreeLibrary while polling: the thread timer would go on
        // calling into code that is gone. Only the timer is ended here; the
        // loader lock forbids calling the vendor library or freeing it.
        if (!reserved)
            KillPollTimer();
        g_plugin.moduleInstance = nullptr;
        if (g_plugin.instanceMutex) {
            CloseHandle(g_plugin.instanceMutex);
            g_plugin.instanceMutex = nullptr;
        }
    }
    return TRUE;
}

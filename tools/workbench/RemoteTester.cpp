// The remote tester of the release: a window that hosts VantorixRC.dll from
// its own folder against the vendor library the PC has, lists every command
// the plug-in would send the TV application, and has a Setup button.
//
//   RemoteTester [--plugin PATH] [--vendor QuelmoRC.dll]
#include <windows.h>
#include <stdio.h>

#include <string>

#include "tools/host/HostKit.h"
#include "tools/workbench/HostWindow.h"

namespace {

const char kTitle[] = "VantorixRC remote tester";

}  // namespace

int main(int argc, char** argv)
{
    StartLogClock();
    std::string pluginPath = ProgramFolder(1) + "\\VantorixRC.dll";  // the tester sits beside the plug-in
    std::string vendorPath;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc)
            pluginPath = argv[++i];
        else if (arg == "--vendor" && i + 1 < argc)
            vendorPath = argv[++i];
        else {
            fprintf(stderr, "usage: RemoteTester [--plugin PATH] [--vendor QuelmoRC.dll]\n");
            return 2;
        }
    }
    if (!PrepareHost("RemoteTester", vendorPath))
        return 2;
    // The PC's vendor library is taken as it is.
    if (!g_plugin.Load(pluginPath)) {
        MessageBoxA(nullptr, PluginLoadFailure(pluginPath).c_str(), kTitle, MB_ICONERROR);
        return 1;
    }
    BeginWindowSession(kTitle, HostButtons::SetupOnly, pluginPath, "TV");
    const int status = RunWindowUntilClosed();
    g_plugin.Unload();
    return status;
}

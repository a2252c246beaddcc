// Prints the plug-in's file size and the median cost of loading it alone and
// of a whole host session (load, Open, Close, unload) against the simulator.
// Figures only; nothing is asserted (the imports are PluginImage's test).
#include <windows.h>
#include <stdio.h>

#include "plugin/PluginDll.h"
#include "tools/bench/RoundTimes.h"
#include "tools/host/HostKit.h"
#include "tools/quelmo_sim/SimControl.h"

namespace {

// The median milliseconds of rounds calls of round().
template <typename Round>
double MedianMs(int rounds, Round round)
{
    return 1000.0 * SortedRoundSeconds(rounds, round)[rounds / 2];
}

}  // namespace

int main()
{
    const std::string build = ProgramFolder(2);
    const std::string plugin = build + "\\VantorixRC.dll";
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    GetFileAttributesExA(plugin.c_str(), GetFileExInfoStandard, &info);
    printf("VantorixRC.dll size: %lu bytes (%.1f KiB; goal <= 64 KiB)\n", info.nFileSizeLow,
           info.nFileSizeLow / 1024.0);

    SimControl* sim = SimAttachControl();
    if (!sim || !SimInstallAsVendor((build + "\\sim\\QuelmoRC_full.dll").c_str())) {
        printf("cannot install the simulator as vendor library\n");
        return 1;
    }
    SimReset(sim);
    DeleteFileA(IniPathBeside(plugin).c_str());
    // A host window that only has to exist: Open and Close send it nothing.
    const HWND host = CreateWindowA("STATIC", "bench host", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    const int rounds = 100;

    const double loadOnly = MedianMs(rounds, [&] {
        HMODULE module = LoadLibraryA(plugin.c_str());
        FreeLibrary(module);
    });
    const double session = MedianMs(rounds, [&] {
        PluginDll dll;
        dll.Load(plugin);
        dll.Open("TV", host, 0);
        dll.Close();
        dll.Unload();
    });
    printf("median over %d rounds: LoadLibrary+FreeLibrary %.3f ms; "
           "LoadLibrary+Open+Close+FreeLibrary %.3f ms (Open/Close share %.3f ms)\n",
           rounds, loadOnly, session, session - loadOnly);
    DestroyWindow(host);
    return 0;
}

// The plug-in as a host program loads it: by path, with its five exports.
// The workbench, the remote tester, the tests and the benchmarks load it so.
#pragma once

#include <windows.h>

#include <string>

#include "device/ProcAddress.h"
#include "plugin/HostContract.h"

struct PluginDll : PluginExports {
    HMODULE module = nullptr;

    PluginDll() = default;
    PluginDll(const PluginDll&) = delete;
    PluginDll& operator=(const PluginDll&) = delete;
    ~PluginDll() { Unload(); }

    // Loads the DLL at path; true only when all five exports are there.
    bool Load(const char* path)
    {
        Unload();
        module = LoadLibraryA(path);
        if (!module)
            return false;
        Open = ProcAddress<OpenFn>(module, "Open");
        Close = ProcAddress<CloseFn>(module, "Close");
        Start = ProcAddress<StartFn>(module, "Start");
        Stop = ProcAddress<StopFn>(module, "Stop");
        Setup = ProcAddress<SetupFn>(module, "Setup");
        return Open && Close && Start && Stop && Setup;
    }

    bool Load(const std::string& path) { return Load(path.c_str()); }

    // Frees the DLL (the host's Close is its own business).
    void Unload()
    {
        if (module)
            FreeLibrary(module);
        module = nullptr;
        static_cast<PluginExports&>(*this) = PluginExports();
    }
};

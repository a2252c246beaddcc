// What the developers' programs that host the plug-in share (the workbench,
// the remote tester, the benchmarks and the tests): where the build put
// things, and a message pump that lets the plug-in's timer and the host
// window do their work.
#pragma once

#include <windows.h>

#include <string>

#include "settings/IniPath.h"

// This program's own path less its last `levels` components: 0 gives the
// path itself, 1 its folder, 2 the folder above (the build folder, for a
// program in <build>\tools or <build>\tests).
inline std::string ProgramFolder(int levels)
{
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    for (int i = 0; i < levels && folder.find_last_of("\\/") != std::string::npos; ++i)
        folder.resize(folder.find_last_of("\\/"));
    return folder;
}

// The settings file that the plug-in at modulePath reads ("" if it has none).
inline std::string IniPathBeside(const std::string& modulePath)
{
    char path[MAX_PATH];
    return IniPathBesideModule(modulePath.c_str(), path, sizeof path) ? path : "";
}

// Dispatches this thread's messages (and so the plug-in's poll timer) until
// done() holds or timeoutMs have passed; returns done().
template <typename Done>
bool PumpMessagesUntil(Done done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (done())
            return true;
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return done();
        MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed < 5 ? timeoutMs - elapsed : 5, QS_ALLINPUT);
    }
}

// Keeps a Wine session up between the programs of a test run. Wine ends its
// services and its desktop process when the last ordinary program exits, and
// starting them again costs minutes where 32-bit code runs under emulation.
// This program owns one hidden window, which brings the desktop up, and then
// waits. Usage: session_keeper READY_FILE — READY_FILE is created once the
// window exists. It runs until the session is ended (wineserver -k).
#include <windows.h>
#include <stdio.h>

int main(int argc, char** argv)
{
    HWND window = nullptr;
    // The desktop may still be starting: its first windows then fail for a
    // while. Under emulation the desktop can also crash as it starts; after
    // three minutes give up, and the caller boots the session again.
    for (int attempt = 0; attempt < 180 && !window; ++attempt) {
        window = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "session keeper", WS_POPUP, 0, 0, 1, 1, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!window)
            Sleep(1000);
    }
    if (!window)
        return 1;
    if (argc > 1) {
        if (FILE* ready = fopen(argv[1], "w"))
            fclose(ready);
    }
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}

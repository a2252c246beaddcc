// What a host application and the plug-in agree on: the five exports, the
// command message and the 228-byte record it carries. The plug-in, the test
// host and the workbench all use this header.
#pragma once

#include <windows.h>
#include <stdint.h>

// Sent to the host window for every key event of a bound button: wParam is
// the address of the record, lParam 0 for a press, n for the n-th repeat and
// -1 for a release.
constexpr UINT WM_REMOTE_COMMAND = WM_USER + 1;

constexpr int SOURCE_NAME_SIZE = 64;
constexpr int RECORD_COMMAND_SIZE = 164;

// One static block at a fixed address: the source name from Open, then the
// command of the current event (at most 31 characters), zero-filled behind.
struct HostCommandRecord {
    char sourceName[SOURCE_NAME_SIZE];
    char command[RECORD_COMMAND_SIZE];
};
static_assert(sizeof(HostCommandRecord) == 228, "host record layout is fixed");

// What Open returns; static, never freed by the host.
inline constexpr char PLUGIN_DESCRIPTION[] = "Remote Control plugin for TV tuners Vantorix";

extern "C" {
// Sets the host window and source name, reads the settings, opens the card;
// never starts polling. The callee removes its three arguments.
const char* __stdcall Open(const char* sourceName, HWND window, uint32_t ignored);
// Stops polling and gives the card and the vendor library back; saves nothing.
void __cdecl Close();
// 0 when polling cannot start, 1 when it already runs, else the timer id.
uint32_t __cdecl Start();
// Ends polling; a held button is released first. The result has no meaning.
uint32_t __cdecl Stop();
// Runs the modal setup dialog over the host window.
int32_t __cdecl Setup();
}

// The exports as a host that loads the plug-in by name sees them.
typedef const char*(__stdcall* OpenFn)(const char*, HWND, uint32_t);
typedef void(__cdecl* CloseFn)();
typedef uint32_t(__cdecl* StartFn)();
typedef uint32_t(__cdecl* StopFn)();
typedef int32_t(__cdecl* SetupFn)();

struct PluginExports {
    OpenFn Open = nullptr;
    CloseFn Close = nullptr;
    StartFn Start = nullptr;
    StopFn Stop = nullptr;
    SetupFn Setup = nullptr;
};

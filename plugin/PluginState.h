// Process-wide plug-in state: one static record shared by every subsystem.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "mapping/ButtonTables.h"

class RemoteDevice;

constexpr uint8_t NO_KEY = 255;
constexpr UINT WM_REMOTE_COMMAND = WM_USER + 1;
constexpr int SOURCE_NAME_SIZE = 64;
constexpr int RECORD_COMMAND_SIZE = 164;
constexpr int PATH_SIZE = 260;

extern const char PLUGIN_DESCRIPTION[];
extern const char PLUGIN_CAPTION[];

// The block whose address goes to the host with every command message.
struct HostCommandRecord {
    char sourceName[SOURCE_NAME_SIZE];
    char command[RECORD_COMMAND_SIZE];
};
static_assert(sizeof(HostCommandRecord) == 228, "host record layout is fixed");

struct PluginSettings {
    uint32_t DeviceIndex;
    uint32_t DelayBeforeRepeat;
    uint32_t RepeatInterval;
    uint32_t ReleaseTime;
};

constexpr uint32_t DEFAULT_DEVICE_INDEX = 0;
constexpr uint32_t DEFAULT_DELAY_BEFORE_REPEAT = 350;
constexpr uint32_t DEFAULT_REPEAT_INTERVAL = 100;
constexpr uint32_t DEFAULT_RELEASE_TIME = 60;

struct KeyTracker {
    uint8_t heldCode;
    int32_t repeatCount;
    uint32_t pressTime;
    uint32_t lastSeenTime;
    uint32_t lastRepeatTime;
};

struct PluginState {
    HMODULE moduleInstance;
    HANDLE instanceMutex;
    HWND hostWindow;
    HostCommandRecord commandRecord;
    char iniPath[PATH_SIZE];
    PluginSettings settings;
    RemoteDevice* device;
    uint32_t cardOpen;
    ButtonTable* currentTable;
    uint32_t polling;
    UINT_PTR timerId;
    KeyTracker tracker;
    HWND dialogWindow;
    uint32_t dialogReady;
    uint32_t settingsDirty;
};

extern PluginState g_plugin;

// Puts every field back to its load-time value (tests use it between cases).
void ResetPluginState();

// Copies at most size-1 bytes of src (null reads as "") and always terminates dst.
void CopyText(char* dst, size_t size, const char* src);

// The exports, callable in-process as well.
extern "C" {
const char* __stdcall Open(const char* sourceName, HWND window, uint32_t ignored);
void __cdecl Close();
uint32_t __cdecl Start();
uint32_t __cdecl Stop();
int32_t __cdecl Setup();
}

// Gives the device back: closes the card, frees the library and the object.
void ReleaseDevice();

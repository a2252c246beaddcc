// Control block of the QuelmoRC.dll simulator. It lives in a named shared
// memory section, so a test or the workbench configures the simulated cards
// and remote before the plug-in loads the library, and reads back what the
// plug-in called, even after the library has been unloaded again.
#pragma once

#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "device/VendorLibrary.h"
#include "tools/quelmo_sim/SimStep.h"

#define SIM_CONTROL_NAME "QuelmoRC_Simulator_Control"

constexpr uint32_t SIM_MAGIC = 0x51524331;  // "QRC1"
constexpr int SIM_MAX_CARDS = 8;
constexpr int SIM_NAME_SIZE = 64;
constexpr int SIM_LOG_SIZE = 512;

enum SimCodeMode : uint32_t {
    SIM_HELD = 0,      // GetRemoteCode returns heldCode
    SIM_TIMELINE = 1,  // code of the last step whose time (ms after timelineStart) has passed
    SIM_SEQUENCE = 2,  // one step per GetRemoteCode call; after the end, VENDOR_NO_BUTTON
};

enum SimCall : uint8_t {
    CALL_GET_CARD_COUNT = 'C',
    CALL_GET_CARD_NAME = 'N',
    CALL_OPEN_CARD = 'O',
    CALL_GET_REMOTE_TYPE = 'T',
    CALL_GET_REMOTE_CODE = 'R',
    CALL_UNINIT = 'U',
};

struct SimControl {
    uint32_t magic;
    // Configuration.
    uint32_t cardCount;
    char cardNames[SIM_MAX_CARDS][SIM_NAME_SIZE];
    uint32_t nullName[SIM_MAX_CARDS];    // GetCardName returns a null pointer
    uint32_t fencedName[SIM_MAX_CARDS];  // all 64 bytes of the name, no terminator, then an unreadable page
    int32_t remoteType[SIM_MAX_CARDS];
    uint32_t openResult[SIM_MAX_CARDS];  // what OpenCard returns
    uint32_t codeMode;
    uint32_t heldCode;
    uint32_t timelineStart;  // timeGetTime at which the timeline starts
    uint32_t stepCount;
    SimStep steps[SIM_MAX_STEPS];
    // Read back.
    uint32_t loadCount;  // process attaches of the simulator
    uint32_t unloadCount;
    uint32_t callCount[256];  // indexed by SimCall
    uint32_t lastOpenIndex;
    uint32_t lastNameIndex;
    uint32_t openCardArgs[SIM_LOG_SIZE];
    uint32_t openCardArgCount;
    uint32_t sequencePosition;
    char callLog[SIM_LOG_SIZE];  // one SimCall letter per call, oldest first
    uint32_t callLogLength;
};

// Maps the control block, creating it if needed. The first creator fills the
// defaults: one card "Simulated TV card" with remote type 2, OpenCard
// succeeding, no button held. Returns null on failure. The caller owns
// *mappingOut (if given) and must keep it open as long as it uses the block;
// without mappingOut the handle stays open for the life of the process.
inline SimControl* SimAttachControl(HANDLE* mappingOut = nullptr)
{
    HANDLE mapping =
        CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(SimControl), SIM_CONTROL_NAME);
    if (!mapping)
        return nullptr;
    const bool created = GetLastError() != ERROR_ALREADY_EXISTS;
    auto* control = static_cast<SimControl*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SimControl)));
    if (control && (created || control->magic != SIM_MAGIC)) {
        memset(control, 0, sizeof *control);
        control->magic = SIM_MAGIC;
        control->cardCount = 1;
        strcpy(control->cardNames[0], "Simulated TV card");
        for (int i = 0; i < SIM_MAX_CARDS; ++i) {
            control->remoteType[i] = 2;
            control->openResult[i] = 1;
        }
        control->codeMode = SIM_HELD;
        control->heldCode = VENDOR_NO_BUTTON;
    }
    if (mappingOut)
        *mappingOut = mapping;
    return control;
}

// Back to the defaults; also clears what was recorded.
inline void SimReset(SimControl* control)
{
    control->magic = 0;
    HANDLE mapping = nullptr;
    SimControl* view = SimAttachControl(&mapping);
    if (view)
        UnmapViewOfFile(view);
    if (mapping)
        CloseHandle(mapping);
}

// Copies the simulator DLL at path over the system's vendor library, where
// the plug-in looks for it; true on success.
inline bool SimInstallAsVendor(const char* path)
{
    char target[MAX_PATH + 16] = {};
    const UINT length = GetSystemDirectoryA(target, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    snprintf(target + length, sizeof target - length, "\\%s", VENDOR_LIBRARY_NAME);
    return CopyFileA(path, target, FALSE) != 0;
}

// The simulator reports the timeline steps (at most SIM_MAX_STEPS) from now on.
inline void SimPlayTimeline(SimControl* control, const SimStep* steps, uint32_t count)
{
    control->codeMode = SIM_HELD;
    control->heldCode = VENDOR_NO_BUTTON;
    control->stepCount = count < static_cast<uint32_t>(SIM_MAX_STEPS) ? count : SIM_MAX_STEPS;
    memcpy(control->steps, steps, control->stepCount * sizeof *steps);
    control->timelineStart = timeGetTime();
    control->codeMode = SIM_TIMELINE;
}

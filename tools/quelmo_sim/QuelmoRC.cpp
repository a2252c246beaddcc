// Scriptable stand-in for the tuner vendor's remote-control library, with the
// functions the plug-in declares for it. Built in variants that leave out some
// of the six functions (SIM_WITHOUT_<NAME>).
#include <windows.h>
#include <mmsystem.h>

#include "device/VendorLibrary.h"
#include "tools/quelmo_sim/SimControl.h"

namespace {

SimControl* g_control;
HANDLE g_mapping;
char* g_fence;  // two pages: a name at the end of the first, the second unreadable
constexpr SIZE_T kPage = 4096;

[[maybe_unused]] void Record(SimCall call)
{
    if (!g_control)
        return;
    g_control->callCount[call] += 1;
    if (g_control->callLogLength < SIM_LOG_SIZE - 1)
        g_control->callLog[g_control->callLogLength++] = static_cast<char>(call);
}

[[maybe_unused]] uint32_t CardIndexOk(uint32_t index)
{
    return g_control && index < g_control->cardCount && index < SIM_MAX_CARDS;
}

// The name's 64 bytes, unterminated, ending where unreadable memory begins:
// a caller that reads past them faults.
[[maybe_unused]] const char* FencedName(const char* name)
{
    DWORD old;
    if (!g_fence) {
        g_fence = static_cast<char*>(VirtualAlloc(nullptr, 2 * kPage, MEM_COMMIT, PAGE_READWRITE));
        if (g_fence && !VirtualProtect(g_fence + kPage, kPage, PAGE_NOACCESS, &old)) {
            VirtualFree(g_fence, 0, MEM_RELEASE);
            g_fence = nullptr;
        }
    }
    if (!g_fence)
        return nullptr;
    memcpy(g_fence + kPage - SIM_NAME_SIZE, name, SIM_NAME_SIZE);
    return g_fence + kPage - SIM_NAME_SIZE;
}

[[maybe_unused]] uint32_t CurrentCode()
{
    if (!g_control)
        return VENDOR_NO_BUTTON;
    switch (g_control->codeMode) {
    case SIM_TIMELINE: {
        const uint32_t elapsed = timeGetTime() - g_control->timelineStart;
        uint32_t code = VENDOR_NO_BUTTON;
        for (uint32_t i = 0; i < g_control->stepCount && i < SIM_MAX_STEPS; ++i) {
            if (g_control->steps[i].timeMs > elapsed)
                break;
            code = g_control->steps[i].code;
        }
        return code;
    }
    case SIM_SEQUENCE: {
        const uint32_t position = g_control->sequencePosition;
        if (position >= g_control->stepCount || position >= SIM_MAX_STEPS)
            return VENDOR_NO_BUTTON;
        g_control->sequencePosition = position + 1;
        return g_control->steps[position].code;
    }
    default: return g_control->heldCode;
    }
}

}  // namespace

extern "C" {

#ifndef SIM_WITHOUT_GETCARDCOUNT
__declspec(dllexport) uint32_t __cdecl GetCardCount()
{
    Record(CALL_GET_CARD_COUNT);
    return g_control ? g_control->cardCount : 0;
}
#endif

#ifndef SIM_WITHOUT_GETCARDNAME
__declspec(dllexport) const char* __cdecl GetCardName(uint32_t index)
{
    Record(CALL_GET_CARD_NAME);
    if (g_control)
        g_control->lastNameIndex = index;
    if (!CardIndexOk(index))
        return "";
    if (g_control->nullName[index])
        return nullptr;
    if (g_control->fencedName[index])
        return FencedName(g_control->cardNames[index]);
    g_control->cardNames[index][SIM_NAME_SIZE - 1] = '\0';
    return g_control->cardNames[index];
}
#endif

#ifndef SIM_WITHOUT_OPENCARD
__declspec(dllexport) uint32_t __cdecl OpenCard(uint32_t index)
{
    Record(CALL_OPEN_CARD);
    if (!g_control)
        return 0;
    g_control->lastOpenIndex = index;
    if (g_control->openCardArgCount < SIM_LOG_SIZE)
        g_control->openCardArgs[g_control->openCardArgCount++] = index;
    g_control->sequencePosition = 0;
    return CardIndexOk(index) ? g_control->openResult[index] : 0;
}
#endif

#ifndef SIM_WITHOUT_GETREMOTETYPE
__declspec(dllexport) int32_t __cdecl GetRemoteType()
{
    Record(CALL_GET_REMOTE_TYPE);
    if (!g_control || !CardIndexOk(g_control->lastOpenIndex))
        return 0;
    return g_control->remoteType[g_control->lastOpenIndex];
}
#endif

#ifndef SIM_WITHOUT_GETREMOTECODE
__declspec(dllexport) uint32_t __cdecl GetRemoteCode()
{
    // Not logged: it runs every 30 ms and would flood the call log.
    if (g_control)
        g_control->callCount[CALL_GET_REMOTE_CODE] += 1;
    return CurrentCode();
}
#endif

#ifndef SIM_WITHOUT_UNINIT
__declspec(dllexport) uint32_t __cdecl UnInit()
{
    Record(CALL_UNINIT);
    return 0;
}
#endif

// Not one of the vendor's functions: tells a host program (the workbench, the
// remote tester) that this library is the simulator, and where its control
// block is, so PC keys can stand in for the remote.
__declspec(dllexport) SimControl* __cdecl SimulatorControl()
{
    return g_control;
}

}  // extern "C"

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        g_control = SimAttachControl(&g_mapping);
        if (g_control)
            g_control->loadCount += 1;
    } else if (reason == DLL_PROCESS_DETACH && g_control) {
        g_control->unloadCount += 1;
        if (g_fence)
            VirtualFree(g_fence, 0, MEM_RELEASE);
        g_fence = nullptr;
        UnmapViewOfFile(g_control);
        g_control = nullptr;
        if (g_mapping)
            CloseHandle(g_mapping);
        g_mapping = nullptr;
    }
    return TRUE;
}

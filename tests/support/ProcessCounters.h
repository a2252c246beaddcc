// What a process holds of the system. Under Wine some usual queries are stubs, so
// each count has a second way; -1 where there is no way at all.
#pragma once

#include <windows.h>
#include <winternl.h>
#include <stddef.h>
#include <stdint.h>

#include <array>

#include "support/AllocationCounter.h"
#include "support/TestHost.h"

// Kernel object handles, GDI objects, USER objects (under Wine: windows of the
// process), committed private memory, busy blocks in every heap.
typedef std::array<long, 5> ProcessCounts;
constexpr const char* kProcessCountNames[] = {"handles", "GDI", "USER", "private bytes", "heap blocks"};

// GetGuiResources' count of kind, or -1 where it is only a stub (Wine).
inline long GuiResources(DWORD kind)
{
    SetLastError(0);
    const DWORD count = GetGuiResources(GetCurrentProcess(), kind);
    return count != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED ? static_cast<long>(count) : -1;
}

inline long HandleCount()
{
    DWORD count = 0, flags = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0)
        return static_cast<long>(count);
    // Wine answers 0: ask the handle table about every handle value instead.
    long valid = 0;
    for (uintptr_t value = 4; value < 0x10000; value += 4)
        valid += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) != 0;
    return valid;
}

// Wine keeps the GDI handle table of a process where Windows keeps its shared one (PEB field
// GdiSharedHandleTable); a used entry has a non-zero type.
struct WineGdiEntry {
    uint64_t object;
    uint32_t owner;
    uint16_t unique;
    uint8_t type;
    uint8_t flags;
    uint64_t userPointer;
};
static_assert(sizeof(WineGdiEntry) == 24, "Wine's GDI handle entry");
constexpr int kWineGdiHandles = 16384;
constexpr size_t kPebGdiTableOffset = 0x94;  // 32-bit PEB

inline long GdiObjectCount()
{
    if (const long count = GuiResources(GR_GDIOBJECTS); count >= 0)
        return count;
    const BYTE* peb = reinterpret_cast<const BYTE*>(NtCurrentTeb()->ProcessEnvironmentBlock);
    const auto* table = *reinterpret_cast<const WineGdiEntry* const*>(peb + kPebGdiTableOffset);
    if (!table)
        return -1;
    long used = 0;
    for (int i = 0; i < kWineGdiHandles; ++i)
        used += table[i].type != 0;
    return used;
}

inline long UserObjectCount()
{
    if (const long count = GuiResources(GR_USEROBJECTS); count >= 0)
        return count;
    long windows = 0;
    const auto count = [&](HWND window) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId()) {
            ++windows;
            ForEachWindow([window](WNDENUMPROC proc, LPARAM param) { return EnumChildWindows(window, proc, param); },
                          [&](HWND) { return ++windows; });
        }
        return true;
    };
    ForEachWindow(EnumWindows, count);
    // Message-only windows are not enumerated with the others.
    for (HWND window = FindWindowExA(HWND_MESSAGE, nullptr, nullptr, nullptr); window;
         window = FindWindowExA(HWND_MESSAGE, window, nullptr, nullptr))
        count(window);
    return windows;
}

inline long PrivateBytes()
{
    // Summed region by region: under Wine the process memory counters report the Unix process's resident memory.
    long committed = 0;
    const BYTE* address = nullptr;
    MEMORY_BASIC_INFORMATION region;
    while (VirtualQuery(address, &region, sizeof region) == sizeof region) {
        if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE)
            committed += static_cast<long>(region.RegionSize);
        const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return committed;
}

inline ProcessCounts CountProcessObjects()
{
    return {HandleCount(), GdiObjectCount(), UserObjectCount(), PrivateBytes(), HeapBusyBlocks()};
}

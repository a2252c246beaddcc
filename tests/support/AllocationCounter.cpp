#include "support/AllocationCounter.h"

#include <windows.h>
#include <stdlib.h>

#include <new>

#include "support/ImportPatch.h"

namespace {

volatile bool g_counting = false;
volatile long g_newCalls = 0;
volatile long g_crtCalls = 0;
volatile long g_heapCalls = 0;

typedef void*(__cdecl* MallocFn)(size_t);
typedef void*(__cdecl* CallocFn)(size_t, size_t);
typedef void*(__cdecl* ReallocFn)(void*, size_t);
typedef LPVOID(WINAPI* HeapAllocFn)(HANDLE, DWORD, SIZE_T);
typedef LPVOID(WINAPI* HeapReAllocFn)(HANDLE, DWORD, LPVOID, SIZE_T);
typedef HLOCAL(WINAPI* LocalAllocFn)(UINT, SIZE_T);
typedef HGLOBAL(WINAPI* GlobalAllocFn)(UINT, SIZE_T);

MallocFn g_malloc;
CallocFn g_calloc;
ReallocFn g_realloc;
HeapAllocFn g_heapAlloc;
HeapReAllocFn g_heapReAlloc;
LocalAllocFn g_localAlloc;
GlobalAllocFn g_globalAlloc;
int g_patched = -1;

void CountCrt()
{
    if (g_counting)
        g_crtCalls = g_crtCalls + 1;
}
void CountHeap()
{
    if (g_counting)
        g_heapCalls = g_heapCalls + 1;
}

void* __cdecl CountMalloc(size_t n) { CountCrt(); return g_malloc(n); }
void* __cdecl CountCalloc(size_t n, size_t size) { CountCrt(); return g_calloc(n, size); }
void* __cdecl CountRealloc(void* p, size_t n) { CountCrt(); return g_realloc(p, n); }
LPVOID WINAPI CountHeapAlloc(HANDLE heap, DWORD flags, SIZE_T n) { CountHeap(); return g_heapAlloc(heap, flags, n); }
LPVOID WINAPI CountHeapReAlloc(HANDLE heap, DWORD flags, LPVOID p, SIZE_T n)
{
    CountHeap();
    return g_heapReAlloc(heap, flags, p, n);
}
HLOCAL WINAPI CountLocalAlloc(UINT flags, SIZE_T n) { CountHeap(); return g_localAlloc(flags, n); }
HGLOBAL WINAPI CountGlobalAlloc(UINT flags, SIZE_T n) { CountHeap(); return g_globalAlloc(flags, n); }

}  // namespace

int InstallAllocationCounters()
{
    if (g_patched >= 0)
        return g_patched;
    int n = 0;
    n += PatchImportTyped("malloc", &CountMalloc, &g_malloc);
    n += PatchImportTyped("calloc", &CountCalloc, &g_calloc);
    n += PatchImportTyped("realloc", &CountRealloc, &g_realloc);
    n += PatchImportTyped("HeapAlloc", &CountHeapAlloc, &g_heapAlloc);
    n += PatchImportTyped("HeapReAlloc", &CountHeapReAlloc, &g_heapReAlloc);
    n += PatchImportTyped("LocalAlloc", &CountLocalAlloc, &g_localAlloc);
    n += PatchImportTyped("GlobalAlloc", &CountGlobalAlloc, &g_globalAlloc);
    g_patched = n;
    return n;
}

void StartCountingAllocations()
{
    g_newCalls = 0;
    g_crtCalls = 0;
    g_heapCalls = 0;
    g_counting = true;
}

AllocationCounts StopCountingAllocations()
{
    g_counting = false;
    return {g_newCalls, g_crtCalls, g_heapCalls};
}

long HeapBusyBlocks()
{
    HANDLE heaps[64];
    const DWORD count = GetProcessHeaps(64, heaps);
    long busy = 0;
    for (DWORD i = 0; i < count && i < 64; ++i) {
        if (!HeapLock(heaps[i]))
            continue;
        PROCESS_HEAP_ENTRY entry;
        entry.lpData = nullptr;
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                ++busy;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

// Replaces the C++ runtime's operator new for the whole executable, so that
// allocations by new are counted too.
void* operator new(size_t n)
{
    if (g_counting)
        g_newCalls = g_newCalls + 1;
    void* p = malloc(n ? n : 1);
    if (!p)
        abort();
    return p;
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }

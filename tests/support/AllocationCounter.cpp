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

// The functions the import slots pointed at before they were redirected.
decltype(&malloc) g_malloc;
decltype(&calloc) g_calloc;
decltype(&realloc) g_realloc;
decltype(&HeapAlloc) g_heapAlloc;
decltype(&HeapReAlloc) g_heapReAlloc;
decltype(&LocalAlloc) g_localAlloc;
decltype(&GlobalAlloc) g_globalAlloc;
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

void* __cdecl CountMalloc(size_t n)
{
    CountCrt();
    return g_malloc(n);
}
void* __cdecl CountCalloc(size_t n, size_t size)
{
    CountCrt();
    return g_calloc(n, size);
}
void* __cdecl CountRealloc(void* p, size_t n)
{
    CountCrt();
    return g_realloc(p, n);
}
LPVOID WINAPI CountHeapAlloc(HANDLE heap, DWORD flags, SIZE_T n)
{
    CountHeap();
    return g_heapAlloc(heap, flags, n);
}
LPVOID WINAPI CountHeapReAlloc(HANDLE heap, DWORD flags, LPVOID p, SIZE_T n)
{
    CountHeap();
    return g_heapReAlloc(heap, flags, p, n);
}
HLOCAL WINAPI CountLocalAlloc(UINT flags, SIZE_T n)
{
    CountHeap();
    return g_localAlloc(flags, n);
}
HGLOBAL WINAPI CountGlobalAlloc(UINT flags, SIZE_T n)
{
    CountHeap();
    return g_globalAlloc(flags, n);
}

}  // namespace

int InstallAllocationCounters()
{
    if (g_patched >= 0)
        return g_patched;
    g_patched = PatchImportTyped("malloc", &CountMalloc, &g_malloc) +
                PatchImportTyped("calloc", &CountCalloc, &g_calloc) +
                PatchImportTyped("realloc", &CountRealloc, &g_realloc) +
                PatchImportTyped("HeapAlloc", &CountHeapAlloc, &g_heapAlloc) +
                PatchImportTyped("HeapReAlloc", &CountHeapReAlloc, &g_heapReAlloc) +
                PatchImportTyped("LocalAlloc", &CountLocalAlloc, &g_localAlloc) +
                PatchImportTyped("GlobalAlloc", &CountGlobalAlloc, &g_globalAlloc);
    return g_patched;
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
void* operator new[](size_t n)
{
    return operator new(n);
}
void operator delete(void* p) noexcept
{
    free(p);
}
void operator delete[](void* p) noexcept
{
    free(p);
}
void operator delete(void* p, size_t) noexcept
{
    free(p);
}
void operator delete[](void* p, size_t) noexcept
{
    free(p);
}

#include "support/AllocationCounter.h"

#include <windows.h>
#include <stdlib.h>

#include "support/ImportPatch.h"

static volatile bool g_counting = false;
static volatile long g_newCalls = 0, g_crtCalls = 0, g_heapCalls = 0;

// The functions the import slots pointed at before they were redirected.
static decltype(&malloc) g_malloc;
static decltype(&calloc) g_calloc;
static decltype(&realloc) g_realloc;
static decltype(&HeapAlloc) g_heapAlloc;
static decltype(&HeapReAlloc) g_heapReAlloc;
static decltype(&LocalAlloc) g_localAlloc;
static decltype(&GlobalAlloc) g_globalAlloc;
static int g_patched = -1;

// Counts one call (while counting is on) and gives back the function the slot pointed at, for the
// replacements below to call on.
template <typename Fn>
static Fn Count(volatile long& calls, Fn original)
{
    if (g_counting)
        calls = calls + 1;
    return original;
}

struct Counting {
    static void* __cdecl Malloc(size_t n) { return Count(g_crtCalls, g_malloc)(n); }
    static void* __cdecl Calloc(size_t n, size_t size) { return Count(g_crtCalls, g_calloc)(n, size); }
    static void* __cdecl Realloc(void* p, size_t n) { return Count(g_crtCalls, g_realloc)(p, n); }
    static LPVOID WINAPI HeapAlloc(HANDLE h, DWORD f, SIZE_T n) { return Count(g_heapCalls, g_heapAlloc)(h, f, n); }
    static LPVOID WINAPI HeapReAlloc(HANDLE h, DWORD flags, LPVOID p, SIZE_T n)
    {
        return Count(g_heapCalls, g_heapReAlloc)(h, flags, p, n);
    }
    static HLOCAL WINAPI LocalAlloc(UINT flags, SIZE_T n) { return Count(g_heapCalls, g_localAlloc)(flags, n); }
    static HGLOBAL WINAPI GlobalAlloc(UINT flags, SIZE_T n) { return Count(g_heapCalls, g_globalAlloc)(flags, n); }
};

int InstallAllocationCounters()
{
    if (g_patched >= 0)
        return g_patched;
    g_patched = PatchImportTyped("malloc", &Counting::Malloc, &g_malloc) +
                PatchImportTyped("calloc", &Counting::Calloc, &g_calloc) +
                PatchImportTyped("realloc", &Counting::Realloc, &g_realloc) +
                PatchImportTyped("HeapAlloc", &Counting::HeapAlloc, &g_heapAlloc) +
                PatchImportTyped("HeapReAlloc", &Counting::HeapReAlloc, &g_heapReAlloc) +
                PatchImportTyped("LocalAlloc", &Counting::LocalAlloc, &g_localAlloc) +
                PatchImportTyped("GlobalAlloc", &Counting::GlobalAlloc, &g_globalAlloc);
    return g_patched;
}

void StartCountingAllocations()
{
    g_newCalls = g_crtCalls = g_heapCalls = 0;
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
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[i], &entry))
            busy += (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) != 0;
        HeapUnlock(heaps[i]);
    }
    return busy;
}

// Replaces operator new for the whole executable. The runtime is linked
// statically: its new[] calls this one, and its deletes free what malloc gave.
void* operator new(size_t n)
{
    if (g_counting)
        g_newCalls = g_newCalls + 1;
    void* p = malloc(n ? n : 1);
    if (!p)
        abort();
    return p;
}

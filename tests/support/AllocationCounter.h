// Counts allocation requests made by this executable's own code (the plug-in's
// code linked into a test or benchmark included): operator new, the C
// runtime's allocators and the system heap functions reached through the
// import table. Allocations inside system DLLs are not seen.
#pragma once

struct AllocationCounts {
    long newCalls;   // operator new and new[]
    long crtCalls;   // malloc, calloc, realloc
    long heapCalls;  // HeapAlloc, HeapReAlloc, LocalAlloc, GlobalAlloc
    long Total() const { return newCalls + crtCalls + heapCalls; }
};

// Redirects the import slots once; returns how many slots now count.
int InstallAllocationCounters();

// Zeroes the counts and counts from now on, until StopCountingAllocations.
void StartCountingAllocations();
AllocationCounts StopCountingAllocations();

// Busy blocks in every heap of the process.
long HeapBusyBlocks();

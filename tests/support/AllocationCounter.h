// Counts allocation requests of this executable's own code (the plug-in's linked
// in): operator new, the C runtime's and the system heap functions it imports.
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

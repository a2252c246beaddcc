// What a process holds of the system, for leak checks over many cycles.
// Under Wine some of the usual queries are stubs, so each count has a second
// way that Wine supports; every function returns -1 if it has no way at all.
#pragma once

#include <stddef.h>

struct ProcessCounts {
    long handles;       // kernel object handles
    long gdiObjects;    // GDI objects (bitmaps, fonts, brushes, DCs, ...)
    long userObjects;   // USER objects; under Wine: windows of the process
    long privateBytes;  // committed private memory
    long heapBlocks;    // busy blocks in every heap of the process
};

ProcessCounts CountProcessObjects();

long HandleCount();
long GdiObjectCount();
long UserObjectCount();
long PrivateBytes();

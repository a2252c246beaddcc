// Redirects calls that the executable makes through its import table, so a
// test can watch what the plug-in's code linked into it asks of the system.
#pragma once

// Points every import slot of this executable named name at replacement and
// returns how many slots changed; *original receives the first previous target.
int PatchImport(const char* name, void* replacement, void** original);

template <typename Fn>
int PatchImportTyped(const char* name, Fn replacement, Fn* original)
{
    void* raw = nullptr;
    const int n = PatchImport(name, reinterpret_cast<void*>(replacement), &raw);
    if (raw)
        *original = reinterpret_cast<Fn>(raw);
    return n;
}

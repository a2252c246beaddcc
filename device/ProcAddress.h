// Exported functions looked up by name, for the vendor library and for hosts
// that load the plug-in.
#pragma once

#include <windows.h>

// The export name of module as a function pointer of type Fn; null if absent.
template <typename Fn>
Fn ProcAddress(HMODULE module, const char* name)
{
    // GetProcAddress returns a generic pointer; every export looked up is plain C.
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Reads the imported DLL names and the exported names of a PE file on disk.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

struct PeNames {
    std::vector<std::string> imports;
    std::vector<std::string> exports;
};

// Empty lists when the file cannot be mapped as a 32-bit image. Mapped as an
// image, every address in the headers is an offset from the base.
inline PeNames ReadPeNames(const std::string& path)
{
    PeNames names;
    const HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!module)
        return names;
    const char* base = reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(module) & ~uintptr_t(3));
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (nt->OptionalHeader.Magic == IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        const IMAGE_DATA_DIRECTORY* dirs = nt->OptionalHeader.DataDirectory;
        if (const DWORD at = dirs[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress)
            for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + at); d->Name != 0; ++d)
                names.imports.push_back(base + d->Name);
        if (const DWORD at = dirs[IMAGE_DIRECTORY_ENTRY_EXPORT].VirtualAddress) {
            const auto* e = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(base + at);
            for (DWORD i = 0; i < e->NumberOfNames; ++i)
                names.exports.push_back(base + reinterpret_cast<const DWORD*>(base + e->AddressOfNames)[i]);
        }
    }
    FreeLibrary(module);
    return names;
}

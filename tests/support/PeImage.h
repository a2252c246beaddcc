// Reads the imported DLL names and the exported names of a PE file on disk.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "support/TestEnv.h"

struct PeNames {
    std::vector<std::string> imports;
    std::vector<std::string> exports;
};

// Empty lists when the file cannot be read or is no 32-bit PE image.
inline PeNames ReadPeNames(const std::string& path)
{
    PeNames names;
    const std::string file = ReadFileText(path);
    const auto* base = reinterpret_cast<const uint8_t*>(file.data());
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (file.size() < sizeof(IMAGE_DOS_HEADER) || dos->e_magic != IMAGE_DOS_SIGNATURE ||
        static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS32) > file.size())
        return names;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS32*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE || nt->OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC)
        return names;
    const auto* sections = IMAGE_FIRST_SECTION(nt);
    auto at = [&](DWORD rva) -> const uint8_t* {
        for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i) {
            const IMAGE_SECTION_HEADER& s = sections[i];
            if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize &&
                rva - s.VirtualAddress + s.PointerToRawData < file.size())
                return base + (rva - s.VirtualAddress + s.PointerToRawData);
        }
        return nullptr;
    };
    auto text = [&](DWORD rva) {
        const uint8_t* p = at(rva);
        return p ? std::string(reinterpret_cast<const char*>(p)) : std::string();
    };

    const IMAGE_DATA_DIRECTORY& importDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (const auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(at(importDir.VirtualAddress))) {
        for (; d->Name != 0; ++d)
            names.imports.push_back(text(d->Name));
    }
    const IMAGE_DATA_DIRECTORY& exportDir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (const auto* e = reinterpret_cast<const IMAGE_EXPORT_DIRECTORY*>(at(exportDir.VirtualAddress))) {
        if (const auto* nameRvas = reinterpret_cast<const DWORD*>(at(e->AddressOfNames))) {
            for (DWORD i = 0; i < e->NumberOfNames; ++i)
                names.exports.push_back(text(nameRvas[i]));
        }
    }
    return names;
}

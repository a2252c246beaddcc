// Reads the imported DLL names and the exported names of a PE file on disk.
#pragma once

#include <string>
#include <vector>

struct PeNames {
    std::vector<std::string> imports;
    std::vector<std::string> exports;
};

// Empty lists when the file cannot be read or is no 32-bit PE image.
PeNames ReadPeNames(const std::string& path);

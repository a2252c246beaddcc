// Where the settings file of a module lies: beside it, named after it. Plain
// C++, so the plug-in, the tools and the tests all take this one rule.
#pragma once

#include <stddef.h>
#include <string.h>

#include "mapping/CopyText.h"

// modulePath with the last four characters of its file name (the extension
// and its dot) replaced by ".ini", into iniPath (size bytes). False, with
// iniPath empty, when the file name is shorter than four characters or the
// result does not fit.
inline bool IniPathBesideModule(const char* modulePath, char* iniPath, size_t size)
{
    if (size == 0)
        return false;
    iniPath[0] = '\0';
    const char* fileName = modulePath;
    for (const char* p = modulePath; *p != '\0'; ++p) {
        if (*p == '\\' || *p == '/')
            fileName = p + 1;
    }
    const size_t nameLength = strlen(fileName);
    if (nameLength < 4)
        return false;
    const size_t stemEnd = static_cast<size_t>(fileName - modulePath) + nameLength - 4;
    if (stemEnd + sizeof ".ini" > size)
        return false;
    CopyText(iniPath, stemEnd + 1, modulePath);
    CopyText(iniPath + stemEnd, size - stemEnd, ".ini");
    return true;
}

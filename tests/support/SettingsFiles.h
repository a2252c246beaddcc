// Settings files as the tests write and check them: keys, the profile
// functions' own reading, and the file as the plug-in saves it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <stddef.h>
#include <stdint.h>

#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "support/TestEnv.h"

// A file saved from nothing holds exactly both sections, keys in the order
// written; in a file that existed the profile functions update keys where
// they are, so there the order is any and other content may stay.
enum KeyOrder { WRITE_ORDER, ANY_ORDER };

// A settings file written or removed, and the profile functions' cached copy
// dropped, so the next read sees it.
inline bool PutSettingsFile(const std::string& path, const std::string& text)
{
    const bool ok = WriteFileText(path, text);
    ForgetCachedProfile(path);
    return ok;
}

inline void RemoveSettingsFile(const std::string& path)
{
    DeleteFileA(path.c_str());
    ForgetCachedProfile(path);
}

// The settings key of a code: two hexadecimal digits ("00" .. "5C").
inline std::string KeyOf(int code, bool lower = false)
{
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    return std::string{digits[(code >> 4) & 15], digits[code & 15]};
}

// What the plug-in must read for a code: the profile functions' own answer
// with a 64-byte buffer, cut to 31 characters.
inline std::string ProfileCommand(const std::string& path, int code)
{
    char value[64] = {};
    GetPrivateProfileStringA("Buttons", KeyOf(code).c_str(), "", value, sizeof value, path.c_str());
    value[sizeof value - 1] = '\0';
    return std::string(value).substr(0, 31);
}

// What the plug-in must read for a key of [Hardware]: the profile functions'
// own answer with the factory value as the default.
inline uint32_t ProfileSetting(const std::string& path, const char* key)
{
    const int factory = strcmp(key, "DelayBeforeRepeat") == 0 ? 350
                        : strcmp(key, "RepeatInterval") == 0  ? 100
                        : strcmp(key, "ReleaseTime") == 0     ? 60
                                                              : 0;
    return static_cast<uint32_t>(GetPrivateProfileIntA("Hardware", key, factory, path.c_str()));
}

// The first limit bytes with every byte outside printable ASCII as \xNN.
inline std::string Printable(const std::string& text, size_t limit = 600)
{
    std::string out;
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        char hex[8];
        snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
        out += hex;
    }
    return out;
}

typedef std::vector<std::pair<std::string, std::string>> SettingsEntries;

// The non-empty lines of a text split at their first '='; a section line
// stays whole, with its brackets.
inline SettingsEntries LinesOf(const std::string& text)
{
    SettingsEntries lines;
    std::string line;
    for (const char c : text + "\n") {
        if (c != '\r' && c != '\n') {
            line += c;
            continue;
        }
        if (!line.empty()) {
            const size_t eq = line[0] == '[' ? std::string::npos : line.find('=');
            lines.emplace_back(line.substr(0, eq), eq == std::string::npos ? "" : line.substr(eq + 1));
        }
        line.clear();
    }
    return lines;
}

// The entries of section name, sorted.
inline SettingsEntries SortedSection(const SettingsEntries& lines, const std::string& name)
{
    SettingsEntries section;
    bool inside = false;
    for (const auto& line : lines) {
        if (line.first[0] == '[')
            inside = line.first == "[" + name + "]";
        else if (inside)
            section.push_back(line);
    }
    std::sort(section.begin(), section.end());
    return section;
}

// The file at path as the plug-in saves it: every key of both sections with
// these values; bindings maps codes to commands, a code not listed unbound.
// The same check without a test failure: "" if the file is so, else what it holds.
inline std::string SavedFileMismatch(const std::string& path, KeyOrder order, uint32_t device, uint32_t delay,
                                     uint32_t interval, uint32_t release, const std::map<int, std::string>& bindings)
{
    const std::string text = ReadFileText(path);
    if (text.empty())
        return "settings were not saved";
    SettingsEntries expected = {{"[Hardware]", ""},
                                {"DeviceIndex", std::to_string(device)},
                                {"DelayBeforeRepeat", std::to_string(delay)},
                                {"RepeatInterval", std::to_string(interval)},
                                {"ReleaseTime", std::to_string(release)},
                                {"[Buttons]", ""}};
    for (int code = 0; code <= 92; ++code) {
        const auto it = bindings.find(code);
        expected.emplace_back(KeyOf(code), it == bindings.end() ? "" : it->second);
    }
    const SettingsEntries lines = LinesOf(text);
    bool same = lines == expected;
    if (order == ANY_ORDER)
        same = SortedSection(lines, "Hardware") == SortedSection(expected, "Hardware") &&
               SortedSection(lines, "Buttons") == SortedSection(expected, "Buttons");
    return same ? "" : "the file holds\n" + text;
}
inline void ExpectSavedFile(const std::string& path, KeyOrder order, uint32_t device, uint32_t delay, uint32_t interval,
                            uint32_t release, const std::map<int, std::string>& bindings)
{
    const std::string wrong = SavedFileMismatch(path, order, device, delay, interval, release, bindings);
    EXPECT_TRUE(wrong.empty()) << wrong;
}

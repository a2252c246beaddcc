// Settings files as the tests write and check them: keys, the profile
// functions' own reading, and the file as the plug-in saves it.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>
#include <stdint.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/TestEnv.h"

// A file saved from nothing holds exactly both sections, keys in the order written; in a file that existed the profile
// functions update keys where they are, so there the order is any and other content may stay.
enum KeyOrder { WRITE_ORDER, ANY_ORDER };

// A settings file written or removed, and the profile functions' cached copy dropped, so the next read sees it.
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

// The folder the settings tests write their files in, made if missing.
inline std::string SettingsWorkDir()
{
    const std::string dir = kBuildDir + "\\tests\\settings_work";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

// The keys of [Hardware], in the order written.
const char* const kHardwareKeyNames[4] = {"DeviceIndex", "DelayBeforeRepeat", "RepeatInterval", "ReleaseTime"};

// The settings key of a code: two hexadecimal digits ("00" .. "5C").
inline std::string KeyOf(int code, bool lower = false)
{
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    return std::string{digits[(code >> 4) & 15], digits[code & 15]};
}

// What the plug-in must read for a key of [Hardware]: the profile functions'
// own answer with the factory value as the default.
inline uint32_t ProfileSetting(const std::string& path, const char* key)
{
    const std::map<std::string, int> factory = {
        {"DelayBeforeRepeat", 350}, {"RepeatInterval", 100}, {"ReleaseTime", 60}};
    const int fallback = factory.count(key) ? factory.at(key) : 0;
    return static_cast<uint32_t>(GetPrivateProfileIntA("Hardware", key, fallback, path.c_str()));
}

// The first limit bytes with every byte outside printable ASCII as \xNN.
inline std::string Printable(const std::string& text, size_t limit = 600)
{
    std::string out;
    char hex[8];
    for (const unsigned char c : text.substr(0, limit)) {
        snprintf(hex, sizeof hex, c >= 0x20 && c < 0x7F && c != '\\' ? "%c" : "\\x%02X", c);
        out += hex;
    }
    return out;
}

// The non-empty lines of text, whatever ends them; for ANY_ORDER only the
// entries of Hardware and Buttons, each after its section's name, sorted.
inline std::vector<std::string> SavedLines(const std::string& text, KeyOrder order)
{
    std::vector<std::string> lines;
    std::string line, section;
    for (const char c : text + "\n") {
        if (c != '\r' && c != '\n') {
            line += c;
        } else if (!line.empty()) {
            section = line[0] == '[' ? line : section;
            if (order == WRITE_ORDER)
                lines.push_back(line);
            else if (line[0] != '[' && (section == "[Hardware]" || section == "[Buttons]"))
                lines.push_back(section + line);
            line.clear();
        }
    }
    if (order == ANY_ORDER)
        std::sort(lines.begin(), lines.end());
    return lines;
}

// The file at path as the plug-in saves it: every key of both sections with these values; bindings maps codes to
// commands, a code not listed unbound. The same check without a test failure: "" if the file is so, else what it holds.
inline std::string SavedFileMismatch(const std::string& path, KeyOrder order, uint32_t device, uint32_t delay,
                                     uint32_t interval, uint32_t release, const std::map<int, std::string>& bindings)
{
    const std::string text = ReadFileText(path);
    if (text.empty())
        return "settings were not saved";
    const uint32_t values[4] = {device, delay, interval, release};
    std::string expected = "[Hardware]\n";
    for (int k = 0; k < 4; ++k)
        expected += kHardwareKeyNames[k] + ("=" + std::to_string(values[k])) + "\n";
    expected += "[Buttons]\n";
    for (int code = 0; code <= 92; ++code) {
        const auto it = bindings.find(code);
        expected += KeyOf(code) + "=" + (it == bindings.end() ? "" : it->second) + "\n";
    }
    return SavedLines(text, order) == SavedLines(expected, order) ? "" : "the file holds\n" + text;
}
inline void ExpectSavedFile(const std::string& path, KeyOrder order, uint32_t device, uint32_t delay, uint32_t interval,
                            uint32_t release, const std::map<int, std::string>& bindings)
{
    EXPECT_EQ(SavedFileMismatch(path, order, device, delay, interval, release, bindings), "");
}

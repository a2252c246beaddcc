// Settings files as the tests write and check them: keys, the profile
// functions' own reading, and the file as the plug-in saves it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <map>
#include <string>

// A settings file written or removed, and the profile functions' cached copy
// dropped, so the next read sees it.
bool PutSettingsFile(const std::string& path, const std::string& text);
void RemoveSettingsFile(const std::string& path);

// The settings key of a code: two hexadecimal digits ("00" .. "5C").
std::string KeyOf(int code, bool lower = false);
// What the plug-in must read for a code: the profile functions' own answer
// with a 64-byte buffer, cut to 31 characters.
std::string ProfileCommand(const std::string& path, int code);
// What the plug-in must read for a key of [Hardware]: the profile functions'
// own answer with the factory value as the default.
uint32_t ProfileSetting(const std::string& path, const char* key);
// The first limit bytes with every byte outside printable ASCII as \xNN.
std::string Printable(const std::string& text, size_t limit = 600);

// A file saved from nothing holds exactly both sections, keys in the order
// written; in a file that existed the profile functions update keys where
// they are, so there the order is any and other content may stay.
enum KeyOrder { WRITE_ORDER, ANY_ORDER };

// The file at path as the plug-in saves it: every key of both sections with
// these values; bindings maps codes to commands, a code not listed unbound.
void ExpectSavedFile(const std::string& path, KeyOrder order, uint32_t device, uint32_t delay, uint32_t interval,
                     uint32_t release, const std::map<int, std::string>& bindings);

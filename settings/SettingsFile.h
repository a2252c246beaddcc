// The INI settings file beside the module, read and written through the
// Windows profile functions: "Hardware" holds the card index and the three
// timings, "Buttons" the bindings keyed by the remote code in two hex digits.
#pragma once

#include <windows.h>

#include "mapping/ButtonTables.h"
#include "settings/PluginSettings.h"

constexpr int PATH_SIZE = 260;

// The module's full path made a settings path by IniPathBesideModule, or the
// bare "VantorixRC.ini" (found in the Windows directory) when it cannot be had.
void DeriveIniPath(HMODULE module, char (&iniPath)[PATH_SIZE]);

// The four settings from "Hardware"; a missing file or key gives the default.
void ReadHardwareSettings(const char* iniPath, PluginSettings& settings);

// Every command of table from "Buttons"; a missing key empties it, and a value
// longer than 31 characters is cut to its first 31.
void ReadButtonBindings(const char* iniPath, ButtonTable& table);

// Writes all four "Hardware" keys and all 93 "Buttons" keys (unbound ones
// empty). If any write fails, one warning box says so after all were tried,
// and the result is false.
bool WriteSettingsFile(const char* iniPath, const PluginSettings& settings, const ButtonTable& table);

// The INI settings file beside the module: "Hardware" timings and card index,
// "Buttons" bindings keyed by the remote code in two hex digits.
#pragma once

// Sets iniPath to the module path with ".ini" in place of the extension, or to
// the bare "VantorixRC.ini" when the module path cannot be had.
void DeriveIniPath();

// Fills the four settings from "Hardware"; missing file or keys give the defaults.
void ReadHardwareSettings();

// Fills every command of currentTable from "Buttons"; missing keys empty it.
// Values longer than 31 characters are cut to their first 31.
void ReadButtonBindings();

// Writes both sections and clears settingsDirty; one warning box if a write fails.
void SaveSettings();

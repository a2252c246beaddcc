// Pictures of windows for the README: the workbench's and the setup dialog's.
#pragma once

#include <windows.h>

#include <string>

// Saves the whole window, frame included, as a 24-bit BMP file; true when
// the file is written.
bool SaveWindowPicture(HWND window, const std::string& path);

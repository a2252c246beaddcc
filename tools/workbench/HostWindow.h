// What the two host programs, the workbench and the release's remote tester,
// share: the plug-in loaded as a TV host loads it, its log of command
// messages and calls, and the host window with its buttons and the keyboard
// remote (PC keys held down stand for remote buttons when the vendor
// library is the QuelmoRC simulator).
#pragma once

#include <windows.h>

#include <string>

#include "plugin/PluginDll.h"
#include "tools/quelmo_sim/SimControl.h"

// The plug-in the program hosts.
extern PluginDll g_plugin;
// The simulator's control block, when the vendor library is the simulator.
extern SimControl* g_sim;

// Log times count from here; called first thing in main.
void StartLogClock();
// Log lines go to stdout instead of the window's list.
void LogToStdout();
void Log(const std::string& line);
// "<time> ms  what -> result".
void LogCall(const char* what, long long result);

// Installs vendorPath (if not empty) as the system's vendor library and
// initialises the common controls as a host does, for the setup dialog.
// False, with the reason printed after program's name, if the install fails.
bool PrepareHost(const char* program, const std::string& vendorPath);
// Why the plug-in at path did not load, for the user.
std::string PluginLoadFailure(const std::string& path);

enum class HostButtons { All, SetupOnly };

// The host window: hidden and bare, or shown with its buttons (Start, Stop,
// Setup, Close and Open, or Setup alone), the keyboard remote's key list and
// the log.
HWND CreateHostWindow(const char* title, bool visible, HostButtons buttons);
// Open from window with the source name; logs the description.
void OpenPlugin(HWND window, const std::string& source);

// The shown window's session up to the user: logs the plug-in's file name,
// opens and starts it and sets up the keyboard remote. The window is
// returned for the caller to play in.
HWND BeginWindowSession(const char* title, HostButtons buttons, const std::string& pluginPath,
                        const std::string& source);
// Runs the window until it is closed, then closes the plug-in; 0.
int RunWindowUntilClosed();

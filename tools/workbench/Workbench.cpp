// Host workbench: loads a remote-control plug-in exactly as a TV host does and
// shows (window mode) or prints (script mode) every command it receives. With
// the QuelmoRC simulator it doubles as a remote: PC keys stand for buttons.
//
//   workbench [--plugin PATH] [--source NAME] [--remote-type N] [--card NAME]...
//             [--settings INI] [--vendor QuelmoRC.dll] [--script FILE | --window]
//
// Script mode (the default without --window) plays a timeline of remote codes
// through the simulator, prints each command message and exits 0 at its end.
// Window mode can also play it (--play) and save a picture of the window
// afterwards (--screenshot), or play it inside the setup dialog and save the
// dialog's picture (--dialog-picture): the README's pictures.
#include <windows.h>
#include <mmsystem.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "tools/host/HostKit.h"
#include "tools/workbench/HostWindow.h"
#include "tools/workbench/TimelineScript.h"
#include "tools/workbench/WindowPicture.h"
#include "ui/resource.h"

namespace {

const char kTitle[] = "VantorixRC workbench";

struct Options {
    std::string pluginPath;
    std::string source = "TV";
    std::string scriptPath;
    int remoteType = -2;             // -2: leave the simulator's setting alone
    std::string settingsPath;        // copied beside the plug-in before it loads
    std::string vendorPath;          // installed as the system's QuelmoRC.dll
    bool play = false;               // window mode: also play the timeline
    std::string screenshotPath;      // window mode: save the window as BMP after the timeline
    std::string dialogPicturePath;   // window mode: the timeline in the setup dialog, then its BMP
    std::vector<std::string> cards;  // names of the simulated cards; none: the simulator's own
    bool window = false;
};

HWND g_mainWindow;

void PlayTimeline(const std::vector<SimStep>& steps)
{
    SimPlayTimeline(g_sim, steps.data(), static_cast<uint32_t>(steps.size()));
}

int RunScript(const Options& options, const std::vector<SimStep>& steps)
{
    HWND window = CreateHostWindow(kTitle, false, HostButtons::All);
    OpenPlugin(window, options.source);
    const uint32_t started = g_plugin.Start();
    LogCall("Start", started);
    if (!started) {
        g_plugin.Close();
        fprintf(stderr, "workbench: the plug-in did not start polling (no card open)\n");
        return 1;
    }
    const uint32_t last = steps.empty() ? 0 : steps.back().timeMs;
    PlayTimeline(steps);

    // Play to the end of the timeline plus time for the last release.
    PumpMessagesUntil([] { return false; }, last + 500);
    LogCall("Stop", g_plugin.Stop());
    g_plugin.Close();
    Log("Close");
    DestroyWindow(window);
    return 0;
}

// Plays the timeline once the setup dialog is up, saves the dialog's picture
// a moment after the timeline's end, then leaves the dialog.
struct DialogPicture {
    std::string path;
    const std::vector<SimStep>* steps;
    DWORD takeAt;  // 0 until the dialog is up
    bool saved;
} g_dialogPicture;

VOID CALLBACK DialogPictureTick(HWND, UINT, UINT_PTR timer, DWORD)
{
    // The setup dialog: the one dialog window owned by the main window.
    const HWND dialog = FindWindowA("#32770", nullptr);
    if (!dialog || GetWindow(dialog, GW_OWNER) != g_mainWindow || !IsWindowVisible(dialog))
        return;
    DialogPicture& picture = g_dialogPicture;
    if (!picture.takeAt) {
        PlayTimeline(*picture.steps);
        picture.takeAt = timeGetTime() + picture.steps->back().timeMs + 1500;
        return;
    }
    if (static_cast<int32_t>(timeGetTime() - picture.takeAt) < 0)
        return;
    KillTimer(nullptr, timer);
    UpdateWindow(dialog);
    picture.saved = SaveWindowPicture(dialog, picture.path);
    SendMessageA(GetDlgItem(dialog, IDC_EXIT), BM_CLICK, 0, 0);
}

int RunWindow(const Options& options, const std::vector<SimStep>& steps)
{
    HWND window = BeginWindowSession(kTitle, HostButtons::All, options.pluginPath, options.source);
    g_mainWindow = window;
    if (!options.dialogPicturePath.empty() && g_sim && !steps.empty()) {
        g_dialogPicture = {options.dialogPicturePath, &steps, 0, false};
        SetTimer(nullptr, 0, 50, DialogPictureTick);
        LogCall("Setup", g_plugin.Setup());
        g_plugin.Close();
        DestroyWindow(window);
        return g_dialogPicture.saved ? 0 : 1;
    }
    if (options.play && g_sim && !steps.empty()) {
        PlayTimeline(steps);
        if (!options.screenshotPath.empty()) {
            // Picture of the finished command stream, then leave.
            PumpMessagesUntil([] { return false; }, steps.back().timeMs + 500);
            UpdateWindow(window);
            const bool saved = SaveWindowPicture(window, options.screenshotPath);
            g_plugin.Close();
            DestroyWindow(window);
            return saved ? 0 : 1;
        }
    }
    return RunWindowUntilClosed();
}

}  // namespace

int main(int argc, char** argv)
{
    StartLogClock();
    Options options;
    options.pluginPath = ProgramFolder(2) + "\\VantorixRC.dll";  // the workbench is in <build>\tools
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin" && i + 1 < argc)
            options.pluginPath = argv[++i];
        else if (arg == "--source" && i + 1 < argc)
            options.source = argv[++i];
        else if (arg == "--script" && i + 1 < argc)
            options.scriptPath = argv[++i];
        else if (arg == "--settings" && i + 1 < argc)
            options.settingsPath = argv[++i];
        else if (arg == "--vendor" && i + 1 < argc)
            options.vendorPath = argv[++i];
        else if (arg == "--remote-type" && i + 1 < argc)
            options.remoteType = atoi(argv[++i]);
        else if (arg == "--play")
            options.play = true;
        else if (arg == "--screenshot" && i + 1 < argc)
            options.screenshotPath = argv[++i];
        else if (arg == "--dialog-picture" && i + 1 < argc)
            options.dialogPicturePath = argv[++i];
        else if (arg == "--card" && i + 1 < argc)
            options.cards.push_back(argv[++i]);
        else if (arg == "--window")
            options.window = true;
        else {
            fprintf(stderr,
                    "usage: workbench [--plugin PATH] [--source NAME] [--remote-type N] [--card NAME]...\n"
                    "                 [--settings INI] [--vendor QuelmoRC.dll] [--script FILE]\n"
                    "                 [--window [--play [--screenshot FILE.bmp]] [--dialog-picture FILE.bmp]]\n");
            return 2;
        }
    }

    std::vector<SimStep> steps;
    if (!options.window || options.play || !options.dialogPicturePath.empty()) {
        const TimelineParse timeline = LoadTimeline(options.scriptPath);
        if (!timeline.error.empty()) {
            fprintf(stderr, "workbench: %s\n", timeline.error.c_str());
            return 2;
        }
        steps = timeline.steps;
    }

    if (!options.settingsPath.empty()) {
        const std::string ini = IniPathBeside(options.pluginPath);
        if (!CopyFileA(options.settingsPath.c_str(), ini.c_str(), FALSE)) {
            fprintf(stderr, "workbench: cannot copy %s to %s\n", options.settingsPath.c_str(), ini.c_str());
            return 2;
        }
    }
    if (!PrepareHost("workbench", options.vendorPath))
        return 2;

    if (!options.window)
        LogToStdout();
    // The simulated remote is set up before the plug-in loads it.
    g_sim = SimAttachControl();
    if (g_sim && options.remoteType != -2)
        std::fill(std::begin(g_sim->remoteType), std::end(g_sim->remoteType), options.remoteType);
    if (g_sim && !options.cards.empty()) {
        g_sim->cardCount = static_cast<uint32_t>(std::min<size_t>(options.cards.size(), SIM_MAX_CARDS));
        for (uint32_t i = 0; i < g_sim->cardCount; ++i)
            snprintf(g_sim->cardNames[i], SIM_NAME_SIZE, "%s", options.cards[i].c_str());
    }
    if (!g_plugin.Load(options.pluginPath)) {
        fprintf(stderr, "workbench: %s\n", PluginLoadFailure(options.pluginPath).c_str());
        return 1;
    }
    const int status = options.window ? RunWindow(options, steps) : RunScript(options, steps);
    g_plugin.Unload();
    return status;
}

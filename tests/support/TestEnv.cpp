#include "support/TestEnv.h"

#include <mmsystem.h>
#include <stdio.h>

#include "tools/host/HostKit.h"

std::string BuildDir()
{
    return ProgramFolder(2);
}

std::string PluginPath()
{
    return BuildDir() + "\\VantorixRC.dll";
}

std::string PluginIniPath()
{
    return IniPathBeside(PluginPath());
}

uint32_t g_testNow;
uint32_t TestClock()
{
    return g_testNow;
}

std::string OwnIniPath()
{
    return IniPathBeside(ProgramFolder(0));
}

void ForgetCachedProfile(const std::string& path)
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

const char kPluginDescription[] = "Remote Control plugin for TV tuners Vantorix";

std::string VendorLibraryPath()
{
    char dir[MAX_PATH] = {};
    GetSystemDirectoryA(dir, MAX_PATH);
    return std::string(dir) + "\\" + VENDOR_LIBRARY_NAME;
}

bool InstallVendor(const char* variant)
{
    return SimInstallAsVendor((BuildDir() + "\\sim\\QuelmoRC_" + variant + ".dll").c_str());
}

bool RemoveVendor()
{
    return DeleteFileA(VendorLibraryPath().c_str()) != 0 ||
           GetFileAttributesA(VendorLibraryPath().c_str()) == INVALID_FILE_ATTRIBUTES;
}

SimControl* Sim()
{
    static SimControl* control = SimAttachControl();
    return control;
}

void ResetSim()
{
    SimReset(Sim());
}

void SimHold(uint32_t code)
{
    Sim()->codeMode = SIM_HELD;
    Sim()->heldCode = code;
}

void SimSequence(const uint32_t* codes, uint32_t count)
{
    SimControl* sim = Sim();
    sim->codeMode = SIM_HELD;
    if (count > SIM_MAX_STEPS)
        count = SIM_MAX_STEPS;
    for (uint32_t i = 0; i < count; ++i)
        sim->steps[i] = {i, codes[i]};
    sim->stepCount = count;
    sim->sequencePosition = 0;
    sim->codeMode = SIM_SEQUENCE;
}

void SimTimeline(const SimStep* steps, uint32_t count)
{
    SimPlayTimeline(Sim(), steps, count);
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = fwrite(text.data(), 1, text.size(), f) == text.size();
    return fclose(f) == 0 && ok;
}

std::string ReadFileText(const std::string& path)
{
    std::string text;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, f)) > 0)
        text.append(buffer, n);
    fclose(f);
    return text;
}

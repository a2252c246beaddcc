// The plug-in as shipped in the release zip: run only by the "package" CTest
// case (hence disabled in ordinary runs), which unpacks the zip and names the
// DLL in VRC_PACKAGED_DLL.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "support/TestEnv.h"
#include "support/TestHost.h"

TEST(PackagedPlugin, DISABLED_LoadsFromTheUnpackedZipAndOpens)
{
    const char* unixPath = getenv("VRC_PACKAGED_DLL");
    ASSERT_NE(unixPath, nullptr) << "set by the package test";
    std::string path = std::string("Z:") + unixPath;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    ASSERT_TRUE(InstallVendor("full"));
    ResetSim();
    RecordingHost host;
    BoxWatcher boxes;
    PluginDll plugin;
    ASSERT_TRUE(plugin.Load(path)) << path;
    EXPECT_STREQ(plugin.Open("TV", host.Window(), 0), "Remote Control plugin for TV tuners Vantorix");
    EXPECT_NE(plugin.Start(), 0u);
    plugin.Close();
    plugin.Unload();
    EXPECT_TRUE(boxes.Boxes().empty());
}

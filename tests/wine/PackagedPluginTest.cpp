// The plug-in as shipped: the release zip, unpacked by the "package" test
// into build\unpacked, holds a DLL that a host loads, opens and starts.
#include <gtest/gtest.h>

#include "support/TestEnv.h"
#include "support/TestHost.h"

TEST(PackagedPlugin, LoadsFromTheUnpackedZipAndOpens)
{
    const std::string path = BuildDir() + "\\unpacked\\VantorixRC\\VantorixRC.dll";
    ASSERT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path << " (run the package test first)";
    ASSERT_TRUE(InstallVendor("full"));
    ResetSim();
    RecordingHost host;
    BoxWatcher boxes;
    PluginDll plugin;
    ASSERT_TRUE(plugin.Load(path)) << path;
    EXPECT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription);
    EXPECT_NE(plugin.Start(), 0u);
    plugin.Close();
    plugin.Unload();
    EXPECT_TRUE(boxes.Boxes().empty());
}

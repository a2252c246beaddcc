// The plug-in as a host loads it: exports, imports, single instance, Open and
// Close against the simulated vendor library, and the record sent to the host.
#include "support/LinkedPlugin.h"
#include "support/PeImage.h"

typedef HostedPluginTest PluginLoadTest;

// The record holds source and command, and every byte behind their terminators is zero.
static void ExpectRecord(const HostMessage& m, const std::string& source, const std::string& command)
{
    EXPECT_EQ(m.Source(), source);
    EXPECT_EQ(m.Command(), command);
    for (size_t i = m.Source().size(); i < SOURCE_NAME_SIZE; ++i)
        EXPECT_EQ(m.record[i], 0) << "source byte " << i;
    for (size_t i = SOURCE_NAME_SIZE + m.Command().size(); i < sizeof m.record; ++i)
        EXPECT_EQ(m.record[i], 0) << "command byte " << i;
}

TEST(PluginImage, ExportsTheFivePlainNamesAndImportsOnlySystemDlls)
{
    const PeNames names = ReadPeNames(PluginPath());
    EXPECT_EQ(names.exports, (std::vector<std::string>{"Close", "Open", "Setup", "Start", "Stop"}));

    const std::string system = " kernel32.dll user32.dll winmm.dll comctl32.dll msvcrt.dll gdi32.dll advapi32.dll ";
    ASSERT_FALSE(names.imports.empty());
    for (std::string dll : names.imports)
        EXPECT_NE(system.find(" " + std::string(CharLowerA(&dll[0])) + " "), std::string::npos) << "imports " << dll;
}

TEST_F(PluginLoadTest, OpenRemovesItsOwnTwelveBytesOfArguments)
{
    ASSERT_TRUE(plugin.Load(PluginPath()));
    const void* open = reinterpret_cast<const void*>(plugin.Open);
    uint32_t espBefore = 0, espAfter = 0;
    const char* result = nullptr;
    // Push three arguments and call: a callee-pops function leaves ESP as it was.
    __asm__ volatile("movl %%esp, %0\n\t"
                     "pushl $0\n\t"
                     "pushl $0\n\t"
                     "pushl $0\n\t"
                     "call *%3\n\t"
                     "movl %%esp, %1\n\t"
                     "movl %0, %%esp\n\t"
                     : "=&r"(espBefore), "=&r"(espAfter), "=a"(result)
                     : "r"(open)
                     : "ecx", "edx", "memory", "cc");
    EXPECT_EQ(espBefore, espAfter);
    EXPECT_STREQ(result, kPluginDescription);
    plugin.Close();
}

TEST_F(PluginLoadTest, SecondCopyIsRefusedWithWarningAndFirstKeepsWorking)
{
    const std::string copy = kBuildDir + "\\VantorixRC_copy.dll";
    ASSERT_TRUE(CopyFileA(PluginPath().c_str(), copy.c_str(), FALSE));
    ASSERT_TRUE(plugin.Load(PluginPath()));

    HMODULE second = LoadLibraryA(copy.c_str());
    EXPECT_EQ(second, nullptr);
    if (second)
        FreeLibrary(second);
    boxes.ExpectOneWarning("VantorixRC plugin is already loaded");

    EXPECT_STREQ(plugin.Open("First", host.Window(), 0), kPluginDescription);
    EXPECT_NE(plugin.Start(), 0u);
    plugin.Close();

    // Once the first is unloaded the copy loads without a word.
    plugin.Unload();
    boxes.Clear();
    PluginDll other;
    EXPECT_TRUE(other.Load(copy));
    other.Unload();
    EXPECT_TRUE(boxes.Boxes().empty());
    DeleteFileA(copy.c_str());
}

// A refused card, then no vendor library at all (a warning): Open succeeds, Start refuses.
TEST_F(PluginLoadTest, RefusedOpenCardOrMissingVendorLibraryLeavesPollingOff)
{
    Sim()->openResult[0] = 0;
    OpenPlugin();
    EXPECT_EQ(Sim()->callCount[CALL_OPEN_CARD], 1u);
    EXPECT_EQ(plugin.Start(), 0u);
    plugin.Close();
    EXPECT_TRUE(boxes.Boxes().empty());
    ASSERT_TRUE(RemoveVendor());
    EXPECT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription);
    boxes.ExpectOneWarning(LoadWarning(VendorLibraryPath()));
    EXPECT_EQ(plugin.Start(), 0u);
    plugin.Close();
}

TEST_F(PluginLoadTest, NullSourceNameIsRemoteLongIsCutTo63AndReopenZeroesTheRecord)
{
    OpenAndStart("[Buttons]\r\n12=POWER\r\n", nullptr);
    ASSERT_EQ(host.Tap(0x12), 1u);
    EXPECT_EQ(host.messages[0].lParam, 0);
    ExpectRecord(host.messages[0], "REMOTE", "POWER");

    // Open again with a long name; then with none and a shorter command, which leaves nothing
    // of the long ones. The release of each press before an Open is not sent.
    const std::string longName(100, 'N');
    ASSERT_STREQ(plugin.Open(longName.c_str(), host.Window(), 0), kPluginDescription);
    ASSERT_NE(plugin.Start(), 0u);
    ASSERT_GE(host.Tap(0x12), 2u);
    ExpectRecord(host.messages.back(), std::string(63, 'N'), "POWER");
    ASSERT_TRUE(PutSettingsFile(PluginIniPath(), "[Buttons]\r\n12=OK\r\n"));
    ASSERT_STREQ(plugin.Open(nullptr, host.Window(), 0), kPluginDescription);
    ASSERT_NE(plugin.Start(), 0u);
    RecordingHost::PumpFor(300);
    ASSERT_GE(host.Tap(0x12), 3u);
    ExpectRecord(host.messages.back(), "REMOTE", "OK");
    // Every message carries the one record address.
    for (const HostMessage& each : host.messages)
        EXPECT_EQ(each.wParam, host.messages[0].wParam);
    plugin.Close();
}

TEST_F(PluginLoadTest, SecondOpenReleasesTheFirstDeviceCloseIsHarmlessAndTheConfiguredCardIsOpened)
{
    ASSERT_TRUE(plugin.Load(PluginPath()));
    plugin.Close();
    plugin.Close();
    EXPECT_EQ(plugin.Start(), 0u);
    EXPECT_EQ(Sim()->loadCount, 0u);
    plugin.Open("TV", host.Window(), 0);
    plugin.Open("TV", host.Window(), 0);
    // Load: count; OpenCard: UnInit, open, type. Release: UnInit. Then again.
    EXPECT_EQ(std::string(Sim()->callLog, Sim()->callLogLength), "CUOTUCUOT");
    EXPECT_EQ(Sim()->loadCount - Sim()->unloadCount, 1u);
    plugin.Close();
    EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);
    EXPECT_EQ(std::string(Sim()->callLog, Sim()->callLogLength), "CUOTUCUOTU");
    EXPECT_FALSE(VendorLoaded());
    plugin.Close();
    EXPECT_EQ(Sim()->loadCount, Sim()->unloadCount);
    EXPECT_TRUE(boxes.Boxes().empty());

    for (const uint32_t index : {1u, 2u}) {  // of two cards
        ResetSim();
        Sim()->cardCount = 2;
        ASSERT_TRUE(PutSettingsFile(PluginIniPath(), "[Hardware]\r\nDeviceIndex=" + std::to_string(index) + "\r\n"));
        plugin.Open("TV", host.Window(), 0);
        EXPECT_EQ(Sim()->callCount[CALL_OPEN_CARD], index == 1 ? 1u : 0u) << index;
        EXPECT_TRUE(index != 1 || Sim()->lastOpenIndex == 1) << "card 1 was not the one opened";
        EXPECT_EQ(plugin.Start() != 0, index == 1) << index;
        plugin.Close();
    }
}

// Factory bindings and timings, per remote family, against the product's own
// lists written out here.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdint.h>
#include <string.h>

#include <map>
#include <string>

#include "device/RemoteDevice.h"
#include "mapping/ButtonTables.h"
#include "mapping/DefaultBindings.h"
#include "plugin/PluginState.h"
#include "support/TestEnv.h"
#include "support/TestHost.h"

namespace {

typedef std::map<int, std::string> Commands;  // code -> command; a code not listed is unbound

// Digits and Recall are the same for every family.
Commands WithDigitsAndRecall(Commands set)
{
    for (int i = 0; i < 10; ++i)
        set[i] = std::to_string(i);
    set[10] = "RECALL";
    return set;
}

const Commands kType2Set = WithDigitsAndRecall({
    {11, "UP"}, {12, "RIGHT"}, {13, "MENU"}, {14, "TELETEXT"}, {15, "RECORD"}, {16, "FULLSCREEN"},
    {17, "MUTE"}, {18, "POWER"}, {21, "DOWN"}, {22, "OK"}, {24, "LEFT"}, {26, "STOP"}, {27, "PLAY"},
    {28, "RADIO"}, {29, "SLEEP"}, {30, "VIDEO"}, {31, "AUDIO"},
});

const Commands kType1Set = WithDigitsAndRecall({
    {11, "CH_UP"}, {12, "VOL_UP"}, {14, "STOP"}, {15, "REW"}, {16, "FULLSCREEN"}, {17, "TV"},
    {18, "POWER"}, {19, "MUTE"}, {21, "CH_DOWN"}, {24, "VOL_DOWN"}, {25, "CAPTURE"}, {26, "FWD"},
    {28, "RADIO"}, {29, "RECORD"}, {30, "PAUSE"},
});

const Commands kOtherSet = WithDigitsAndRecall({
    {11, "UP"}, {12, "RIGHT"}, {13, "MOUSEMODE"}, {14, "SLEEP"}, {15, "AUDIO"}, {16, "SCAN"},
    {17, "TV"}, {18, "POWER"}, {19, "MUTE"}, {20, "MENU"}, {21, "DOWN"}, {22, "OK"},
    {23, "TELETEXT"}, {24, "LEFT"}, {26, "CH_UP"}, {27, "VOL_UP"}, {28, "RADIO"}, {30, "CH_DOWN"},
    {31, "VOL_DOWN"},
});

void ForgetCachedProfile(const std::string& path)
{
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
}

// The file the in-process Open reads: the test program's name with ".ini".
std::string OwnIniPath() { return BuildDir() + "\\tests\\settings_tests.ini"; }

void RemoveOwnIni()
{
    DeleteFileA(OwnIniPath().c_str());
    ForgetCachedProfile(OwnIniPath());
}

// A hand binding in every slot of every table, so the defaults must clear
// what they do not set, and leave the other tables alone.
std::string HandBinding(int table, int code) { return "HAND" + std::to_string(table) + "_" + std::to_string(code); }

void BindEverythingByHand()
{
    ButtonTable* const current = g_plugin.currentTable;
    for (int t = 0; t < 3; ++t) {
        g_plugin.currentTable = &g_buttonTables[t];
        for (int code = 0; code < BUTTON_COUNT; ++code)
            SetButtonCommand(code, HandBinding(t, code).c_str());
    }
    g_plugin.currentTable = current;
}

class DefaultBindingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPluginState();
        ClearAllBindings();
        memcpy(labels, g_buttonTables, sizeof labels);
    }
    void TearDown() override
    {
        Close();
        ResetPluginState();
        ClearAllBindings();
        RemoveOwnIni();
    }

    // Applies the defaults over hand bindings and checks the result against
    // the expected set in the current table, which must be table `table`.
    void ApplyAndCheck(int table, const Commands& expected, const std::string& what)
    {
        ASSERT_EQ(g_plugin.currentTable, &g_buttonTables[table]) << what;
        BindEverythingByHand();
        ASSERT_STREQ(g_buttonTables[table].entries[40].command, HandBinding(table, 40).c_str());
        const uint32_t deviceIndex = g_plugin.settings.DeviceIndex;
        g_plugin.settings.DelayBeforeRepeat = 1;
        g_plugin.settings.RepeatInterval = 2;
        g_plugin.settings.ReleaseTime = 3;

        ApplyDefaultBindings();

        EXPECT_EQ(g_plugin.settings.DeviceIndex, deviceIndex) << what;
        EXPECT_EQ(g_plugin.settings.DelayBeforeRepeat, 350u) << what;
        EXPECT_EQ(g_plugin.settings.RepeatInterval, 100u) << what;
        EXPECT_EQ(g_plugin.settings.ReleaseTime, 60u) << what;
        for (int t = 0; t < 3; ++t) {
            for (int code = 0; code < BUTTON_COUNT; ++code) {
                const ButtonEntry& entry = g_buttonTables[t].entries[code];
                std::string want;
                if (t == table) {
                    const auto it = expected.find(code);
                    want = it == expected.end() ? "" : it->second;
                } else {
                    want = HandBinding(t, code);
                }
                EXPECT_EQ(std::string(entry.command), want) << what << ", table " << t << " code " << code;
                EXPECT_EQ(memcmp(entry.label, labels[t].entries[code].label, LABEL_SIZE), 0)
                    << what << ", label of table " << t << " code " << code;
                EXPECT_EQ(entry.command[COMMAND_SIZE - 1], '\0');
            }
        }
        EXPECT_EQ(g_buttonTables[table].entries[40].command[0], '\0') << what;
        EXPECT_EQ(CommandIndexForButton(0), 2) << what;  // the word "0"
        ClearAllBindings();
    }

    ButtonTable labels[3];
    BoxWatcher boxes;
};

}  // namespace

TEST(DefaultSets, HaveTheListedSizes)
{
    // Digits and Recall plus the family's own rows.
    EXPECT_EQ(kType2Set.size(), 11u + 17u);
    EXPECT_EQ(kType1Set.size(), 11u + 15u);
    EXPECT_EQ(kOtherSet.size(), 11u + 19u);
}

TEST_F(DefaultBindingsTest, WithoutDeviceTheSetOfTheCurrentTableIsApplied)
{
    ASSERT_EQ(g_plugin.device, nullptr);
    g_plugin.settings.DeviceIndex = 7;
    ApplyAndCheck(0, kOtherSet, "no device");
    // The set matches the labels on screen, device or not (after Close too).
    const Commands* sets[3] = {&kOtherSet, &kType1Set, &kType2Set};
    for (int table = 1; table < 3; ++table) {
        SelectButtonTable(table);
        ApplyAndCheck(table, *sets[table], "no device, table " + std::to_string(table));
    }
    // Every labelled button of table 0 gets a command.
    for (int code = 0; code < BUTTON_COUNT; ++code)
        EXPECT_EQ(g_buttonTables[0].entries[code].label[0] != '\0', kOtherSet.count(code) == 1) << code;
}

TEST_F(DefaultBindingsTest, RemoteTypeOfTheOpenCardChoosesTheFamily)
{
    ASSERT_TRUE(InstallVendor("full"));
    const struct {
        int32_t remoteType;
        int table;
        const Commands* set;
    } cases[] = {
        {2, 2, &kType2Set},
        {1, 1, &kType1Set},
        {0, 0, &kOtherSet},
        {3, 0, &kOtherSet},
        {-7, 0, &kOtherSet},
    };
    for (const auto& c : cases) {
        const std::string what = "remote type " + std::to_string(c.remoteType);
        ResetSim();
        Sim()->remoteType[0] = c.remoteType;
        RemoveOwnIni();
        ResetPluginState();
        ClearAllBindings();
        Open("TV", nullptr, 0);
        ASSERT_NE(g_plugin.device, nullptr) << what;
        ASSERT_EQ(g_plugin.cardOpen, 1u) << what;
        ASSERT_EQ(g_plugin.device->RemoteType(), c.remoteType) << what;
        g_plugin.settings.DeviceIndex = 4;  // left alone by the defaults
        ApplyAndCheck(c.table, *c.set, what);
        Close();
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(DefaultBindingsTest, DefaultsFollowTheTableNotTheDevice)
{
    // A type-2 device with table 0 current (as after a hand-picked table)
    // gets the set of table 0: the one whose labels are on screen.
    ASSERT_TRUE(InstallVendor("full"));
    ResetSim();
    Sim()->remoteType[0] = 2;
    RemoveOwnIni();
    Open("TV", nullptr, 0);
    ASSERT_NE(g_plugin.device, nullptr);
    SelectButtonTable(0);
    ApplyAndCheck(0, kOtherSet, "type 2 device, table 0");
    Close();
    EXPECT_TRUE(boxes.Boxes().empty());
}

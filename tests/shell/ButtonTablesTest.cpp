// The three button tables, the command vocabulary and their lookups, checked
// against the lists as the product defines them (not against the code's data).
#include <gtest/gtest.h>

#include <stdint.h>

#include <map>
#include <string>

#include "mapping/ButtonTables.h"
#include "plugin/PluginState.h"

namespace {

typedef std::map<int, std::string> Labels;

Labels WithDigitsAndRecall(Labels labels)
{
    for (int i = 0; i < 10; ++i)
        labels[i] = "Button " + std::to_string(i);
    labels[10] = "Recall";
    return labels;
}

const Labels kTable0 = WithDigitsAndRecall({
    {11, "Up"}, {12, "Right"}, {13, "Mode"}, {14, "Sleep"}, {15, "Audio"}, {16, "Info"},
    {17, "TV/AV"}, {18, "Power"}, {19, "Mute"}, {20, "Menu"}, {21, "Down"}, {22, "OK"},
    {23, "+100"}, {24, "Left"}, {26, "Chan +"}, {27, "Vol +"}, {28, "Function"},
    {30, "Chan -"}, {31, "Vol -"},
});

const Labels kTable1 = WithDigitsAndRecall({
    {11, "CH UP"}, {12, "VOL+"}, {13, "Stereo"}, {14, "STOP"}, {15, "PREV"}, {16, "ZOOM"},
    {17, "Source"}, {18, "Power"}, {19, "Mute"}, {21, "CH DOWN"}, {24, "VOL-"},
    {25, "SNAPSHOT"}, {26, "NEXT"}, {27, "TIMESHIFT"}, {28, "FM Radio"}, {29, "REC"},
    {30, "PAUSE"},
});

const Labels kTable2 = WithDigitsAndRecall({
    {11, "Ch Up"}, {12, "Vol +"}, {13, "Info"}, {14, "Teletext"}, {15, "Record"},
    {16, "Full screen"}, {17, "Mute"}, {18, "Power"}, {19, "Preview"}, {20, "Aspect"},
    {21, "Ch Down"}, {22, "OK"}, {23, "Mode"}, {24, "Vol -"}, {25, "DVB"}, {26, "Stop"},
    {27, "Play/Pause"}, {28, "TV/FM"}, {29, "Sleep"}, {30, "Source"}, {31, "Audio"},
    {88, "Snapshot"}, {92, "Freeze"},
});

const char* const kVocabulary[61] = {
    "< None >", "< Other >", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "POWER",
    "CH_UP", "CH_DOWN", "VOL_UP", "VOL_DOWN", "MUTE", "MENU", "RECALL", "UP", "DOWN", "LEFT",
    "RIGHT", "OK", "FULLSCREEN", "FWD", "REW", "PLAY", "PAUSE", "STOP", "RECORD", "CAPTURE",
    "SLEEP", "SCAN", "CANCEL", "VIDEO", "AUDIO", "TV", "RADIO", "TELETEXT", "CD", "DVD", "RED",
    "YELLOW", "GREEN", "BLUE", "WEB_LAUNCH", "MOUSEMODE", "LEFTMOUSE", "RIGHTMOUSE",
    "LEFTMOUSEDOUBLECLICK", "RIGHTMOUSEDOUBLECLICK", "DIRPADRIGHT", "DIRPADUP", "DIRPADLEFT",
    "DIRPADDOWN", "DIRPADRIGHTUP", "DIRPADRIGHTDOWN", "DIRPADLEFTUP", "DIRPADLEFTDOWN",
};

class ButtonTablesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPluginState();
        ClearAllBindings();
    }
    void TearDown() override { ClearAllBindings(); }
};

}  // namespace

TEST_F(ButtonTablesTest, LabelsOfEveryTableMatchTheListsAndAllTextsFit)
{
    const Labels* expected[3] = {&kTable0, &kTable1, &kTable2};
    const size_t labelCounts[3] = {30, 28, 34};
    for (int t = 0; t < 3; ++t) {
        EXPECT_EQ(expected[t]->size(), labelCounts[t]);
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const ButtonEntry& entry = g_buttonTables[t].entries[code];
            const auto it = expected[t]->find(code);
            EXPECT_EQ(std::string(entry.label), it == expected[t]->end() ? "" : it->second)
                << "table " << t << " code " << code;
            EXPECT_EQ(entry.command[0], '\0');
        }
    }
}

TEST_F(ButtonTablesTest, VocabularyHoldsTheSixtyOneWordsInOrder)
{
    for (int i = 0; i < VOCABULARY_SIZE; ++i)
        EXPECT_STREQ(CommandVocabulary[i], kVocabulary[i]) << i;
}

TEST_F(ButtonTablesTest, TableFollowsRemoteType)
{
    const struct { int32_t type; int table; } cases[] = {
        {2, 2}, {1, 1}, {0, 0}, {-1, 0}, {5, 0}, {3, 0}, {INT32_MIN, 0},
    };
    for (const auto& c : cases) {
        SelectButtonTable(c.type);
        EXPECT_EQ(g_plugin.currentTable, &g_buttonTables[c.table]) << "type " << c.type;
    }
}

TEST_F(ButtonTablesTest, FindButtonByLabelIsExactAndPerTable)
{
    const struct { int table; const char* label; int32_t index; } cases[] = {
        {0, "Vol +", 27}, {2, "Vol +", 12}, {1, "Vol +", -1}, {1, "VOL+", 12},
        {0, "vol +", -1}, {0, "Vol", -1}, {0, "", 25}, {2, "", 32}, {1, "", 20},
        {1, "REC", 29}, {1, "Recall", 10}, {2, "Freeze", 92}, {0, "Button 0", 0},
        {0, "Chan +xxxxxxxxxxxxxxxxxxxxxxx", -1},
    };
    for (const auto& c : cases) {
        SelectButtonTable(c.table);
        EXPECT_EQ(FindButtonByLabel(c.label), c.index) << c.table << " '" << c.label << "'";
    }
}

TEST_F(ButtonTablesTest, CommandIndexForButtonFindsWordsIgnoringCase)
{
    SelectButtonTable(0);
    SetButtonCommand(18, "power");
    SetButtonCommand(19, "ZAP");
    SetButtonCommand(20, "VOL_UP");
    SetButtonCommand(21, "dirpadleftdown");
    SetButtonCommand(22, "< none >");
    SetButtonCommand(0, "0");
    const struct { int32_t index; int32_t expected; } cases[] = {
        {18, 12}, {19, 1}, {20, 15}, {21, 60}, {22, 0}, {0, 2}, {23, 0},
        {93, 0}, {-1, 0}, {INT32_MAX, 0}, {INT32_MIN, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CommandIndexForButton(c.index), c.expected) << c.index;
}

TEST_F(ButtonTablesTest, CommandsAreCutTo31CharactersAndOnlyTheCurrentTableChanges)
{
    SelectButtonTable(2);
    const std::string exact(31, 'A');
    SetButtonCommand(5, exact.c_str());
    EXPECT_EQ(std::string(g_buttonTables[2].entries[5].command), exact);
    SetButtonCommand(6, (exact + "BCDEF").c_str());
    EXPECT_EQ(std::string(g_buttonTables[2].entries[6].command), exact);
    EXPECT_EQ(g_buttonTables[2].entries[6].command[31], '\0');
    SetButtonCommand(93, "X");   // outside the table: ignored
    SetButtonCommand(-1, "X");
    EXPECT_EQ(g_buttonTables[0].entries[5].command[0], '\0');
    EXPECT_EQ(g_buttonTables[1].entries[5].command[0], '\0');
}

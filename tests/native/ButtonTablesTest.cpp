// The shipped button tables, vocabulary and lookups, checked against the lists in tests/ExpectedTables.h, not the data.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <tuple>
#include <vector>

#include "mapping/ButtonTables.h"
#include "tests/ExpectedTables.h"

using namespace expected;
static_assert(VOCABULARY_SIZE == 61, "the vocabulary as written out");

TEST(ButtonTables, LabelsMatchTheListsAndNoCommandIsBound)
{
    const size_t counts[TABLE_COUNT] = {30, 28, 34};
    for (int t = 0; t < TABLE_COUNT; ++t) {
        EXPECT_EQ(kLabels[t].size(), counts[t]);
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const ButtonEntry& entry = SHIPPED_BUTTON_TABLES[t].entries[code];
            const auto it = kLabels[t].find(code);
            EXPECT_EQ(entry.label, it == kLabels[t].end() ? "" : it->second) << "table " << t << " code " << code;
            EXPECT_STREQ(entry.command, "");
        }
    }
    EXPECT_EQ(kVocabulary, std::vector<std::string>(CommandVocabulary, CommandVocabulary + VOCABULARY_SIZE));
}

TEST(ButtonTables, LookupsFollowTheRemoteTypeAndTheLabels)
{
    const int32_t types[][2] = {{2, 2}, {1, 1}, {0, 0}, {-1, 0}, {3, 0}, {5, 0}, {INT32_MIN, 0}};
    for (const auto& [type, table] : types)  // remote type, table
        EXPECT_EQ(ButtonTableForRemoteType(type), table) << "type " << type;

    const std::tuple<int, const char*, int32_t> labels[] = {
        {0, "Vol +", 27},    {2, "Vol +", 12},   {1, "Vol +", -1},
        {1, "VOL+", 12},     {0, "vol +", -1},   {0, "Vol", -1},
        {0, "", 25},         {1, "", 20},        {2, "", 32},
        {1, "REC", 29},      {1, "Recall", 10},  {2, "Freeze", 92},
        {2, "Snapshot", 88}, {0, "Button 0", 0}, {0, "Chan +xxxxxxxxxxxxxxxxxxxxxxx", -1}};
    for (const auto& [table, label, index] : labels)
        EXPECT_EQ(FindButtonByLabel(SHIPPED_BUTTON_TABLES[table], label), index) << table << " " << label;
}

TEST(ButtonTables, CommandIndexMatchesWordsIgnoringCase)
{
    ButtonTable table = SHIPPED_BUTTON_TABLES[0];
    const std::tuple<int32_t, const char*, int32_t> cases[] = {
        {18, "power", 12}, {19, "ZAP", 1},   {20, "VOL_UP", 15}, {21, "dirpadleftdown", 60}, {22, "< none >", 0},
        {23, "Radio", 39}, {0, "0", 2},      {24, "POWE", 1},    {25, "POWERS", 1},          {26, "", 0},
        {92, "MUTE", 17},  {93, "POWER", 0}, {-1, "POWER", 0},   {INT32_MAX, "POWER", 0},    {INT32_MIN, "POWER", 0}};
    for (const auto& [button, command, wordIndex] : cases)
        SetButtonCommand(table, button, command);
    for (const auto& [button, command, wordIndex] : cases)
        EXPECT_EQ(CommandIndexForButton(table, button), wordIndex) << button << " " << command;
}

TEST(ButtonTables, CommandsAreCutTo31CharactersAndLabelsStay)
{
    struct {
        char before[sizeof(ButtonEntry)];
        ButtonTable table;
        char after[sizeof(ButtonEntry)];
    } guarded;
    memset(&guarded, '#', sizeof guarded);
    ButtonTable& table = guarded.table = SHIPPED_BUTTON_TABLES[2];
    const std::string exact(31, 'A');
    SetButtonCommand(table, 5, exact.c_str());
    SetButtonCommand(table, 92, (exact + "BCDEF").c_str());
    EXPECT_EQ(table.entries[5].command, exact);
    EXPECT_EQ(table.entries[92].command, exact);
    SetButtonCommand(table, 6, "X");
    SetButtonCommand(table, 6, nullptr);  // reads as ""
    EXPECT_STREQ(table.entries[6].command, "");
    SetButtonCommand(table, 93, "X");  // outside the table: ignored
    SetButtonCommand(table, -1, "X");
    EXPECT_EQ(std::string(guarded.before, sizeof guarded.before) + std::string(guarded.after, sizeof guarded.after),
              std::string(2 * sizeof(ButtonEntry), '#'));
    ClearButtonCommands(table);
    for (int code = 0; code < BUTTON_COUNT; ++code) {
        EXPECT_STREQ(table.entries[code].command, "") << code;
        EXPECT_EQ(memcmp(table.entries[code].label, SHIPPED_BUTTON_TABLES[2].entries[code].label, LABEL_SIZE), 0);
    }
}

// The factory sets per remote family, written out here, applied over a hand
// binding in every slot.
#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>

#include "mapping/ButtonTables.h"
#include "mapping/DefaultBindings.h"

namespace {

using Commands = std::map<int, std::string>;  // a code not listed is unbound

Commands WithDigitsAndRecall(Commands set)
{
    for (int i = 0; i < 10; ++i)
        set[i] = std::to_string(i);
    set[10] = "RECALL";
    return set;
}

const Commands kOtherSet = WithDigitsAndRecall({
    {11, "UP"}, {12, "RIGHT"}, {13, "MOUSEMODE"}, {14, "SLEEP"}, {15, "AUDIO"}, {16, "SCAN"}, {17, "TV"},
    {18, "POWER"}, {19, "MUTE"}, {20, "MENU"}, {21, "DOWN"}, {22, "OK"}, {23, "TELETEXT"}, {24, "LEFT"},
    {26, "CH_UP"}, {27, "VOL_UP"}, {28, "RADIO"}, {30, "CH_DOWN"}, {31, "VOL_DOWN"},
});
const Commands kType1Set = WithDigitsAndRecall({
    {11, "CH_UP"}, {12, "VOL_UP"}, {14, "STOP"}, {15, "REW"}, {16, "FULLSCREEN"}, {17, "TV"}, {18, "POWER"},
    {19, "MUTE"}, {21, "CH_DOWN"}, {24, "VOL_DOWN"}, {25, "CAPTURE"}, {26, "FWD"}, {28, "RADIO"},
    {29, "RECORD"}, {30, "PAUSE"},
});
const Commands kType2Set = WithDigitsAndRecall({
    {11, "UP"}, {12, "RIGHT"}, {13, "MENU"}, {14, "TELETEXT"}, {15, "RECORD"}, {16, "FULLSCREEN"}, {17, "MUTE"},
    {18, "POWER"}, {21, "DOWN"}, {22, "OK"}, {24, "LEFT"}, {26, "STOP"}, {27, "PLAY"}, {28, "RADIO"},
    {29, "SLEEP"}, {30, "VIDEO"}, {31, "AUDIO"},
});

}  // namespace

TEST(DefaultBindings, EachFamilyGetsExactlyItsSetOverHandBindings)
{
    const struct { int32_t family; int table; const Commands& set; size_t rows; } cases[] = {
        {0, 0, kOtherSet, 19}, {1, 1, kType1Set, 15}, {2, 2, kType2Set, 17}, {3, 0, kOtherSet, 19},
        {-7, 0, kOtherSet, 19},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("family " + std::to_string(c.family));
        EXPECT_EQ(c.set.size(), 11 + c.rows);  // digits and Recall, then the family's own
        ButtonTable table = SHIPPED_BUTTON_TABLES[c.table];
        for (int code = 0; code < BUTTON_COUNT; ++code)
            SetButtonCommand(table, code, ("HAND_" + std::to_string(code)).c_str());
        ApplyFactoryBindings(table, c.family);
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const auto it = c.set.find(code);
            EXPECT_EQ(table.entries[code].command, it == c.set.end() ? "" : it->second) << code;
            EXPECT_EQ(memcmp(table.entries[code].label, SHIPPED_BUTTON_TABLES[c.table].entries[code].label,
                             LABEL_SIZE), 0) << code;
        }
        EXPECT_EQ(CommandIndexForButton(table, 0), 2);  // the word "0"
    }
    // The set for other remotes binds every labelled button of table 0, and only those.
    for (int code = 0; code < BUTTON_COUNT; ++code)
        EXPECT_EQ(SHIPPED_BUTTON_TABLES[0].entries[code].label[0] != '\0', kOtherSet.count(code) == 1) << code;
}

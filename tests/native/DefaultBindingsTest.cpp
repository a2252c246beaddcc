// The factory sets per remote family (written out in tests/ExpectedTables.h), applied over hand bindings everywhere.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <tuple>

#include "mapping/ButtonTables.h"
#include "mapping/DefaultBindings.h"
#include "tests/ExpectedTables.h"

using namespace expected;

TEST(DefaultBindings, EachFamilyGetsExactlyItsSetOverHandBindings)
{
    const std::tuple<int32_t, int, const CodeTexts&, size_t> cases[] = {
        {0, 0, kOtherSet, 19}, {1, 1, kType1Set, 15},  {2, 2, kType2Set, 17},
        {3, 0, kOtherSet, 19}, {-7, 0, kOtherSet, 19},
    };
    for (const auto& [family, shipped, set, rows] : cases) {
        SCOPED_TRACE("family " + std::to_string(family));
        EXPECT_EQ(set.size(), 11 + rows);  // digits and Recall, then the family's own
        const ButtonTable& labels = SHIPPED_BUTTON_TABLES[shipped];
        ButtonTable table = labels;
        for (int code = 0; code < BUTTON_COUNT; ++code)
            SetButtonCommand(table, code, ("HAND_" + std::to_string(code)).c_str());
        ApplyFactoryBindings(table, family);
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const auto it = set.find(code);
            EXPECT_EQ(table.entries[code].command, it == set.end() ? "" : it->second) << code;
            EXPECT_EQ(memcmp(table.entries[code].label, labels.entries[code].label, LABEL_SIZE), 0) << code;
        }
        EXPECT_EQ(CommandIndexForButton(table, 0), 2);  // the word "0"
    }
    // The set for other remotes binds every labelled button of table 0, and only those.
    for (int code = 0; code < BUTTON_COUNT; ++code)
        EXPECT_EQ(SHIPPED_BUTTON_TABLES[0].entries[code].label[0] != '\0', kOtherSet.count(code) == 1) << code;
}

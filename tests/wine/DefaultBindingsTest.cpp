// The defaults as the dialog's button applies them: factory timings, the card index kept, and the factory set of the
// table on screen (the sets themselves are checked natively) — whatever remote the card has, and after Close too.
#include "support/LinkedPlugin.h"
#include "tests/ExpectedTables.h"

typedef LinkedPluginTest DefaultBindings;

TEST_F(DefaultBindings, FactoryTimingsAndTheSetOfTheTableOnScreenInThatTableOnly)
{
    const std::pair<int32_t, int> cases[] = {{2, 2}, {1, 1}, {0, 0}, {3, 0}, {-7, 0}};
    // The factory set of each table, from the tests' own books.
    const expected::CodeTexts sets[TABLE_COUNT] = {expected::kOtherSet, expected::kType1Set, expected::kType2Set};
    for (const auto& [remoteType, table] : cases) {
        for (const bool closed : {false, true}) {
            SCOPED_TRACE("remote type " + std::to_string(remoteType) + (closed ? ", after Close" : ""));
            ResetSim();
            ResetLinkedPlugin();
            Sim()->remoteType[0] = remoteType;
            Open("TV", nullptr, 0);
            ASSERT_EQ(g_plugin.cardOpen, 1u);
            ASSERT_EQ(g_plugin.currentTable, &g_buttonTables[table]) << "the table of the card's remote";
            if (closed)
                Close();
            for (int slot = 0; slot < TABLE_COUNT * BUTTON_COUNT; ++slot)
                SetButtonCommand(g_buttonTables[slot / BUTTON_COUNT], slot % BUTTON_COUNT, "HAND");
            g_plugin.settings = {4, 1, 2, 3};

            ApplyDefaultBindings();

            EXPECT_EQ(SettingsInForce(), (Timings{4, 350, 100, 60}));
            ExpectTableCommands(table, sets[table], "defaults", "HAND");
            Close();
        }
    }
}

// The defaults as the dialog's button applies them: factory timings, the card
// index kept, and the factory set of the table on screen (the sets themselves
// are checked natively) — whatever remote the card has, and after Close too.
#include "mapping/DefaultBindings.h"
#include "support/LinkedPlugin.h"

typedef LinkedPluginTest DefaultBindings;

TEST_F(DefaultBindings, FactoryTimingsAndTheSetOfTheTableOnScreenInThatTableOnly)
{
    const struct {
        int32_t remoteType;
        int table;
    } cases[] = {{2, 2}, {1, 1}, {0, 0}, {3, 0}, {-7, 0}};
    for (const auto& c : cases) {
        for (const bool closed : {false, true}) {
            SCOPED_TRACE("remote type " + std::to_string(c.remoteType) + (closed ? ", after Close" : ""));
            ResetSim();
            Sim()->remoteType[0] = c.remoteType;
            ResetPluginState();
            RemoveSettingsFile(OwnIniPath());
            Open("TV", nullptr, 0);
            ASSERT_EQ(g_plugin.cardOpen, 1u);
            ASSERT_EQ(g_plugin.currentTable, &g_buttonTables[c.table]) << "the table of the card's remote";
            if (closed)
                Close();
            for (ButtonTable& table : g_buttonTables)
                for (int code = 0; code < BUTTON_COUNT; ++code)
                    SetButtonCommand(table, code, "HAND");
            g_plugin.settings = {4, 1, 2, 3};

            ApplyDefaultBindings();

            EXPECT_EQ(SettingsInForce(), (Timings{4, 350, 100, 60}));
            ButtonTable factory = SHIPPED_BUTTON_TABLES[c.table];
            ApplyFactoryBindings(factory, c.table);
            for (int t = 0; t < TABLE_COUNT; ++t) {
                for (int code = 0; code < BUTTON_COUNT; ++code) {
                    const char* expected = t == c.table ? factory.entries[code].command : "HAND";
                    EXPECT_STREQ(g_buttonTables[t].entries[code].command, expected)
                        << "table " << t << " code " << code;
                }
            }
            Close();
        }
    }
}

// Random and mutated settings files through the reader: no slot is ever run over, nothing but the settings and the
// current table's commands changes, and every value is what the profile functions themselves return.
#include "support/LinkedPlugin.h"
#include "tests/SeededRandom.h"

// One of the items of list, which are split at '|'.
static std::string Pick(SeededRandom& rng, const std::string& list)
{
    std::vector<std::string> items;
    for (size_t from = 0, bar = 0; bar != std::string::npos; from = bar + 1) {
        bar = list.find('|', from);
        items.push_back(list.substr(from, bar - from));
    }
    return items[rng.Below(static_cast<uint32_t>(items.size()))];
}

const char kNumbers[] = "0|1|2|350|100|60|-5|-1|4294967295|4294967296|99999999999999999999|0x10|"
                        "12abc|+7| 42 ||abc|-2147483648|2147483648|007|0b101|0o17|--3|1e3";
const char kWords[] = "POWER|ZAP|power|CH_UP|0|9|RECALL|A=B|< None >|LEFTMOUSEDOUBLECLICK|"
                      "RIGHTMOUSEDOUBLECLICK!|\"quoted\"|  spaced  |;not a comment|[x]";
const char kSections[] = "Hardware|Buttons|hardware|BUTTONS|Other||Buttons | Hardware";
const char kKeyNames[] =
    "DeviceIndex|DelayBeforeRepeat|RepeatInterval|ReleaseTime|deviceindex|RELEASETIME|Delay|RepeatIntervalX";
const char kLineEnds[] = "\r\n|\r\n|\r\n|\n|\r|\n\r";

static std::string Bytes(SeededRandom& rng, size_t count, bool binary)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += static_cast<char>(binary ? rng.Below(256) : 0x20 + rng.Below(0x5F));
    return text;
}

static std::string RandomKey(SeededRandom& rng)
{
    switch (std::max(rng.Below(8), 2u)) {  // 0 and 1 as 2
    case 2: return KeyOf(rng.Below(100));
    case 3: return KeyOf(rng.Below(256), true);
    case 4: return Pick(rng, kKeyNames);
    case 5: return " " + KeyOf(rng.Below(93), rng.Chance(50)) + " ";
    case 6: return Bytes(rng, rng.Below(5), false);
    default: return Bytes(rng, 1 + rng.Below(4), true);
    }
}

static std::string RandomValue(SeededRandom& rng)
{
    switch (std::max(rng.Below(8), 1u)) {  // 0 as 1
    case 1: return Pick(rng, kWords);
    case 2: return Pick(rng, kNumbers);
    case 3: return Bytes(rng, rng.Below(40), false);
    case 4: return Bytes(rng, 25 + rng.Below(50), false);  // around 31 and 63
    case 5: return Bytes(rng, rng.Below(40), true);
    case 6: return rng.Chance(20) ? Bytes(rng, 200 + rng.Below(1500), rng.Chance(50)) : "";
    default: return Pick(rng, kWords) + Bytes(rng, rng.Below(8), true);
    }
}

static std::string RandomFile(SeededRandom& rng)
{
    std::string text = rng.Chance(4) ? "\xEF\xBB\xBF" : "";
    const uint32_t lines = rng.Below(40);
    for (uint32_t i = 0; i < lines; ++i) {
        const uint32_t kind = rng.Below(100);
        if (kind < 18) {
            const std::string name = rng.Chance(85) ? Pick(rng, kSections) : Bytes(rng, rng.Below(12), rng.Chance(50));
            text += "[" + name + (rng.Chance(90) ? "]" : "");
        } else if (kind < 80) {
            text += RandomKey(rng) + (rng.Chance(90) ? "=" : " = ") + RandomValue(rng);
        } else if (kind < 85) {
            text += RandomKey(rng);
        } else if (kind < 90) {
            text += ";" + Bytes(rng, rng.Below(20), false);
        } else if (kind < 95) {
            text += Bytes(rng, rng.Below(60), true);
        }  // else a blank line
        text += Pick(rng, kLineEnds);
    }
    return text;
}

// A file as the plug-in writes it, with random values, then damaged.
static std::string MutatedFile(SeededRandom& rng)
{
    std::string text = "[Hardware]\r\n";
    for (int k = 0; k < 4; ++k)
        text += kHardwareKeyNames[k] + ("=" + Pick(rng, kNumbers)) + "\r\n";
    text += "[Buttons]\r\n";
    for (uint32_t code = 0; code < BUTTON_COUNT; ++code)
        if (rng.Chance(30))
            text +=
                KeyOf(code) + "=" + (rng.Chance(70) ? Pick(rng, kWords) : Bytes(rng, rng.Below(70), false)) + "\r\n";
    const uint32_t mutations = 1 + rng.Below(10);
    for (uint32_t m = 0; m < mutations && !text.empty(); ++m) {
        const size_t at = rng.Below(static_cast<uint32_t>(text.size()));
        switch (rng.Below(9)) {
        case 0: text[at] = static_cast<char>(text[at] ^ (1u << rng.Below(8))); break;
        case 1: text.insert(at, 1, static_cast<char>(rng.Below(256))); break;
        case 2: text.erase(at, 1 + rng.Below(20)); break;
        case 3: text.insert(at, text.substr(at, rng.Below(80))); break;  // repeats a stretch
        case 4: text.insert(at, 1, '\0'); break;
        case 5: text.insert(at, rng.Chance(50) ? "\r\n[Buttons]\r\n" : "\r\n[Hardware]\r\n"); break;
        case 6: text.resize(at); break;
        case 7: text.insert(at, std::string(100 + rng.Below(900), static_cast<char>(0x20 + rng.Below(0x5F)))); break;
        default: text[at] = static_cast<char>(rng.Below(256)); break;
        }
    }
    return text;
}

typedef LinkedPluginTest SettingsFuzz;

TEST_F(SettingsFuzz, RandomAndMutatedFilesAreReadSafelyAndAsTheProfileFunctionsSeeThem)
{
    const std::string path = OwnIniPath();  // removed after the test
    SetIniPath(path);

    // Faults planted in the reader were found by the first few mutated files
    // and, for damage that only odd structure reaches, by random file 6.
    const std::tuple<const char*, uint32_t, int, std::string (*)(SeededRandom&)> batches[] = {
        {"random", 0x5EED0001, 50, RandomFile}, {"mutated", 0x5EED8001, 50, MutatedFile}};
    int files = 0;
    int withValues = 0;  // files the reader found anything in
    for (const auto& [kind, firstSeed, count, make] : batches) {
        for (int i = 0; i < count; ++i, ++files) {
            const uint32_t seed = firstSeed + static_cast<uint32_t>(i);
            SeededRandom rng(seed);
            const std::string text = make(rng);
            ASSERT_TRUE(PutSettingsFile(path, text));

            // Stale values everywhere, so the read has to replace them.
            const int table = static_cast<int>(rng.Below(3));
            SelectButtonTable(table);
            g_plugin.settings = {rng.Next(), rng.Next(), rng.Next(), rng.Next()};
            for (int code = 0; code < BUTTON_COUNT; ++code)
                SetButtonCommand(*g_plugin.currentTable, code, std::string(rng.Below(40), 'S').c_str());
            PluginState before;  // byte for byte, as compared
            ButtonTable tablesBefore[3];
            memcpy(&before, &g_plugin, sizeof before);
            memcpy(tablesBefore, g_buttonTables, sizeof tablesBefore);

            ReadSettingsFile();
            // Nothing in the plug-in's state but the four settings changed.
            before.settings = g_plugin.settings;
            EXPECT_EQ(memcmp(&g_plugin, &before, sizeof before), 0) << "plug-in state outside the settings changed";
            // No slot ran over, and only the current table's commands changed.
            EXPECT_EQ(BrokenSlot(), "") << "slot run over";
            for (int t = 0; t < 3; ++t)
                EXPECT_TRUE(t == table || memcmp(&g_buttonTables[t], &tablesBefore[t], sizeof tablesBefore[t]) == 0)
                    << "table " << t << ", not the current one, changed";
            ExpectReadAsTheProfileFunctions(path);
            const ButtonEntry* entries = g_plugin.currentTable->entries;
            withValues +=
                memcmp(&g_plugin.settings, &DEFAULT_SETTINGS, sizeof DEFAULT_SETTINGS) != 0 ||
                std::any_of(entries, entries + BUTTON_COUNT, [](const ButtonEntry& e) { return e.command[0]; });
            if (::testing::Test::HasFailure())
                FAIL() << kind << " file, seed 0x" << std::hex << seed << ", text '" << Printable(text) << "'";
        }
    }
    printf("settings fuzz: %d files, %d with values\n", files, withValues);
    // Equal to the profile functions' answers proves nothing if neither found anything.
    EXPECT_GE(withValues, files / 2) << "the reader found next to nothing";
}

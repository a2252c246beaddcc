// Random and mutated settings files through the reader: no slot is ever run
// over, nothing but the settings and the current table's commands changes,
// and every value is what the profile functions themselves return.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "plugin/PluginState.h"
#include "support/TestEnv.h"

namespace {

constexpr uint32_t kRandomSeed = 0x5EED0001;
constexpr uint32_t kMutatedSeed = 0x5EED8001;
constexpr int kRandomFiles = 150;
constexpr int kMutatedFiles = 150;

// Small deterministic generator (xorshift32), the same on every build.
class Rng {
public:
    explicit Rng(uint32_t seed) : state_(seed * 2654435761u ^ 0x9E3779B9u)
    {
        if (state_ == 0)
            state_ = 1;
        for (int i = 0; i < 4; ++i)
            Next();
    }
    uint32_t Next()
    {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }
    uint32_t Below(uint32_t n) { return n ? Next() % n : 0; }
    bool Percent(uint32_t p) { return Below(100) < p; }
    template <size_t N>
    const char* Pick(const char* const (&items)[N]) { return items[Below(N)]; }

private:
    uint32_t state_;
};

const char* const kSections[] = {"Hardware", "Buttons", "hardware", "BUTTONS", "Other", "", "Buttons ", " Hardware"};
const char* const kHardwareKeys[] = {"DeviceIndex", "DelayBeforeRepeat", "RepeatInterval", "ReleaseTime",
                                     "deviceindex", "RELEASETIME", "Delay", "RepeatIntervalX"};
const char* const kNumbers[] = {"0", "1", "2", "350", "100", "60", "-5", "-1", "4294967295", "4294967296",
                                "99999999999999999999", "0x10", "12abc", "+7", " 42 ", "", "abc",
                                "-2147483648", "2147483648", "007", "0b101", "0o17", "--3", "1e3"};
const char* const kWords[] = {"POWER", "ZAP", "power", "CH_UP", "0", "9", "RECALL", "A=B", "< None >",
                              "LEFTMOUSEDOUBLECLICK", "RIGHTMOUSEDOUBLECLICK!", "\"quoted\"", "  spaced  ",
                              ";not a comment", "[x]"};
const char* const kLineEnds[] = {"\r\n", "\r\n", "\r\n", "\n", "\r", "\n\r"};

std::string Bytes(Rng& rng, size_t count, bool binary)
{
    std::string text;
    for (size_t i = 0; i < count; ++i)
        text += static_cast<char>(binary ? rng.Below(256) : 0x20 + rng.Below(0x5F));
    return text;
}

std::string HexKey(uint32_t code, bool lower)
{
    const char* digits = lower ? "0123456789abcdef" : "0123456789ABCDEF";
    return std::string{digits[(code >> 4) & 15], digits[code & 15]};
}

std::string RandomKey(Rng& rng)
{
    switch (rng.Below(8)) {
    case 0: case 1: case 2: return HexKey(rng.Below(100), false);
    case 3: return HexKey(rng.Below(256), true);
    case 4: return rng.Pick(kHardwareKeys);
    case 5: return " " + HexKey(rng.Below(93), rng.Percent(50)) + " ";
    case 6: return Bytes(rng, rng.Below(5), false);
    default: return Bytes(rng, 1 + rng.Below(4), true);
    }
}

std::string RandomValue(Rng& rng)
{
    switch (rng.Below(8)) {
    case 0: case 1: return rng.Pick(kWords);
    case 2: return rng.Pick(kNumbers);
    case 3: return Bytes(rng, rng.Below(40), false);
    case 4: return Bytes(rng, 25 + rng.Below(50), false);  // around 31 and 63
    case 5: return Bytes(rng, rng.Below(40), true);
    case 6: return rng.Percent(20) ? Bytes(rng, 200 + rng.Below(1500), rng.Percent(50)) : "";
    default: return std::string(rng.Pick(kWords)) + Bytes(rng, rng.Below(8), true);
    }
}

std::string RandomFile(Rng& rng)
{
    std::string text;
    if (rng.Percent(4))
        text += "\xEF\xBB\xBF";
    const uint32_t lines = rng.Below(40);
    for (uint32_t i = 0; i < lines; ++i) {
        const uint32_t kind = rng.Below(100);
        if (kind < 18) {
            const std::string name = rng.Percent(85) ? rng.Pick(kSections) : Bytes(rng, rng.Below(12), rng.Percent(50));
            text += "[" + name + (rng.Percent(90) ? "]" : "");
        } else if (kind < 80) {
            text += RandomKey(rng) + (rng.Percent(90) ? "=" : " = ") + RandomValue(rng);
        } else if (kind < 85) {
            text += RandomKey(rng);
        } else if (kind < 90) {
            text += ";" + Bytes(rng, rng.Below(20), false);
        } else if (kind < 95) {
            text += Bytes(rng, rng.Below(60), true);
        }  // else a blank line
        text += rng.Pick(kLineEnds);
    }
    return text;
}

// A file as the plug-in writes it, with random values.
std::string WellFormedFile(Rng& rng)
{
    std::string text = "[Hardware]\r\n";
    for (int k = 0; k < 4; ++k)
        text += std::string(kHardwareKeys[k]) + "=" + rng.Pick(kNumbers) + "\r\n";
    text += "[Buttons]\r\n";
    for (uint32_t code = 0; code < BUTTON_COUNT; ++code)
        if (rng.Percent(30))
            text += HexKey(code, false) + "=" + (rng.Percent(70) ? rng.Pick(kWords) : Bytes(rng, rng.Below(70), false)) + "\r\n";
    return text;
}

std::string MutatedFile(Rng& rng)
{
    std::string text = WellFormedFile(rng);
    const uint32_t mutations = 1 + rng.Below(10);
    for (uint32_t m = 0; m < mutations && !text.empty(); ++m) {
        const size_t at = rng.Below(static_cast<uint32_t>(text.size()));
        switch (rng.Below(9)) {
        case 0: text[at] = static_cast<char>(text[at] ^ (1u << rng.Below(8))); break;
        case 1: text.insert(at, 1, static_cast<char>(rng.Below(256))); break;
        case 2: text.erase(at, 1 + rng.Below(20)); break;
        case 3: text.insert(at, text.substr(at, rng.Below(80))); break;  // repeats a stretch
        case 4: text.insert(at, 1, '\0'); break;
        case 5: text.insert(at, rng.Percent(50) ? "\r\n[Buttons]\r\n" : "\r\n[Hardware]\r\n"); break;
        case 6: text.resize(at); break;
        case 7: text.insert(at, std::string(100 + rng.Below(900), static_cast<char>(0x20 + rng.Below(0x5F)))); break;
        default: text[at] = static_cast<char>(rng.Below(256)); break;
        }
    }
    return text;
}

std::string KeyOf(int code) { return HexKey(static_cast<uint32_t>(code), false); }

std::string Dump(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size() && i < 600; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

struct Snapshot {
    PluginState plugin;
    ButtonTable tables[3];
};

void Take(Snapshot& s)
{
    memcpy(&s.plugin, &g_plugin, sizeof s.plugin);
    memcpy(s.tables, g_buttonTables, sizeof s.tables);
}

// Checks one file already read; returns false (with the failures recorded)
// when anything is wrong.
bool CheckFile(const std::string& path, const Snapshot& before, int table)
{
    bool ok = true;
    // Nothing in the plug-in's state but the four settings changed.
    const size_t settingsAt = offsetof(PluginState, settings);
    const size_t settingsEnd = settingsAt + sizeof(PluginSettings);
    const auto* now = reinterpret_cast<const unsigned char*>(&g_plugin);
    const auto* was = reinterpret_cast<const unsigned char*>(&before.plugin);
    if (memcmp(now, was, settingsAt) != 0 || memcmp(now + settingsEnd, was + settingsEnd, sizeof g_plugin - settingsEnd) != 0) {
        ADD_FAILURE() << "plug-in state outside the settings changed";
        ok = false;
    }
    // Only the current table's commands changed; every slot stays terminated.
    for (int t = 0; t < 3; ++t) {
        for (int code = 0; code < BUTTON_COUNT; ++code) {
            const ButtonEntry& entry = g_buttonTables[t].entries[code];
            const ButtonEntry& old = before.tables[t].entries[code];
            if (memcmp(entry.label, old.label, LABEL_SIZE) != 0) {
                ADD_FAILURE() << "label of table " << t << " code " << code << " changed";
                ok = false;
            }
            if (!memchr(entry.command, '\0', COMMAND_SIZE) || entry.command[COMMAND_SIZE - 1] != '\0') {
                ADD_FAILURE() << "command of table " << t << " code " << code << " not terminated";
                ok = false;
            }
            if (t != table && memcmp(entry.command, old.command, COMMAND_SIZE) != 0) {
                ADD_FAILURE() << "command of table " << t << " (not current) code " << code << " changed";
                ok = false;
            }
        }
    }
    // Every timing is the profile function's answer for its key and default.
    const struct {
        const char* key;
        int defaultValue;
        uint32_t value;
    } timings[] = {
        {"DeviceIndex", 0, g_plugin.settings.DeviceIndex},
        {"DelayBeforeRepeat", 350, g_plugin.settings.DelayBeforeRepeat},
        {"RepeatInterval", 100, g_plugin.settings.RepeatInterval},
        {"ReleaseTime", 60, g_plugin.settings.ReleaseTime},
    };
    for (const auto& t : timings) {
        const uint32_t direct = static_cast<uint32_t>(GetPrivateProfileIntA("Hardware", t.key, t.defaultValue, path.c_str()));
        if (t.value != direct) {
            ADD_FAILURE() << t.key << " read " << t.value << ", profile function gives " << direct;
            ok = false;
        }
    }
    // Every command is the profile function's answer (64-byte buffer), cut to 31.
    for (int code = 0; code < BUTTON_COUNT; ++code) {
        char value[64] = {};
        GetPrivateProfileStringA("Buttons", KeyOf(code).c_str(), "", value, sizeof value, path.c_str());
        value[sizeof value - 1] = '\0';
        const std::string expected = std::string(value).substr(0, 31);
        const std::string actual = g_buttonTables[table].entries[code].command;
        if (actual != expected) {
            ADD_FAILURE() << "code " << KeyOf(code) << " read '" << Dump(actual) << "', profile function gives '"
                          << Dump(expected) << "'";
            ok = false;
        }
    }
    return ok;
}

}  // namespace

TEST(SettingsFuzz, RandomAndMutatedFilesAreReadSafelyAndAsTheProfileFunctionsSeeThem)
{
    ResetPluginState();
    ClearAllBindings();
    const std::string dir = BuildDir() + "\\tests\\settings_work";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::string path = dir + "\\fuzz.ini";
    CopyText(g_plugin.iniPath, sizeof g_plugin.iniPath, path.c_str());

    const struct {
        const char* kind;
        uint32_t seed;
        int count;
        std::string (*make)(Rng&);
    } batches[] = {
        {"random", kRandomSeed, kRandomFiles, RandomFile},
        {"mutated", kMutatedSeed, kMutatedFiles, MutatedFile},
    };
    int files = 0;
    size_t bytes = 0;
    DWORD readMs = 0, checkMs = 0;
    for (const auto& batch : batches) {
        for (int i = 0; i < batch.count; ++i) {
            const uint32_t seed = batch.seed + static_cast<uint32_t>(i);
            Rng rng(seed);
            const std::string text = batch.make(rng);
            ASSERT_TRUE(WriteFileText(path, text));
            WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());  // drop the cached copy

            // Stale values everywhere, so the read has to replace them.
            const int table = static_cast<int>(rng.Below(3));
            SelectButtonTable(table);
            g_plugin.settings = {rng.Next(), rng.Next(), rng.Next(), rng.Next()};
            for (int code = 0; code < BUTTON_COUNT; ++code)
                SetButtonCommand(*g_plugin.currentTable, code, std::string(rng.Below(40), 'S').c_str());
            Snapshot before;
            Take(before);

            const DWORD start = timeGetTime();
            ReadHardwareSettings(g_plugin.iniPath, g_plugin.settings);
            ReadButtonBindings(g_plugin.iniPath, *g_plugin.currentTable);
            const DWORD read = timeGetTime();
            const bool ok = CheckFile(path, before, table);
            checkMs += timeGetTime() - read;
            readMs += read - start;
            ++files;
            bytes += text.size();
            if (!ok) {
                printf("settings fuzz: failure in %s file, seed 0x%08X, text '%s'\n", batch.kind, seed, Dump(text).c_str());
                FAIL() << batch.kind << " file, seed 0x" << std::hex << seed;
            }
        }
    }
    printf("settings fuzz: %d files (%d random, %d mutated), %u bytes in all; reading %u ms, checking %u ms\n",
           files, kRandomFiles, kMutatedFiles, static_cast<unsigned>(bytes), static_cast<unsigned>(readMs),
           static_cast<unsigned>(checkMs));
    EXPECT_EQ(files, kRandomFiles + kMutatedFiles);
    DeleteFileA(path.c_str());
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, path.c_str());
    ResetPluginState();
    ClearAllBindings();
}

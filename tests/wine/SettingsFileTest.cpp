// The settings file: where it lives, how it is read and written, and how hand-edited or unwritable files are survived.
// Every file is real and goes through the Windows profile functions; written files are read back as text.
#include "support/ImportPatch.h"
#include "support/LinkedPlugin.h"

const Timings kFactory = {0, 350, 100, 60};

// The text with each '|' as a line end (CR LF).
static std::string Crlf(std::string text)
{
    for (size_t at = text.find('|'); at != std::string::npos; at = text.find('|', at))
        text.replace(at, 1, "\r\n");
    return text;
}

// Each part occurs in text as often as given.
static void ExpectCounts(const std::string& text, const std::vector<std::pair<std::string, size_t>>& parts)
{
    for (const auto& part : parts) {
        size_t count = 0;
        for (size_t at = text.find(part.first); at != std::string::npos; at = text.find(part.first, at + 1))
            ++count;
        EXPECT_EQ(count, part.second) << part.first << " in " << text;
    }
}

// Stale settings and something in every command slot of table, so a read
// has to replace them; then the file at path read afresh into table.
static void ReadOverStale(const std::string& path, int table)
{
    SelectButtonTable(table);
    g_plugin.settings = {11, 22, 33, 44};
    for (int code = 0; code < BUTTON_COUNT; ++code)
        SetButtonCommand(*g_plugin.currentTable, code, "STALE");
    ForgetCachedProfile(path);
    SetIniPath(path);
    ReadSettingsFile();
}

// Table current and given these commands, the settings these, the changes pending; then saved to path.
static void SaveAs(const std::string& path, int table, const Timings& settings, const Commands& commands)
{
    SelectButtonTable(table);
    for (const auto& c : commands)
        SetButtonCommand(*g_plugin.currentTable, c.first, c.second.c_str());
    g_plugin.settings = {settings[0], settings[1], settings[2], settings[3]};
    g_plugin.settingsDirty = 1;
    SetIniPath(path);
    SaveSettings();
}

static decltype(&WritePrivateProfileStringA) g_realWriteProfile;
// Every write goes through but that of one "Buttons" key.
static BOOL WINAPI FailOneButtonWrite(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR path)
{
    if (section && key && strcmp(section, "Buttons") == 0 && strcmp(key, "12") == 0)
        return FALSE;
    return g_realWriteProfile(section, key, value, path);
}

// The host's fixture with the linked-in plug-in reset too.
class SettingsFileTest : public HostedPluginTest {
protected:
    void SetUp() override
    {
        HostedPluginTest::SetUp();
        ResetLinkedPlugin();
    }
    void TearDown() override
    {
        // Boxes a test expects it takes away.
        EXPECT_TRUE(boxes.Boxes().empty()) << "message boxes";
        EXPECT_EQ(BrokenSlot(), "") << "after the test";
        // The last made first: a folder's files go before the folder.
        for (auto it = paths.rbegin(); it != paths.rend(); ++it) {
            RemoveSettingsFile(*it);
            RemoveDirectoryA(it->c_str());
        }
        HostedPluginTest::TearDown();
        ResetLinkedPlugin();
    }

    // The file or folder at path is removed after the test.
    std::string Track(const std::string& path)
    {
        paths.push_back(path);
        return path;
    }
    // A path in the work folder, with no file there yet (text, '|' for line ends: written there, if not null).
    std::string FreshPath(const std::string& name, const char* text = nullptr)
    {
        const std::string path = Track(SettingsWorkDir() + "\\" + name);
        RemoveSettingsFile(path);
        EXPECT_TRUE(!text || PutSettingsFile(path, Crlf(text))) << name;
        return path;
    }
    bool MakeDir(const std::string& dir)
    {
        return CreateDirectoryA(Track(dir).c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
    }

    std::vector<std::string> paths;
};

TEST_F(SettingsFileTest, IniPathIsTheModulePathWithIniInPlaceOfTheExtension)
{
    ASSERT_TRUE(MakeDir("C:\\Plugins"));
    ASSERT_TRUE(MakeDir("C:\\Plugins\\v1.2"));
    // Module -> settings file; only the last four characters go, whatever the
    // dots and the case. The first two are loaded as the plug-in below.
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Plugins\\VantorixRC.dll", "C:\\Plugins\\VantorixRC.ini"},
        {"C:\\Plugins\\Remote2.dll", "C:\\Plugins\\Remote2.ini"},
        {"C:\\Plugins\\v1.2\\My.Remote.DLL", "C:\\Plugins\\v1.2\\My.Remote.ini"},
    };
    const auto derived = [](HMODULE module) {
        SetIniPath("stale");
        DeriveIniPath(module, g_plugin.iniPath);
        return std::string(g_plugin.iniPath);
    };
    for (const auto& [path, ini] : cases) {
        ASSERT_TRUE(CopyFileA(PluginPath().c_str(), Track(path).c_str(), FALSE)) << path;
        HMODULE module = LoadLibraryA(path);
        ASSERT_NE(module, nullptr) << path;
        EXPECT_EQ(derived(module), ini);
        FreeLibrary(module);
    }
    // No module handle: the module is the test program itself.
    EXPECT_EQ(derived(nullptr), OwnIniPath());
    // A handle that names no module: the bare fallback name.
    char probe[MAX_PATH];
    ASSERT_EQ(GetModuleFileNameA(reinterpret_cast<HMODULE>(1), probe, sizeof probe), 0u);
    EXPECT_EQ(derived(reinterpret_cast<HMODULE>(1)), "VantorixRC.ini");

    // The bare name is looked up in the Windows directory.
    char windowsDir[MAX_PATH] = {};
    ASSERT_NE(GetWindowsDirectoryA(windowsDir, sizeof windowsDir), 0u);
    const std::string inWindows = Track(std::string(windowsDir) + "\\VantorixRC.ini");
    ASSERT_TRUE(PutSettingsFile(inWindows, Crlf("[Hardware]|ReleaseTime=71|[Buttons]|12=WINDIR|")));
    ReadOverStale("VantorixRC.ini", 0);
    EXPECT_EQ(SettingsInForce(), (Timings{0, 350, 100, 71})) << "bare name";
    ExpectTableCommands(0, {{0x12, "WINDIR"}}, "bare name");

    // The built plug-in, loaded from a folder of its own, reads the file named
    // after its module in that folder and no other.
    const auto file = [](int card, const std::string& command) {
        return "[Hardware]\r\nDeviceIndex=" + std::to_string(card) + "\r\n[Buttons]\r\n12=" + command + "\r\n";
    };
    // Decoys: the file beside the original build, and the test program's own.
    for (const std::string& decoy : {PluginIniPath(), OwnIniPath()})
        ASSERT_TRUE(PutSettingsFile(Track(decoy), file(0, "DECOY")));
    const std::tuple<std::string, uint32_t, std::string> loaded[] = {{"C:\\Plugins\\VantorixRC", 2, "POWER"},
                                                                     {"C:\\Plugins\\Remote2", 1, "ZAP"}};
    for (const auto& [module, cardIndex, command] : loaded)
        ASSERT_TRUE(PutSettingsFile(Track(module + ".ini"), file(cardIndex, command)));
    for (const auto& [module, cardIndex, command] : loaded) {
        SCOPED_TRACE(module);
        ResetSim();
        Sim()->cardCount = 3;
        ASSERT_TRUE(plugin.Load(module + ".dll"));
        ASSERT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription);
        // DeviceIndex and the binding of 0x12 came from this file.
        ASSERT_EQ(Sim()->callCount[CALL_OPEN_CARD], 1u);
        EXPECT_EQ(Sim()->lastOpenIndex, cardIndex);
        ASSERT_NE(plugin.Start(), 0u);
        host.messages.clear();
        ASSERT_EQ(host.Tap(0x12), 1u);
        EXPECT_EQ(host.Log(), command + " 0");
        plugin.Close();
        plugin.Unload();
    }
}

TEST_F(SettingsFileTest, ReadingGivesFileValuesOrDefaultsAndKeysAreTwoHexDigits)
{
    // All 93 keys, in reverse order and in both cases: each code finds its own.
    std::string all93[2] = {"[Buttons]|", "[Buttons]|"};
    Commands every;
    for (int code = BUTTON_COUNT - 1; code >= 0; --code) {
        every[code] = "C" + KeyOf(code);
        for (const bool lower : {false, true})
            all93[lower] += KeyOf(code, lower) + "=C" + KeyOf(code) + "|";
    }
    const struct {
        const char* what;
        const char* text;  // null: no file at all
        Commands commands;
        Timings hardware = kFactory;
    } cases[] = {
        {"no file", nullptr, {}},
        {"empty file", "", {}},
        {"only Buttons", "[Buttons]|12=POWER|1A=CH_UP|", {{0x12, "POWER"}, {0x1A, "CH_UP"}}},
        {"only Hardware",
         "[Hardware]|DeviceIndex=2|DelayBeforeRepeat=500|RepeatInterval=150|ReleaseTime=90|",
         {},
         {2, 500, 150, 90}},
        {"some keys",
         "[Hardware]|RepeatInterval=70|[Buttons]|00=0|5C=Freeze|",
         {{0, "0"}, {92, "Freeze"}},
         {0, 350, 70, 60}},
        // Profile section and key names match without regard to case.
        {"lower-case names",
         "[hardware]|releasetime=75|[buttons]|0a=recall|5c=freeze|1f=vol_down|",
         {{0x0A, "recall"}, {0x5C, "freeze"}, {0x1F, "vol_down"}},
         {0, 350, 100, 75}},
        {"word outside the vocabulary", "[Buttons]|12=ZAP|", {{0x12, "ZAP"}}},
        // "18" is code 0x18, not 18; other spellings of a code are not keys.
        {"two-hex-digit keys", "[Buttons]|A=ten|0x0B=eleven|012=lead|5D=beyond|FF=ff|18=hex18|", {{0x18, "hex18"}}},
        {"blanks around names and values", "[Buttons]|  12  =  POWER  |13=A B|14=|", {{0x12, "POWER"}, {0x13, "A B"}}},
        {"other sections are not read", "[Other]|12=NO|DeviceIndex=9|[Buttons]|13=YES|", {{0x13, "YES"}}},
        {"bare line feeds, no final line end",
         "[Hardware]\nDeviceIndex=1\n[Buttons]\n12=POWER",
         {{0x12, "POWER"}},
         {1, 350, 100, 60}},
        {"comment lines", "; settings|[Buttons]|;12=POWER|13=MUTE|", {{0x13, "MUTE"}}},
        {"93 keys", all93[0].c_str(), every},
        {"93 lower-case keys", all93[1].c_str(), every},
    };
    int caseIndex = 0;
    for (const auto& c : cases) {
        const int table = caseIndex % 3;
        ReadOverStale(FreshPath("read" + std::to_string(caseIndex++) + ".ini", c.text), table);
        EXPECT_EQ(SettingsInForce(), c.hardware) << c.what;
        ExpectTableCommands(table, c.commands, c.what);
        if (c.commands == Commands{{0x12, "ZAP"}}) {
            EXPECT_EQ(CommandIndexForButton(*g_plugin.currentTable, 0x12), 1);  // kept, and shown as "< Other >"
        }
        ClearAllBindings();
    }
}

TEST_F(SettingsFileTest, EmptyPathReadsAndWritesNothing)
{
    SaveAs("", 1, {1, 2, 3, 4}, {{5, "KEEP"}});
    ReadSettingsFile();
    EXPECT_EQ(SettingsInForce(), (Timings{1, 2, 3, 4})) << "empty path";
    ExpectTableCommands(1, {{5, "KEEP"}}, "empty path");
    EXPECT_EQ(g_plugin.settingsDirty, 1u);
}

TEST_F(SettingsFileTest, SaveWritesEveryKeyInOrderAndTheFileReadsBackTheSame)
{
    const std::string path = FreshPath("save.ini");
    const std::string longest(31, 'L');
    const Commands bound = {
        {0x00, "0"},     {0x0A, "RECALL"}, {0x12, "POWER"}, {0x13, "ZAP"},     {0x1A, "power"},
        {0x1F, longest}, {0x20, "A=B"},    {0x21, "a b"},   {0x58, "CAPTURE"}, {0x5C, "LAST"},
    };
    SaveAs(path, 2, {3, 500, 120, 4294967295u}, bound);
    EXPECT_EQ(g_plugin.settingsDirty, 0u);

    ExpectSavedFile(path, WRITE_ORDER, 3, 500, 120, 4294967295u, bound);
    // Unbound: key, equals sign, nothing.
    const std::string saved = ReadFileText(path);
    ExpectCounts(saved, {{"\r\n5C=LAST", 1}, {"\r\n1F=" + longest + "\r\n", 1}, {"\r\n14=\r\n", 1}});

    // Back from disk, into cleared state: the same settings and bindings; they
    // belong to no table, so table 0 reads the same.
    for (const int table : {2, 0}) {
        ResetPluginState();
        ClearAllBindings();
        ReadOverStale(path, table);
        EXPECT_EQ(SettingsInForce(), (Timings{3, 500, 120, 4294967295u})) << "round trip";
        ExpectTableCommands(table, bound, "round trip");
        EXPECT_EQ(g_buttonTables[table].entries[0x1F].command[31], '\0');
    }

    // Saving again, from the table read back, changes nothing in the file.
    SaveSettings();
    EXPECT_EQ(ReadFileText(path), saved);
}

TEST_F(SettingsFileTest, SaveOverAnExistingFileReplacesOurKeysAndKeepsTheRest)
{
    const std::string path =
        FreshPath("existing.ini", "[Buttons]|12=OLD|13=OLD13|[Other]|Keep=1|[Hardware]|DeviceIndex=7|");
    SaveAs(path, 0, {1, 350, 100, 60}, {{0x12, "NEW"}});
    // 13 is unbound now: written empty.
    const std::string saved = ReadFileText(path);
    ExpectCounts(saved, {{"12=", 1}, {"12=NEW\r\n", 1}, {"OLD", 0}, {"\r\n13=\r\n", 1}});
    ExpectCounts(saved, {{"DeviceIndex=1\r\n", 1}, {"DeviceIndex=", 1}, {"[Other]\r\nKeep=1\r\n", 1}});
}

TEST_F(SettingsFileTest, FailedSaveWarnsOnceAndKeepsTheChangesPending)
{
    const std::string blocked = SettingsWorkDir() + "\\blocked.ini";
    ASSERT_TRUE(MakeDir(blocked));  // a directory where the file should be
    const std::string noFolder = SettingsWorkDir() + "\\no_such_folder\\settings.ini";
    // A file where the write of one "Buttons" key alone fails.
    const std::string oneRefused = FreshPath("one_button_fails.ini");
    ASSERT_GT(PatchImportTyped("WritePrivateProfileStringA", &FailOneButtonWrite, &g_realWriteProfile), 0);
    for (const std::string& path : {blocked, noFolder, oneRefused}) {
        SCOPED_TRACE(path);
        // Reading what cannot be read gives the defaults and no bindings.
        ReadOverStale(path, 0);
        EXPECT_EQ(SettingsInForce(), kFactory);
        ExpectTableCommands(0, {}, path);

        SaveAs(path, 0, kFactory, {{0x12, "POWER"}});
        EXPECT_EQ(g_plugin.settingsDirty, 1u);
        boxes.ExpectOneWarning(SaveWarning(path));
        boxes.Clear();
        // The directory is still there; nothing was made in the missing folder.
        const DWORD attributes = GetFileAttributesA(path.c_str());
        EXPECT_EQ(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY), path == blocked);
        EXPECT_EQ(attributes == INVALID_FILE_ATTRIBUTES, path == noFolder);
    }
    PatchImportTyped("WritePrivateProfileStringA", g_realWriteProfile, &g_realWriteProfile);
}

TEST_F(SettingsFileTest, ValuesLongerThan31CharactersAreCutToTheirFirst31)
{
    std::string alphabet;
    for (int i = 0; i < 8000; ++i)
        alphabet += static_cast<char>('A' + i % 26);
    const std::pair<int, size_t> cases[] = {{0x10, 30}, {0x11, 31}, {0x12, 32},   {0x13, 40},
                                            {0x14, 63}, {0x15, 64}, {0x16, 5000}, {0x5C, 100}};
    std::string text = "[Buttons]\r\n";
    for (const auto& [code, length] : cases)
        text += KeyOf(code) + "=" + alphabet.substr(0, length) + "\r\n";
    const std::string path = FreshPath("long.ini", text.c_str());
    for (int table = 0; table < 3; ++table) {
        ReadOverStale(path, table);
        for (const auto& [code, length] : cases) {
            const ButtonEntry& entry = g_buttonTables[table].entries[code];
            EXPECT_EQ(std::string(entry.command), alphabet.substr(0, length < 31 ? length : 31)) << "length " << length;
            EXPECT_EQ(entry.command[31], '\0');
        }
    }
    EXPECT_EQ(BrokenSlot(), "") << "long values";

    // Through the same route the host sees: a 31-character command survives a
    // save and a reload; a longer one was already cut when read.
    SaveSettings();
    ExpectCounts(ReadFileText(path), {{"16=" + alphabet.substr(0, 31) + "\r\n", 1}});
    ReadOverStale(path, 2);
    EXPECT_EQ(std::string(g_buttonTables[2].entries[0x16].command), alphabet.substr(0, 31));
    EXPECT_EQ(std::string(g_buttonTables[2].entries[0x11].command), alphabet.substr(0, 31));

    // The record the built plug-in sends never carries more than a command slot holds.
    const std::string lower = "abcdefghijklmnopqrstuvwxyzabcdefghijklmn";
    OpenAndStart("[Buttons]\r\n12=" + lower + "\r\n13=" + alphabet + "\r\n");
    ASSERT_TRUE(host.Hold(0x12));
    ASSERT_TRUE(host.Hold(0x13, 3));  // the release of 0x12 and the press of 0x13
    SimHold(255);
    RecordingHost::PumpFor(300);
    plugin.Close();
    plugin.Unload();

    // Press of 0x12, its release, press of 0x13 at least.
    ASSERT_GE(host.messages.size(), 3u);
    EXPECT_EQ(host.messages.front().Command(), lower.substr(0, 31));
    bool sawLong = false;
    for (const HostMessage& m : host.messages) {
        const std::string command = m.Command();
        EXPECT_TRUE(command == lower.substr(0, 31) || command == alphabet.substr(0, 31)) << command;
        sawLong = sawLong || command == alphabet.substr(0, 31);
        for (int i = 64 + 31; i < 228; ++i)
            ASSERT_EQ(m.record[i], 0) << "record byte " << i << ", event " << m.lParam;
    }
    EXPECT_TRUE(sawLong);
}

TEST_F(SettingsFileTest, HandEditedGarbageIsReadLikeTheProfileFunctionsReadItAndOverrunsNothing)
{
    const std::string huge(6000, 'K');
    static const char kBinaryHead[] = "\x01\x02[Hard\x00ware]\r\n\x7F\x80\xFF=\x00\x01\r\n[Buttons]\r\n";
    std::string allBytes;
    for (int b = 1; b < 256; ++b)
        if (b != '\r' && b != '\n')
            allBytes += static_cast<char>(b);
    std::string utf16 = "\xFF\xFE";
    for (const char c : std::string("[Buttons]\r\n12=WIDE\r\n[Hardware]\r\nReleaseTime=66\r\n"))
        utf16 += std::string{c, '\0'};
    const std::pair<const char*, std::string> cases[] = {
        {"binary value", "[Buttons]\r\n12=" + allBytes + "\r\n13=AB" + std::string(1, '\0') + "CD\r\n"},
        {"binary everywhere", std::string(kBinaryHead, sizeof kBinaryHead - 1) + allBytes + "\r\n"},
        {"nothing but zero bytes", std::string(300, '\0')},
        {"very long lines", "[Buttons]\r\n" + huge + "=x\r\n12=" + huge + "\r\n" + huge + "\r\n[" + huge +
                                "]\r\n13=in long section\r\n[Buttons]\r\n14=after\r\n"},
        {"duplicated sections", Crlf("[Buttons]|12=FIRST|[Hardware]|DeviceIndex=1|[Buttons]|12=SECOND|13=ONLY_SECOND|"
                                     "[Hardware]|DeviceIndex=2|ReleaseTime=77|")},
        {"duplicated keys", Crlf("[Buttons]|12=FIRST|12=SECOND|0a=lower|0A=upper|")},
        {"negative numbers",
         Crlf("[Hardware]|DeviceIndex=-5|DelayBeforeRepeat=-1|RepeatInterval=-2147483648|ReleaseTime=-0|")},
        {"huge numbers", Crlf("[Hardware]|DeviceIndex=4294967295|DelayBeforeRepeat=4294967296|"
                              "RepeatInterval=99999999999999999999|ReleaseTime=2147483648|")},
        {"odd numbers", Crlf("[Hardware]|DeviceIndex=0x10|DelayBeforeRepeat=12abc|RepeatInterval=|ReleaseTime=+7|")},
        {"words for numbers", Crlf("[Hardware]|DeviceIndex=abc|DelayBeforeRepeat= 42 |ReleaseTime=1e3|")},
        {"unclosed section", Crlf("[Buttons|12=POWER|[Hardware|DeviceIndex=3|")},
        {"carriage returns only", "[Buttons]\r12=POWER\r13=MUTE\r[Hardware]\rReleaseTime=80\r"},
        {"lines without equals sign", Crlf("[Buttons]|12|13 POWER|=14|==|")},
        {"UTF-8 byte order mark", Crlf("\xEF\xBB\xBF[Buttons]|12=POWER|[Hardware]|ReleaseTime=65|")},
        {"UTF-16 file", utf16},
    };
    int caseIndex = 0;
    for (const auto& [what, text] : cases) {
        SCOPED_TRACE(what);
        const std::string path = FreshPath("garbage" + std::to_string(caseIndex) + ".ini");
        ASSERT_TRUE(PutSettingsFile(path, text));
        ReadOverStale(path, caseIndex++ % 3);
        ExpectReadAsTheProfileFunctions(path);
        // A negative number reads as the unsigned value of what the profile function returns.
        if (strcmp(what, "negative numbers") == 0) {
            EXPECT_EQ(SettingsInForce(), (Timings{4294967291u, 4294967295u, 2147483648u, 0u}));
        }
        EXPECT_EQ(BrokenSlot(), "");
    }
}

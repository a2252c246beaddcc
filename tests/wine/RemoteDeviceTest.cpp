// RemoteDevice against each simulator variant: neutral values for missing
// entry points, the call order around OpenCard, and the library path.
#include "device/RemoteDevice.h"
#include "support/ImportPatch.h"
#include "support/LinkedPlugin.h"

static UINT g_fakeDirectoryLength;
static int g_libraryLoads;
static decltype(&LoadLibraryA) g_realLoadLibrary;
static UINT WINAPI FakeSystemDirectory(LPSTR buffer, UINT size)
{
    if (buffer && size > 0)
        buffer[0] = '\0';
    return g_fakeDirectoryLength;
}
static HMODULE WINAPI CountingLoadLibrary(LPCSTR path)
{
    ++g_libraryLoads;
    return g_realLoadLibrary(path);
}

// The full library unless a test installs another variant.
class RemoteDeviceTest : public ::testing::Test {
protected:
    void SetUp() override { Install("full"); }
    void Install(const char* variant)
    {
        ASSERT_TRUE(InstallVendor(variant));
        ResetSim();
    }
    std::string CallLog() const { return std::string(Sim()->callLog, Sim()->callLogLength); }
    // A device on variant (null: none installed) asked everything once, with code 7 held, then released.
    void ExpectAnswers(const char* variant, uint32_t count, const char* name, int32_t opens, int32_t type)
    {
        SCOPED_TRACE(variant ? variant : "no library");
        if (variant)
            Install(variant);
        SimHold(7);
        RemoteDevice device;
        EXPECT_EQ(device.CardCount(), count);
        EXPECT_STREQ(device.CardName(0), name);
        EXPECT_EQ(device.OpenCard(0), opens);
        EXPECT_EQ(device.RemoteType(), type);
        EXPECT_EQ(device.ReadCode(), opens ? 7 : 255);
        device.Release();
    }
    BoxWatcher boxes;
};

TEST_F(RemoteDeviceTest, FullLibraryOpensCardsAndReadsCodes)
{
    Sim()->cardCount = 2;
    Sim()->nullName[0] = 1;
    strcpy(Sim()->cardNames[1], "Second card");
    Sim()->remoteType[1] = 1;
    RemoteDevice device;
    EXPECT_EQ(device.CardCount(), 2u);
    // A name out of range is empty without asking; a null name from the vendor reads as empty.
    EXPECT_STREQ(device.CardName(2), "");
    EXPECT_STREQ(device.CardName(0xFFFFFFFFu), "");
    EXPECT_EQ(Sim()->callCount[CALL_GET_CARD_NAME], 0u);
    EXPECT_STREQ(device.CardName(0), "");  // a null pointer fails this too
    EXPECT_EQ(Sim()->callCount[CALL_GET_CARD_NAME], 1u);
    EXPECT_STREQ(device.CardName(1), "Second card");
    EXPECT_EQ(device.ReadCode(), 255);  // no card open yet
    EXPECT_EQ(device.RemoteType(), -1);

    SimHold(0x1A);
    EXPECT_EQ(device.ReadCode(), 255);
    EXPECT_EQ(device.OpenCard(1), 1);
    EXPECT_EQ(device.RemoteType(), 1);
    EXPECT_EQ(device.ReadCode(), 0x1A);
    SimHold(0x1FF);  // only the low 8 bits count
    EXPECT_EQ(device.ReadCode(), 0xFF);

    device.CloseCard();
    EXPECT_EQ(device.RemoteType(), -1);
    EXPECT_EQ(device.ReadCode(), 255);
    device.Release();
    EXPECT_EQ(device.CardCount(), 0u);
    EXPECT_EQ(CallLog(), "CNNUOTUU");
    EXPECT_EQ(Sim()->unloadCount, 1u);
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Every OpenCard UnInits first, also one the vendor refuses or one out of range.
TEST_F(RemoteDeviceTest, ReopeningUnInitsFirstAndARefusedOrOutOfRangeOpenLeavesCardClosed)
{
    RemoteDevice device;
    EXPECT_EQ(device.OpenCard(0), 1);
    EXPECT_EQ(device.OpenCard(0), 1);
    EXPECT_EQ(CallLog(), "CUOTUOT");
    Sim()->openResult[0] = 0;
    EXPECT_EQ(device.OpenCard(0), 0);
    EXPECT_EQ(device.RemoteType(), -1);
    EXPECT_EQ(device.OpenCard(1), 0);  // only one card
    EXPECT_EQ(CallLog(), "CUOTUOTUOU");
    SimHold(5);
    EXPECT_EQ(device.ReadCode(), 255);
    device.Release();
}

TEST_F(RemoteDeviceTest, EachVariantGivesNeutralValuesForWhatItLacks)
{
    ExpectAnswers("count_code", 1, "", 0, -1);  // only count and code: no card can open
    ExpectAnswers("no_name", 1, "", 0, -1);
    EXPECT_EQ(Sim()->callCount[CALL_OPEN_CARD], 0u) << "no_name: the vendor was asked to open";
    ExpectAnswers("no_type", 1, "Simulated TV card", 1, 0);
    ExpectAnswers("no_uninit", 1, "Simulated TV card", 1, 2);
    EXPECT_EQ(CallLog(), "CNOT") << "no_uninit";
    ExpectAnswers("none", 0, "", 0, -1);
    EXPECT_TRUE(boxes.Boxes().empty());
    ASSERT_TRUE(RemoveVendor());
    ExpectAnswers(nullptr, 0, "", 0, -1);
    boxes.ExpectOneWarning(LoadWarning(VendorLibraryPath()));
    ASSERT_TRUE(InstallVendor("full"));
}

// A count with the top bit set is an error (-1: no driver): no cards; one no PC
// can have is capped at 64. No index from the count taken on reaches the vendor.
TEST_F(RemoteDeviceTest, ErrorCountIsNoCardsAndImpossibleCountIsTakenAs64)
{
    const struct {
        uint32_t reported, taken;
    } cases[] = {{0xFFFFFFFFu, 0}, {0x80000000u, 0}, {0x7FFFFFFFu, 64}, {65, 64}, {64, 64}, {1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reported);
        ResetSim();
        Sim()->cardCount = c.reported;
        RemoteDevice device;
        EXPECT_EQ(device.CardCount(), c.taken);
        EXPECT_STREQ(device.CardName(c.taken), "");
        EXPECT_EQ(device.OpenCard(c.taken), 0);
        EXPECT_EQ(Sim()->callCount[CALL_GET_CARD_NAME] + Sim()->callCount[CALL_OPEN_CARD], 0u);
        if (c.taken == 64) {
            EXPECT_EQ(device.OpenCard(63), 0);  // asked: the simulator knows 8 cards
            EXPECT_EQ(Sim()->lastOpenIndex, 63u);
        }
        device.Release();
    }
}

// The separator is added only when missing; an empty directory fails with the bare name; one too long fails and never
// overruns. An unknown system directory is a failed load: no other folder is searched.
TEST_F(RemoteDeviceTest, LibraryPathHasOneSeparatorAndAnEmptyTooLongOrUnknownDirectoryLoadsNothing)
{
    decltype(&GetSystemDirectoryA) realDirectory = nullptr;
    ASSERT_GT(PatchImportTyped("GetSystemDirectoryA", &FakeSystemDirectory, &realDirectory), 0);
    ASSERT_GT(PatchImportTyped("LoadLibraryA", &CountingLoadLibrary, &g_realLoadLibrary), 0);
    for (const UINT length : {0u, 5000u}) {  // failure; a directory longer than any buffer
        SCOPED_TRACE(length);
        g_fakeDirectoryLength = length;
        g_libraryLoads = 0;
        boxes.Clear();
        RemoteDevice device;
        EXPECT_EQ(g_libraryLoads, 0);
        EXPECT_EQ(device.CardCount(), 0u);
        EXPECT_EQ(device.OpenCard(0), 0);
        device.Release();
        boxes.ExpectOneWarning(LoadWarning("QuelmoRC.dll"));
    }
    PatchImportTyped("GetSystemDirectoryA", realDirectory, &realDirectory);
    PatchImportTyped("LoadLibraryA", g_realLoadLibrary, &g_realLoadLibrary);
    EXPECT_EQ(Sim()->loadCount, 0u);

    char buffer[300];
    EXPECT_EQ(BuildVendorLibraryPath("C:\\windows\\system32", buffer, 260), 1);
    EXPECT_STREQ(buffer, "C:\\windows\\system32\\QuelmoRC.dll");
    EXPECT_EQ(BuildVendorLibraryPath("C:\\", buffer, 260), 1);
    EXPECT_STREQ(buffer, "C:\\QuelmoRC.dll");
    EXPECT_EQ(BuildVendorLibraryPath("", buffer, 260), 0);
    EXPECT_STREQ(buffer, "QuelmoRC.dll");

    const std::string dir = "C:\\" + std::string(300, 'd');
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(BuildVendorLibraryPath(dir.c_str(), buffer, 260), 0);
    EXPECT_EQ(buffer[259], '\0');
    EXPECT_EQ(std::string(buffer), dir.substr(0, 259));
    EXPECT_EQ(std::string(buffer + 260, 40), std::string(40, '#'));
    // A directory that leaves exactly no room for the file name fails too.
    EXPECT_EQ(BuildVendorLibraryPath(std::string(260 - 13, 'x').c_str(), buffer, 260), 0);
    EXPECT_EQ(BuildVendorLibraryPath(std::string(260 - 14, 'x').c_str(), buffer, 260), 1) << "fits";
}

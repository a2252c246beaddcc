// The plug-in as shipped: the release zip, unpacked by the "package" test
// into build\unpacked, holds a DLL that a host loads, opens and starts.
#include "support/LinkedPlugin.h"

typedef HostedPluginTest PackagedPlugin;

// A visible top-level window of the class in process pid; null on timeout.
static HWND WaitForWindow(DWORD pid, const char* className)
{
    std::vector<HWND> found;
    RecordingHost::PumpUntil([&] { return !(found = VisibleTopWindows(pid, className)).empty(); }, 30000);
    return found.empty() ? nullptr : found[0];
}

// The DLL loads, opens and starts in a host. Then the release's tester on a PC without the vendor library: the plug-in
// warns, the tester answers on, says the keyboard remote is not available, and exits 0.
TEST_F(PackagedPlugin, LoadsFromTheUnpackedZipAndItsTesterWarnsWithoutTheVendorLibrary)
{
    const std::string dir = kBuildDir + "\\unpacked\\VantorixRC", path = dir + "\\VantorixRC.dll";
    ASSERT_NE(GetFileAttributesA(path.c_str()), INVALID_FILE_ATTRIBUTES) << path << " (run the package test first)";
    ASSERT_TRUE(plugin.Load(path)) << path;
    EXPECT_STREQ(plugin.Open("TV", host.Window(), 0), kPluginDescription);
    EXPECT_NE(plugin.Start(), 0u);
    plugin.Close();
    plugin.Unload();
    EXPECT_TRUE(boxes.Boxes().empty());

    ASSERT_TRUE(RemoveVendor());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    std::string command = "\"" + dir + "\\RemoteTester.exe\"";
    ASSERT_TRUE(
        CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, dir.c_str(), &startup, &process))
        << command;
    const HWND box = WaitForWindow(process.dwProcessId, "#32770");
    ASSERT_NE(box, nullptr) << "no warning box";
    EXPECT_EQ(WindowText(box), "VantorixRC");
    EXPECT_EQ(WindowText(GetDlgItem(box, kBoxTextId)), LoadWarning(VendorLibraryPath()));
    PostMessageA(box, WM_COMMAND, IDOK, 0);

    const HWND main = WaitForWindow(process.dwProcessId, "VantorixRCWorkbench");
    ASSERT_NE(main, nullptr);
    DWORD_PTR answer = 0;
    RecordingHost::PumpUntil([&] { return !IsWindow(box); }, 5000);
    EXPECT_NE(SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 10000, &answer), 0) << "the tester hangs";
    std::string texts;
    ForEachWindow([main](WNDENUMPROC proc, LPARAM param) { return EnumChildWindows(main, proc, param); },
                  [&](HWND child) {
                      texts += WindowText(child) + "\n";
                      return true;
                  });
    EXPECT_NE(texts.find("Keyboard remote: not available."), std::string::npos) << texts;
    EXPECT_NE(texts.find("Setup"), std::string::npos) << texts;

    PostMessageA(main, WM_CLOSE, 0, 0);
    ASSERT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0) << "the tester did not end";
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    EXPECT_EQ(exitCode, 0u);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_TRUE(InstallVendor("full"));
}

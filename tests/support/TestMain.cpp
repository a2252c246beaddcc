// Test entry point: unbuffered output, so a crash under Wine still shows
// which case was running.
#include <gtest/gtest.h>

#include <windows.h>
#include <stdio.h>

#include "support/ImportPatch.h"

namespace {

// GoogleTest copies every failure to OutputDebugStringA, which raises an
// exception to reach a debugger. Under emulated Wine that exception path
// smashes the stack and the process dies at its first failure, hiding the
// rest of the run; with no debugger attached the call has nothing to do.
void WINAPI NoDebuggerOutput(LPCSTR) {}

}  // namespace

int main(int argc, char** argv)
{
    setvbuf(stdout, nullptr, _IONBF, 0);
    setvbuf(stderr, nullptr, _IONBF, 0);
    void (WINAPI* debuggerOutput)(LPCSTR) = nullptr;
    PatchImportTyped("OutputDebugStringA", &NoDebuggerOutput, &debuggerOutput);
    // A small visible window that lives as long as the process. Under emulated
    // Wine with unmanaged windows, the X driver was seen unmapping the first X
    // window of the process again after a later message box closed; when that
    // first window is this one, still alive, the stray request is harmless.
    // Creating it also waits for the desktop: when Wine's desktop process is
    // (re)starting under emulation, the first windows of a process fail for
    // a while, and every test that needs a window would fail with them.
    HWND anchor = nullptr;
    const DWORD start = GetTickCount();
    while (!anchor && GetTickCount() - start < 120000) {
        anchor = CreateWindowExA(WS_EX_TOOLWINDOW, "STATIC", "", WS_POPUP | WS_VISIBLE, 0, 0, 1, 1, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
        if (!anchor)
            Sleep(1000);
    }
    if (GetTickCount() - start >= 1000)
        printf("test main: the first window took %lu ms%s\n", static_cast<unsigned long>(GetTickCount() - start),
               anchor ? "" : " and still failed");
    ::testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    fflush(stdout);
    fflush(stderr);
    // Ends without the library detach round: under emulated Wine the X
    // driver's shutdown sometimes traps, which would turn a passing run
    // into a failing exit status.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    return result;
}

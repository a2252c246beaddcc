#include "support/DialogScript.h"

#include <stdio.h>

#include <algorithm>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "support/TestHost.h"

std::string Text(HWND dialog, int id)
{
    return WindowText(Item(dialog, id));
}

Texts Items(HWND dialog, int id)
{
    Texts items;
    const LRESULT count = SendDlgItemMessageA(dialog, id, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        std::string text(std::max<LRESULT>(SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, i, 0), 0) + 1, '\0');
        SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(&text[0]));
        items.push_back(text.c_str());
    }
    return items;
}

std::string SelText(HWND dialog, int id)
{
    const int sel = Sel(dialog, id);
    return sel == CB_ERR ? "<no selection>" : Items(dialog, id).at(sel);
}

Texts Shown(HWND dialog, std::initializer_list<int> ids)
{
    Texts texts;
    for (const int id : ids)
        texts.push_back(ClassOf(Item(dialog, id)) == "ComboBox" ? SelText(dialog, id) : Text(dialog, id));
    return texts;
}

void Pick(HWND dialog, int id, int index)
{
    SendDlgItemMessageA(dialog, id, CB_SETCURSEL, index, 0);
    Notify(dialog, id, CBN_SELCHANGE);
}

bool PickText(HWND dialog, int id, const std::string& text)
{
    const Texts items = Items(dialog, id);
    const auto found = std::find(items.begin(), items.end(), text);
    if (found != items.end())
        Pick(dialog, id, static_cast<int>(found - items.begin()));
    return found != items.end();
}

void Arrow(HWND dialog, int editId, WPARAM key)
{
    SendMessageA(Item(dialog, editId), WM_KEYDOWN, key, 1);
    SendMessageA(Item(dialog, editId), WM_KEYUP, key, 0xC0000001);
}

void PostKey(HWND window, WPARAM key)
{
    PostMessageA(window, WM_KEYDOWN, key, 1);
    PostMessageA(window, WM_KEYUP, key, 0xC0000001);
}

Script& Script::Add(Step step)
{
    steps.push_back(std::move(step));
    return *this;
}

Script& Script::Pause(DWORD ms)
{
    auto start = std::make_shared<DWORD>(0);
    Do([start](HWND) { *start = GetTickCount(); });
    return Until(
        "pause", [start, ms](HWND) { return GetTickCount() - *start >= ms; }, ms + kEventMs);
}

namespace {
constexpr DWORD kDialogAppearMs = 30000;
constexpr DWORD kEndGraceMs = 5000;    // for a dialog the script ended by a posted key
constexpr DWORD kScriptMs = 120000;    // the whole script
constexpr DWORD kWatchdogMs = 180000;  // Setup as a whole
constexpr UINT kTickMs = 10;

struct ScriptRun {
    const Script* script = nullptr;
    DWORD start = 0, waitStart = 0, doneTime = 0;
    HWND dialog = nullptr, outer = nullptr;  // outer: the dialog of the script that called this Setup
    size_t next = 0;
    bool waiting = false, aborted = false, stepsDone = false, forcedEnd = false, busy = false;
};
ScriptRun* g_run = nullptr;

// Ends the dialog as the exit button would; for a script that failed or left it open.
void ForceEnd(ScriptRun& run, HWND dialog)
{
    run.forcedEnd = true;
    Notify(dialog, ID_EXIT, BN_CLICKED);
}

VOID CALLBACK ScriptTick(HWND, UINT, UINT_PTR, DWORD)
{
    ScriptRun* run = g_run;
    if (!run || run->busy)
        return;
    run->busy = true;
    const DWORD now = GetTickCount();
    if (!run->dialog)
        run->dialog = FindSetupDialog(true, run->outer);
    if (!run->dialog && !run->aborted && now - run->start >= kDialogAppearMs) {
        ADD_FAILURE() << "the setup dialog did not appear";
        run->aborted = run->stepsDone = true;
        if (HWND hidden = FindSetupDialog(false, run->outer))
            ForceEnd(*run, hidden);
    }
    const HWND dialog = run->dialog;
    if (dialog && IsWindow(dialog) && !run->stepsDone) {
        const std::vector<Script::Step>& steps = run->script->steps;
        while (run->next < steps.size() && !run->aborted && IsWindowVisible(dialog)) {
            const Script::Step& step = steps[run->next];
            if (step.act) {
                step.act(dialog);
            } else {
                if (!std::exchange(run->waiting, true))
                    run->waitStart = now;
                if (!step.done(dialog)) {
                    if (GetTickCount() - run->waitStart >= step.timeoutMs) {
                        ADD_FAILURE() << "timed out waiting for: " << step.what;
                        run->aborted = true;
                    }
                    break;
                }
                run->waiting = false;
            }
            run->aborted = ::testing::Test::HasFatalFailure();
            ++run->next;
        }
        if (run->next >= steps.size() || run->aborted || now - run->start >= kScriptMs) {
            if (now - run->start >= kScriptMs && !run->aborted)
                ADD_FAILURE() << "script still running after " << kScriptMs << " ms";
            run->stepsDone = true;
            run->doneTime = now;
        }
    }
    // Normally the last step pressed the exit button (the dialog is hidden now and destroyed when the loop next turns);
    // else the dialog gets a little time to end by itself, then is ended here.
    if (dialog && IsWindow(dialog) && IsWindowVisible(dialog) && run->stepsDone &&
        (run->aborted || GetTickCount() - run->doneTime >= kEndGraceMs))
        ForceEnd(*run, dialog);
    run->busy = false;
}

}  // namespace

void Exit(HWND dialog)
{
    Click(dialog, ID_EXIT);
    EXPECT_FALSE(IsWindowVisible(dialog)) << "the exit button left the dialog open";
}

SetupRun RunSetup(const Script& script, const std::function<int32_t()>& setup)
{
    ScriptRun* const outer = g_run;  // a Setup called from inside another script's dialog
    ScriptRun state = {&script, GetTickCount(), 0, 0, nullptr, outer ? outer->dialog : nullptr};
    g_run = &state;
    const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, ScriptTick);
    EXPECT_NE(timer, 0u);
    // Last resort should Setup hang where no timer can run: end the process rather than the whole test run.
    HANDLE returned = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread watchdog([returned] {
        if (WaitForSingleObject(returned, kWatchdogMs) == WAIT_TIMEOUT) {
            fprintf(stderr, "watchdog: Setup did not return in %lu ms\n", static_cast<unsigned long>(kWatchdogMs));
            TerminateProcess(GetCurrentProcess(), 3);
        }
    });
    const int32_t result = setup();
    SetEvent(returned);
    watchdog.join();
    CloseHandle(returned);
    KillTimer(nullptr, timer);
    g_run = outer;
    return {state.dialog != nullptr, state.next == script.steps.size() && !state.aborted, state.forcedEnd, result};
}

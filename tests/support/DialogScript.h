// The setup dialog worked as a user would: its controls read and worked with the messages they send themselves, by
// a script run from a thread timer that the dialog's modal loop dispatches, on the host thread: every call is plain.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "ui/resource.h"

typedef std::vector<std::string> Texts;

// Short names of the controls of template 107, whose ids are in ui/resource.h.
enum {
    ID_EXIT = IDC_EXIT,
    ID_DEVICES = IDC_DEVICE_LIST,
    ID_DELAY = IDC_DELAY_EDIT,
    ID_DELAY_SPIN = IDC_DELAY_SPIN,
    ID_INTERVAL = IDC_INTERVAL_EDIT,
    ID_INTERVAL_SPIN = IDC_INTERVAL_SPIN,
    ID_RELEASE = IDC_RELEASE_EDIT,
    ID_RELEASE_SPIN = IDC_RELEASE_SPIN,
    ID_STATUS = IDC_STATUS_TEXT,
    ID_CODE = IDC_CODE_TEXT,
    ID_LABEL = IDC_BUTTON_TEXT,
    ID_DEFAULTS = IDC_DEFAULTS,
    ID_BUTTONS = IDC_BUTTON_LIST,
    ID_COMMANDS = IDC_COMMAND_LIST,
};

inline HWND Item(HWND dialog, int id)
{
    return GetDlgItem(dialog, id);
}
std::string Text(HWND dialog, int id);
Texts Items(HWND dialog, int id);  // the items of a list
// Its selection, CB_ERR for none.
inline int Sel(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageA(dialog, id, CB_GETCURSEL, 0, 0));
}
std::string SelText(HWND dialog, int id);
// What the controls show, one text each: a list's selected item, else the text.
Texts Shown(HWND dialog, std::initializer_list<int> ids);

// A notification from a control to the dialog, as the control sends it.
inline void Notify(HWND dialog, int id, int code)
{
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(Item(dialog, id)));
}
// The user picks item index of a list.
void Pick(HWND dialog, int id, int index);
// Picks the item whose text is exactly text; false if the list lacks it.
bool PickText(HWND dialog, int id, const std::string& text);
// Replaces an edit's text; the edit reports EN_CHANGE as after typing.
inline void Type(HWND dialog, int id, const char* text)
{
    SetDlgItemTextA(dialog, id, text);
}
inline void Click(HWND dialog, int id)
{
    SendMessageA(Item(dialog, id), BM_CLICK, 0, 0);
}
// One press of an arrow key in an up-down's buddy edit.
void Arrow(HWND dialog, int editId, WPARAM key);
// A key as the keyboard delivers it: queued for the focused control.
void PostKey(HWND window, WPARAM key);
// Clicks the exit button; the dialog ends when the loop next turns.
void Exit(HWND dialog);

constexpr DWORD kEventMs = 10000;  // bound for anything the poll timer produces

// Steps run in turn; a step acts once or waits tick by tick (the poll timer keeps running) until a condition holds.
class Script {
public:
    struct Step {
        std::function<void(HWND)> act;
        std::function<bool(HWND)> done;
        std::string what;
        DWORD timeoutMs;
    };
    Script& Do(std::function<void(HWND)> act) { return Add({std::move(act), nullptr, "", 0}); }
    Script& Until(const std::string& what, std::function<bool(HWND)> done, DWORD timeoutMs = kEventMs)
    {
        return Add({nullptr, std::move(done), what, timeoutMs});
    }
    Script& Pause(DWORD ms);
    std::vector<Step> steps;

private:
    Script& Add(Step step);
};

struct SetupRun {
    bool shown = false;
    bool completed = false;  // every step ran
    bool forcedEnd = false;  // the dialog had to be ended for the script
    int32_t result = 0;
};

// Calls setup (the host's Setup) while the script works the dialog it opens (not an outer script's); a dialog the
// script leaves open is ended as its exit button would.
SetupRun RunSetup(const Script& script, const std::function<int32_t()>& setup);

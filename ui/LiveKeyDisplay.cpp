#include "ui/LiveKeyDisplay.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "mapping/ButtonTables.h"
#include "plugin/PluginState.h"
#include "ui/resource.h"

namespace {

// Windows-1251: "Нажата", "Отжата", "Повтор %u".
const char kPressedText[] = "\xcd\xe0\xe6\xe0\xf2\xe0";
const char kReleasedText[] = "\xce\xf2\xe6\xe0\xf2\xe0";
const char kRepeatFormat[] = "\xcf\xee\xe2\xf2\xee\xf0 %u";

// Item of the button list whose text equals label exactly (the list's own
// search ignores case); CB_ERR if none.
LRESULT FindListItem(HWND list, const char* label)
{
    const LRESULT count = SendMessageA(list, CB_GETCOUNT, 0, 0);
    for (LRESULT item = 0; item < count; ++item) {
        if (SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(item), 0) >= LABEL_SIZE)
            continue;
        char text[LABEL_SIZE + 1] = {};
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(text));
        if (strcmp(text, label) == 0)
            return item;
    }
    return CB_ERR;
}

void SelectPressedButton(const char* label)
{
    const HWND buttonList = GetDlgItem(g_plugin.dialogWindow, IDC_BUTTON_LIST);
    const int32_t index = FindButtonByLabel(*g_plugin.currentTable, label);
    const LRESULT item = FindListItem(buttonList, label);
    if (index < 0 || item == CB_ERR)
        return;
    SendMessageA(buttonList, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
    SendMessageA(GetDlgItem(g_plugin.dialogWindow, IDC_COMMAND_LIST), CB_SETCURSEL,
                 static_cast<WPARAM>(CommandIndexForButton(*g_plugin.currentTable, index)), 0);
}

void ReceiveKeyEvent(void*, uint8_t code, int32_t eventValue) { ShowKeyEventInDialog(code, eventValue); }

}  // namespace

const KeyEventSink LIVE_KEY_DISPLAY = {ReceiveKeyEvent, nullptr};

void ShowKeyEventInDialog(uint8_t code, int32_t eventValue)
{
    if (code > MAX_BUTTON_CODE || !g_plugin.dialogWindow)
        return;
    char status[32];
    if (eventValue == 0)
        CopyText(status, sizeof status, kPressedText);
    else if (eventValue == -1)
        CopyText(status, sizeof status, kReleasedText);
    else
        snprintf(status, sizeof status, kRepeatFormat, static_cast<unsigned>(eventValue));

    const char* label = g_plugin.currentTable->entries[code].label;
    if (eventValue == 0)
        SelectPressedButton(label);

    char codeText[8];
    snprintf(codeText, sizeof codeText, "0x%.2X", static_cast<unsigned>(code));
    SetDlgItemTextA(g_plugin.dialogWindow, IDC_STATUS_TEXT, status);
    SetDlgItemTextA(g_plugin.dialogWindow, IDC_CODE_TEXT, codeText);
    SetDlgItemTextA(g_plugin.dialogWindow, IDC_BUTTON_TEXT, label);
}

#include "ui/LiveKeyDisplay.h"

#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "mapping/ButtonTables.h"
#include "plugin/PluginState.h"
#include "ui/resource.h"

namespace {

// "Нажата", "Отжата", "Повтор " in UTF-16: set with the wide call, they read
// right whatever the ANSI code page of the PC (the rest of the dialog comes
// from its template, in UTF-16 as well).
const wchar_t kPressedText[] = L"\u041d\u0430\u0436\u0430\u0442\u0430";
const wchar_t kReleasedText[] = L"\u041e\u0442\u0436\u0430\u0442\u0430";
const wchar_t kRepeatText[] = L"\u041f\u043e\u0432\u0442\u043e\u0440 ";
constexpr size_t STATUS_SIZE = 32;

// "Повтор " and the repeat number in decimal, always terminated.
void FormatRepeat(uint32_t number, wchar_t (&status)[STATUS_SIZE])
{
    size_t length = 0;
    for (; kRepeatText[length] != L'\0'; ++length)
        status[length] = kRepeatText[length];
    wchar_t digits[10];
    size_t count = 0;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + number % 10);
        number /= 10;
    } while (number != 0);
    while (count > 0)
        status[length++] = digits[--count];
    status[length] = L'\0';
}

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

// Writes status, code and label into the dialog; a press also moves the two
// binding lists to the pressed button.
void ShowKeyEventInDialog(uint8_t code, int32_t eventValue)
{
    if (code > MAX_BUTTON_CODE || !g_plugin.dialogWindow)
        return;
    wchar_t repeat[STATUS_SIZE];
    const wchar_t* status = kPressedText;
    if (eventValue == -1) {
        status = kReleasedText;
    } else if (eventValue != 0) {
        FormatRepeat(static_cast<uint32_t>(eventValue), repeat);
        status = repeat;
    }

    const char* label = g_plugin.currentTable->entries[code].label;
    if (eventValue == 0)
        SelectPressedButton(label);

    char codeText[8];
    snprintf(codeText, sizeof codeText, "0x%.2X", static_cast<unsigned>(code));
    SetDlgItemTextW(g_plugin.dialogWindow, IDC_STATUS_TEXT, status);
    SetDlgItemTextA(g_plugin.dialogWindow, IDC_CODE_TEXT, codeText);
    SetDlgItemTextA(g_plugin.dialogWindow, IDC_BUTTON_TEXT, label);
}

void ReceiveKeyEvent(void*, uint8_t code, int32_t eventValue)
{
    ShowKeyEventInDialog(code, eventValue);
}

}  // namespace

const KeyEventSink LIVE_KEY_DISPLAY = {ReceiveKeyEvent, nullptr};

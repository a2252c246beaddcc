// The export Setup and the modal setup dialog (template 107) behind it.
#include <windows.h>
#include <commctrl.h>
#include <string.h>

#include "device/RemoteDevice.h"
#include "mapping/ButtonTables.h"
#include "plugin/PluginState.h"
#include "plugin/PollTimer.h"
#include "ui/LiveKeyDisplay.h"
#include "ui/resource.h"

namespace {

const char kNoDeviceText[] = "< NONE >";
constexpr int ITEM_TEXT_SIZE = 32;

struct TimingControl {
    int editId;
    int spinId;
    uint32_t PluginSettings::*setting;
    uint16_t minimum;
    uint16_t maximum;
    UINT step;
};

const TimingControl kTimingControls[] = {
    {IDC_DELAY_EDIT, IDC_DELAY_SPIN, &PluginSettings::DelayBeforeRepeat, 200, 800, 50},
    {IDC_INTERVAL_EDIT, IDC_INTERVAL_SPIN, &PluginSettings::RepeatInterval, 80, 200, 10},
    {IDC_RELEASE_EDIT, IDC_RELEASE_SPIN, &PluginSettings::ReleaseTime, 40, 400, 10},
};

LRESULT SendItem(HWND window, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendDlgItemMessageA(window, id, message, wParam, lParam);
}

// Reads the selected item's text of a list into text (zeroed first); an item
// that would not fit leaves it empty.
void ReadSelectedItemText(HWND window, int id, char (&text)[ITEM_TEXT_SIZE])
{
    memset(text, 0, sizeof text);
    const LRESULT sel = SendItem(window, id, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR)
        return;
    const LRESULT length = SendItem(window, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(sel), 0);
    if (length < 0 || length >= ITEM_TEXT_SIZE)
        return;
    SendItem(window, id, CB_GETLBTEXT, static_cast<WPARAM>(sel), reinterpret_cast<LPARAM>(text));
    text[ITEM_TEXT_SIZE - 1] = '\0';
}

void WriteTimingEdits(HWND window)
{
    for (const TimingControl& control : kTimingControls)
        SetDlgItemInt(window, control.editId, g_plugin.settings.*control.setting, FALSE);
}

// The cards of the device, the one in use selected; "< NONE >", disabled,
// when there is no card to offer.
void FillDeviceList(HWND window)
{
    SendItem(window, IDC_DEVICE_LIST, CB_RESETCONTENT, 0, 0);
    RemoteDevice* device = g_plugin.device;
    const uint32_t count = device ? device->CardCount() : 0;
    EnableWindow(GetDlgItem(window, IDC_DEVICE_LIST), count > 0);
    if (count > 0) {
        for (uint32_t i = 0; i < count; ++i)
            SendItem(window, IDC_DEVICE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(device->CardName(i)));
        SendItem(window, IDC_DEVICE_LIST, CB_SETCURSEL, static_cast<WPARAM>(g_plugin.settings.DeviceIndex), 0);
    } else {
        SendItem(window, IDC_DEVICE_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(kNoDeviceText));
        SendItem(window, IDC_DEVICE_LIST, CB_SETCURSEL, 0, 0);
    }
}

// The labels of the table in force, in code order, with the item of label
// selected (the first item if the table lacks it).
void FillButtonList(HWND window, const char* label)
{
    SendItem(window, IDC_BUTTON_LIST, CB_RESETCONTENT, 0, 0);
    LRESULT selected = 0;
    for (const ButtonEntry& entry : g_plugin.currentTable->entries) {
        if (entry.label[0] == '\0')
            continue;
        const LRESULT item = SendItem(window, IDC_BUTTON_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(entry.label));
        if (selected == 0 && strcmp(entry.label, label) == 0)
            selected = item;
    }
    SendItem(window, IDC_BUTTON_LIST, CB_SETCURSEL, static_cast<WPARAM>(selected), 0);
}

void ShowBinding(HWND window)
{
    char label[ITEM_TEXT_SIZE];
    ReadSelectedItemText(window, IDC_BUTTON_LIST, label);
    const int32_t index = FindButtonByLabel(*g_plugin.currentTable, label);
    SendItem(window, IDC_COMMAND_LIST, CB_SETCURSEL,
             static_cast<WPARAM>(CommandIndexForButton(*g_plugin.currentTable, index)), 0);
}

// The dialog takes the key events over: its live display hears them from now
// on, and nothing reaches the host.
void RouteKeyEventsToDialog(HWND window)
{
    g_plugin.dialogWindow = window;
    HandKeysToDialog(g_plugin.session, LIVE_KEY_DISPLAY);
}

// The key events go to the host again.
void RouteKeyEventsToHost()
{
    g_plugin.dialogWindow = nullptr;
    HandKeysToHost(g_plugin.session);
}

void InitDialog(HWND window)
{
    RouteKeyEventsToDialog(window);
    FillDeviceList(window);
    FillButtonList(window, "");  // button 0, which every table has
    for (const char* word : CommandVocabulary)
        SendItem(window, IDC_COMMAND_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(word));
    ShowBinding(window);

    for (const TimingControl& control : kTimingControls)
        SendItem(window, control.spinId, UDM_SETRANGE, 0, MAKELPARAM(control.maximum, control.minimum));
    for (const TimingControl& control : kTimingControls) {
        UDACCEL accel = {0, 1};
        SendItem(window, control.spinId, UDM_GETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
        accel.nInc = control.step;
        SendItem(window, control.spinId, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&accel));
    }

    WriteTimingEdits(window);
    g_plugin.dialogReady = 1;
    g_plugin.settingsDirty = 0;
}

void ExitDialog(HWND window)
{
    g_plugin.dialogReady = 0;
    RouteKeyEventsToHost();
    EndDialog(window, 0);
}

// Acts only on a choice of a card. A list without a selection (the stored
// card is absent today) chooses nothing, whatever it notifies: the stored
// card must survive a look at the dialog. Nor does a list that offers no
// card ("< NONE >", disabled).
void ChangeDevice(HWND window)
{
    const LRESULT sel = SendItem(window, IDC_DEVICE_LIST, CB_GETCURSEL, 0, 0);
    if (sel == CB_ERR || !IsWindowEnabled(GetDlgItem(window, IDC_DEVICE_LIST)))
        return;
    const uint32_t index = static_cast<uint32_t>(sel);
    if (index == g_plugin.settings.DeviceIndex)
        return;
    StopPolling();
    g_plugin.settings.DeviceIndex = index;
    OpenCardAndSelectTable(index);
    // Polling stays whoever's it was: the host's outlives the dialog.
    StartPolling();
    g_plugin.settingsDirty = 1;
}

void ChangeTiming(HWND window, int editId)
{
    for (const TimingControl& control : kTimingControls) {
        if (control.editId != editId)
            continue;
        const uint32_t value = GetDlgItemInt(window, editId, nullptr, FALSE);
        uint32_t& setting = g_plugin.settings.*control.setting;
        if (value != setting) {
            setting = value;
            g_plugin.settingsDirty = 1;
        }
    }
}

void Bind(HWND window)
{
    char label[ITEM_TEXT_SIZE];
    ReadSelectedItemText(window, IDC_BUTTON_LIST, label);
    const int32_t index = FindButtonByLabel(*g_plugin.currentTable, label);
    if (index < 0 || index > MAX_BUTTON_CODE)
        return;
    const LRESULT sel = SendItem(window, IDC_COMMAND_LIST, CB_GETCURSEL, 0, 0);
    char word[ITEM_TEXT_SIZE];
    ReadSelectedItemText(window, IDC_COMMAND_LIST, word);
    if (sel == VOCAB_NONE)
        SetButtonCommand(*g_plugin.currentTable, index, "");
    else if (sel > VOCAB_OTHER)
        SetButtonCommand(*g_plugin.currentTable, index, word);
    // "< Other >" or no selection keeps the command, so a word from the file survives.
    g_plugin.settingsDirty = 1;
}

// After the host's Open or Close: what the dialog would show if it opened
// now (the cards, the labels of the table in force, the timings), keeping
// the button selected where that table has it. As while the dialog opens,
// the notifications of its own filling change nothing.
void ShowSettingsInForce(HWND window)
{
    char label[ITEM_TEXT_SIZE];
    ReadSelectedItemText(window, IDC_BUTTON_LIST, label);
    g_plugin.dialogReady = 0;
    FillDeviceList(window);
    FillButtonList(window, label);
    ShowBinding(window);
    WriteTimingEdits(window);
    g_plugin.dialogReady = 1;
}

void RestoreDefaults(HWND window)
{
    ApplyDefaultBindings();
    WriteTimingEdits(window);
    SendItem(window, IDC_BUTTON_LIST, CB_SETCURSEL, 0, 0);
    SendItem(window, IDC_COMMAND_LIST, CB_SETCURSEL, 2, 0);  // "0", the binding of button 0
    g_plugin.settingsDirty = 1;
}

// TRUE when the command was acted on.
BOOL HandleCommand(HWND window, int id, int notification)
{
    const bool ready = g_plugin.dialogReady == 1;
    switch (id) {
    case IDC_EXIT: ExitDialog(window); return TRUE;
    case IDC_DEVICE_LIST:
        if (!ready)
            return FALSE;
        ChangeDevice(window);
        return TRUE;
    case IDC_DELAY_EDIT:
    case IDC_INTERVAL_EDIT:
    case IDC_RELEASE_EDIT:
        if (!ready || notification != EN_CHANGE)
            return FALSE;
        ChangeTiming(window, id);
        return TRUE;
    case IDC_DEFAULTS: RestoreDefaults(window); return TRUE;
    case IDC_BUTTON_LIST:
        if (!ready || notification != CBN_SELCHANGE)
            return FALSE;
        ShowBinding(window);
        return TRUE;
    case IDC_COMMAND_LIST:
        if (!ready || notification != CBN_SELCHANGE)
            return FALSE;
        Bind(window);
        return TRUE;
    default: return FALSE;
    }
}

// Takes the logo out of its picture control and deletes it. Not every static
// control deletes the picture it loaded from the template when it is
// destroyed; taken out this way, the picture is ours to delete everywhere.
void FreeLogo(HWND window)
{
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP)
            continue;
        char className[16] = {};
        GetClassNameA(child, className, sizeof className);
        if (lstrcmpiA(className, "Static") != 0)
            continue;
        const HANDLE logo = reinterpret_cast<HANDLE>(SendMessageA(child, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (logo)
            DeleteObject(logo);
    }
}

// Dialog procedure of template 107.
INT_PTR CALLBACK SetupDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: InitDialog(window); return TRUE;
    case WM_COMMAND: return HandleCommand(window, LOWORD(wParam), HIWORD(wParam));
    case WM_SHOW_SETTINGS_IN_FORCE: ShowSettingsInForce(window); return TRUE;
    case WM_DESTROY:
        g_plugin.dialogReady = 0;
        RouteKeyEventsToHost();
        // The last try: a failed save has warned, and the changes stay in
        // force until the next Open reads the file. Nothing stays pending,
        // not even without a settings path (no Open yet): else that Open
        // would keep these changes and never read the file.
        if (g_plugin.settingsDirty)
            SaveSettings();
        g_plugin.settingsDirty = 0;
        FreeLogo(window);
        return TRUE;
    default: return FALSE;
    }
}

}  // namespace

extern "C" int32_t __cdecl Setup()
{
    // One dialog at a time: a Setup from inside the dialog's own modal loop
    // (a host timer, a posted message) would take the key events and the
    // dialog state from the open one.
    if (g_plugin.setupRunning)
        return -1;
    g_plugin.setupRunning = 1;
    // Polling for the dialog's live display, if the host's is not running.
    // It is the dialog's: stopped at its end unless the host has called
    // Start meanwhile (from a timer or handler inside the dialog's loop).
    StartPolling();

    // The host may not have registered the up-down class; without it the
    // dialog cannot be created.
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_UPDOWN_CLASS};
    InitCommonControlsEx(&controls);

    const INT_PTR result =
        DialogBoxParamA(g_plugin.moduleInstance, MAKEINTRESOURCEA(IDD_SETUP), g_plugin.hostWindow, SetupDialogProc, 0);
    g_plugin.setupRunning = 0;
    if (g_plugin.hostStartedPolling)
        return static_cast<int32_t>(result);
    return static_cast<int32_t>(Stop());
}

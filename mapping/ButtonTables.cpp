#include "mapping/ButtonTables.h"

#include <string.h>

#include "plugin/PluginState.h"

// Labels only: commands start empty and come from the file, the defaults or the dialog.
ButtonTable g_buttonTables[3] = {
    {{
        {"Button 0", ""}, {"Button 1", ""}, {"Button 2", ""}, {"Button 3", ""},
        {"Button 4", ""}, {"Button 5", ""}, {"Button 6", ""}, {"Button 7", ""},
        {"Button 8", ""}, {"Button 9", ""}, {"Recall", ""},   {"Up", ""},
        {"Right", ""},    {"Mode", ""},     {"Sleep", ""},    {"Audio", ""},
        {"Info", ""},     {"TV/AV", ""},    {"Power", ""},    {"Mute", ""},
        {"Menu", ""},     {"Down", ""},     {"OK", ""},       {"+100", ""},
        {"Left", ""},     {"", ""},         {"Chan +", ""},   {"Vol +", ""},
        {"Function", ""}, {"", ""},         {"Chan -", ""},   {"Vol -", ""},
    }},
    {{
        {"Button 0", ""}, {"Button 1", ""}, {"Button 2", ""},  {"Button 3", ""},
        {"Button 4", ""}, {"Button 5", ""}, {"Button 6", ""},  {"Button 7", ""},
        {"Button 8", ""}, {"Button 9", ""}, {"Recall", ""},    {"CH UP", ""},
        {"VOL+", ""},     {"Stereo", ""},   {"STOP", ""},      {"PREV", ""},
        {"ZOOM", ""},     {"Source", ""},   {"Power", ""},     {"Mute", ""},
        {"", ""},         {"CH DOWN", ""},  {"", ""},          {"", ""},
        {"VOL-", ""},     {"SNAPSHOT", ""}, {"NEXT", ""},      {"TIMESHIFT", ""},
        {"FM Radio", ""}, {"REC", ""},      {"PAUSE", ""},
    }},
    {{
        {"Button 0", ""},  {"Button 1", ""},   {"Button 2", ""},    {"Button 3", ""},
        {"Button 4", ""},  {"Button 5", ""},   {"Button 6", ""},    {"Button 7", ""},
        {"Button 8", ""},  {"Button 9", ""},   {"Recall", ""},      {"Ch Up", ""},
        {"Vol +", ""},     {"Info", ""},       {"Teletext", ""},    {"Record", ""},
        {"Full screen", ""}, {"Mute", ""},     {"Power", ""},       {"Preview", ""},
        {"Aspect", ""},    {"Ch Down", ""},    {"OK", ""},          {"Mode", ""},
        {"Vol -", ""},     {"DVB", ""},        {"Stop", ""},        {"Play/Pause", ""},
        {"TV/FM", ""},     {"Sleep", ""},      {"Source", ""},      {"Audio", ""},
        // 0x20..0x57 have no button
        {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
        {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
        {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {}, {},
        {}, {}, {}, {}, {}, {}, {}, {},
        {"Snapshot", ""},  {}, {}, {},          {"Freeze", ""},
    }},
};

const char CommandVocabulary[VOCABULARY_SIZE][COMMAND_SIZE] = {
    "< None >", "< Other >", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9",
    "POWER", "CH_UP", "CH_DOWN", "VOL_UP", "VOL_DOWN", "MUTE", "MENU", "RECALL",
    "UP", "DOWN", "LEFT", "RIGHT", "OK", "FULLSCREEN", "FWD", "REW", "PLAY",
    "PAUSE", "STOP", "RECORD", "CAPTURE", "SLEEP", "SCAN", "CANCEL", "VIDEO",
    "AUDIO", "TV", "RADIO", "TELETEXT", "CD", "DVD", "RED", "YELLOW", "GREEN",
    "BLUE", "WEB_LAUNCH", "MOUSEMODE", "LEFTMOUSE", "RIGHTMOUSE",
    "LEFTMOUSEDOUBLECLICK", "RIGHTMOUSEDOUBLECLICK", "DIRPADRIGHT", "DIRPADUP",
    "DIRPADLEFT", "DIRPADDOWN", "DIRPADRIGHTUP", "DIRPADRIGHTDOWN",
    "DIRPADLEFTUP", "DIRPADLEFTDOWN",
};

void SelectButtonTable(int32_t remoteType)
{
    if (remoteType == 2)
        g_plugin.currentTable = &g_buttonTables[2];
    else if (remoteType == 1)
        g_plugin.currentTable = &g_buttonTables[1];
    else
        g_plugin.currentTable = &g_buttonTables[0];
}

int32_t FindButtonByLabel(const char* label)
{
    if (!label)
        return -1;
    const ButtonTable* table = g_plugin.currentTable;
    for (int32_t i = 0; i < BUTTON_COUNT; ++i) {
        // Labels are at most 15 characters, so a longer text matches nothing.
        if (strncmp(table->entries[i].label, label, LABEL_SIZE) == 0)
            return i;
    }
    return -1;
}

int32_t CommandIndexForButton(int32_t index)
{
    if (index < 0 || index > MAX_BUTTON_CODE)
        return VOCAB_NONE;
    const char* command = g_plugin.currentTable->entries[index].command;
    if (command[0] == '\0')
        return VOCAB_NONE;
    for (int32_t i = 0; i < VOCABULARY_SIZE; ++i) {
        if (_stricmp(CommandVocabulary[i], command) == 0)
            return i;
    }
    return VOCAB_OTHER;
}

void SetButtonCommand(int code, const char* text)
{
    if (code < 0 || code > MAX_BUTTON_CODE)
        return;
    CopyText(g_plugin.currentTable->entries[code].command, COMMAND_SIZE, text);
}

void ClearAllBindings()
{
    for (ButtonTable& table : g_buttonTables)
        for (ButtonEntry& entry : table.entries)
            entry.command[0] = '\0';
}

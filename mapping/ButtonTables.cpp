#include "mapping/ButtonTables.h"

#include <string.h>

#include "mapping/CopyText.h"

const char CommandVocabulary[VOCABULARY_SIZE][COMMAND_SIZE] = {
    "< None >",
    "< Other >",
    "0",
    "1",
    "2",
    "3",
    "4",
    "5",
    "6",
    "7",
    "8",
    "9",
    "POWER",
    "CH_UP",
    "CH_DOWN",
    "VOL_UP",
    "VOL_DOWN",
    "MUTE",
    "MENU",
    "RECALL",
    "UP",
    "DOWN",
    "LEFT",
    "RIGHT",
    "OK",
    "FULLSCREEN",
    "FWD",
    "REW",
    "PLAY",
    "PAUSE",
    "STOP",
    "RECORD",
    "CAPTURE",
    "SLEEP",
    "SCAN",
    "CANCEL",
    "VIDEO",
    "AUDIO",
    "TV",
    "RADIO",
    "TELETEXT",
    "CD",
    "DVD",
    "RED",
    "YELLOW",
    "GREEN",
    "BLUE",
    "WEB_LAUNCH",
    "MOUSEMODE",
    "LEFTMOUSE",
    "RIGHTMOUSE",
    "LEFTMOUSEDOUBLECLICK",
    "RIGHTMOUSEDOUBLECLICK",
    "DIRPADRIGHT",
    "DIRPADUP",
    "DIRPADLEFT",
    "DIRPADDOWN",
    "DIRPADRIGHTUP",
    "DIRPADRIGHTDOWN",
    "DIRPADLEFTUP",
    "DIRPADLEFTDOWN",
};

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Equal ignoring the case of ASCII letters, as the C library's own
// case-insensitive compare does in the "C" locale.
bool SameIgnoringCase(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (LowerAscii(*a) != LowerAscii(*b))
            return false;
    }
    return *a == *b;
}

}  // namespace

int32_t ButtonTableForRemoteType(int32_t remoteType)
{
    return remoteType == 1 || remoteType == 2 ? remoteType : 0;
}

int32_t FindButtonByLabel(const ButtonTable& table, const char* label)
{
    if (!label)
        return -1;
    for (int32_t i = 0; i < BUTTON_COUNT; ++i) {
        // Labels are at most 15 characters, so a longer text matches nothing.
        if (strncmp(table.entries[i].label, label, LABEL_SIZE) == 0)
            return i;
    }
    return -1;
}

int32_t CommandIndexForButton(const ButtonTable& table, int32_t index)
{
    if (index < 0 || index > MAX_BUTTON_CODE)
        return VOCAB_NONE;
    const char* command = table.entries[index].command;
    if (command[0] == '\0')
        return VOCAB_NONE;
    for (int32_t i = 0; i < VOCABULARY_SIZE; ++i) {
        if (SameIgnoringCase(CommandVocabulary[i], command))
            return i;
    }
    return VOCAB_OTHER;
}

void SetButtonCommand(ButtonTable& table, int code, const char* text)
{
    if (code < 0 || code > MAX_BUTTON_CODE)
        return;
    CopyText(table.entries[code].command, COMMAND_SIZE, text);
}

void ClearButtonCommands(ButtonTable& table)
{
    for (ButtonEntry& entry : table.entries)
        entry.command[0] = '\0';
}

void CopyButtonCommands(ButtonTable& to, const ButtonTable& from)
{
    // memcpy must not copy a slot onto itself: Open keeps edits in the same table when the card's family is unchanged.
    if (&to == &from)
        return;
    for (int code = 0; code < BUTTON_COUNT; ++code)
        memcpy(to.entries[code].command, from.entries[code].command, COMMAND_SIZE);
}

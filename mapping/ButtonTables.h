// Button tables (label and bound command per remote code) and the command vocabulary.
#pragma once

#include <stdint.h>

constexpr int BUTTON_COUNT = 93;        // codes 0x00..0x5C
constexpr int MAX_BUTTON_CODE = 92;
constexpr int LABEL_SIZE = 16;
constexpr int COMMAND_SIZE = 32;
constexpr int VOCABULARY_SIZE = 61;
constexpr int VOCAB_NONE = 0;           // "< None >": unbound
constexpr int VOCAB_OTHER = 1;          // "< Other >": bound to a word outside the list

struct ButtonEntry {
    char label[LABEL_SIZE];
    char command[COMMAND_SIZE];
};
static_assert(sizeof(ButtonEntry) == 48, "button entry layout is fixed");

struct ButtonTable {
    ButtonEntry entries[BUTTON_COUNT];
};
static_assert(sizeof(ButtonTable) == 4464, "button table layout is fixed");

// Index 0: any remote type but 1 and 2; index 1: type 1; index 2: type 2.
extern ButtonTable g_buttonTables[3];
extern const char CommandVocabulary[VOCABULARY_SIZE][COMMAND_SIZE];

// Points currentTable at the table for the remote type (2, 1, anything else -> 0).
void SelectButtonTable(int32_t remoteType);

// Lowest index in currentTable whose label equals label byte for byte; -1 if none.
int32_t FindButtonByLabel(const char* label);

// Vocabulary index of the command bound to button index of currentTable:
// 0 for out of range or unbound, 1 for a word outside the vocabulary.
int32_t CommandIndexForButton(int32_t index);

// Stores text as the command of entry code of currentTable, cut to 31 characters.
void SetButtonCommand(int code, const char* text);

// Empties the commands of all three tables (tests and module reset).
void ClearAllBindings();

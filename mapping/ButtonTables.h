// Button tables (label and bound command per remote code), the command
// vocabulary, and the lookups over them. Plain data and free functions; the
// tables in use are owned by whoever runs the plug-in.
#pragma once

#include <stdint.h>

constexpr int BUTTON_COUNT = 93;  // codes 0x00..0x5C
constexpr int MAX_BUTTON_CODE = 92;
constexpr int LABEL_SIZE = 16;
constexpr int COMMAND_SIZE = 32;
constexpr int VOCABULARY_SIZE = 61;
constexpr int VOCAB_NONE = 0;   // "< None >": unbound
constexpr int VOCAB_OTHER = 1;  // "< Other >": bound to a word outside the list
constexpr int TABLE_COUNT = 3;  // one per remote family

struct ButtonEntry {
    char label[LABEL_SIZE];
    char command[COMMAND_SIZE];
};
static_assert(sizeof(ButtonEntry) == 48, "button entry layout is fixed");

struct ButtonTable {
    ButtonEntry entries[BUTTON_COUNT];
};
static_assert(sizeof(ButtonTable) == 4464, "button table layout is fixed");

// The tables as shipped: labels, no commands. Index = family, as
// ButtonTableForRemoteType gives it.
inline constexpr ButtonTable SHIPPED_BUTTON_TABLES[TABLE_COUNT] = {
    {{
        {"Button 0", ""}, {"Button 1", ""}, {"Button 2", ""}, {"Button 3", ""}, {"Button 4", ""}, {"Button 5", ""},
        {"Button 6", ""}, {"Button 7", ""}, {"Button 8", ""}, {"Button 9", ""}, {"Recall", ""},   {"Up", ""},
        {"Right", ""},    {"Mode", ""},     {"Sleep", ""},    {"Audio", ""},    {"Info", ""},     {"TV/AV", ""},
        {"Power", ""},    {"Mute", ""},     {"Menu", ""},     {"Down", ""},     {"OK", ""},       {"+100", ""},
        {"Left", ""},     {"", ""},         {"Chan +", ""},   {"Vol +", ""},    {"Function", ""}, {"", ""},
        {"Chan -", ""},   {"Vol -", ""},
    }},
    {{
        {"Button 0", ""}, {"Button 1", ""}, {"Button 2", ""}, {"Button 3", ""},  {"Button 4", ""}, {"Button 5", ""},
        {"Button 6", ""}, {"Button 7", ""}, {"Button 8", ""}, {"Button 9", ""},  {"Recall", ""},   {"CH UP", ""},
        {"VOL+", ""},     {"Stereo", ""},   {"STOP", ""},     {"PREV", ""},      {"ZOOM", ""},     {"Source", ""},
        {"Power", ""},    {"Mute", ""},     {"", ""},         {"CH DOWN", ""},   {"", ""},         {"", ""},
        {"VOL-", ""},     {"SNAPSHOT", ""}, {"NEXT", ""},     {"TIMESHIFT", ""}, {"FM Radio", ""}, {"REC", ""},
        {"PAUSE", ""},
    }},
    {{
        {"Button 0", ""},
        {"Button 1", ""},
        {"Button 2", ""},
        {"Button 3", ""},
        {"Button 4", ""},
        {"Button 5", ""},
        {"Button 6", ""},
        {"Button 7", ""},
        {"Button 8", ""},
        {"Button 9", ""},
        {"Recall", ""},
        {"Ch Up", ""},
        {"Vol +", ""},
        {"Info", ""},
        {"Teletext", ""},
        {"Record", ""},
        {"Full screen", ""},
        {"Mute", ""},
        {"Power", ""},
        {"Preview", ""},
        {"Aspect", ""},
        {"Ch Down", ""},
        {"OK", ""},
        {"Mode", ""},
        {"Vol -", ""},
        {"DVB", ""},
        {"Stop", ""},
        {"Play/Pause", ""},
        {"TV/FM", ""},
        {"Sleep", ""},
        {"Source", ""},
        {"Audio", ""},
        // 0x20..0x57 have no button
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {},
        {"Snapshot", ""},
        {},
        {},
        {},
        {"Freeze", ""},
    }},
};

extern const char CommandVocabulary[VOCABULARY_SIZE][COMMAND_SIZE];

// The family (table index) of a remote type: 2 -> 2, 1 -> 1, anything else -> 0.
int32_t ButtonTableForRemoteType(int32_t remoteType);

// Lowest index of table whose label equals label byte for byte; -1 if none.
int32_t FindButtonByLabel(const ButtonTable& table, const char* label);

// Vocabulary index of the command bound to button index of table: 0 for an
// index out of range or an unbound button, 1 for a word outside the vocabulary.
int32_t CommandIndexForButton(const ButtonTable& table, int32_t index);

// Stores text as the command of entry code, cut to 31 characters; codes
// outside the table are ignored.
void SetButtonCommand(ButtonTable& table, int code, const char* text);

// Every command of from copied into the same code's entry of to; the labels stay.
void CopyButtonCommands(ButtonTable& to, const ButtonTable& from);

// Empties every command of table.
void ClearButtonCommands(ButtonTable& table);

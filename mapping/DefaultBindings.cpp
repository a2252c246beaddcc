#include "mapping/DefaultBindings.h"

#include <stddef.h>

namespace {

struct FactoryBinding {
    int code;
    const char* command;
};

// Digits and Recall are bound the same way for every family.
const FactoryBinding kCommonSet[] = {
    {0, "0"}, {1, "1"}, {2, "2"}, {3, "3"}, {4, "4"}, {5, "5"}, {6, "6"}, {7, "7"}, {8, "8"}, {9, "9"}, {10, "RECALL"},
};

// Channel and volume keys of this family carry the direction commands.
const FactoryBinding kType2Set[] = {
    {11, "UP"},   {12, "RIGHT"}, {13, "MENU"},  {14, "TELETEXT"}, {15, "RECORD"}, {16, "FULLSCREEN"},
    {17, "MUTE"}, {18, "POWER"}, {21, "DOWN"},  {22, "OK"},       {24, "LEFT"},   {26, "STOP"},
    {27, "PLAY"}, {28, "RADIO"}, {29, "SLEEP"}, {30, "VIDEO"},    {31, "AUDIO"},
};

const FactoryBinding kType1Set[] = {
    {11, "CH_UP"},   {12, "VOL_UP"}, {14, "STOP"},  {15, "REW"},     {16, "FULLSCREEN"},
    {17, "TV"},      {18, "POWER"},  {19, "MUTE"},  {21, "CH_DOWN"}, {24, "VOL_DOWN"},
    {25, "CAPTURE"}, {26, "FWD"},    {28, "RADIO"}, {29, "RECORD"},  {30, "PAUSE"},
};

const FactoryBinding kOtherSet[] = {
    {11, "UP"},    {12, "RIGHT"},  {13, "MOUSEMODE"}, {14, "SLEEP"},   {15, "AUDIO"},    {16, "SCAN"},     {17, "TV"},
    {18, "POWER"}, {19, "MUTE"},   {20, "MENU"},      {21, "DOWN"},    {22, "OK"},       {23, "TELETEXT"}, {24, "LEFT"},
    {26, "CH_UP"}, {27, "VOL_UP"}, {28, "RADIO"},     {30, "CH_DOWN"}, {31, "VOL_DOWN"},
};

struct FactorySet {
    const FactoryBinding* bindings;
    size_t count;
};

template <size_t N>
constexpr FactorySet SetOf(const FactoryBinding (&set)[N])
{
    return {set, N};
}

// Indexed like the button tables, so the family rule stays in
// ButtonTableForRemoteType alone.
constexpr FactorySet kFamilySets[TABLE_COUNT] = {SetOf(kOtherSet), SetOf(kType1Set), SetOf(kType2Set)};

void Bind(ButtonTable& table, const FactorySet& set)
{
    for (size_t i = 0; i < set.count; ++i)
        SetButtonCommand(table, set.bindings[i].code, set.bindings[i].command);
}

}  // namespace

void ApplyFactoryBindings(ButtonTable& table, int32_t family)
{
    ClearButtonCommands(table);
    Bind(table, SetOf(kCommonSet));
    Bind(table, kFamilySets[ButtonTableForRemoteType(family)]);
}

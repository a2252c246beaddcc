// The button labels, the command vocabulary and the factory sets as the tests expect them, written out here rather than
// taken from the plug-in's data; shared by the native tests and the Windows ones.
#pragma once

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace expected {

typedef std::map<int, std::string> CodeTexts;  // code -> text; a code not listed has none

// Codes 0-9 and 10 (Recall) carry the same kind of text in every table and set.
inline CodeTexts WithDigitsAndRecall(CodeTexts texts, const std::string& digitPrefix, const std::string& recall)
{
    for (int code = 0; code < 10; ++code)
        texts[code] = digitPrefix + std::to_string(code);
    texts[10] = recall;
    return texts;
}

// Labels of tables 0, 1 and 2 beyond the digits and Recall.
inline const CodeTexts kOwnLabels0 = {{11, "Up"},    {12, "Right"},    {13, "Mode"},   {14, "Sleep"}, {15, "Audio"},
                                      {16, "Info"},  {17, "TV/AV"},    {18, "Power"},  {19, "Mute"},  {20, "Menu"},
                                      {21, "Down"},  {22, "OK"},       {23, "+100"},   {24, "Left"},  {26, "Chan +"},
                                      {27, "Vol +"}, {28, "Function"}, {30, "Chan -"}, {31, "Vol -"}};
inline const CodeTexts kOwnLabels1 = {
    {11, "CH UP"},  {12, "VOL+"},      {13, "Stereo"},   {14, "STOP"},    {15, "PREV"}, {16, "ZOOM"},
    {17, "Source"}, {18, "Power"},     {19, "Mute"},     {21, "CH DOWN"}, {24, "VOL-"}, {25, "SNAPSHOT"},
    {26, "NEXT"},   {27, "TIMESHIFT"}, {28, "FM Radio"}, {29, "REC"},     {30, "PAUSE"}};
inline const CodeTexts kOwnLabels2 = {
    {11, "Ch Up"}, {12, "Vol +"},  {13, "Info"},    {14, "Teletext"}, {15, "Record"},     {16, "Full screen"},
    {17, "Mute"},  {18, "Power"},  {19, "Preview"}, {20, "Aspect"},   {21, "Ch Down"},    {22, "OK"},
    {23, "Mode"},  {24, "Vol -"},  {25, "DVB"},     {26, "Stop"},     {27, "Play/Pause"}, {28, "TV/FM"},
    {29, "Sleep"}, {30, "Source"}, {31, "Audio"},   {88, "Snapshot"}, {92, "Freeze"}};
inline const CodeTexts kLabels[3] = {WithDigitsAndRecall(kOwnLabels0, "Button ", "Recall"),
                                     WithDigitsAndRecall(kOwnLabels1, "Button ", "Recall"),
                                     WithDigitsAndRecall(kOwnLabels2, "Button ", "Recall")};

// The non-empty labels of a table in code order, as the dialog's button list shows them.
inline std::vector<std::string> ListedLabels(int table)
{
    std::vector<std::string> labels;
    for (const auto& label : kLabels[table])
        labels.push_back(label.second);
    return labels;
}

// The vocabulary in list order: the two list entries, then the 59 words.
inline const std::vector<std::string> kVocabulary = [] {
    std::vector<std::string> words = {"< None >", "< Other >"};
    std::istringstream text(
        "0 1 2 3 4 5 6 7 8 9 POWER CH_UP CH_DOWN VOL_UP VOL_DOWN MUTE MENU RECALL UP DOWN LEFT RIGHT OK FULLSCREEN FWD "
        "REW PLAY PAUSE STOP RECORD CAPTURE SLEEP SCAN CANCEL VIDEO AUDIO TV RADIO TELETEXT CD DVD RED YELLOW GREEN "
        "BLUE WEB_LAUNCH MOUSEMODE LEFTMOUSE RIGHTMOUSE LEFTMOUSEDOUBLECLICK RIGHTMOUSEDOUBLECLICK DIRPADRIGHT "
        "DIRPADUP DIRPADLEFT DIRPADDOWN DIRPADRIGHTUP DIRPADRIGHTDOWN DIRPADLEFTUP DIRPADLEFTDOWN");
    for (std::string word; text >> word;)
        words.push_back(word);
    return words;
}();

// Factory sets beyond the digits and Recall: remotes of type 1, of type 2, and every other remote.
inline const CodeTexts kOwnType1Set = {{11, "CH_UP"},      {12, "VOL_UP"},   {14, "STOP"},    {15, "REW"},
                                       {16, "FULLSCREEN"}, {17, "TV"},       {18, "POWER"},   {19, "MUTE"},
                                       {21, "CH_DOWN"},    {24, "VOL_DOWN"}, {25, "CAPTURE"}, {26, "FWD"},
                                       {28, "RADIO"},      {29, "RECORD"},   {30, "PAUSE"}};
inline const CodeTexts kOwnType2Set = {
    {11, "UP"},   {12, "RIGHT"}, {13, "MENU"},  {14, "TELETEXT"}, {15, "RECORD"}, {16, "FULLSCREEN"},
    {17, "MUTE"}, {18, "POWER"}, {21, "DOWN"},  {22, "OK"},       {24, "LEFT"},   {26, "STOP"},
    {27, "PLAY"}, {28, "RADIO"}, {29, "SLEEP"}, {30, "VIDEO"},    {31, "AUDIO"}};
inline const CodeTexts kOwnOtherSet = {{11, "UP"},     {12, "RIGHT"}, {13, "MOUSEMODE"}, {14, "SLEEP"},   {15, "AUDIO"},
                                       {16, "SCAN"},   {17, "TV"},    {18, "POWER"},     {19, "MUTE"},    {20, "MENU"},
                                       {21, "DOWN"},   {22, "OK"},    {23, "TELETEXT"},  {24, "LEFT"},    {26, "CH_UP"},
                                       {27, "VOL_UP"}, {28, "RADIO"}, {30, "CH_DOWN"},   {31, "VOL_DOWN"}};
inline const CodeTexts kType1Set = WithDigitsAndRecall(kOwnType1Set, "", "RECALL");
inline const CodeTexts kType2Set = WithDigitsAndRecall(kOwnType2Set, "", "RECALL");
inline const CodeTexts kOtherSet = WithDigitsAndRecall(kOwnOtherSet, "", "RECALL");

}  // namespace expected

#include "tools/workbench/TimelineScript.h"

#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

// A decimal or 0x hex number. One past 64 bits reads as the largest value,
// which every range refuses, so it can never wrap into range.
bool ParseNumber(const std::string& word, unsigned long long& value)
{
    if (word.empty())
        return false;
    const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
    const unsigned base = hex ? 16 : 10;
    value = 0;
    bool overflow = false;
    for (size_t i = hex ? 2 : 0; i < word.size(); ++i) {
        const char c = word[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && isxdigit(static_cast<unsigned char>(c)))
            digit = static_cast<unsigned>(tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        else
            return false;
        overflow = overflow || value > (ULLONG_MAX - digit) / base;
        value = value * base + digit;
    }
    if (overflow)
        value = ULLONG_MAX;
    return true;
}

std::string LineError(size_t line, const std::string& why)
{
    return "line " + std::to_string(line) + ": " + why;
}

}  // namespace

TimelineParse ParseTimeline(const std::string& text)
{
    TimelineParse result;
    size_t lineNumber = 0;
    size_t position = 0;
    unsigned long long lastTime = 0;
    while (position <= text.size()) {
        size_t end = text.find('\n', position);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(position, end - position);
        position = end + 1;
        ++lineNumber;
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.resize(hash);

        std::vector<std::string> words;
        std::string word;
        for (char c : line + " ") {
            if (isspace(static_cast<unsigned char>(c))) {
                if (!word.empty())
                    words.push_back(word);
                word.clear();
            } else {
                word += c;
            }
        }
        if (words.empty())
            continue;
        if (words.size() != 2) {
            result.error = LineError(lineNumber, "expected \"TIME CODE\", got \"" + line + "\"");
            return result;
        }
        unsigned long long time = 0;
        if (!ParseNumber(words[0], time) || time > 0xFFFFFFFFull) {
            result.error = LineError(lineNumber, "bad time \"" + words[0] + "\" (milliseconds, 0-4294967295)");
            return result;
        }
        if (time < lastTime) {
            result.error = LineError(lineNumber, "time " + words[0] + " goes backwards (previous step at " +
                                                     std::to_string(lastTime) + ")");
            return result;
        }
        unsigned long long code = 0;
        std::string lower = words[1];
        for (char& c : lower)
            c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
        if (lower == "none") {
            code = 255;
        } else if (!ParseNumber(words[1], code)) {
            result.error = LineError(lineNumber, "unknown word \"" + words[1] + "\" (a code 0-255 or \"none\")");
            return result;
        } else if (code > 255) {
            result.error = LineError(lineNumber, "code " + words[1] + " is out of 0-255");
            return result;
        }
        if (result.steps.size() >= static_cast<size_t>(SIM_MAX_STEPS)) {
            result.error = LineError(lineNumber, "more than " + std::to_string(SIM_MAX_STEPS) + " steps");
            return result;
        }
        lastTime = time;
        result.steps.push_back({static_cast<uint32_t>(time), static_cast<uint32_t>(code)});
    }
    return result;
}

const char* DefaultTimelineText()
{
    return "# time(ms) code\n"
           "0     0x12   # tap Power\n"
           "120   none\n"
           "600   0x1B   # hold Vol + for one second\n"
           "1600  none\n"
           "2200  0x01   # digits 1 2 3\n"
           "2320  none\n"
           "2500  0x02\n"
           "2620  none\n"
           "2800  0x03\n"
           "2920  none\n"
           "3400  0x1A   # Chan + ...\n"
           "3700  0x1E   # ... straight to Chan -\n"
           "3820  none\n"
           "4400  none   # end\n";
}

TimelineParse LoadTimeline(const std::string& path)
{
    if (path.empty())
        return ParseTimeline(DefaultTimelineText());
    TimelineParse result;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        result.error = "cannot read " + path;
        return result;
    }
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        text.append(buffer, n);
    fclose(file);
    result = ParseTimeline(text);
    if (!result.error.empty())
        result.error = path + ": " + result.error;
    return result;
}

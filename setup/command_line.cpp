#include "setup/command_line.h"

#include "support/char_step.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char* Next(char* position) { return const_cast<char*>(NextChar(position)); }

// The character after an argument's last one: the separator or closing quote
// for a normal argument, the end of the text for the last one.
char* AfterLast(char* last) { return Next(last); }

}  // namespace

uint32_t NextToken(char* text, char** start, char** last, bool* quoted) {
    if (text == nullptr) return kNoMoreTokens;
    char* position = text;
    while (IsBlank(*position)) position = Next(position);
    if (*position == '\0') return kNoMoreTokens;

    const bool isQuoted = *position == '"';
    if (isQuoted) position = Next(position);
    char* const first = position;

    // At least one step, so that an argument is never empty unless the text
    // ends right after an opening quote.
    char* stop = Next(first);
    while (*stop != '\0') {
        if (isQuoted ? *stop == '"' : IsBlank(*stop)) break;
        stop = Next(stop);
    }
    if (start) *start = first;
    if (last) *last = const_cast<char*>(PreviousChar(text, stop));
    if (quoted) *quoted = isQuoted;
    return 0;
}

RunMode ParseRunMode(char* commandLine) {
    char* start = nullptr;
    char* last = nullptr;
    bool quoted = false;
    if (NextToken(commandLine, &start, &last, &quoted) != 0) return RunMode::Normal;
    const bool twoCharacters = last != start && Next(start) == last;
    if (quoted || !twoCharacters || (*start != '/' && *start != '-')) return RunMode::Usage;
    switch (*last) {
        case 'a':
        case 'A':
            return RunMode::Admin;
        case 'v':
        case 'V':
            return RunMode::Verify;
        default:
            return RunMode::Usage;
    }
}

uint32_t TakeSwitchArgument(char* commandLine, char** argument) {
    char* switchLast = nullptr;
    if (NextToken(commandLine, nullptr, &switchLast, nullptr) != 0) return kBadArguments;

    char* argumentStart = nullptr;
    char* argumentLast = nullptr;
    if (NextToken(AfterLast(switchLast), &argumentStart, &argumentLast, nullptr) != 0) {
        return kNoMoreTokens;
    }
    char* after = AfterLast(argumentLast);
    if (*after != '\0' && NextToken(Next(after), nullptr, nullptr, nullptr) == 0) {
        return kBadArguments;
    }
    *after = '\0';
    if (argument) *argument = argumentStart;
    return 0;
}

uint32_t ParseAdminTarget(bool isPatch, char* commandLine, char** target) {
    if (target) *target = nullptr;
    char* argument = nullptr;
    const uint32_t found = TakeSwitchArgument(commandLine, &argument);
    // Only a patch takes an argument: the administrative image it patches.
    if (!isPatch) return found == kNoMoreTokens ? 0 : kBadArguments;
    if (found != 0) return kBadArguments;
    if (target) *target = argument;
    return 0;
}

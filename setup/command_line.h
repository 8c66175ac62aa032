// The command-line grammar: tokens, the run mode and the administrative target.
#pragma once

#include <cstdint>

enum class RunMode : int { Normal = 0, Usage = 1, Verify = 2, Admin = 3 };

constexpr uint32_t kNoMoreTokens = 259;   // ERROR_NO_MORE_ITEMS
constexpr uint32_t kBadArguments = 160;   // ERROR_BAD_ARGUMENTS

// Finds the next argument in text. start receives its first character (after
// an opening quote), last its last character (before a closing quote), quoted
// whether it was quoted; each output may be null. Returns 0 or kNoMoreTokens.
uint32_t NextToken(char* text, char** start, char** last, bool* quoted);

RunMode ParseRunMode(char* commandLine);

// Finds the one argument that follows the switch and terminates it in place,
// over its closing quote or the separator after it. Returns 0 with argument
// set, kNoMoreTokens when the switch stands alone, or kBadArguments when there
// is no switch or a further argument follows.
uint32_t TakeSwitchArgument(char* commandLine, char** argument);

// For a patch the second argument is the administrative image to patch; it is
// terminated in place and returned in target. Other packages take no second
// argument and get a null target. Returns 0 or kBadArguments.
uint32_t ParseAdminTarget(bool isPatch, char* commandLine, char** target);

#pragma once
// The entry of the console program: the console streams, the command line, one file at a time.

#include <string>
#include <vector>

#include "console/run/run_options.h"

namespace dornick {

/// The usage text, written to standard error when no argument is given.
extern const char16_t* const kUsageText;

/// What a file argument is: a mail by its name (".eml" at its last dot), or anything else.
bool IsMailFileName(std::u16string_view argument);

/// Reads the arguments from left to right and processes every file argument when it is met.
void RunArguments(const std::vector<std::u16string>& arguments);

/// The program: start-up, then RunArguments; always 0.
int RunEntry(int argc, char** argv);

} // namespace dornick

#pragma once
// The processing of one mail file, from the output root to the end of the mail.

#include <string_view>

#include "console/run/run_options.h"

namespace dornick {

/// Sets up the output root, maps the mail, runs the walk over it and writes the mail's log text.
/// All outcomes are messages and files.
void ProcessMailFile(std::u16string_view argument, const RunOptions& options);

} // namespace dornick

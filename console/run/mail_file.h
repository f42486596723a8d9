#pragma once
// The processing of one mail file, from the output root to the end of the mail.

#include <string_view>

#include "console/run/run_options.h"

namespace dornick {

struct RunContext;

/// Failed when the mail could not be opened or mapped, its output root could not be made, one of
/// its output files or its log text could not be written (each after its message).
enum class MailResult { Done, Failed };

/// Sets up the output root, maps the mail, runs the walk over it and writes the mail's log text.
/// Relative paths are taken against the run's start folder. `shown_path`, when not empty,
/// names the mail in messages instead of its path (standard input is shown as "-").
[[nodiscard]] MailResult ProcessMailFile(RunContext& run, std::u16string_view argument,
                                         const RunOptions& options, std::u16string_view shown_path = {});

} // namespace dornick

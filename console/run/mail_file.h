#pragma once
// The processing of one mail file, from the output root to the end of the mail.

#include <string_view>

#include "console/run/run_options.h"

namespace dornick {

struct RunContext;
struct ArchiveMail;

/// How the mail lies in its file: the whole file, or the message of an ".emlx" file (after its
/// count line, before its property list). Either way a leading envelope line is passed over.
enum class MailFileForm { Whole, Emlx };

/// Failed when the mail could not be opened or mapped, its output root could not be made, one of
/// its output files or its log text could not be written (each after its message).
enum class MailResult { Done, Failed };

/// Sets up the output root, maps the mail, runs the walk over it and writes the mail's log text.
/// Relative paths are taken against the run's start folder. `shown_path`, when not empty,
/// names the mail in messages instead of its path (standard input is shown as "-").
[[nodiscard]] MailResult ProcessMailFile(RunContext& run, std::u16string_view argument,
                                         const RunOptions& options, std::u16string_view shown_path = {},
                                         MailFileForm form = MailFileForm::Whole);
/// The same for one message of an archive, held in memory and named by `mail.shown`; never in
/// date mode (an archive's times are left alone).
[[nodiscard]] MailResult ProcessArchiveMail(RunContext& run, const ArchiveMail& mail,
                                            const RunOptions& options);

} // namespace dornick

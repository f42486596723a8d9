#pragma once
// The per-mail log text and the shared log file "dornick.txt".

#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/format.h"

namespace dornick {

/// Units a log entry may hold once formatted (the log line buffer less its terminator).
constexpr size_t kLogLineLimit = 1023;
/// The log text starts with room for this many units and grows by the same step.
constexpr size_t kLogGrowthUnits = 2048;

/// One mail's log text, written to the log file when the mail ends.
struct LogBuffer {
    std::u16string text;
    size_t capacity = kLogGrowthUnits; ///< units, terminator included
};

/// Appends a text (a designed message in the channel's language), growing the capacity in steps of 2048 units
/// (as many steps as the text needs).
void LogAppend(LogBuffer& log, std::u16string_view text);
/// Formats one entry (cut at 1023 units, as the log line buffer holds) and appends it.
void LogAppendFormat(LogBuffer& log, std::u16string_view format,
                     std::initializer_list<platform::FormatArg> args);
/// Appends a mail's log text to "dornick.txt" in `folder` (UTF-16LE, FF FE first when the file is
/// empty). Nothing is written for an empty text. False, after the message on standard error, when
/// the file could not be opened (a link or anything but a regular file in its place counts as that)
/// or the text could not be written whole (then none of it stays in the file).
/// With `folder_fd`, the file is opened in that open folder (which `folder` names, for messages).
bool LogWriteFile(std::u16string_view text, std::u16string_view folder,
                  const platform::RetryPolicy& retry = platform::RetryPolicy{},
                  int folder_fd = platform::kCurrentFolder);

} // namespace dornick

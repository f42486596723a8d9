#pragma once
// The two console streams as the programs use them.
//
// On a terminal the text is written as UTF-8 with plain line feeds, and control characters other
// than tab and line feed (which may come from a mail) are shown as "?". On a pipe or a file it is
// written as UTF-16LE units without a byte-order mark, every line feed as CR LF: the form the front
// end reads. Standard output is buffered and flushed before anything goes to standard error, so the
// order of messages on a shared pipe is the order in which they were issued.

#include <string_view>

namespace platform {

enum class Stream { Out, Err };

/// Ignores SIGPIPE and SIGXFSZ (a closed pipe or a size limit becomes an error) and looks at both streams.
void InitConsole();
/// Writes a text to one stream (see above for the form).
void ConsoleWrite(Stream stream, std::u16string_view text);
/// Writes what is buffered for standard output.
void ConsoleFlush();
/// The encoded bytes of a text as they would reach a pipe or file (tests use it).
std::string EncodeForPipe(std::u16string_view text);

} // namespace platform

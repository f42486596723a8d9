#pragma once
// The two console streams as the programs use them.
//
// On a terminal the text is written as UTF-8 with plain line feeds, and control characters other
// than tab and line feed (which may come from a mail) are shown as "?". On a pipe or a file it is
// UTF-8 with plain line feeds as well, unless the environment holds
// DORNICK_OUTPUT_ENCODING=UTF-16LE: then it is written as UTF-16LE units without a byte-order
// mark, every line feed as CR LF, the form the front end reads. Before InitConsole the streams use
// that UTF-16LE form (the library's own tests capture it). Standard output is buffered and flushed
// before anything goes to standard error, so the order of messages on a shared pipe is the order
// in which they were issued.
//
// A terminal on standard error may also show one status line (the run's progress): it is erased
// before any other text reaches either terminal stream and drawn again by the next update.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

enum class Stream { Out, Err };

/// What a thread wrote to the console streams while a capture was bound to it, in order, to be
/// written later by another thread (a worker's mail, shown when its turn comes).
struct ConsoleCapture {
    std::vector<std::pair<Stream, std::u16string>> writes;
};

/// Binds `capture` to this thread while it lasts: ConsoleWrite keeps the text there instead of
/// writing it, and ConsoleFlush does nothing.
class ConsoleCaptureInUse {
  public:
    explicit ConsoleCaptureInUse(ConsoleCapture& capture);
    ~ConsoleCaptureInUse();
    ConsoleCaptureInUse(const ConsoleCaptureInUse&) = delete;
    ConsoleCaptureInUse& operator=(const ConsoleCaptureInUse&) = delete;

  private:
    ConsoleCapture* previous_;
};

/// Writes what a capture holds, as the thread that kept it would have.
void ReplayConsole(const ConsoleCapture& capture);

/// How text reaches a stream that is not a terminal.
enum class PipeEncoding { Utf8, Utf16Le };

/// Ignores SIGPIPE and SIGXFSZ (a closed pipe or a size limit becomes an error), looks at both
/// streams and reads DORNICK_OUTPUT_ENCODING.
void InitConsole();
/// The encoding DORNICK_OUTPUT_ENCODING asks for: UTF-16LE only for that exact value (any case).
PipeEncoding PipeEncodingFromEnvironment(const char* value);
/// Writes a text to one stream (see above for the form).
void ConsoleWrite(Stream stream, std::u16string_view text);
/// Writes what is buffered for both streams.
void ConsoleFlush();
/// The encoded bytes of a text as they would reach a pipe or file in the current form.
std::string EncodeForPipe(std::u16string_view text);
/// True when the stream is a terminal (known after InitConsole).
bool IsTerminal(Stream stream);
/// Draws the status line on a terminal standard error (nothing otherwise), cut to the terminal's width.
void ShowStatusLine(std::u16string_view text);
/// True while the status line is on the screen (no other text has erased it).
bool StatusLineShown();
/// Erases the status line, if one is shown.
void ClearStatusLine();

} // namespace platform

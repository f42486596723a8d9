#include "platform/console.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/text.h"

namespace platform {
namespace {

struct StreamState {
    int fd;
    bool terminal;
    std::string pending;
};

StreamState g_out{STDOUT_FILENO, false, {}};
StreamState g_err{STDERR_FILENO, false, {}};
PipeEncoding g_pipe_encoding = PipeEncoding::Utf16Le;
bool g_status_shown = false;
constexpr size_t kFlushThreshold = 64 * 1024;

void WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return; // a closed pipe or a full disk: the message is lost, the run goes on
        }
        done += static_cast<size_t>(n);
    }
}

void AppendUtf16(std::string& out, std::u16string_view text) {
    out.reserve(out.size() + text.size() * 2 + 16);
    for (char16_t unit : text) {
        if (unit == u'\n') {
            out.push_back('\r');
            out.push_back('\0');
        }
        out.push_back(static_cast<char>(unit & 0xFF));
        out.push_back(static_cast<char>(unit >> 8));
    }
}

void AppendForTerminal(std::string& out, std::u16string_view text) {
    std::u16string shown(text);
    for (char16_t& unit : shown)
        if ((unit < 0x20 && unit != u'\t' && unit != u'\n') || unit == 0x7F ||
            (unit >= 0x80 && unit < 0xA0) || (unit >= 0x202A && unit <= 0x202E) ||
            (unit >= 0x2066 && unit <= 0x2069))
            unit = u'?';
    out += U16ToUtf8(shown);
}

void AppendForPipe(std::string& out, std::u16string_view text) {
    if (g_pipe_encoding == PipeEncoding::Utf16Le)
        AppendUtf16(out, text);
    else
        out += U16ToUtf8(text);
}

void Flush(StreamState& s) {
    if (s.pending.empty()) return;
    WriteAll(s.fd, s.pending);
    s.pending.clear();
}

// "\r" and "erase to the end of the line" on standard error.
void EraseStatusLine() {
    if (!g_status_shown) return;
    g_status_shown = false;
    WriteAll(STDERR_FILENO, "\r\x1b[K");
}

size_t TerminalWidth() {
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

} // namespace

PipeEncoding PipeEncodingFromEnvironment(const char* value) {
    if (!value) return PipeEncoding::Utf8;
    std::string_view text(value);
    std::string_view wanted = "UTF-16LE";
    if (text.size() != wanted.size()) return PipeEncoding::Utf8;
    for (size_t i = 0; i < text.size(); ++i)
        if ((text[i] >= 'a' && text[i] <= 'z' ? text[i] - 32 : text[i]) != wanted[i])
            return PipeEncoding::Utf8;
    return PipeEncoding::Utf16Le;
}

void InitConsole() {
    // The C library's locale is not loaded: nothing here depends on it (text is converted through
    // ICU and formatted by our own helper, and the user's language is read from the environment
    // where messages and dates need it), and loading it from the per-category files costs a fifth
    // of a short run, which the front end pays once per mail.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    g_out.terminal = ::isatty(STDOUT_FILENO) == 1;
    g_err.terminal = ::isatty(STDERR_FILENO) == 1;
    g_pipe_encoding = PipeEncodingFromEnvironment(std::getenv("DORNICK_OUTPUT_ENCODING"));
    std::atexit(ConsoleFlush);
}

std::string EncodeForPipe(std::u16string_view text) {
    std::string out;
    AppendForPipe(out, text);
    return out;
}

bool IsTerminal(Stream stream) {
    return (stream == Stream::Out ? g_out : g_err).terminal;
}

namespace {
thread_local ConsoleCapture* t_capture = nullptr;
} // namespace

ConsoleCaptureInUse::ConsoleCaptureInUse(ConsoleCapture& capture) : previous_(t_capture) {
    t_capture = &capture;
}

ConsoleCaptureInUse::~ConsoleCaptureInUse() {
    t_capture = previous_;
}

void ReplayConsole(const ConsoleCapture& capture) {
    for (const auto& [stream, text] : capture.writes)
        ConsoleWrite(stream, text);
}

void ConsoleWrite(Stream stream, std::u16string_view text) {
    if (t_capture) {
        // Texts of one stream in a row are one write: the bytes and their order are the same.
        auto& writes = t_capture->writes;
        if (!writes.empty() && writes.back().first == stream)
            writes.back().second += text;
        else
            writes.emplace_back(stream, std::u16string(text));
        return;
    }
    StreamState& s = stream == Stream::Out ? g_out : g_err;
    if (stream == Stream::Err) Flush(g_out);
    if (s.terminal) {
        // The status line is erased before the text that takes its place on the screen.
        Flush(s);
        EraseStatusLine();
        AppendForTerminal(s.pending, text);
    } else {
        AppendForPipe(s.pending, text);
    }
    if (stream == Stream::Err || s.terminal || s.pending.size() >= kFlushThreshold) Flush(s);
}

void ConsoleFlush() {
    if (t_capture) return;
    Flush(g_out);
    Flush(g_err);
}

void ShowStatusLine(std::u16string_view text) {
    if (!g_err.terminal) return;
    Flush(g_out);
    Flush(g_err);
    std::string line;
    AppendForTerminal(line, text);
    // Cut to the width so that the line never wraps (a wrapped line could not be erased with "\r").
    size_t width = TerminalWidth() - 1, columns = 0, cut = 0;
    while (cut < line.size()) {
        unsigned char lead = static_cast<unsigned char>(line[cut]);
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        size_t cells = lead >= 0xE1 ? 2 : 1; // most characters from U+1000 up are wide in a terminal
        if (columns + cells > width) break;
        columns += cells;
        cut += length;
    }
    line.resize(cut);
    WriteAll(STDERR_FILENO, "\r" + line + "\x1b[K");
    g_status_shown = true;
}

bool StatusLineShown() {
    return g_status_shown;
}

void ClearStatusLine() {
    Flush(g_out);
    EraseStatusLine();
}

} // namespace platform

#include "platform/console.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>
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

void AppendForPipe(std::string& out, std::u16string_view text) {
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
        if ((unit < 0x20 && unit != u'\t' && unit != u'\n') || unit == 0x7F || (unit >= 0x80 && unit < 0xA0))
            unit = u'?';
    out += U16ToUtf8(shown);
}

void Flush(StreamState& s) {
    if (s.pending.empty()) return;
    WriteAll(s.fd, s.pending);
    s.pending.clear();
}

} // namespace

void InitConsole() {
    // The C library's locale is not loaded: nothing here depends on it (text is converted through
    // ICU and formatted by our own helper, and the user's language is read from LC_ALL, LC_TIME or
    // LANG where dates need it), and loading it from the per-category files costs a fifth of a
    // short run, which the front end pays once per mail.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    g_out.terminal = ::isatty(STDOUT_FILENO) == 1;
    g_err.terminal = ::isatty(STDERR_FILENO) == 1;
    std::atexit(ConsoleFlush);
}

std::string EncodeForPipe(std::u16string_view text) {
    std::string out;
    AppendForPipe(out, text);
    return out;
}

void ConsoleWrite(Stream stream, std::u16string_view text) {
    StreamState& s = stream == Stream::Out ? g_out : g_err;
    if (stream == Stream::Err) Flush(g_out);
    if (s.terminal)
        AppendForTerminal(s.pending, text);
    else
        AppendForPipe(s.pending, text);
    if (stream == Stream::Err || s.pending.size() >= kFlushThreshold) Flush(s);
}

void ConsoleFlush() {
    Flush(g_out);
    Flush(g_err);
}

} // namespace platform

// A stand-in for the console program, for the pipe and process tests. It reads the first line of its
// last argument (a "mail" file) and does what it says:
//   echo          prints every argument in brackets, one a line
//   big N         prints fake::BigText(N) in writes of 241 bytes, so reads end inside UTF-16 units
//   crash         prints a line, then dies of SIGABRT
//   silent        prints nothing
//   wait PATH     waits until PATH exists, then prints a line
//   report M F S  prints M progress lines of mails (in Japanese when DORNICK_MESSAGES is "ja"), each
//                 followed by F lines of written files, in pieces of a few bytes, then exits with S
//   anything else prints "processed <file>"
// In an mbox (a first line beginning with "From ") the directive is the second line.
// Output is UTF-16LE with CR LF, as the real program writes to a pipe.

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "fake_output.h"

namespace {

std::u16string Widen(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        char32_t code = c;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra) code = c & (0x3F >> extra);
        for (int k = 1; k <= extra && i + k < utf8.size(); ++k)
            code = (code << 6) | (utf8[i + k] & 0x3F);
        i += 1 + extra;
        if (code >= 0x10000) {
            code -= 0x10000;
            out += char16_t(0xD800 + (code >> 10));
            out += char16_t(0xDC00 + (code & 0x3FF));
        } else {
            out += char16_t(code);
        }
    }
    return out;
}

void WriteAll(const char* data, size_t size, size_t piece) {
    while (size > 0) {
        const size_t now = size < piece ? size : piece;
        const ssize_t written = write(1, data, now);
        if (written <= 0) return;
        data += written;
        size -= static_cast<size_t>(written);
    }
}

void Print(const std::u16string& text, size_t piece = 1 << 20) {
    std::string bytes;
    bytes.reserve(text.size() * 2);
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    WriteAll(bytes.data(), bytes.size(), piece);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 0;
    const std::string file = argv[argc - 1];
    std::ifstream in(file);
    std::string directive;
    std::getline(in, directive);
    if (directive.rfind("From ", 0) == 0) std::getline(in, directive);
    if (directive == "echo") {
        for (int i = 1; i < argc; ++i)
            Print(u"[" + Widen(argv[i]) + u"]\r\n");
    } else if (directive.rfind("big ", 0) == 0) {
        Print(fake::BigText(std::atoi(directive.c_str() + 4)), 241);
    } else if (directive == "crash") {
        Print(u"before crash\r\n");
        std::abort();
    } else if (directive.rfind("report ", 0) == 0) {
        int mails = 0, files = 0, status = 0;
        std::sscanf(directive.c_str() + 7, "%d %d %d", &mails, &files, &status);
        const char* language = std::getenv("DORNICK_MESSAGES");
        const bool japanese = language && std::string(language) == "ja";
        for (int i = 0; i < mails; ++i) {
            if (japanese)
                Print(u"\"" + Widen(file) + u"\" からファイルを抽出中です。<a@example.com/2020-01-02>\r\n",
                      7);
            else
                Print(u"Extracting files from \"" + Widen(file) + u"\". <a@example.com/2020-01-02>\r\n", 7);
            for (int f = 0; f < files; ++f)
                Print(u"\t-> \"file" + Widen(std::to_string(f)) + u".bin\"\r\n", 5);
        }
        return status;
    } else if (directive == "silent") {
    } else if (directive.rfind("wait ", 0) == 0) {
        const std::string release = directive.substr(5);
        // Gives up after a minute, so that a failed test leaves nothing behind.
        for (int i = 0; i < 12000 && access(release.c_str(), F_OK) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Print(u"released " + Widen(file) + u"\r\n");
    } else {
        Print(u"processed " + Widen(file) + u"\r\n");
    }
    return 0;
}

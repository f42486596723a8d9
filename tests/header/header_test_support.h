#pragma once
// A mail text read through a real LineCursor, positioned as the MIME walk leaves it when it hands a
// header line to the header readers.

#include <initializer_list>
#include <string>
#include <string_view>

#include "console/decode/line_cursor.h"
#include "console/header/header_reader.h"
#include "platform/text.h"

namespace dornick::testing_support {

/// The lines joined with CR LF, and a CR LF after the last one.
inline std::string MailLines(std::initializer_list<std::string_view> lines) {
    std::string mail;
    for (std::string_view line : lines) {
        mail.append(line);
        mail.append("\r\n");
    }
    return mail;
}

/// A mail mapped as bytes, its first line read into the walk's line buffer.
struct HeaderFixture {
    std::string mail;
    LineSource source;
    CharsetText charset;
    bool name_found = false; ///< the part's name came from a Content-ID
    bool japanese_mail = false;
    bool full_width = false;

    explicit HeaderFixture(std::string text) : mail(std::move(text)) {
        source.Start(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
        source.ReadNext();
    }
    HeaderReader Reader() { return {source, charset, japanese_mail, full_width, name_found}; }
    HeaderFixture(const HeaderFixture&) = delete;
    HeaderFixture& operator=(const HeaderFixture&) = delete;

    /// The walk's current line as bytes.
    std::string CurrentLine() const {
        std::string bytes;
        for (const char16_t* p = source.line; *p; ++p)
            bytes.push_back(static_cast<char>(*p & 0xFF));
        return bytes;
    }
    /// The line the walk would read next, as bytes ("<end>" when the data has ended).
    std::string NextLine() {
        char bytes[kLineCapacity];
        const int read =
            source.ReadOn([&](char16_t*, LineCursor& cursor) { return ReadLineA(bytes, cursor); });
        return read == 0 ? std::string("<end>") : std::string(bytes);
    }
};

/// UTF-16 text as UTF-8, for readable comparisons.
inline std::string Utf8(std::u16string_view text) {
    return platform::U16ToUtf8(text);
}

} // namespace dornick::testing_support

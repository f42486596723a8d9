#pragma once
// The one formatting helper: printf-style directives over UTF-16 text, as the messages are written.
//
// Directives: %s (UTF-16 text), %hs (byte text, each byte widened), %c (one UTF-16 unit),
// %d %u (32-bit), %I64u (64-bit unsigned), a zero-padded width such as %02d or %04d, and %%.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

struct FormatArg {
    enum class Kind { Text, Bytes, Signed, Unsigned, Unit } kind;
    std::u16string_view text;
    std::string_view bytes;
    int64_t number = 0;
    uint64_t unsigned_number = 0;

    FormatArg(std::u16string_view t) : kind(Kind::Text), text(t) {}
    FormatArg(const std::u16string& t) : kind(Kind::Text), text(t) {}
    FormatArg(const char16_t* t) : kind(Kind::Text), text(t) {}
    FormatArg(std::string_view b) : kind(Kind::Bytes), bytes(b) {}
    FormatArg(const char* b) : kind(Kind::Bytes), bytes(b) {}
    FormatArg(int v) : kind(Kind::Signed), number(v) {}
    FormatArg(long v) : kind(Kind::Signed), number(v) {}
    FormatArg(long long v) : kind(Kind::Signed), number(v) {}
    FormatArg(unsigned v) : kind(Kind::Unsigned), unsigned_number(v) {}
    FormatArg(unsigned long v) : kind(Kind::Unsigned), unsigned_number(v) {}
    FormatArg(unsigned long long v) : kind(Kind::Unsigned), unsigned_number(v) {}
    FormatArg(char16_t u) : kind(Kind::Unit), number(u) {}
};

/// Formats into a new text. Missing arguments format as nothing.
std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args);

/// Formats onto the end of `out`, keeping at most `limit` of the new units; returns how many were kept.
size_t FormatAppend(std::u16string& out, size_t limit, std::u16string_view format,
                    std::initializer_list<FormatArg> args);

} // namespace platform

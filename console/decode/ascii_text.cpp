#include "console/decode/ascii_text.h"

#include <unicode/uchar.h>

#include <cstring>
#include <type_traits>

namespace dornick {
namespace {

template <typename Char, typename Upper>
size_t FindFolded(std::basic_string_view<Char> text, std::basic_string_view<Char> needle, Upper upper) {
    if (needle.empty()) return 0;
    if (needle.size() > text.size()) return kNotFound;
    const Char first = upper(needle[0]);
    const size_t last_start = text.size() - needle.size();
    for (size_t i = 0; i <= last_start; ++i) {
        if (upper(text[i]) != first) continue;
        size_t k = 1;
        while (k < needle.size() && upper(text[i + k]) == upper(needle[k]))
            ++k;
        if (k == needle.size()) return i;
    }
    return kNotFound;
}

template <typename Char> std::basic_string_view<Char> TrimmedBlanks(std::basic_string_view<Char> text) {
    using Unit = std::make_unsigned_t<Char>;
    while (!text.empty() && IsBlank(static_cast<Unit>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(static_cast<Unit>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

char16_t UpperUnit(char16_t c) {
    return c < 0x80 ? AsciiUpper(c) : static_cast<char16_t>(u_toupper(c));
}

bool IsPrintableAsciiBytes(std::string_view bytes) {
    for (char c : bytes)
        if (!IsPrintableAsciiUnit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool IsPrintableAscii(const char* text) {
    return IsPrintableAsciiBytes(text);
}

bool IsPrintableAsciiW(std::u16string_view text) {
    for (char16_t c : text)
        if (!IsPrintableAsciiUnit(c)) return false;
    return true;
}

bool HasNoControlW(std::u16string_view text) {
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

size_t FindNoCase(std::u16string_view text, std::u16string_view needle) {
    return FindFolded(text, needle, UpperUnit);
}

size_t FindNoCaseA(std::string_view text, std::string_view needle) {
    return FindFolded(text, needle, AsciiUpperByte);
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpperUnit(a[i]) != UpperUnit(b[i])) return false;
    return true;
}

std::string NarrowUnits(std::u16string_view text) {
    std::string bytes(text.size(), '\0');
    for (size_t i = 0; i < text.size(); ++i)
        bytes[i] = static_cast<char>(text[i] & 0xFF);
    return bytes;
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    return TrimmedBlanks(text);
}

void TrimBlanks(char* text) {
    const std::string_view trimmed = TrimmedBlanks(std::string_view(text));
    std::memmove(text, trimmed.data(), trimmed.size());
    text[trimmed.size()] = 0;
}

} // namespace dornick

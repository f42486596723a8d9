#include "console/header/header_search.h"

#include <unicode/uchar.h>

namespace dornick {
namespace {

constexpr char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? c - 0x20 : c;
}

// Header lines are widened bytes, so nearly every unit is ASCII; only others need ICU's mapping.
inline char16_t UpperUnit(char16_t c) {
    return c < 0x80 ? AsciiUpper(c) : static_cast<char16_t>(u_toupper(c));
}

constexpr char UpperByte(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
}

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

template <typename Char, typename Find>
int ExtractFolded(std::basic_string_view<Char> text, std::basic_string<Char>& out,
                  std::basic_string_view<Char> open, std::basic_string_view<Char> close, Find find) {
    out.clear();
    const size_t at = find(text, open);
    if (at == kNotFound) return -1;
    // The closing delimiter is first looked for past the first open.size() units of the text, not
    // past the match; a close that stands only before the opening one lets the text run to the end.
    const size_t skip = std::min(open.size(), text.size());
    if (find(text.substr(skip), close) == kNotFound) return -1;
    const size_t begin = at + open.size();
    const size_t end = find(text.substr(begin), close);
    out.assign(text.substr(begin, end == kNotFound ? kNotFound : end));
    return 0;
}

} // namespace

size_t FindNoCase(std::u16string_view text, std::u16string_view needle) {
    return FindFolded(text, needle, UpperUnit);
}

size_t FindNoCaseA(std::string_view text, std::string_view needle) {
    return FindFolded(text, needle, UpperByte);
}

int ExtractBetween(std::u16string_view text, std::u16string& out, std::u16string_view open,
                   std::u16string_view close) {
    return ExtractFolded(text, out, open, close, FindNoCase);
}

int ExtractBetweenA(std::string_view text, std::string& out, std::string_view open, std::string_view close) {
    return ExtractFolded(text, out, open, close, FindNoCaseA);
}

bool IsPrintableAsciiW(std::u16string_view text) {
    for (char16_t c : text)
        if (c < 0x20 || c > 0x7E) return false;
    return true;
}

bool HasNoControlW(std::u16string_view text) {
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::string_view TrimBlanksA(std::string_view text) {
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace dornick

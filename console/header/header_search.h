#pragma once
// The searches all header matching uses: case-insensitive substring tests, text between two
// delimiters, and the two predicates that decide whether converted text is usable.

#include <cstddef>
#include <string>
#include <string_view>

namespace dornick {

/// Result of the find functions when the needle does not occur.
constexpr size_t kNotFound = std::u16string_view::npos;

/// Position of the first occurrence of `needle` in `text`, both upper-cased unit by unit, or kNotFound.
size_t FindNoCase(std::u16string_view text, std::u16string_view needle);
/// The same for bytes (ASCII letters upper-cased).
size_t FindNoCaseA(std::string_view text, std::string_view needle);

/// 0 and the text between the first `open` and the next `close` after it (to the end when `close`
/// occurs only before `open`); -1 and an empty output when `open` is missing or `close` does not occur
/// after the first open.size() units. Delimiters match case-insensitively.
int ExtractBetween(std::u16string_view text, std::u16string& out, std::u16string_view open,
                   std::u16string_view close);
/// ExtractBetween for bytes.
int ExtractBetweenA(std::string_view text, std::string& out, std::string_view open, std::string_view close);

/// True when every unit is in U+0020..U+007E (an empty text too).
bool IsPrintableAsciiW(std::u16string_view text);
/// True when no unit is below U+0020 or equal to U+007F.
bool HasNoControlW(std::u16string_view text);

/// True for a space or a tab.
constexpr bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}

/// The text without spaces and tabs at both ends.
std::u16string_view TrimBlanks(std::u16string_view text);
/// The bytes without spaces and tabs at both ends.
std::string_view TrimBlanksA(std::string_view text);

} // namespace dornick

#pragma once
// The character tests and case-insensitive searches that the decoders, the header readers and the
// run share: blanks, ASCII case, printable ASCII, decimal digits, and searches that fold case.

#include <cstddef>
#include <string>
#include <string_view>

namespace dornick {

/// Result of the find functions when the needle does not occur.
constexpr size_t kNotFound = std::u16string_view::npos;

/// True for a space or a tab (a byte is passed as its unsigned value).
constexpr bool IsBlank(char16_t c) {
    return c == u' ' || c == u'\t';
}
/// True for "0".."9".
constexpr bool IsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
/// True for U+0020..U+007E.
constexpr bool IsPrintableAsciiUnit(char16_t c) {
    return c >= 0x20 && c <= 0x7E;
}
/// "a".."z" upper-cased; every other unit unchanged.
constexpr char16_t AsciiUpper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 0x20) : c;
}
/// AsciiUpper for a byte.
constexpr char AsciiUpperByte(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
}
/// The unit upper-cased as ICU maps it; header lines are widened bytes, so nearly every unit is ASCII
/// and takes the quick path.
char16_t UpperUnit(char16_t c);

/// True when every byte is in 0x20..0x7E (an empty text too).
bool IsPrintableAsciiBytes(std::string_view bytes);
/// The same for a NUL-terminated byte string.
bool IsPrintableAscii(const char* text);
/// True when every unit is in U+0020..U+007E (an empty text too).
bool IsPrintableAsciiW(std::u16string_view text);
/// True when no unit is below U+0020 or equal to U+007F.
bool HasNoControlW(std::u16string_view text);

/// Position of the first occurrence of `needle` in `text`, both folded by UpperUnit, or kNotFound.
size_t FindNoCase(std::u16string_view text, std::u16string_view needle);
/// The same for bytes (ASCII letters upper-cased).
size_t FindNoCaseA(std::string_view text, std::string_view needle);
/// True when the texts have the same length and the same units once folded by UpperUnit.
bool EqualsNoCase(std::u16string_view a, std::u16string_view b);

/// The low byte of each unit: header lines hold widened bytes, and this gives the bytes back.
std::string NarrowUnits(std::u16string_view text);
/// The same into `bytes`, whose storage is kept.
void NarrowUnitsInto(std::u16string_view text, std::string& bytes);

/// The text without spaces and tabs at both ends.
std::u16string_view TrimBlanks(std::u16string_view text);
/// Removes leading, then trailing spaces and tabs of a NUL-terminated byte string in place.
void TrimBlanks(char* text);

} // namespace dornick

#pragma once
// UTF-16 text as the programs hold it, and its conversions to the UTF-8 that Linux speaks.

#include <string>
#include <string_view>

namespace platform {

/// UTF-8 bytes to UTF-16; invalid sequences become U+FFFD.
std::u16string Utf8ToU16(std::string_view utf8);
/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string U16ToUtf8(std::u16string_view text);

/// A path's bytes as text, losing nothing: valid UTF-8 is decoded, and each byte that is not part
/// of it (a Shift_JIS or Latin-1 name from an old archive) becomes the lone surrogate U+DC00 + byte
/// (U+DC80..U+DCFF). NativeFromPath gives the same bytes back.
std::u16string PathFromNative(std::string_view bytes);
std::string NativeFromPath(std::u16string_view path);
/// True for a unit that stands for one byte of a path that is not UTF-8.
constexpr bool IsEscapedByte(char16_t unit) {
    return unit >= 0xDC80 && unit <= 0xDCFF;
}
/// One unit per byte, zero-extended (0xE3 becomes U+00E3).
std::u16string WidenBytes(std::string_view bytes);
/// ASCII literal helper for tests and fixed texts.
inline std::u16string Ascii(std::string_view ascii) {
    return WidenBytes(ascii);
}

/// Case-insensitive (ASCII letters only) comparison of two equal-length ranges.
bool EqualsNoCaseAscii(std::u16string_view a, std::u16string_view b);
/// True when `text` begins with `lower_prefix` (lower-case ASCII), ASCII letters in any case; no
/// locale is asked, as header names are ASCII.
constexpr bool StartsNoCaseAscii(std::string_view text, std::string_view lower_prefix) {
    if (text.size() < lower_prefix.size()) return false;
    for (size_t i = 0; i < lower_prefix.size(); ++i) {
        const char c = text[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c) != lower_prefix[i]) return false;
    }
    return true;
}

} // namespace platform

#pragma once
// UTF-16 text as the programs hold it, and its conversions to the UTF-8 that Linux speaks.

#include <string>
#include <string_view>

namespace platform {

/// UTF-8 bytes to UTF-16; invalid sequences become U+FFFD.
std::u16string Utf8ToU16(std::string_view utf8);
/// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
std::string U16ToUtf8(std::u16string_view text);
/// One unit per byte, zero-extended (0xE3 becomes U+00E3).
std::u16string WidenBytes(std::string_view bytes);
/// ASCII literal helper for tests and fixed texts.
inline std::u16string Ascii(std::string_view ascii) {
    return WidenBytes(ascii);
}

/// Case-insensitive (ASCII letters only) comparison of two equal-length ranges.
bool EqualsNoCaseAscii(std::u16string_view a, std::u16string_view b);

} // namespace platform

#pragma once
// Bytes of a mail header to UTF-16: with the charset the mail names, with one that ICU's detector
// finds, and with the fallbacks that Japanese mail needs.

#include <cstddef>
#include <string>
#include <string_view>

namespace dornick {

/// Converts `input` (up to its first NUL, at most 8191 bytes) into `output` (cleared first; at most
/// 255 units) under `charset` (raw CharsetText, a name, or empty). `detect` nonzero: with no charset
/// go to the detector at once; 0: try UTF-8 and the ANSI code page first. 0 when the output is taken
/// as good, -1 after the ANSI code page fallback or a failure of ICU; the output is usable either way.
int ConvertToUnicode(std::string_view input, std::u16string& output, std::u16string_view charset, int detect,
                     bool japanese_mail);

/// The length of the bytes without their last character when they are UTF-8 whose last character
/// the sender cut in half: valid up to there, with at least one character of several bytes, and
/// ending in the first bytes of a valid sequence. 0 for any other bytes.
size_t Utf8CutShortLength(std::string_view bytes);

/// True when the bytes carry an escape sequence of ISO-2022-JP's kanji sets, or hold no ESC and only
/// printable ASCII and half-width katakana bytes (A1..DF).
bool LooksLikeJis(std::string_view bytes);

/// Rewrites ISO-2022-JP bytes in place as Shift_JIS (code page 932).
void JisToShiftJis(std::string& bytes);

} // namespace dornick

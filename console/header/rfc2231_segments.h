#pragma once
// RFC 2231 parameter values: segments numbered "*0", "*1" ... on the parameter's line and its
// continuation lines, in any order, percent-encoded, with a charset'language' prefix.

#include <string>
#include <string_view>

#include "console/decode/line_cursor.h"

namespace dornick {

/// The result of a name's decoding when memory ran out while its segments were joined.
constexpr int kNameOutOfMemory = -2;

/// Joins the segments that begin at the first "*" from `from` in `line` (bytes) and go on over the
/// continuation lines, in index order, percent-decoded, into `bytes`; the last prefix's charset goes
/// to `charset`. 0, -1 when the data ended, or kNameOutOfMemory.
int CollectRfc2231Segments(LineCursor& cursor, std::string_view line, size_t from, std::string& bytes,
                           std::u16string& charset);

/// "%" and two hexadecimal characters become one byte (a character that is not a digit counts 0);
/// a zero byte or a "%" cut short ends the text.
std::string PercentDecode(std::string_view text);

} // namespace dornick

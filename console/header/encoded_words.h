#pragma once
// RFC 2047 encoded words in a name parameter: their bytes are collected across the words and the
// continuation lines of the value and converted once, so that a character split between two words
// survives.

#include <string>
#include <string_view>

#include "console/decode/base64_text.h"
#include "console/decode/line_cursor.h"

namespace dornick {

/// Most bytes a name value collects (the buffers hold 8192 bytes with the terminator).
constexpr size_t kCollectedBytes = 8191;

/// Where the words stand: on the value's own line and its continuations, or on continuation lines
/// after a raw 8-bit value.
enum class EncodedWordForm { First, Continuation };

/// Appends `bytes` to `collected`, keeping at most kCollectedBytes.
void AppendCollected(std::string& collected, std::string_view bytes);

/// The bytes of a B word's text: padded with "=" to whole groups, nothing when it is not valid.
std::string DecodeBWord(std::string_view text);
/// The bytes of a Q word's text: "_" is a space, "=" and two digits one byte, a cut escape nothing.
std::string DecodeQWord(std::string_view text, QEscapeRule rule);

/// Collects the encoded words of `line` from `pos` and of the continuation lines that follow (read
/// from the cursor; the first line that is not one is stepped back over). 0, or -1 when the data
/// ended before the value did.
int CollectEncodedWords(LineCursor& cursor, std::u16string_view line, size_t pos, bool quoted,
                        EncodedWordForm form, std::string& collected);

} // namespace dornick

#pragma once
// Text between two delimiters, found case-insensitively, for the header readers. The searches and
// character tests themselves are the shared ones of ascii_text.h.

#include <string>
#include <string_view>

#include "console/decode/ascii_text.h"

namespace dornick {

/// 0 and the text between the first `open` and the next `close` after it (to the end when `close`
/// occurs only before `open`); -1 and an empty output when `open` is missing or `close` does not occur
/// after the first open.size() units. Delimiters match case-insensitively.
int ExtractBetween(std::u16string_view text, std::u16string& out, std::u16string_view open,
                   std::u16string_view close);
/// ExtractBetween for bytes.
int ExtractBetweenA(std::string_view text, std::string& out, std::string_view open, std::string_view close);

} // namespace dornick

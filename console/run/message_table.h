#pragma once
// Every message of the console program in its two languages, side by side: the Japanese text (the
// one the call sites pass) and its English text, with the same directives in the same order.

#include <cstddef>
#include <span>
#include <string_view>

namespace dornick {

struct MessageRow {
    std::u16string_view japanese;
    std::u16string_view english;
};

/// All rows, the usage text included.
std::span<const MessageRow> MessageTable();

/// The English text of a Japanese message, or an empty view when the table has no row for it.
std::u16string_view EnglishFor(std::u16string_view japanese);

} // namespace dornick

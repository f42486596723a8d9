#pragma once
// What the header readers are given while the walk reads one mail: the mail's lines and how names
// are converted. The readers return what they found; the walk keeps it.

#include <string>
#include <string_view>

#include "console/decode/line_source.h"

namespace dornick {

/// Capacity of a part's charset text in units, terminator included: at most 23 units are kept.
constexpr int kCharsetCapacity = 24;
/// Capacity of a file name in units, terminator included: at most 255 units are kept.
constexpr int kNameCapacity = 256;
/// Capacity of a boundary marker in units, terminator included: at most 1023 units are kept.
constexpr int kBoundaryCapacity = 1024;

/// The raw text after a "charset=" (at most 23 units); ConvertToUnicode cleans it.
using CharsetText = std::u16string;

struct HeaderReader {
    LineSource& source;            ///< the current HeaderLine (source.line) and the lines after it
    std::u16string_view charset;   ///< the part's CharsetText
    bool japanese_mail = false;    ///< JapaneseMailFlag: a Received: date in JST or +0900
    bool full_width_names = false; ///< "/CW": forbidden name characters become their full-width forms
    bool name_from_content_id =
        false; ///< the part's name came from a Content-ID: a decoded name replaces it outright
};

} // namespace dornick

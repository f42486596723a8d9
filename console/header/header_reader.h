#pragma once
// What the MIME walk shares with the header readers while it reads one mail: the cursor, the current
// line, the part's charset text and the flags that the readers set for the walk.

#include <string>

#include "console/decode/line_cursor.h"

namespace dornick {

/// Capacity of a part's charset text in units, terminator included: at most 23 units are kept.
constexpr int kCharsetCapacity = 24;
/// Capacity of a file name in units, terminator included: at most 255 units are kept.
constexpr int kNameCapacity = 256;
/// Capacity of a boundary marker in units, terminator included: at most 1023 units are kept.
constexpr int kBoundaryCapacity = 1024;

/// The raw text after a "charset=" (at most 23 units); ConvertToUnicode cleans it.
using CharsetText = std::u16string;

/// The walk's state that the header readers use; built once per mail over the walk's own fields.
struct HeaderReader {
    LineCursor& cursor;        ///< reading position in the mapped mail
    char16_t* line;            ///< the current HeaderLine (kLineCapacity units); reused for following lines
    CharsetText& charset;      ///< the part's CharsetText
    bool& line_pending;        ///< set when a field ended because the next header line was already read
    bool& name_found;          ///< a name from a Content-ID: the next decoded name replaces it outright
    const bool& japanese_mail; ///< JapaneseMailFlag: a Received: date in JST or +0900
    bool full_width_names;     ///< "/CW": forbidden name characters become their full-width forms
};

} // namespace dornick

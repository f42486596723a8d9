#pragma once
// Finding a yEnc block in a text body. The block is stored undecoded, from its "=ybegin" line
// through its "=yend" line, in a file named after the file it carries.

#include <string>

#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"

namespace dornick {

/// What YencDetect found: the bytes are in the mail's character set and unchecked.
struct YencBlock {
    std::string output_name; ///< "%s.yenc", or "%s.yenc#%03d" with the part number
    int part = 0;            ///< the number after "=ybegin part=", 0 without one
};

/// True when `line` begins a yEnc trailer line ("=yend size=").
bool IsYencTrailer(const char* line);

/// True when `line` (as read by ReadLineW) is a yEnc header line ("=ybegin " with " line=",
/// " size=" and " name=") and a trailer line follows before a line holding the boundary, another
/// "=ybegin " line or the end of the data. The name is the text after the first " name=" without
/// leading and trailing blanks. Fills `block` on success and empties it otherwise; the cursor is
/// put back in both cases. Names are not cut here: the caller's name code shortens a long one by
/// whole characters.
[[nodiscard]] bool YencDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                              YencBlock& block);

} // namespace dornick

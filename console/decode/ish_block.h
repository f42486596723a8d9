#pragma once
// Finding an ish block (one volume) in a text body. The block is stored undecoded: the detector
// gives the name of the file to store it in and the marker that ends it.

#include <string>

#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"

namespace dornick {

/// What IshDetect found: the bytes are in the mail's character set and unchecked.
struct IshBlock {
    std::string end_marker;  ///< "%s (%d/%d)": name, line count, line count; its line ends the block
    std::string output_name; ///< "%s.ish", or "%s.ish#%03d" with the volume number
    int volume = 0;          ///< the number after "< Part ", 0 without one
    int line_count = 0;      ///< from the header, or from the volume line when it has one
};

/// True for a line that holds all six texts of an ish header line.
bool IsIshHeaderLine(const char* line);

/// True when `line` (as read by ReadLineW) is an ish header line and the block is complete: a line
/// that holds the end marker comes before a line holding the boundary, the next block's header or
/// the end of the data. The name runs from the header's fifth character up to " for ". Fills
/// `block` on success and empties it otherwise; the cursor is put back in both cases. Names are not
/// cut here: the caller's name code shortens a long one by whole characters.
[[nodiscard]] bool IshDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                             IshBlock& block);

} // namespace dornick

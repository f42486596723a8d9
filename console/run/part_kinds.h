#pragma once
// The kinds of part the walk writes, one row each: how a kind is met in a text body, how its data
// is decoded and where its file name comes from. A new kind is a decoder and a row here.

#include <string>
#include <string_view>

#include "console/decode/part_decoder.h"
#include "console/run/mail_state.h"

namespace dornick {

/// Where a part of a kind takes its name when its header gave none.
enum class NameSource {
    PartHeader,  ///< nowhere else: an unnamed part is not written
    BeginLine,   ///< the "begin" line of its block
    BlockHeader, ///< the header inside its block, read when the block is decoded
};

/// An encoded block found at a line of a text body, with the name its marker line carries (bytes
/// in the mail's charset; empty when the block names itself).
struct InBodyBlock {
    EncodingMode mode = EncodingMode::Unknown;
    std::string name;
    std::string ish_end_marker;
};

/// Whether a block starts at `line`, filling `block` when it does; the cursor is put back.
using InBodyDetector = bool (*)(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                                InBodyBlock& block);

struct PartKind {
    EncodingMode mode;
    /// Finds the kind's blocks in a text body; null when it has no such form. The rows' order is
    /// the order the detectors are tried in.
    InBodyDetector detect;
    /// Decodes a part's data; null for BinHex, whose whole block is decoded before its file is named.
    PartDecoder decode;
    NameSource unnamed_part;
    std::u16string_view content_type; ///< a type that asks for this kind when no encoding does
    bool keeps_line_ends;             ///< the data is copied line by line with each line's own end
    bool marker_is_data;              ///< an in-body block's marker line is its first data line
};

/// The row of `mode`; an unknown mode has the plain copy's row.
const PartKind& KindOf(EncodingMode mode);

/// The block that begins at `line`, trying the kinds in their order; mode Unknown when none.
InBodyBlock FindInBodyBlock(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary);

/// The kind a content type asks for by itself, or Unknown.
EncodingMode ModeOfContentType(std::u16string_view content_type);

} // namespace dornick

#pragma once
// The undecoded copy of a yEnc or ish block: every line unchanged with the line end it had in the
// file, up to the block's last line.

#include <string_view>

#include "console/decode/byte_sink.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoding.h"

namespace dornick {

/// How the last line of a block is known.
struct BlockLastLine {
    enum class Test { BeginsWith, Holds } test = Test::BeginsWith;
    std::string_view text;
};

/// The last line of a yEnc block begins with "=yend size=".
inline BlockLastLine YencLastLine() {
    return {BlockLastLine::Test::BeginsWith, "=yend size="};
}
/// The last line of an ish block holds its end marker (IshBlock::end_marker; it must outlive the copy).
inline BlockLastLine IshLastLine(std::string_view end_marker) {
    return {BlockLastLine::Test::Holds, end_marker};
}

/// Copies from the start of the line just read (the block's header line, read by ReadLineW into
/// `line`) through the block's last line:
/// - BlockEnd: the last line was written with its line end, or without one when the next line
///   holds the boundary (that line end belongs to the boundary) or when the file ends without one;
///   `line` holds the last line and the cursor stands after it (null at the end of the data).
/// - Boundary: a line held the boundary first; the line before it got no line end; that line is
///   in `line` and the cursor stands after it.
/// - EndOfData: the data ran out first; the last line kept the line end the file ends with.
/// - SinkFailed: the sink refused bytes (its result is in `sink_result`).
/// A line that held NUL bytes is written without them, and `notice` is given once.
DataEnd CopyUndecodedBlock(char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                           const BlockLastLine& last_line, ByteSink& sink, SinkResult& sink_result,
                           const RepairNoticeFn& notice = {});

} // namespace dornick

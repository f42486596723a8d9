#pragma once
// The plain copy of a part's data: every line unchanged with the line end it had in the file, the
// line before the boundary without one.

#include "console/decode/byte_sink.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoding.h"

namespace dornick {

/// Copies from the start of the line just read (the part's first data line) until a line holds
/// the boundary or the data ends. At a boundary, that line is read into `line` (kLineCapacity
/// units) and the cursor stands after it.
DataEnd CopyPlainLines(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                       SinkResult& sink_result);

} // namespace dornick

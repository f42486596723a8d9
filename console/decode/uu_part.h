#pragma once
// The uuencode and xxencode decoders of one part (a whole MIME part, or a block found in a text
// body), fed the part's lines through the line cursor.

#include <cstdint>

#include "console/decode/byte_sink.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoding.h"
#include "console/decode/uu_block.h"

namespace dornick {

/// State of the uuencoded or xxencoded data of one part. Each line's bytes go to the sink as one
/// piece; lines that cannot be data (empty, not printable, a "begin" header) are passed over.
struct UuPartDecoder {
    UuCode code = UuCode::Uuencode; ///< the code of the part (mode 4 or 5); set before Run
    bool damaged = false;           ///< a line held NUL bytes
    bool repaired = false;          ///< the repair notice was given for the current output file
    uint64_t decoded_total = 0;     ///< bytes handed to the sink
    SinkResult sink_result = SinkResult::Ok;
    /// The line before was a "begin" header line (or the data has only begun): a line that begins
    /// with a space and holds more than a zero-length line continues that header instead of
    /// ending the data. Some mail programs fold a long encoded-word name on the "begin" line.
    bool after_header = true;

    /// Clears everything but the code for a new part and a new output file.
    void Reset();

    /// Decodes from the part's first data line, already read by ReadLineW into `line` (1024 units),
    /// until the data ends: BlockEnd at the line that ends the block's data (the zero-length line,
    /// "end", or a line beginning with a space), Boundary at a line that holds the boundary,
    /// EndOfData when the lines run out, SinkFailed when the sink refused bytes. `line` then holds
    /// the line that ended the data (empty at the end of the data); the cursor stands after it.
    DataEnd Run(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                const RepairNoticeFn& notice = {});
};

} // namespace dornick

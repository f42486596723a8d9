#pragma once
// The base64 decoder of one MIME part (also a gzip64 part or a "begin-base64" block), fed the
// part's lines through the line cursor.

#include <cstddef>
#include <cstdint>

#include "console/decode/base64_text.h"
#include "console/decode/byte_sink.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoding.h"

namespace dornick {

/// The decoded bytes of clean lines are gathered up to this many before they go to the sink.
constexpr size_t kBase64BatchBytes = 16384;

/// State of the base64 data of one part. Base64 is decoded tolerantly: stray bytes are removed,
/// groups split across lines are rejoined through the carry, lines that cannot be base64 are
/// skipped, and damage is reported once per output file through the repair notice.
struct Base64PartDecoder {
    char carry[4] = {};              ///< up to 3 characters left over from the previous line
    bool first_line_checked = false; ///< the look-ahead of the part's first line was done
    bool damaged = false;            ///< a line held NUL bytes
    bool repaired = false;           ///< the repair notice was given for the current output file
    uint64_t decoded_total = 0;      ///< bytes handed to the sink
    SinkResult sink_result = SinkResult::Ok;
    bool failed_on_remainder = false; ///< the sink refused the padded remainder at the end
    bool use_fast_path = true;        ///< clean lines are decoded straight from the mapping

    /// Clears everything for a new part and a new output file.
    void Reset();

    /// Decodes from the part's first data line, already read by ReadLineW into `line` (1024 units),
    /// until the data ends; `line` then holds the line that ended it (empty at the end of the data).
    DataEnd Run(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                const RepairNoticeFn& notice);

  private:
    enum class LineOutcome { Next, Boundary, PadLine, SinkFailed };
    enum class FastOutcome { Done, NotClean, SinkFailed };

    void Notice(const RepairNoticeFn& notice);
    LineOutcome DecodeLine(const char16_t* line, char* bytes, LineCursor& cursor,
                           const PartBoundary& boundary, ByteSink& sink, const RepairNoticeFn& notice);
    void LookAheadOfFirstLine(char* bytes, LineCursor& cursor, const PartBoundary& boundary);
    /// Decodes one clean line into `out` (kLineOutBytes + 4 bytes of room) and adds its bytes to
    /// `count`; nothing changes when the line is not clean. `shape` is set when the line holds
    /// whole groups, had no carry before it and has a line after it.
    FastOutcome DecodeCleanLine(LineCursor& cursor, uint8_t* out, size_t& count, Base64LineShape& shape);
    bool Emit(const uint8_t* data, int count, ByteSink& sink);
    bool FlushCarry(ByteSink& sink, const RepairNoticeFn& notice);
};

} // namespace dornick

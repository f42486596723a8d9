#pragma once
// The quoted-printable decoder of one MIME part, fed the part's lines through the line cursor.

#include <cstddef>
#include <cstdint>

#include "console/decode/byte_sink.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoding.h"

namespace dornick {

/// The decoded bytes of usual lines are gathered up to this many before they go to the sink.
constexpr size_t kQpBatchBytes = 16384;
/// Lines that hold "=" are counted up to this many; fewer means the part was never escaped.
constexpr int kQpEscapeLinesCounted = 2;
/// A part needs at least this much output before it may be taken for mislabelled base64.
constexpr uint64_t kQpRedecodeMinimumBytes = 1024;

/// State of the quoted-printable data of one part. Lines end at CR LF or a lone LF (a lone CR is
/// data), and a hard line break is written as the line end the line had; a line longer than the
/// reader's buffer arrives in pieces, and an escape cut by a piece boundary is read again with the
/// next piece.
struct QpPartDecoder {
    int escape_lines = 0;       ///< lines that held "=", counted up to kQpEscapeLinesCounted
    bool damaged = false;       ///< a line held NUL bytes
    bool repaired = false;      ///< the repair notice was given for the current output file
    uint64_t decoded_total = 0; ///< bytes handed to the sink
    SinkResult sink_result = SinkResult::Ok;
    bool use_fast_path = true; ///< ordinary lines are decoded straight from the mapping

    /// Clears everything for a new part.
    void Reset();

    /// Decodes from the part's first data line, already read by ReadLineW into `line` (1024 units),
    /// until the data ends (a line holding the boundary, or the end of the data). A first line that
    /// holds the boundary ends an empty part at once. `line` then holds the line that ended it.
    /// A line that held NUL bytes (they are dropped) leads to the repair notice.
    DataEnd Run(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                const RepairNoticeFn& notice = {});

    /// True when the finished part looks like base64 sent as quoted-printable and is to be decoded
    /// again as base64: enough output, and fewer than two lines held "=".
    bool WantsBase64Redecode() const;

  private:
    enum class FastOutcome { Done, NotOrdinary, SinkFailed };

    FastOutcome DecodeOrdinaryLines(LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink);
    bool Emit(const uint8_t* data, size_t count, ByteSink& sink);
};

/// Bytes past the decoded ones that QpDecodeSpan may write.
constexpr size_t kQpSpanSlack = 16;

/// Decodes `size` bytes of quoted-printable body text without a NUL (QpDecode with the header flag
/// off, over a counted span) into `out`, which needs room for size + kQpSpanSlack bytes.
size_t QpDecodeSpan(const unsigned char* text, size_t size, uint8_t* out);

} // namespace dornick

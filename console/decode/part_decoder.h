#pragma once
// The one entry shape of every decoder that turns a part's lines into bytes: the walk picks the
// decoder once per part and hands it the part's lines through this.

#include <string_view>

#include "console/decode/byte_sink.h"
#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoding.h"

namespace dornick {

/// What a decoder is given: the part's first data line (already read into `line`, kLineCapacity
/// units) and the reading position after it. On return `line` holds the line that ended the data
/// and the cursor stands after it.
struct DecodeInput {
    char16_t* line;
    LineCursor& cursor;
    const PartBoundary& boundary;
    ByteSink& sink;
    const RepairNoticeFn& notice;
    std::string_view end_marker; ///< the line that ends an ish block; empty for the others
};

/// How a decoder ended.
struct DecodeOutput {
    DataEnd end = DataEnd::EndOfData;
    SinkResult sink_result = SinkResult::Ok; ///< why the sink refused, with DataEnd::SinkFailed
    bool wants_base64_redecode = false;      ///< quoted-printable that turned out to be base64
};

using PartDecoder = DecodeOutput (*)(const DecodeInput& input);

DecodeOutput DecodeBase64Part(const DecodeInput& input);
DecodeOutput DecodeQuotedPrintablePart(const DecodeInput& input);
DecodeOutput DecodeUuencodePart(const DecodeInput& input);
DecodeOutput DecodeXxencodePart(const DecodeInput& input);
DecodeOutput CopyPlainPart(const DecodeInput& input);
DecodeOutput CopyIshPart(const DecodeInput& input);
DecodeOutput CopyYencPart(const DecodeInput& input);

} // namespace dornick

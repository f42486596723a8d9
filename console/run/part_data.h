#pragma once
// Decoding one part's data by its mode, from the first data line to the line that ends it.

#include "console/decode/binhex_decode.h"
#include "console/decode/byte_sink.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoding.h"
#include "console/run/mail_state.h"

namespace dornick {

/// How the data of one part ended.
struct PartData {
    DataEnd end = DataEnd::EndOfData;
    SinkResult sink_result = SinkResult::Ok; ///< why the sink refused, with DataEnd::SinkFailed
    bool wants_base64_redecode = false;      ///< quoted-printable that turned out to be base64
};

/// The boundaries that end the current part's data. Base64 and quoted-printable data also ends
/// at a boundary of any other multipart the walk knows, so that a part whose own boundary was
/// never learnt cannot run on into the parts after it; the plain copy ends only at its own.
PartBoundary BoundariesOfPart(const MailState& mail);

/// Decodes from the first data line (in mail.line) into `sink`; the cursor and mail.line are
/// left at the line that ended the data. BinHex is decoded by DecodeBinHexBlock.
PartData DecodePartData(MailState& mail, ByteSink& sink, const RepairNoticeFn& notice);

/// What the search for and the decoding of a BinHex part's block gave.
struct BinHexPart {
    bool found = false;               ///< a ":" line was found and decoded (see status)
    DataEnd end = DataEnd::EndOfData; ///< without a block: how the part's data ended
    BinHexStatus status = BinHexStatus::Ok;
    BinHexFile file;
};

/// From the first data line (in mail.line): finds the ":" line that opens the encoded text and
/// decodes the block. One block is decoded per part; the part's data ends after it.
BinHexPart DecodeBinHexBlock(MailState& mail);

/// The data fork of a decoded block as one piece.
[[nodiscard]] SinkResult WriteDataFork(const BinHexFile& file, ByteSink& sink);

} // namespace dornick

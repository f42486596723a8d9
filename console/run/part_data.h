#pragma once
// Decoding one part's data by its kind, from the first data line to the line that ends it.

#include "console/decode/binhex_decode.h"
#include "console/decode/byte_sink.h"
#include "console/decode/part_boundary.h"
#include "console/decode/part_decoder.h"
#include "console/run/mail_state.h"
#include "console/run/part_kinds.h"

namespace dornick {

/// The boundaries that end the current part's data. Base64 and quoted-printable data also ends
/// at a boundary of any other multipart the walk knows, so that a part whose own boundary was
/// never learnt cannot run on into the parts after it; the plain copy ends only at its own.
PartBoundary BoundariesOfPart(const MultipartSlots& multipart);

/// Decodes from the first data line (in the source's line) into `sink` with the kind's decoder;
/// the source is left at the line that ended the data. BinHex is decoded by DecodeBinHexBlock.
DecodeOutput DecodePart(const PartKind& kind, LineSource& source, const MultipartSlots& multipart,
                        const PartFields& part, ByteSink& sink, const RepairNoticeFn& notice);

/// What the search for and the decoding of a BinHex part's block gave.
struct BinHexPart {
    bool found = false;               ///< a ":" line was found and decoded (see status)
    DataEnd end = DataEnd::EndOfData; ///< without a block: how the part's data ended
    BinHexStatus status = BinHexStatus::Ok;
    BinHexFile file;
};

/// From the first data line (in the source's line): finds the ":" line that opens the encoded text
/// and decodes the block. One block is decoded per part; the part's data ends after it.
BinHexPart DecodeBinHexBlock(LineSource& source, const MultipartSlots& multipart);

/// The data fork of a decoded block as one piece.
[[nodiscard]] SinkResult WriteDataFork(const BinHexFile& file, ByteSink& sink);

} // namespace dornick

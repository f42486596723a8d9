#include "console/run/part_data.h"

#include "console/decode/binhex_block.h"

namespace dornick {

PartBoundary BoundariesOfPart(const MultipartSlots& multipart) {
    PartBoundary boundary(multipart.Boundary(multipart.current_boundary));
    for (BoundarySlot slot : kSlotOrder)
        if (slot != multipart.current_boundary) boundary.Add(multipart.Boundary(slot));
    return boundary;
}

DecodeOutput DecodePart(const PartKind& kind, LineSource& source, const MultipartSlots& multipart,
                        const PartFields& part, ByteSink& sink, const RepairNoticeFn& notice) {
    const PartBoundary boundary = BoundariesOfPart(multipart);
    return kind.decode({source.line, source.cursor, boundary, sink, notice, part.ish_end_marker});
}

BinHexPart DecodeBinHexBlock(LineSource& source, const MultipartSlots& multipart) {
    BinHexPart part;
    switch (FindBinHexStart(source.line, source.cursor, BoundariesOfPart(multipart))) {
    case BinHexStart::Block:
        part.found = true;
        part.status = BinHexDecode(source.cursor, part.file);
        return part;
    case BinHexStart::Boundary:
        part.end = DataEnd::Boundary;
        return part;
    case BinHexStart::EndOfData:
        break;
    }
    return part;
}

SinkResult WriteDataFork(const BinHexFile& file, ByteSink& sink) {
    // The header's length is not trusted: only the bytes that were expanded are written.
    return sink.Append(file.expanded.data() + file.data_offset, file.data_length);
}

} // namespace dornick

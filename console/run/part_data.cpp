#include "console/run/part_data.h"

#include "console/decode/binhex_block.h"

namespace dornick {

PartBoundary BoundariesOfPart(const MultipartSlots& multipart) {
    const bool slot_is_current = multipart.current_unslotted < 0;
    PartBoundary boundary(multipart.CurrentBoundary());
    for (BoundarySlot slot : kSlotOrder)
        if (!slot_is_current || slot != multipart.current_boundary) boundary.Add(multipart.Boundary(slot));
    for (size_t i = 0; i < multipart.unslotted.size(); ++i)
        if (static_cast<int>(i) != multipart.current_unslotted) boundary.Add(multipart.unslotted[i]);
    return boundary;
}

DecodeOutput DecodePart(const PartKind& kind, LineSource& source, const MultipartSlots& multipart,
                        const PartFields& part, ByteSink& sink, const RepairNoticeFn& notice) {
    const PartBoundary boundary = BoundariesOfPart(multipart);
    return source.ReadOn([&](char16_t* line, LineCursor& cursor) {
        return kind.decode({line, cursor, boundary, sink, notice, part.ish_end_marker});
    });
}

BinHexPart DecodeBinHexBlock(LineSource& source, const MultipartSlots& multipart) {
    BinHexPart part;
    source.ReadOn([&](char16_t* line, LineCursor& cursor) {
        switch (FindBinHexStart(line, cursor, BoundariesOfPart(multipart))) {
        case BinHexStart::Block:
            part.found = true;
            part.status = BinHexDecode(cursor, part.file);
            break;
        case BinHexStart::Boundary:
            part.end = DataEnd::Boundary;
            break;
        case BinHexStart::EndOfData:
            break;
        }
    });
    return part;
}

SinkResult WriteDataFork(const BinHexFile& file, ByteSink& sink) {
    // The header's length is not trusted: only the bytes that were expanded are written.
    return sink.Append(file.expanded.data() + file.data_offset, file.data_length);
}

} // namespace dornick

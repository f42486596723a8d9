#include "console/run/part_data.h"

#include "console/decode/base64_part.h"
#include "console/decode/binhex_block.h"
#include "console/decode/line_copy.h"
#include "console/decode/qp_part.h"
#include "console/decode/uu_part.h"
#include "console/decode/yenc_copy.h"

namespace dornick {

PartBoundary BoundariesOfPart(const MailState& mail) {
    PartBoundary boundary(mail.Boundary(mail.current_boundary));
    for (BoundarySlot slot : kSlotOrder)
        if (slot != mail.current_boundary) boundary.Add(mail.Boundary(slot));
    return boundary;
}

PartData DecodePartData(MailState& mail, ByteSink& sink, const RepairNoticeFn& notice) {
    const PartBoundary boundary = BoundariesOfPart(mail);
    PartData data;
    switch (mail.mode) {
    case EncodingMode::Base64: {
        Base64PartDecoder decoder;
        data.end = decoder.Run(mail.line, mail.cursor, boundary, sink, notice);
        data.sink_result = decoder.sink_result;
        break;
    }
    case EncodingMode::QuotedPrintable: {
        QpPartDecoder decoder;
        data.end = decoder.Run(mail.line, mail.cursor, boundary, sink);
        data.sink_result = decoder.sink_result;
        data.wants_base64_redecode = data.end != DataEnd::SinkFailed && decoder.WantsBase64Redecode();
        break;
    }
    case EncodingMode::Uuencode:
    case EncodingMode::Xxencode: {
        UuPartDecoder decoder;
        decoder.code = mail.mode == EncodingMode::Uuencode ? UuCode::Uuencode : UuCode::Xxencode;
        data.end = decoder.Run(mail.line, mail.cursor, boundary, sink, notice);
        data.sink_result = decoder.sink_result;
        break;
    }
    case EncodingMode::Ish:
    case EncodingMode::Yenc: {
        const BlockLastLine last =
            mail.mode == EncodingMode::Ish ? IshLastLine(mail.ish_end_marker) : YencLastLine();
        data.end = CopyUndecodedBlock(mail.line, mail.cursor, boundary, last, sink, data.sink_result, notice);
        break;
    }
    default:
        data.end = CopyPlainLines(mail.line, mail.cursor, boundary, sink, data.sink_result);
        break;
    }
    return data;
}

BinHexPart DecodeBinHexBlock(MailState& mail) {
    BinHexPart part;
    switch (FindBinHexStart(mail.line, mail.cursor, BoundariesOfPart(mail))) {
    case BinHexStart::Block:
        part.found = true;
        part.status = BinHexDecode(mail.cursor, part.file);
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

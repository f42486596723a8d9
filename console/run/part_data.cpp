#include "console/run/part_data.h"

#include "console/decode/base64_part.h"
#include "console/decode/line_copy.h"
#include "console/decode/qp_part.h"

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
    default:
        data.end = CopyPlainLines(mail.line, mail.cursor, boundary, sink, data.sink_result);
        break;
    }
    return data;
}

} // namespace dornick

#include "console/decode/part_decoder.h"

#include "console/decode/base64_part.h"
#include "console/decode/line_copy.h"
#include "console/decode/qp_part.h"
#include "console/decode/uu_part.h"
#include "console/decode/yenc_copy.h"

namespace dornick {
namespace {

template <typename Decoder> DecodeOutput RunDecoder(Decoder& decoder, const DecodeInput& in) {
    DecodeOutput out;
    out.end = decoder.Run(in.line, in.cursor, in.boundary, in.sink, in.notice);
    out.sink_result = decoder.sink_result;
    return out;
}

DecodeOutput DecodeUuPart(const DecodeInput& in, UuCode code) {
    UuPartDecoder decoder;
    decoder.code = code;
    return RunDecoder(decoder, in);
}

DecodeOutput CopyBlock(const DecodeInput& in, const BlockLastLine& last) {
    DecodeOutput out;
    out.end = CopyUndecodedBlock(in.line, in.cursor, in.boundary, last, in.sink, out.sink_result, in.notice);
    return out;
}

} // namespace

DecodeOutput DecodeBase64Part(const DecodeInput& in) {
    Base64PartDecoder decoder;
    return RunDecoder(decoder, in);
}

// Quoted-printable drops NUL bytes without the repair notice: the notice is not passed on.
DecodeOutput DecodeQuotedPrintablePart(const DecodeInput& in) {
    QpPartDecoder decoder;
    DecodeOutput out;
    out.end = decoder.Run(in.line, in.cursor, in.boundary, in.sink);
    out.sink_result = decoder.sink_result;
    out.wants_base64_redecode = out.end != DataEnd::SinkFailed && decoder.WantsBase64Redecode();
    return out;
}

DecodeOutput DecodeUuencodePart(const DecodeInput& in) {
    return DecodeUuPart(in, UuCode::Uuencode);
}

DecodeOutput DecodeXxencodePart(const DecodeInput& in) {
    return DecodeUuPart(in, UuCode::Xxencode);
}

DecodeOutput CopyPlainPart(const DecodeInput& in) {
    DecodeOutput out;
    out.end = CopyPlainLines(in.line, in.cursor, in.boundary, in.sink, out.sink_result);
    return out;
}

DecodeOutput CopyIshPart(const DecodeInput& in) {
    return CopyBlock(in, IshLastLine(in.end_marker));
}

DecodeOutput CopyYencPart(const DecodeInput& in) {
    return CopyBlock(in, YencLastLine());
}

} // namespace dornick

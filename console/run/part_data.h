#pragma once
// Decoding one part's data by its mode, from the first data line to the line that ends it.

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
/// left at the line that ended the data.
PartData DecodePartData(MailState& mail, ByteSink& sink, const RepairNoticeFn& notice);

} // namespace dornick

#include "tests/run/recording_writer.h"

#include <cstdint>

#include "console/decode/uu_block.h"
#include "console/run/mime_walk.h"
#include "console/run/part_data.h"
#include "platform/text.h"

namespace dornick::test {
namespace {

struct StringSink final : ByteSink {
    std::string& bytes;
    explicit StringSink(std::string& out) : bytes(out) {}
    SinkResult Append(const uint8_t* data, size_t size) override {
        bytes.append(reinterpret_cast<const char*>(data), size);
        return SinkResult::Ok;
    }
};

const char* SlotName(BoundarySlot slot) {
    switch (slot) {
    case BoundarySlot::Main:
        return "main";
    case BoundarySlot::Alternative:
        return "alternative";
    case BoundarySlot::Related:
        return "related";
    case BoundarySlot::AppleDouble:
        return "appledouble";
    case BoundarySlot::Mixed:
        return "mixed";
    }
    return "?";
}

} // namespace

PartEnd RecordingWriter::Write(MailState& mail) {
    // The same choices as the file writer: an unknown mode is a plain copy, a uuencode part
    // without a name takes its "begin" line's, a BinHex block without one its header's, and
    // nothing else is written without a name.
    if (mail.mode == EncodingMode::Unknown) mail.mode = EncodingMode::PlainCopy;
    if (mail.mode == EncodingMode::BinHex) {
        BinHexPart block = DecodeBinHexBlock(mail);
        if (!block.found) return block.end == DataEnd::Boundary ? PartEnd::AtBoundary : PartEnd::AtDataEnd;
        if (block.status != BinHexStatus::Ok) return PartEnd::Failed;
        RecordedPart part{SlotName(mail.current_boundary),
                          static_cast<int>(mail.mode),
                          mail.part_name.empty() ? platform::WidenBytes(block.file.name) : mail.part_name,
                          {}};
        StringSink sink(part.bytes);
        (void)WriteDataFork(block.file, sink);
        parts.push_back(std::move(part));
        return PartEnd::AtDataEnd;
    }
    if ((mail.mode == EncodingMode::Uuencode || mail.mode == EncodingMode::Xxencode) &&
        mail.part_name.empty()) {
        char bytes[kLineCapacity];
        const size_t size = UuPartName(mail.line, mail.cursor, bytes);
        mail.part_name = platform::WidenBytes(std::string_view(bytes, size));
    }
    if (mail.part_name.empty()) return PartEnd::NotWritten;
    RecordedPart part{SlotName(mail.current_boundary), static_cast<int>(mail.mode), mail.part_name, {}};
    StringSink sink(part.bytes);
    const PartData data = DecodePartData(mail, sink, [] {});
    parts.push_back(std::move(part));
    if (data.wants_base64_redecode) return PartEnd::Redecode;
    return data.end == DataEnd::Boundary ? PartEnd::AtBoundary : PartEnd::AtDataEnd;
}

std::vector<RecordedPart> WalkMail(const std::string& mail_text, const RunOptions& options, WalkEnd* end) {
    MailState mail;
    mail.options = &options;
    mail.cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(mail_text.data()), mail_text.size());
    RecordingWriter writer;
    const WalkEnd walk_end = MimeWalk(mail, writer);
    if (end) *end = walk_end;
    return std::move(writer.parts);
}

} // namespace dornick::test

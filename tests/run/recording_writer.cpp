#include "tests/run/recording_writer.h"

#include <cstdint>

#include "console/run/mail_folders.h"
#include "console/run/mime_walk.h"
#include "console/run/part_data.h"
#include "console/run/part_plan.h"
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

const char* SlotName(const MultipartSlots& multipart) {
    if (multipart.current_unslotted >= 0) return "unslotted";
    switch (multipart.current_boundary) {
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
    if (parts.empty() && folders.empty()) {
        const MailFolderNames names = NameMailFolders(mail.facts, false);
        folders = names.sender + u"/" + names.date;
    }
    // The file writer's plan, without the folders, the disk and the messages.
    const NamingContext naming = NamingOf(mail);
    PartPlan plan = PlanPart(mail.part, naming);
    mail.part.mode = plan.mode;
    if (plan.kind->unnamed_part == NameSource::BlockHeader) {
        BinHexPart block = DecodeBinHexBlock(mail.source, mail.multipart);
        if (!block.found) return block.end == DataEnd::Boundary ? PartEnd::AtBoundary : PartEnd::AtDataEnd;
        if (block.status != BinHexStatus::Ok) return PartEnd::Failed;
        if (plan.name.empty()) plan.name = NameFromBlockHeader(block.file.name, naming);
        RecordedPart part{SlotName(mail.multipart), static_cast<int>(plan.mode), plan.name, {}};
        StringSink sink(part.bytes);
        (void)WriteDataFork(block.file, sink);
        parts.push_back(std::move(part));
        return PartEnd::AtDataEnd;
    }
    NameFromBeginLine(plan, mail.source, naming);
    if (plan.name.empty()) return PartEnd::NotWritten;
    RecordedPart part{SlotName(mail.multipart), static_cast<int>(plan.mode), plan.name, {}};
    StringSink sink(part.bytes);
    const DecodeOutput data = DecodePart(*plan.kind, mail.source, mail.multipart, mail.part, sink, [] {});
    parts.push_back(std::move(part));
    if (data.wants_base64_redecode) {
        mail.part.part_name = plan.name;
        return PartEnd::Redecode;
    }
    return data.end == DataEnd::Boundary ? PartEnd::AtBoundary : PartEnd::AtDataEnd;
}

std::vector<RecordedPart> WalkMail(const std::string& mail_text, const RunOptions& options, WalkEnd* end,
                                   std::u16string* folders) {
    MailState mail;
    mail.options = &options;
    mail.source.Start(reinterpret_cast<const unsigned char*>(mail_text.data()), mail_text.size());
    RecordingWriter writer;
    const WalkEnd walk_end = MimeWalk(mail, writer);
    if (end) *end = walk_end;
    if (folders) *folders = writer.folders;
    return std::move(writer.parts);
}

} // namespace dornick::test

#include "console/run/attached_mail.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <memory>

#include "console/run/archive_run.h"
#include "console/run/log.h"
#include "console/run/mail_folders.h"
#include "console/run/mbox_split.h"
#include "console/run/messages.h"
#include "console/run/mime_walk.h"
#include "console/run/part_data.h"
#include "console/run/part_kinds.h"
#include "console/run/walk_lines.h"
#include "platform/paths.h"
#include "platform/unique_fd.h"

namespace dornick {
namespace {

/// Bytes looked at before a "Maybe" part is let go for a first line that opens no field.
constexpr size_t kStartCheckBytes = 1024;
/// How far into a message its header is searched for a field every mail has.
constexpr size_t kHeaderSearchBytes = 64 * 1024;

bool EndsNoCase(std::u16string_view text, std::u16string_view suffix) {
    return text.size() >= suffix.size() && BeginsNoCase(text.substr(text.size() - suffix.size()), suffix);
}

// The bytes after an envelope line, when there is one.
std::string_view AfterEnvelope(std::string_view bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    return bytes.substr(static_cast<size_t>(EnvelopeLineLength(data, bytes.size())));
}

// The line at the start of `text` without its line end; `text` moves past it.
std::string_view TakeLine(std::string_view& text) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

// The first line opens a header field; a line not yet whole counts when what there is could
// still be one.
bool StartsWithField(std::string_view bytes) {
    std::string_view rest = AfterEnvelope(bytes);
    if (rest.size() == bytes.size() && StartsWithNoCase(bytes, "from ") && bytes.find('\n') == bytes.npos)
        return true; // the envelope line goes on
    return IsHeaderFieldLine(TakeLine(rest));
}

} // namespace

MailHint AttachedMailHint(const MailState& mail, std::u16string_view name) {
    const PartFields& part = mail.part;
    if (!mail.options->recurse) return MailHint::None;
    if (part.is_rfc822) return MailHint::Message;
    if (BeginsNoCase(part.content_type, u"message/") || EndsNoCase(name, u".eml") ||
        BeginsNoCase(part.content_type, u"application/octet-stream"))
        return MailHint::Maybe;
    return MailHint::None;
}

bool BeginsLikeMail(std::string_view bytes) {
    static constexpr std::array<std::string_view, 8> kMailFields = {
        "from:", "to:", "subject:", "date:", "received:", "return-path:", "message-id:", "mime-version:"};
    std::string_view rest = AfterEnvelope(bytes);
    rest = rest.substr(0, kHeaderSearchBytes);
    bool first = true;
    while (!rest.empty()) {
        const std::string_view line = TakeLine(rest);
        if (line.empty()) break;
        const bool field = IsHeaderFieldLine(line);
        if (first && !field) return false;
        first = false;
        if (field && std::any_of(kMailFields.begin(), kMailFields.end(),
                                 [&](std::string_view name) { return StartsWithNoCase(line, name); }))
            return true;
    }
    return false;
}

SinkResult MailCapture::Append(const uint8_t* data, size_t size) {
    if (inner_) {
        const SinkResult passed = inner_->Append(data, size);
        if (passed != SinkResult::Ok) return passed;
    }
    if (keeping_) Keep(data, size);
    return SinkResult::Ok;
}

void MailCapture::Keep(const uint8_t* data, size_t size) {
    memory_.append(reinterpret_cast<const char*>(data), size);
    if (!start_checked_ && memory_.size() >= kStartCheckBytes) {
        start_checked_ = true;
        if (!StartsWithField(memory_)) {
            keeping_ = false;
            std::string().swap(memory_);
            return;
        }
    }
    // A long message goes on in the temporary file; without one it stays in memory.
    if (memory_.size() >= kAttachedMailMemoryBytes && spill_.Append(memory_)) memory_.clear();
}

std::string_view MailCapture::Mail() {
    if (!keeping_) return {};
    std::string_view bytes = memory_;
    if (spill_.Size() > 0) {
        if (!memory_.empty() && !spill_.Append(memory_)) return {};
        std::string().swap(memory_);
        bytes = spill_.Map();
    }
    if (hint_ == MailHint::Maybe && !BeginsLikeMail(bytes)) return {};
    return bytes;
}

void OpenAttachedMail(MailState& outer, std::string_view bytes) {
    if (bytes.empty()) return;
    if (outer.depth >= kAttachedMailDepthLimit) {
        MailState& file = outer.MailFile();
        if (file.depth_noted) return;
        file.depth_noted = true;
        PrintErr(u"添付されたメールの入れ子が深すぎるため、%d 段より深いものは開きませんでした。\n->%s\n",
                 {kAttachedMailDepthLimit, file.mail_path});
        if (outer.log_on)
            LogAppendFormat(
                outer.log,
                u"添付されたメールの入れ子が深すぎるため、%d 段より深いものは開きませんでした。\r\n->%s\r\n",
                {kAttachedMailDepthLimit, file.mail_path});
        return;
    }
    // On the heap: the walks of the levels above hold their mails on the stack already.
    auto opened = std::make_unique<MailState>();
    MailState& mail = *opened;
    mail.run = outer.run;
    mail.options = outer.options;
    mail.mail_path = outer.mail_path;
    mail.output_root = outer.output_root;
    mail.outer = &outer;
    mail.depth = outer.depth + 1;
    // A message forwarded in a Japanese mail is read as one.
    mail.facts.japanese_mail = outer.facts.japanese_mail;
    mail.output.root = platform::DuplicateFd(outer.output.root.Get());
    if (!mail.output.root) {
        ReportOutOfDescriptors(EMFILE, platform::DisplayPath(outer.output_root));
        outer.output_failed = true;
        return;
    }
    if (outer.folders_made) AdoptOuterFolders(mail);
    mail.log_on = outer.log_on;
    mail.log = std::move(outer.log);
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    const uint64_t envelope = EnvelopeLineLength(data, bytes.size());
    mail.source.Start(data + envelope, bytes.size() - envelope);
    if (outer.record.on) {
        // The files inside are recorded as the mail file's, at part paths below the attached
        // message's own ("3.1" inside the message at part 3).
        mail.record.on = true;
        mail.record.source = outer.record.source;
        mail.record.message = outer.record.message;
        mail.record.offset = outer.record.offset;
        mail.record.message_id = outer.record.message_id;
        mail.record.subject = outer.record.subject;
        mail.record.part_prefix = outer.record.part + ".";
        mail.record.parts.Start(data + envelope, bytes.size() - envelope);
    }
    MimeWalk(mail);
    outer.record.files += mail.record.files;
    outer.log = std::move(mail.log);
    outer.output_written = outer.output_written || mail.output_written;
    outer.output_failed = outer.output_failed || mail.output_failed;
}

bool OpensUnsavedMessage(const MailState& mail) {
    return mail.options->recurse && mail.part.is_rfc822 && mail.part.part_name.empty() &&
           KindOf(mail.part.mode).unnamed_part == NameSource::PartHeader && KindOf(mail.part.mode).decode;
}

PartEnd OpenUnsavedMessage(MailState& mail) {
    MailCapture capture(nullptr, MailHint::Message);
    const DecodeOutput data =
        DecodePart(KindOf(mail.part.mode), mail.source, mail.multipart, mail.part, capture, [] {});
    OpenAttachedMail(mail, capture.Mail());
    return data.end == DataEnd::Boundary ? PartEnd::AtBoundary : PartEnd::AtDataEnd;
}

} // namespace dornick

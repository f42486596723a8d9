#include "console/run/msg_mail.h"

#include <ctime>

#include "console/decode/msg_reader.h"
#include "console/header/mail_date.h"
#include "console/run/container_records.h"
#include "console/run/header_rules.h"
#include "console/run/log.h"
#include "console/run/mail_folders.h"
#include "console/run/mail_records.h"
#include "console/run/messages.h"
#include "console/run/msg_files.h"
#include "console/run/run_context.h"
#include "platform/clock.h"
#include "platform/format.h"
#include "platform/text.h"

namespace dornick {
namespace {

// A moment as the date text of a mail header, so that the date folder follows the mail rules.
std::u16string DateText(int64_t seconds) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!gmtime_r(&when, &utc)) return {};
    char text[64];
    if (std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc) == 0) return {};
    return platform::WidenBytes(text);
}

// The transport headers through the mail's own header rules: Return-Path, From, X-Apparently-From
// and the date, up to the first empty line. They are read from a line source of their own; the
// mail's reading position is not touched.
void TakeTransportHeaders(MailFacts& facts, const std::string& headers) {
    if (headers.empty()) return;
    LineSource source;
    source.Start(reinterpret_cast<const unsigned char*>(headers.data()), headers.size());
    // Every pass reads a line or takes a field: the bound only guards against a rule that leaves
    // the same line pending for ever.
    for (size_t passes = 0; passes < headers.size() + 16 && source.Take(); ++passes) {
        const char16_t* line = source.line;
        if (line[0] == 0) break;
        if (!facts.return_path_found && LineBeginsWith(line, u"Return-Path:")) {
            TakeReturnPath(line, facts, true);
            continue;
        }
        if (!facts.from_found && LineBeginsWith(line, u"From:")) {
            if (!(facts.return_path_found ? TakeFromAddress(source, facts) : TakeFromAsSender(source, facts)))
                break;
            continue;
        }
        if (LineBeginsWith(line, u"X-Apparently-From:")) TakeApparentlyFrom(line, facts);
        if (!facts.date_found && !TakeDate(source, facts)) break;
    }
}

// Sender and date: the SMTP address, else the transport headers' From; the submit time, else the
// delivery time, else the transport headers' Date.
void TakeMessageFacts(MailFacts& facts, const MsgHeader& header) {
    TakeTransportHeaders(facts, header.transport_headers);
    if (!header.smtp_sender.empty()) {
        facts.sender = platform::WidenBytes(platform::U16ToUtf8(header.smtp_sender));
        facts.from_address = facts.sender;
        facts.return_path = facts.sender;
        facts.from_found = true;
    }
    const std::optional<int64_t> time = header.submit_time ? header.submit_time : header.delivery_time;
    if (time) {
        std::u16string text = DateText(*time);
        if (!text.empty()) {
            facts.date_text = std::move(text);
            facts.date_found = true;
        }
    }
}

// Reads nothing from the attachments: only the header is wanted.
struct NoAttachments : MsgEvents {
    void OnAttachment(const MsgAttachment&, std::string_view) override {}
};

} // namespace

bool IsMsgMail(const MailState& mail) {
    return HasCompoundSignature(mail.file.data, mail.file.size);
}

void MsgMailDate(MailState& mail) {
    MsgHeader header;
    NoAttachments none;
    const MsgReadResult result = ReadMsgFile(mail.file.data, mail.file.size, header, none, true);
    if (result.status != MsgStatus::Read) {
        ReportMsgResult(result, mail.mail_path);
        return;
    }
    // The date text is read when the file's times are set, as a mail's is.
    TakeMessageFacts(mail.facts, header);
}

WalkEnd MsgMailWalk(MailState& mail) {
    const RunOptions& options = *mail.options;
    MsgHeader header;
    std::optional<std::time_t> file_time;
    TnefNaming naming;
    naming.time = &file_time;
    naming.full_width = options.full_width;
    // The message file stands as the body of a mail: its files are "1.1", "1.2" ...
    ContainerRecords records(RecordOwnerOf(mail), "1", mail.run->digest);
    auto prepare = [&](TnefNaming& files) {
        TakeMessageFacts(mail.facts, header);
        PrepareMailFolders(mail);
        IssueProgressLine(mail);
        std::time_t when;
        if (!mail.folder_names.mail_time.IsZero() &&
            platform::JapanTimeToEpoch(mail.folder_names.mail_time, when))
            file_time = when;
        files.folder = OutputNames(mail);
        if (records.On()) {
            records.SetOwner(RecordOwnerOf(mail));
            records.SetFolder(files.folder.fd, MailFolderBelowRoot(mail));
        }
        return true;
    };
    auto announce = [&](const std::u16string& name) {
        mail.output_written = true;
        if (options.print) PrintOut(u"\t-> \"%s\"\n", {name});
        if (mail.log_on) LogAppendFormat(mail.log, u"\t-> \"%s\"\r\n", {name});
    };
    MsgAttachmentFiles files(naming, prepare, announce);
    if (records.On()) files.RecordInto(&records);
    const MsgReadResult result = ReadMsgFile(mail.file.data, mail.file.size, header, files);
    records.Finish();
    ReportMsgResult(result, mail.mail_path);
    if (result.status != MsgStatus::Read || result.skipped > 0 || result.unreadable > 0)
        mail.output_failed = true;
    return WalkEnd::NoLineLeft;
}

} // namespace dornick

#include "console/run/msg_mail.h"

#include <ctime>

#include "console/decode/msg_reader.h"
#include "console/header/mail_date.h"
#include "console/run/header_rules.h"
#include "console/run/log.h"
#include "console/run/mail_folders.h"
#include "console/run/messages.h"
#include "console/run/msg_files.h"
#include "console/run/run_context.h"
#include "platform/clock.h"
#include "platform/format.h"

namespace dornick {
namespace {

// Widens bytes one unit per byte, as the header rules keep mail text.
std::u16string Widened(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    for (char c : bytes)
        text.push_back(static_cast<unsigned char>(c));
    return text;
}

std::string Utf8Bytes(std::u16string_view text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out += {static_cast<char>(0xC0 | c >> 6), static_cast<char>(0x80 | (c & 0x3F))};
        } else if (c < 0x10000) {
            out += {static_cast<char>(0xE0 | c >> 12), static_cast<char>(0x80 | (c >> 6 & 0x3F)),
                    static_cast<char>(0x80 | (c & 0x3F))};
        } else {
            out += {static_cast<char>(0xF0 | c >> 18), static_cast<char>(0x80 | (c >> 12 & 0x3F)),
                    static_cast<char>(0x80 | (c >> 6 & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        }
    }
    return out;
}

// A moment as the date text of a mail header, so that the date folder follows the mail rules.
std::u16string DateText(int64_t seconds) {
    const std::time_t when = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!gmtime_r(&when, &utc)) return {};
    char text[64];
    if (std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S +0000", &utc) == 0) return {};
    return Widened(text);
}

// The transport headers through the mail's own header rules: Return-Path, From, X-Apparently-From
// and the date, up to the first empty line.
void TakeTransportHeaders(MailState& mail, const std::string& headers) {
    if (headers.empty()) return;
    const LineCursor saved = mail.cursor;
    mail.cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(headers.data()), headers.size());
    mail.line_pending = false;
    // Every pass reads a line or takes a field: the bound only guards against a rule that leaves
    // the same line pending for ever.
    for (size_t passes = 0; passes < headers.size() + 16 && mail.TakeLine(); ++passes) {
        if (mail.line[0] == 0) break;
        if (!mail.return_path_found && LineBeginsWith(mail.line, u"Return-Path:")) {
            TakeReturnPath(mail, true);
            continue;
        }
        if (!mail.from_found && LineBeginsWith(mail.line, u"From:")) {
            if (!(mail.return_path_found ? TakeFromAddress(mail) : TakeFromAsSender(mail))) break;
            continue;
        }
        if (LineBeginsWith(mail.line, u"X-Apparently-From:")) TakeApparentlyFrom(mail);
        if (!mail.date_found && !TakeDate(mail)) break;
    }
    mail.line_pending = false;
    mail.cursor = saved;
}

// Sender and date: the SMTP address, else the transport headers' From; the submit time, else the
// delivery time, else the transport headers' Date.
void TakeMessageFacts(MailState& mail, const MsgHeader& header) {
    TakeTransportHeaders(mail, header.transport_headers);
    if (!header.smtp_sender.empty()) {
        mail.sender = Widened(Utf8Bytes(header.smtp_sender));
        mail.from_address = mail.sender;
        mail.return_path = mail.sender;
        mail.from_found = true;
    }
    const std::optional<int64_t> time = header.submit_time ? header.submit_time : header.delivery_time;
    if (time) {
        std::u16string text = DateText(*time);
        if (!text.empty()) {
            mail.date_text = std::move(text);
            mail.date_found = true;
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
    TakeMessageFacts(mail, header);
    if (!mail.date_text.empty()) ParseMailDate(mail.date_text, mail.mail_time);
}

WalkEnd MsgMailWalk(MailState& mail) {
    const RunOptions& options = *mail.options;
    MsgHeader header;
    std::optional<std::time_t> file_time;
    TnefNaming naming;
    naming.time = &file_time;
    naming.full_width = options.full_width;
    auto prepare = [&](TnefNaming& files) {
        TakeMessageFacts(mail, header);
        PrepareMailFolders(mail);
        IssueProgressLine(mail);
        std::time_t when;
        if (!mail.mail_time.IsZero() && platform::JapanTimeToEpoch(mail.mail_time, when)) file_time = when;
        files.folder = OutputNames(mail);
        return true;
    };
    auto announce = [&](const std::u16string& name) {
        mail.output_written = true;
        if (options.print) PrintOut(u"\t-> \"%s\"\n", {name});
        if (mail.log_on) LogAppendFormat(mail.log, u"\t-> \"%s\"\r\n", {name});
    };
    MsgAttachmentFiles files(naming, prepare, announce);
    const MsgReadResult result = ReadMsgFile(mail.file.data, mail.file.size, header, files);
    ReportMsgResult(result, mail.mail_path);
    if (result.status != MsgStatus::Read || result.skipped > 0 || result.unreadable > 0)
        mail.output_failed = true;
    return WalkEnd::NoLineLeft;
}

} // namespace dornick

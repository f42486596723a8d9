#include "console/run/mime_walk.h"

#include "console/run/header_rules.h"

namespace dornick {

WalkEnd MimeWalk(MailState& mail) {
    const RunOptions& options = *mail.options;
    for (;;) {
        if (!mail.line_pending && !ReadNextLine(mail)) return WalkEnd::NoLineLeft;
        mail.line_pending = false;

        if (options.content_only && !mail.return_path_found && LineBeginsWith(mail.line, u"Return-Path:"))
            TakeReturnPath(mail, false);
        if (!mail.boundary_found) TakeCharset(mail);
        if (!mail.date_found) {
            if (!TakeDate(mail)) return WalkEnd::InsideHeader;
            if (options.date_mode && !mail.date_text.empty()) return WalkEnd::Stopped;
            if (mail.line_pending) continue;
        }

        switch (mail.state) {
        case WalkState::TopHeader:
            if (LineBeginsWith(mail.line, u"Return-Path:")) {
                TakeReturnPath(mail, true);
                if (mail.return_path_found) {
                    mail.previous = WalkState::TopHeader;
                    mail.state = WalkState::SenderSeen;
                }
            } else if (LineBeginsWith(mail.line, u"From:")) {
                if (!TakeFromAsSender(mail)) return WalkEnd::InsideHeader;
                mail.state = WalkState::SenderSeen;
            } else if (LineBeginsWith(mail.line, u"X-Apparently-From:")) {
                TakeApparentlyFrom(mail);
            } else if (mail.line[0] == 0) {
                mail.state = WalkState::PartBody;
            }
            break;
        case WalkState::SenderSeen:
            if (!mail.from_found && LineBeginsWith(mail.line, u"From:")) {
                if (!TakeFromAddress(mail)) return WalkEnd::InsideHeader;
            } else if (mail.line[0] == 0) {
                mail.state = WalkState::PartBody;
            }
            break;
        default:
            break;
        }
        // The body of a part: date mode has found no date in the header and stops here.
        if (mail.state == WalkState::PartBody && options.date_mode) return WalkEnd::Stopped;
    }
}

}  // namespace dornick

#pragma once
// The per-mail folders and the progress line, made when the first file of a mail is written.

#include "console/header/unique_file_name.h"
#include "console/run/mail_state.h"

namespace dornick {

constexpr std::u16string_view kUnknownSender = u"[UNKNOWN-SENDER]";
constexpr std::u16string_view kUnknownDate = u"[UNKNOWN-DATE]";

/// The sender and date folder names of a mail with these facts.
MailFolderNames NameMailFolders(const MailFacts& facts, bool full_width);
/// Names the mail's folders and makes and opens them (once per mail); the mail's files then go
/// into the innermost one.
void PrepareMailFolders(MailState& mail);
/// An attached message takes the folders of the mail that holds it, made already.
void AdoptOuterFolders(MailState& mail);
/// The folder the mail's next file is made in, with the run's listing, for unique names.
NameFolder OutputNames(MailState& mail);
/// The path of the folder the mail's next file is made in, for messages.
std::u16string OutputFolderPath(const MailState& mail);

/// The mail's progress line and its Return-Path/From notice, when still pending.
void IssueProgressLine(MailState& mail);

} // namespace dornick

#pragma once
// The per-mail folders and the progress line, made when the first file of a mail is written.

#include "console/run/mail_state.h"

namespace dornick {

constexpr std::u16string_view kUnknownSender = u"[UNKNOWN-SENDER]";
constexpr std::u16string_view kUnknownDate = u"[UNKNOWN-DATE]";

/// Fixes the sender and the date of the mail and makes and enters its sender and date folders
/// (once per mail).
void PrepareMailFolders(MailState& mail);
/// The mail's progress line and its Return-Path/From notice, when still pending.
void IssueProgressLine(MailState& mail);

} // namespace dornick

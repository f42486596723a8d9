#pragma once
// A message file (".msg") given as a mail: its attachments go into the sender and date folders
// like a mail's, its sender and date taken from its properties or its transport headers.

#include "console/run/mail_state.h"

namespace dornick {

/// True when the mapped file is a compound file, to be read as a message file.
bool IsMsgMail(const MailState& mail);

/// Writes the attachments of the mapped message file (and of the messages embedded in it).
WalkEnd MsgMailWalk(MailState& mail);

/// Date mode: only the message's date, into the mail's date text and time.
void MsgMailDate(MailState& mail);

} // namespace dornick

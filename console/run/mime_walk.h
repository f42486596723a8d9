#pragma once
// The line-driven walk over a mapped mail.

#include "console/run/mail_state.h"
#include "console/run/part_output.h"

namespace dornick {

/// Walks the mail's lines from the cursor, handing every part to be written to `writer`;
/// returns how it ended.
WalkEnd MimeWalk(MailState& mail, PartWriter& writer);

/// The walk of the real run, writing files.
inline WalkEnd MimeWalk(MailState& mail) {
    return MimeWalk(mail, FilePartWriter());
}

} // namespace dornick

#pragma once
// The line-driven walk over a mapped mail.

#include "console/run/mail_state.h"

namespace dornick {

/// Walks the mail's lines from the cursor; returns how it ended.
WalkEnd MimeWalk(MailState& mail);

}  // namespace dornick

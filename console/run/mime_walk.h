#pragma once
// The line-driven walk over a mapped mail.

#include "console/run/mail_state.h"

namespace dornick {

/// The boundary slot whose text the line holds (main first), if any.
bool FindBoundaryIn(MailState& mail, const char16_t* line, BoundarySlot& slot);

/// Walks the mail's lines from the cursor; returns how it ended.
WalkEnd MimeWalk(MailState& mail);

} // namespace dornick

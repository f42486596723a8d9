#pragma once
// Writing one part of a mail: naming, creating, decoding, dating and the follow-up.

#include "console/run/mail_state.h"

namespace dornick {

/// What WritePart asks of the walk.
enum class PartWritten {
    Done,     ///< go on with the next line in the part header state
    Redecode, ///< the part was mislabelled quoted-printable: read it again from its first line
    Stop,     ///< a failure ended the mail (its message was given)
};

/// Writes the current part from its first data line (in mail.line) up to the end of its data.
PartWritten WritePart(MailState& mail);

} // namespace dornick

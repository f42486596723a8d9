#pragma once
// Writing one part of a mail: naming, creating, decoding, dating and the follow-up.

#include "console/run/mail_state.h"

namespace dornick {

/// How a part's writing ended; the walk chooses what comes next.
enum class PartEnd {
    AtBoundary, ///< a line held a boundary: it is the current line and starts the next part
    AtDataEnd,  ///< the data ended, or a block's own end line was met
    NotWritten, ///< the part's encoding is not written here: its lines pass on to the walk
    Redecode,   ///< mislabelled quoted-printable: write it again as base64 from its first line
    Failed,     ///< a failure ended the mail (its message was given)
};

/// Where the walk sends the parts it decides to write.
class PartWriter {
  public:
    virtual ~PartWriter() = default;
    /// Writes the current part from its first data line (in mail.source.line) up to the end of its data.
    /// On Redecode, mail.part.part_name holds the name to write the part under again.
    virtual PartEnd Write(MailState& mail) = 0;
};

/// The writer of the real run: files in the per-mail folders, with their messages and times.
PartWriter& FilePartWriter();

} // namespace dornick

#pragma once
// A part writer for tests of the walk: it decodes every part into memory and records what the
// walk handed over, so that a mail's walk can be checked without a disk.

#include <string>
#include <vector>

#include "console/run/part_output.h"

namespace dornick::test {

struct RecordedPart {
    std::string slot; ///< "main", "alternative", "related", "appledouble", "mixed" or "unslotted"
    int mode = 0;     ///< the EncodingMode the data was decoded in
    std::u16string name;
    std::string bytes;
};

class RecordingWriter final : public PartWriter {
  public:
    std::vector<RecordedPart> parts;
    /// "sender/date": the folders the mail's files go into, named from what the walk had gathered
    /// when the first part was written; empty when none was.
    std::u16string folders;
    PartEnd Write(MailState& mail) override;
};

/// Walks `mail_text` with `options` and returns what the walk wrote.
std::vector<RecordedPart> WalkMail(const std::string& mail_text, const RunOptions& options,
                                   WalkEnd* end = nullptr, std::u16string* folders = nullptr);

} // namespace dornick::test

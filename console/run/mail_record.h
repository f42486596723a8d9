#pragma once
// What a mail keeps for its records while it is walked: which mail of which input it is, where the
// walk stands in its MIME tree, and the notices of the file being written.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/run/part_path.h"

namespace dornick {

struct RecordOwner;

struct MailRecordState {
    bool on = false;       ///< the run keeps records (a manifest or --dedupe)
    std::u16string source; ///< the input's absolute path
    uint64_t message = 1;  ///< its number in an archive
    uint64_t offset = 0;   ///< its byte offset in the input
    /// Put before every part path of this walk. A nested walk (the message attached at part "3")
    /// is given its parent's path and a dot ("3."), so that its parts read "3.1", "3.2.1"; a
    /// container's files are one level below the container's part the same way.
    std::string part_prefix;
    PartPathTracker parts;
    std::string part;                 ///< the path of the part being written
    std::string encoding;             ///< its transfer encoding as the walk decodes it
    std::vector<std::string> notices; ///< said of the file being written
    uint64_t files = 0;               ///< files of the mail recorded
    std::string error;                ///< why the mail failed, for its record
    std::string message_id;           ///< the top header's, raw, read while the mail is mapped
    std::string subject;              ///< the top header's, raw and unfolded
    /// The mail's header fields as its file records tell them, once its folders are made.
    std::string mail_fields;
    /// The owner of its records made later on the writer thread, shared by them, once its header
    /// fields are known.
    std::shared_ptr<const RecordOwner> shared_owner;
};

} // namespace dornick

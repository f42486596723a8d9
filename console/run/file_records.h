#pragma once
// The record of one output file, whoever wrote it (a mail part, or an attachment taken out of a
// container), and what --dedupe makes of it: the first copy of its bytes, a hard link to that copy,
// or a duplicate whose bytes never stand under a name.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/run/run_records.h"

namespace dornick {

/// The mail a file record belongs to: where it is, and its header's fields.
struct RecordOwner {
    RunRecords* records = nullptr;
    std::u16string root; ///< the output root, without "/" at its end
    std::u16string source;
    uint64_t message = 1;
    uint64_t offset = 0;
    /// "message_id", "from", "date" and "subject" as JSON members (`"message_id":null,...`).
    std::string mail_fields;
    uint64_t* files = nullptr; ///< the mail's count of recorded files
};

/// The JSON members of a mail that has no header fields to tell.
constexpr const char* kNoMailFields = "\"message_id\":null,\"from\":null,\"date\":null,\"subject\":null";

/// What --dedupe makes of a complete file, decided before it takes its name.
struct FileVerdict {
    const FirstCopy* first = nullptr; ///< the first copy of the same bytes; null: this is the first
    bool drop = false;                ///< its bytes are not to stand under a name (--dedupe skip)
};

/// The verdict on the file at `path` (below the owner's root) holding bytes of `sha256`: a file
/// that is no duplicate becomes the first copy of its bytes. Without --dedupe, no duplicate.
FileVerdict JudgeCopy(const RecordOwner& owner, const std::u16string& path, const std::string& sha256);
/// The verdict on bytes not yet written: a duplicate that --dedupe skip drops, or none (nothing is
/// added).
FileVerdict JudgeUnwritten(const RecordOwner& owner, const std::string& sha256);

/// One file as its record tells it.
struct FileFacts {
    std::string part;
    const std::string* content_type = nullptr; ///< null: the record says null
    const std::string* encoding = nullptr;     ///< null: the record says null
    std::u16string original_name;              ///< before it was made unique
    int folder = -1;                           ///< the open folder it is in
    std::u16string name;                       ///< as written
    std::u16string folder_path;                ///< the folder below the root, with "/" after it, or ""
    uint64_t size = 0;
    std::string sha256;
    const std::vector<std::string>* notices = nullptr;
};

/// Ends a complete file's way: with --dedupe link a duplicate becomes a hard link to its first copy
/// (one that cannot be linked stays itself), with skip a dropped duplicate's name is removed (when
/// the caller did not already give it back: `name_given_back`). Then the file is counted and its
/// record written. False when the file is not there under its name.
bool PublishRecordedFile(const RecordOwner& owner, const FileFacts& file, FileVerdict verdict,
                         bool name_given_back);

/// The record of the owner's mail: its `files`, and done or failed (with why).
std::string MailRecordText(const RecordOwner& owner, uint64_t files, bool done, std::string_view error);

/// The record of a mail that is a container given on its own: its files, and done or failed.
void RecordContainerMail(const RecordOwner& owner, bool done);

} // namespace dornick

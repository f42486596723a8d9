#pragma once
// The messages of a mail archive, each handed on as one mail: an mbox split into its messages, the
// message of an ".emlx" file without its count line and property list. A message of an archive is
// named by the archive, its number and its byte offset, everywhere the run names a mail.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "console/run/mbox_split.h"
#include "console/run/shard.h"

namespace dornick {

/// One message, in memory for the time of the call.
struct ArchiveMail {
    std::u16string shown; ///< the message's name in messages and the log
    const unsigned char* data = nullptr;
    uint64_t size = 0;
    std::string_view envelope_date; ///< the date of the mbox envelope line, empty elsewhere
    std::u16string source;          ///< the archive's absolute path, for the records
    uint64_t number = 1;            ///< the message's number in the archive
    uint64_t offset = 0;            ///< its byte offset in the archive
    MessageBytes* bytes = nullptr;  ///< the storage of `data`, which the handler may take over
};

/// Processes one message; false when it failed (after its own messages).
using ArchiveMailHandler = std::function<bool(const ArchiveMail&)>;

struct ArchiveTally {
    uint64_t messages = 0; ///< handed on
    uint64_t failed = 0;   ///< messages that failed or could not be read
};

/// The name of message `number` at byte `offset` of the archive shown as `archive`.
std::u16string ArchiveMessageName(std::u16string_view archive, uint64_t number, uint64_t offset);

/// Hands every message of the mbox at `path` (named `shown`) to `handler`, in order. Empty messages
/// are passed over with a notice; a message that cannot be read is told and counted as failed, and
/// the archive goes on. False when the archive cannot be opened or anything of it failed. With a
/// `shard`, only the messages whose separator begins in its byte range are handed on; they keep
/// the numbers they have in the whole archive. A handler that keeps messages to finish later is
/// given `settle`, called before the archive says anything of its own and before it returns, so
/// that its words keep their place among the messages'.
[[nodiscard]] bool RunMboxArchive(std::u16string_view path, std::u16string_view shown,
                                  const ArchiveMailHandler& handler, ArchiveTally& tally,
                                  const Shard& shard = {}, const std::function<void()>& settle = {});
/// Hands the message of the ".emlx" file at `path` to `handler`; false when the file cannot be read
/// or has no count line (after a message), or the handler failed.
[[nodiscard]] bool RunEmlxFile(std::u16string_view path, std::u16string_view shown,
                               const ArchiveMailHandler& handler, ArchiveTally& tally);

/// The length of a leading envelope line ("From ..." and its line end) of a mail, 0 without one.
uint64_t EnvelopeLineLength(const unsigned char* data, uint64_t size);

} // namespace dornick

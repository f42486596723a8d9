#pragma once
// The reader of message files (".msg": a compound file of MAPI properties): the sender, the dates
// and the attachments of the message and of the messages embedded in it. Nothing is printed and
// nothing touches the file system; the run turns the events into files.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace dornick {

/// Embedded messages are opened to this depth (the file's own message is depth 0).
constexpr int kMsgDepthLimit = 32;
/// Attachment storages read per message; further ones are counted as skipped.
constexpr int kMsgAttachmentLimit = 4096;
/// A file with a storage of more entries than this, or an entry tree deeper than twice this, is not
/// opened (the library's time grows with the square of a storage's width, its stack with the depth);
/// its attachment storages are counted as skipped.
constexpr int kMsgStorageWidthLimit = 2 * kMsgAttachmentLimit;

/// True when the bytes begin with the compound-file signature D0 CF 11 E0 A1 B1 1A E1.
bool HasCompoundSignature(const unsigned char* data, uint64_t size);

/// What the top message says of itself.
struct MsgHeader {
    std::u16string smtp_sender;           ///< the first SMTP address property found
    std::string transport_headers;        ///< the Internet header as received, UTF-8
    std::optional<int64_t> submit_time;   ///< seconds since 1970 (UTC)
    std::optional<int64_t> delivery_time; ///< seconds since 1970 (UTC)
    int32_t code_page = 0;                ///< of the 8-bit strings; 0 when not given
};

/// One attachment as stored. `depth` is that of the message holding it.
struct MsgAttachment {
    std::u16string unicode_name; ///< long name, else short name, when stored in Unicode
    std::string name8;           ///< the same in the message's code page, when not in Unicode
    int32_t method = 0;
    int depth = 0;
    int32_t code_page = 0; ///< of the message holding it (else of the message above)
};

struct MsgEvents {
    virtual ~MsgEvents() = default;
    /// One attachment with its data (a view that lives only for the call).
    virtual void OnAttachment(const MsgAttachment& attachment, std::string_view data) = 0;
};

enum class MsgStatus {
    Read,        ///< the file was read (whatever it held)
    NotCompound, ///< no compound-file signature
    Damaged,     ///< the signature is there but the file cannot be opened as a compound file
};

struct MsgReadResult {
    MsgStatus status = MsgStatus::NotCompound;
    int attachments = 0;    ///< handed on
    int skipped = 0;        ///< attachment storages over the limits, or past the read budget
    int unreadable = 0;     ///< streams whose sectors could not be read (a broken chain)
    bool depth_cut = false; ///< an embedded message deeper than kMsgDepthLimit was not opened
};

/// Reads the message file in `data` (which must outlive the call); with `header_only` the
/// attachments are not looked at.
MsgReadResult ReadMsgFile(const unsigned char* data, uint64_t size, MsgHeader& header, MsgEvents& events,
                          bool header_only = false);

} // namespace dornick

#pragma once
// The records of one mail: its identity, the record of each file when the file is complete (after
// --dedupe has made it a link or taken it away), and the mail's own record when it ends. The one
// place the records are written from, so that a run that publishes files in another order calls it
// in that order.

#include <cstdint>
#include <string>

#include "console/run/mail_state.h"

namespace dornick {

enum class MailResult;

/// Makes the mail one that keeps records, if its run does: the mail `message` at byte `offset` of
/// the input at the absolute path `source`. Its data is mail.source's from its start.
void BeginMailRecord(MailState& mail, const std::u16string& source, uint64_t message, uint64_t offset,
                     uint64_t size);
/// Where the part whose first data line was just read stands, and how it is decoded.
void NotePartStart(MailState& mail);
/// A notice said of the file being written ("repaired", "redecoded-as-base64").
void NoteFileNotice(MailState& mail, const char* notice);

/// The file `name` (as written, in the mail's current folder, complete and closed) of `size`
/// bytes with `sha256`: a duplicate becomes a link to the first copy or is removed (--dedupe), and
/// its record is written. `original_name` is its name before it was made unique. False when the
/// file is no longer there under its name (removed as a duplicate).
bool PublishFile(MailState& mail, const std::u16string& name, const std::u16string& original_name,
                 uint64_t size, const std::string& sha256);
/// The mail's record at its end; `result` as the processing gives it.
void RecordMail(MailState& mail, MailResult result);

/// The text of a record's "date": a mail time of Japan time in ISO 8601 with its offset.
std::string IsoJapanTime(const platform::SystemTime& time);
/// The Subject of a raw header value, unfolded, with its encoded words decoded.
std::u16string DecodeHeaderText(std::string_view value, bool japanese_mail);

} // namespace dornick

#pragma once
// The records of one mail: its identity, the record of each file when the file is complete (after
// --dedupe has made it a link or taken it away), and the mail's own record when it ends. The one
// place the records are written from, so that a run that publishes files in another order calls it
// in that order.

#include <cstdint>
#include <string>

#include "console/run/file_records.h"
#include "console/run/mail_state.h"

namespace dornick {

enum class MailResult;
struct RunContext;

/// Makes the mail one that keeps records, if its run does: the mail `message` at byte `offset` of
/// the input at the absolute path `source`. Its data is mail.source's from its start.
void BeginMailRecord(MailState& mail, const std::u16string& source, uint64_t message, uint64_t offset,
                     uint64_t size);
/// Where the part whose first data line was just read stands, and how it is decoded.
void NotePartStart(MailState& mail);
/// A notice said of the file being written ("repaired", "redecoded-as-base64").
void NoteFileNotice(MailState& mail, const char* notice);

/// The path of the mail's current folder below its output root, with "/" after it, or "".
const std::u16string& MailFolderBelowRoot(MailState& mail);
/// The mail as the owner of file records; without records, an owner that records nothing.
RecordOwner RecordOwnerOf(MailState& mail);

/// What --dedupe makes of the complete file `name` of the mail's current folder, before it takes
/// its name; one that is no duplicate becomes the first copy of its bytes.
FileVerdict JudgeFile(MailState& mail, const std::u16string& name, const std::string& sha256);
/// The file `name` (in the mail's current folder, complete under its name, or dropped as the
/// verdict says) of `size` bytes with `sha256`: a duplicate becomes a link to the first copy
/// (--dedupe link), and its record is written. `original_name` is its name before it was made
/// unique. False when the file is not there under its name.
bool PublishFile(MailState& mail, const std::u16string& name, const std::u16string& original_name,
                 uint64_t size, const std::string& sha256, FileVerdict verdict);
/// True when the records of the mail's files are made on the writer thread after their digests
/// (see RunRecords::OnWriterThread): its files are then handed on with PublishFileAfterDigest.
bool RecordsOnWriterThread(const MailState& mail);
/// The file `name` (in the mail's current folder, complete under its name) of `size` bytes, the
/// last file the writer wrote, hashed later: once its digest is complete, on the writer thread,
/// a duplicate becomes a link to the first copy (--dedupe link) and its record is gathered. The
/// decoding goes on meanwhile.
void PublishFileAfterDigest(MailState& mail, const std::u16string& name, const std::u16string& original_name,
                            uint64_t size);
/// Waits until every record handed to the writer thread is made: before anything else reads or
/// writes the records (a container's files, the run's end).
void SettleRecords(RunContext& run);
/// The mail's record at its end; `result` as the processing gives it.
void RecordMail(MailState& mail, MailResult result);

/// The text of a record's "date": a mail time of Japan time in ISO 8601 with its offset.
std::string IsoJapanTime(const platform::SystemTime& time);
/// The Subject of a raw header value, unfolded, with its encoded words decoded.
std::u16string DecodeHeaderText(std::string_view value, bool japanese_mail);

} // namespace dornick

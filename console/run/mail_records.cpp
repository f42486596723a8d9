#include "console/run/mail_records.h"

#include <cstdio>
#include <mutex>

#include "console/decode/ascii_text.h"
#include "console/header/charset_conversion.h"
#include "console/header/encoded_words.h"
#include "console/header/nfc.h"
#include "console/run/mail_file.h"
#include "console/run/mail_folders.h"
#include "console/run/record_json.h"
#include "console/run/run_context.h"
#include "console/run/run_records.h"
#include "platform/file_moves.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace dornick {
namespace {

constexpr const char* kEncodingNames[] = {
    "", "base64", "quoted-printable", "plain", "uuencode", "xxencode", "binhex", "ish", "yenc"};

RunRecords* RecordsOf(const MailState& mail) {
    return mail.run ? mail.run->records : nullptr;
}

// The top header's Message-ID and Subject, unfolded, as raw bytes.
struct TopHeaderValues {
    std::string message_id;
    std::string subject;
};

TopHeaderValues ReadTopHeader(const unsigned char* data, uint64_t size) {
    TopHeaderValues values;
    std::string* field = nullptr;
    uint64_t at = 0;
    while (at < size) {
        const void* newline = std::memchr(data + at, '\n', static_cast<size_t>(size - at));
        const uint64_t end = newline ? static_cast<const unsigned char*>(newline) - data : size;
        std::string_view line(reinterpret_cast<const char*>(data + at), static_cast<size_t>(end - at));
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty()) break;
        if (line.front() == ' ' || line.front() == '\t') {
            if (field) field->append(line);
            continue;
        }
        field = nullptr;
        const auto named = [&](std::string_view name) { return platform::StartsNoCaseAscii(line, name); };
        std::string* target = named("subject:")      ? &values.subject
                              : named("message-id:") ? &values.message_id
                                                     : nullptr;
        if (!target || !target->empty()) continue;
        target->assign(line.substr(line.find(':') + 1));
        field = target;
    }
    return values;
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// Raw text of a header: UTF-8 when it is, else told by detection.
std::u16string ConvertRaw(std::string_view bytes, bool japanese_mail) {
    std::u16string text;
    if (bytes.empty()) return text;
    if (ConvertToUnicode(bytes, text, u"UTF-8", 1, japanese_mail) == -1)
        ConvertToUnicode(bytes, text, u"", 1, japanese_mail);
    return text;
}

std::u16string RootOf(const MailState& mail) {
    std::u16string root = mail.output_root;
    if (root.size() > 1 && root.back() == u'/') root.pop_back();
    return root;
}

// The header fields of the mail that a record tells: "message_id", "from", "date", "subject".
void AppendMailFields(std::string& out, MailState& mail) {
    const MailRecordState& state = mail.record;
    const MailFolderNames names = mail.folders_made ? mail.folder_names : NameMailFolders(mail.facts, false);
    if (state.message_id.empty())
        JsonNull(out, "message_id");
    else
        JsonBytes(out, "message_id", Trim(state.message_id));
    if (names.from_address.empty() || names.from_address == kUnknownSender)
        JsonNull(out, "from");
    else
        JsonText(out, "from", names.from_address);
    if (names.mail_time.IsZero())
        JsonNull(out, "date");
    else
        JsonBytes(out, "date", IsoJapanTime(names.mail_time));
    if (state.subject.empty())
        JsonNull(out, "subject");
    else
        JsonText(out, "subject", DecodeHeaderText(state.subject, mail.facts.japanese_mail));
}

} // namespace

void BeginMailRecord(MailState& mail, const std::u16string& source, uint64_t message, uint64_t offset,
                     uint64_t size) {
    if (!RecordsOf(mail)) return;
    MailRecordState& record = mail.record;
    record.on = true;
    record.shared_owner.reset();
    record.source = source;
    record.error.clear();
    record.message = message;
    record.offset = offset;
    record.parts.Start(mail.source.FileStart(), size);
    TopHeaderValues header = ReadTopHeader(mail.source.FileStart(), size);
    record.message_id = std::move(header.message_id);
    record.subject = std::move(header.subject);
}

void NotePartStart(MailState& mail) {
    MailRecordState& record = mail.record;
    if (!record.on) return;
    const LineCursor here = mail.source.Here();
    const unsigned char* start = mail.source.FileStart();
    // The last byte of the line just read lies in the part's data.
    const uint64_t after = here.pos ? here.pos - start : (here.last ? here.last - start + 1 : 0);
    record.part = NestedPartPath(record.part_prefix, record.parts.PathAt(after ? after - 1 : 0));
    const int mode = static_cast<int>(mail.part.mode);
    record.encoding = mode >= 0 && mode < 9 ? kEncodingNames[mode] : "";
    record.notices.clear();
}

void NoteFileNotice(MailState& mail, const char* notice) {
    if (mail.record.on) mail.record.notices.emplace_back(notice);
}

const std::u16string& MailFolderBelowRoot(MailState& mail) {
    return mail.output.folder_below_root;
}

RecordOwner RecordOwnerOf(MailState& mail) {
    RecordOwner owner;
    MailRecordState& state = mail.record;
    if (!RecordsOf(mail) || !state.on) return owner;
    owner.records = RecordsOf(mail);
    owner.root = RootOf(mail);
    owner.source = state.source;
    owner.message = state.message;
    owner.offset = state.offset;
    owner.files = &state.files;
    // The fields are the mail file's, also for the files of a message attached to it; they are
    // kept once its folders are made, as nothing changes them after that.
    MailState& top = mail.MailFile();
    if (!top.record.mail_fields.empty()) {
        owner.mail_fields = top.record.mail_fields;
        return owner;
    }
    std::string fields = "{";
    AppendMailFields(fields, top);
    owner.mail_fields = fields.substr(1);
    if (top.folders_made) top.record.mail_fields = owner.mail_fields;
    return owner;
}

FileVerdict JudgeFile(MailState& mail, const std::u16string& name, const std::string& sha256) {
    if (!RecordsOf(mail) || !mail.record.on) return {};
    return JudgeCopy(RecordOwnerOf(mail), MailFolderBelowRoot(mail) + name, sha256);
}

bool PublishFile(MailState& mail, const std::u16string& name, const std::u16string& original_name,
                 uint64_t size, const std::string& sha256, FileVerdict verdict) {
    MailRecordState& state = mail.record;
    if (!RecordsOf(mail) || !state.on) return true;
    const std::string content_type = NarrowUnits(mail.part.content_type);
    FileFacts file;
    file.part = state.part;
    file.content_type = &content_type;
    file.encoding = &state.encoding;
    file.original_name = original_name;
    file.folder = mail.output.Here();
    file.name = name;
    file.folder_path = MailFolderBelowRoot(mail);
    file.size = size;
    file.sha256 = sha256;
    file.notices = &state.notices;
    // A dropped duplicate's name was given back before it held any bytes.
    const bool kept = PublishRecordedFile(RecordOwnerOf(mail), file, verdict, true);
    state.notices.clear();
    return kept;
}

namespace {

// A complete file whose record waits for its digest on the writer thread: everything the record
// tells, copied, as the mail and its folder may have gone on by then. Once made it goes back to the
// pool, and its storage is filled again for a later file.
class FileRecordAfterDigest final : public platform::AfterWrite {
  public:
    std::shared_ptr<const RecordOwner> owner;
    Sha256* digest = nullptr;
    FileFacts file;
    std::string content_type;
    std::string encoding;
    std::vector<std::string> notices;

    void Run() override {
        file.content_type = &content_type;
        file.encoding = &encoding;
        file.notices = &notices;
        file.sha256 = digest->HexDigest();
        const FileVerdict verdict = JudgeCopy(*owner, file.folder_path + file.name, file.sha256);
        (void)PublishRecordedFile(*owner, file, verdict, true);
    }
    void Release() override;
};

// The file records handed to the writer thread come back here once made, so that after the first
// few the decoding thread allocates nothing for a file's record. Never destroyed: a run's records
// may be let go as its writer ends.
class FileRecordPool {
  public:
    FileRecordAfterDigest* Take() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!free_.empty()) {
                FileRecordAfterDigest* record = free_.back();
                free_.pop_back();
                return record;
            }
        }
        return new FileRecordAfterDigest;
    }
    void Give(FileRecordAfterDigest* record) {
        record->owner.reset();
        std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(record);
    }

  private:
    std::mutex mutex_;
    std::vector<FileRecordAfterDigest*> free_;
};

FileRecordPool& RecordPool() {
    static FileRecordPool* const pool = new FileRecordPool;
    return *pool;
}

void FileRecordAfterDigest::Release() {
    RecordPool().Give(this);
}

// A mail's own record, after the records of its files.
class MailRecordAfterFiles final : public platform::AfterWrite {
  public:
    MailRecordAfterFiles(std::shared_ptr<const RecordOwner> owner, uint64_t files, bool done,
                         std::string error)
        : owner_(std::move(owner)), files_(files), done_(done), error_(std::move(error)) {}
    void Run() override {
        owner_->records->Write(MailRecordText(*owner_, files_, done_, error_));
        // The mail is complete: its records go out together.
        owner_->records->Flush();
    }

  private:
    std::shared_ptr<const RecordOwner> owner_;
    uint64_t files_;
    bool done_;
    std::string error_;
};

// The owner of the mail's records made later, kept for its next ones once its header fields are
// known (nothing changes them after that). Its files are counted where they are handed on.
std::shared_ptr<const RecordOwner> SharedOwnerOf(MailState& mail) {
    MailRecordState& state = mail.record;
    if (state.shared_owner) return state.shared_owner;
    RecordOwner owner = RecordOwnerOf(mail);
    owner.files = nullptr;
    auto shared = std::make_shared<const RecordOwner>(std::move(owner));
    if (!mail.MailFile().record.mail_fields.empty()) state.shared_owner = shared;
    return shared;
}

} // namespace

bool RecordsOnWriterThread(const MailState& mail) {
    const RunRecords* records = RecordsOf(mail);
    return records && mail.record.on && records->OnWriterThread();
}

void PublishFileAfterDigest(MailState& mail, const std::u16string& name, const std::u16string& original_name,
                            uint64_t size) {
    MailRecordState& state = mail.record;
    // The mail's count is its own: it is taken now, in the order of its files.
    ++state.files;
    FileRecordAfterDigest* later = RecordPool().Take();
    later->owner = SharedOwnerOf(mail);
    later->digest = &mail.run->digest;
    NarrowUnitsInto(mail.part.content_type, later->content_type);
    later->encoding = state.encoding;
    later->notices.swap(state.notices);
    state.notices.clear();
    FileFacts& file = later->file;
    file.part = state.part;
    file.original_name = original_name;
    file.name = name;
    file.folder_path = MailFolderBelowRoot(mail);
    file.size = size;
    mail.run->writer.HashThen(platform::AfterWritePtr(later));
}

void SettleRecords(RunContext& run) {
    if (run.records) run.records->Settle();
}

std::string IsoJapanTime(const platform::SystemTime& time) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u+09:00", time.wYear, time.wMonth,
                  time.wDay, time.wHour, time.wMinute, time.wSecond);
    return text;
}

std::u16string DecodeHeaderText(std::string_view value, bool japanese_mail) {
    value = Trim(value);
    std::u16string text;
    std::string raw;
    bool after_word = false;
    size_t at = 0;
    while (at < value.size()) {
        const size_t open = value.find("=?", at);
        size_t charset_end = open == std::string_view::npos ? open : value.find('?', open + 2);
        size_t form_end = charset_end == std::string_view::npos ? charset_end : charset_end + 2;
        size_t close =
            form_end == std::string_view::npos || form_end >= value.size() || value[form_end] != '?'
                ? std::string_view::npos
                : value.find("?=", form_end + 1);
        if (close == std::string_view::npos) {
            raw.append(value.substr(at));
            break;
        }
        const std::string_view between = value.substr(at, open - at);
        // Space between two encoded words is not part of the text.
        if (!(after_word && Trim(between).empty())) raw.append(between);
        text += ConvertRaw(raw, japanese_mail);
        raw.clear();
        const std::string charset(value.substr(open + 2, charset_end - open - 2));
        const char form = static_cast<char>(std::toupper(static_cast<unsigned char>(value[charset_end + 1])));
        const std::string_view encoded = value.substr(form_end + 1, close - form_end - 1);
        const std::string bytes = form == 'B' ? DecodeBWord(encoded) : DecodeQWord(encoded, QEscapeRule::Sum);
        std::u16string word;
        if (ConvertToUnicode(bytes, word, platform::Utf8ToU16(charset), 1, japanese_mail) == -1)
            word = ConvertRaw(bytes, japanese_mail);
        text += word;
        after_word = true;
        at = close + 2;
    }
    text += ConvertRaw(raw, japanese_mail);
    (void)NormalizeNfc(text);
    return text;
}

void RecordMail(MailState& mail, MailResult result) {
    RunRecords* records = RecordsOf(mail);
    MailRecordState& state = mail.record;
    if (!records || !state.on) return;
    const bool done = result == MailResult::Done;
    ++(done ? records->mails_done : records->mails_failed);
    if (!records->HasManifest()) return;
    std::string error;
    if (!done) error = !state.error.empty() ? state.error : mail.output_failed ? "output" : "input";
    if (records->OnWriterThread()) {
        mail.run->writer.Later(platform::AfterWritePtr(
            new MailRecordAfterFiles(SharedOwnerOf(mail), state.files, done, std::move(error))));
        return;
    }
    records->Write(MailRecordText(RecordOwnerOf(mail), state.files, done, error));
    // The mail is complete: its records go out together.
    records->Flush();
}

} // namespace dornick

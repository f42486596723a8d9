#include "console/run/mail_records.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

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

void Member(std::string& out, const char* key) {
    out += out.size() > 1 ? ",\"" : "\"";
    out += key;
    out += "\":";
}
void Text(std::string& out, const char* key, std::u16string_view value) {
    Member(out, key);
    AppendJsonString(out, value);
}
void Bytes(std::string& out, const char* key, std::string_view value) {
    Member(out, key);
    AppendJsonBytes(out, value);
}
void Number(std::string& out, const char* key, uint64_t value) {
    Member(out, key);
    out += std::to_string(value);
}
void Null(std::string& out, const char* key) {
    Member(out, key);
    out += "null";
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
        const auto named = [&](std::string_view name) {
            if (line.size() < name.size()) return false;
            for (size_t i = 0; i < name.size(); ++i)
                if (std::tolower(static_cast<unsigned char>(line[i])) != name[i]) return false;
            return true;
        };
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

// Replaces the file `name` in `folder` by a hard link to `first`: the link is made under a free
// temporary name and renamed over the file, so that the name never stands empty.
bool LinkOver(int folder, const std::u16string& name, const std::u16string& first) {
    const std::string target = platform::NativeFromPath(first);
    for (int attempt = 0; attempt < 100; ++attempt) {
        char temporary[64];
        std::snprintf(temporary, sizeof temporary, ".dornick-link-%d-%d", static_cast<int>(::getpid()),
                      attempt);
        if (::linkat(AT_FDCWD, target.c_str(), folder, temporary, 0) != 0) {
            if (errno == EEXIST) continue;
            return false;
        }
        if (::renameat(folder, temporary, folder, platform::NativeFromPath(name).c_str()) == 0) return true;
        ::unlinkat(folder, temporary, 0);
        return false;
    }
    return false;
}

} // namespace

void BeginMailRecord(MailState& mail, const std::u16string& source, uint64_t message, uint64_t offset,
                     uint64_t size) {
    if (!RecordsOf(mail)) return;
    MailRecordState& record = mail.record;
    record.on = true;
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

bool PublishFile(MailState& mail, const std::u16string& name, const std::u16string& original_name,
                 uint64_t size, const std::string& sha256) {
    RunRecords* records = RecordsOf(mail);
    MailRecordState& state = mail.record;
    if (!records || !state.on) return true;
    const std::u16string root = RootOf(mail);
    const std::u16string path = mail.output.folder_below_root + name;
    bool kept = true;
    const FirstCopy* first = nullptr;
    if (records->options().dedupe != DedupeMode::Off) {
        first = records->FindOrAdd(sha256, root, root + u"/" + path, path);
        if (first && records->options().dedupe == DedupeMode::Link &&
            !LinkOver(mail.output.Here(), name, first->full_path))
            first = nullptr; // the first copy is gone or on another file system: this one stays
        // A first copy an earlier run recorded may have been removed since: this file takes its place.
        if (first && records->options().dedupe == DedupeMode::Skip && !platform::PathExists(first->full_path))
            first = nullptr;
        if (first && records->options().dedupe == DedupeMode::Skip) {
            platform::RemoveFileAt(mail.output.Here(), name);
            kept = false;
        }
        if (first) ++records->duplicates;
    }
    ++state.files;
    ++records->files;
    if (!records->HasManifest()) return kept;
    std::string out = "{";
    Bytes(out, "type", "file");
    Text(out, "source", state.source);
    Number(out, "message", state.message);
    Number(out, "offset", state.offset);
    Bytes(out, "part", state.part);
    Bytes(out, "content_type", NarrowUnits(mail.part.content_type));
    Bytes(out, "encoding", state.encoding);
    Text(out, "name", original_name);
    Text(out, "root", root);
    if (kept)
        Text(out, "path", path);
    else
        Null(out, "path");
    Number(out, "size", size);
    Bytes(out, "sha256", sha256);
    if (first)
        Text(out, "duplicate_of", first->path);
    else
        Null(out, "duplicate_of");
    Member(out, "notices");
    out += "[";
    for (size_t i = 0; i < state.notices.size(); ++i) {
        if (i) out += ",";
        AppendJsonBytes(out, state.notices[i]);
    }
    out += "]}";
    records->Write(out);
    state.notices.clear();
    return kept;
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
    ++(result == MailResult::Done ? records->mails_done : records->mails_failed);
    if (!records->HasManifest()) return;
    const MailFolderNames names = mail.folders_made ? mail.folder_names : NameMailFolders(mail.facts, false);
    const TopHeaderValues header{state.message_id, state.subject};
    std::string out = "{";
    Bytes(out, "type", "mail");
    Text(out, "source", state.source);
    Number(out, "message", state.message);
    Number(out, "offset", state.offset);
    Text(out, "root", RootOf(mail));
    if (header.message_id.empty())
        Null(out, "message_id");
    else
        Bytes(out, "message_id", Trim(header.message_id));
    if (names.from_address.empty() || names.from_address == kUnknownSender)
        Null(out, "from");
    else
        Text(out, "from", names.from_address);
    if (names.mail_time.IsZero())
        Null(out, "date");
    else
        Bytes(out, "date", IsoJapanTime(names.mail_time));
    if (header.subject.empty())
        Null(out, "subject");
    else
        Text(out, "subject", DecodeHeaderText(header.subject, mail.facts.japanese_mail));
    Number(out, "files", state.files);
    Bytes(out, "status", result == MailResult::Done ? "done" : "failed");
    if (result != MailResult::Done)
        Bytes(out, "error", !state.error.empty() ? state.error : mail.output_failed ? "output" : "input");
    out += "}";
    records->Write(out);
    // The mail is complete: its records go out together.
    records->Flush();
}

} // namespace dornick

#include "console/run/file_records.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "console/run/record_json.h"
#include "platform/file_moves.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace dornick {
namespace {

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

// The file's folder is open, or, for a file recorded after its mail went on, opened again by its
// path below the root.
bool LinkFileOver(const RecordOwner& owner, const FileFacts& file, const std::u16string& first) {
    if (file.folder >= 0) return LinkOver(file.folder, file.name, first);
    const std::u16string folder = owner.root + u"/" + file.folder_path;
    const platform::UniqueFd opened(
        ::open(platform::NativeFromPath(folder).c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    return opened && LinkOver(opened.Get(), file.name, first);
}

// A first copy an earlier run recorded may have been removed since: a file it would drop takes its
// place instead.
FileVerdict SkipVerdict(const FirstCopy* first, DedupeMode mode) {
    if (!first) return {};
    if (mode == DedupeMode::Skip) {
        if (!platform::PathExists(first->full_path)) return {};
        return {first, true};
    }
    return {first, false};
}

} // namespace

FileVerdict JudgeCopy(const RecordOwner& owner, const std::u16string& path, const std::string& sha256) {
    RunRecords* records = owner.records;
    if (!records || records->options().dedupe == DedupeMode::Off) return {};
    const FirstCopy* first = records->FindOrAdd(sha256, owner.root, owner.root + u"/" + path, path);
    return SkipVerdict(first, records->options().dedupe);
}

FileVerdict JudgeUnwritten(const RecordOwner& owner, const std::string& sha256) {
    RunRecords* records = owner.records;
    if (!records || records->options().dedupe != DedupeMode::Skip) return {};
    return SkipVerdict(records->Find(sha256, owner.root), DedupeMode::Skip);
}

bool PublishRecordedFile(const RecordOwner& owner, const FileFacts& file, FileVerdict verdict,
                         bool name_given_back) {
    RunRecords* records = owner.records;
    if (!records) return true;
    if (verdict.first && !verdict.drop && !LinkFileOver(owner, file, verdict.first->full_path))
        verdict.first = nullptr; // the first copy is gone or on another file system: this one stays
    if (verdict.drop && !name_given_back) platform::RemoveFileAt(file.folder, file.name);
    if (verdict.first) ++records->duplicates;
    if (owner.files) ++*owner.files;
    ++records->files;
    if (!records->HasManifest()) return !verdict.drop;
    std::string out = "{";
    JsonRecordStart(out, "file", owner.source, owner.message, owner.offset);
    JsonBytes(out, "part", file.part);
    out += ",";
    out += owner.mail_fields;
    if (file.content_type)
        JsonBytes(out, "content_type", *file.content_type);
    else
        JsonNull(out, "content_type");
    if (file.encoding)
        JsonBytes(out, "encoding", *file.encoding);
    else
        JsonNull(out, "encoding");
    JsonText(out, "name", file.original_name);
    JsonText(out, "root", owner.root);
    if (verdict.drop)
        JsonNull(out, "path");
    else
        JsonText(out, "path", file.folder_path + file.name);
    JsonNumber(out, "size", file.size);
    JsonBytes(out, "sha256", file.sha256);
    if (verdict.first)
        JsonText(out, "duplicate_of", verdict.first->path);
    else
        JsonNull(out, "duplicate_of");
    JsonKey(out, "notices");
    out += "[";
    if (file.notices)
        for (size_t i = 0; i < file.notices->size(); ++i) {
            if (i) out += ",";
            AppendJsonBytes(out, (*file.notices)[i]);
        }
    out += "]}";
    records->Write(out);
    return !verdict.drop;
}

std::string MailRecordText(const RecordOwner& owner, uint64_t files, bool done, std::string_view error) {
    std::string out = "{";
    JsonRecordStart(out, "mail", owner.source, owner.message, owner.offset);
    JsonText(out, "root", owner.root);
    out += ",";
    out += owner.mail_fields;
    JsonNumber(out, "files", files);
    JsonBytes(out, "status", done ? "done" : "failed");
    if (!done) JsonBytes(out, "error", error);
    out += "}";
    return out;
}

void RecordContainerMail(const RecordOwner& owner, bool done) {
    RunRecords* records = owner.records;
    if (!records) return;
    records->Settle();
    ++(done ? records->mails_done : records->mails_failed);
    if (!records->HasManifest()) return;
    records->Write(MailRecordText(owner, owner.files ? *owner.files : 0, done, "input"));
    // The mail is complete: its records go out together.
    records->Flush();
}

} // namespace dornick

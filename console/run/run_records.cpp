#include "console/run/run_records.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "console/run/record_json.h"
#include "platform/text.h"

namespace dornick {

std::u16string MailKey(const std::u16string& source, uint64_t message) {
    return source + u'\0' + platform::Utf8ToU16(std::to_string(message));
}

namespace {

std::u16string CopyKey(const std::u16string& root, const std::string& sha256) {
    return root + u'\0' + platform::Utf8ToU16(sha256);
}

std::u16string JoinRoot(const std::u16string& root, const std::u16string& path) {
    return root.empty() || root.back() == u'/' ? root + path : root + u"/" + path;
}

} // namespace

void RunRecords::Remember(std::string_view line) {
    const nlohmann::json record = ParseRecordLine(line);
    if (record.is_discarded()) return;
    const std::u16string root = RecordText(record, "root");
    if (!root.empty()) roots_.insert(root);
    const std::string type = RecordBytes(record, "type");
    if (type == "mail") {
        const auto message = record.find("message");
        if (RecordBytes(record, "status") == "done" && message != record.end() &&
            message->is_number_unsigned())
            done_.insert(MailKey(RecordText(record, "source"), message->get<uint64_t>()));
    } else if (type == "file") {
        const std::u16string path = RecordText(record, "path");
        const std::string sha256 = RecordBytes(record, "sha256");
        const auto duplicate_of = record.find("duplicate_of");
        const bool first = duplicate_of == record.end() || duplicate_of->is_null();
        if (first && !path.empty() && !sha256.empty() && !root.empty())
            copies_.emplace(CopyKey(root, sha256), FirstCopy{JoinRoot(root, path), path});
    }
}

ManifestOpen RunRecords::OpenManifest(const std::u16string& path) {
    const std::string native = platform::NativeFromPath(path);
    int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return ManifestOpen::CannotOpen;
    manifest_ = platform::UniqueFd(fd);
    // Read in pieces, a line at a time, so that the manifest of a long archive is never held whole.
    std::string pending; // the start of a line whose end is not read yet
    char buffer[1 << 16];
    uint64_t offset = 0;
    bool first = true;
    for (;;) {
        const ssize_t got = ::pread(fd, buffer, sizeof buffer, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            manifest_.Reset();
            return ManifestOpen::CannotOpen;
        }
        if (got == 0) break;
        offset += static_cast<uint64_t>(got);
        pending.append(buffer, static_cast<size_t>(got));
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
            const std::string_view line(pending.data() + start, end - start);
            // The first line must be a record, or one cut short (its mail is then done again).
            const nlohmann::json record = first ? ParseRecordLine(line) : nlohmann::json();
            if (first && (line.empty() || line.front() != '{' ||
                          (!record.is_discarded() && RecordBytes(record, "type").empty()))) {
                manifest_.Reset();
                return ManifestOpen::NotManifest;
            }
            first = false;
            Remember(line);
        }
        pending.erase(0, start);
    }
    // A last line without its line end was cut short by a killed run: its mail is done again. A
    // file that holds nothing else is a manifest only if that line began as a record.
    if (first && !pending.empty() && pending.front() != '{') {
        manifest_.Reset();
        return ManifestOpen::NotManifest;
    }
    // The records of this run start on a line of their own.
    if (!pending.empty()) {
        Write("");
        Flush();
    }
    return ManifestOpen::Ok;
}

std::vector<std::u16string> RunRecords::OtherRoots(const std::vector<std::u16string>& roots) const {
    std::vector<std::u16string> other;
    for (const std::u16string& root : roots_) {
        bool known = false;
        for (const std::u16string& mine : roots)
            known = known || mine == root;
        if (!known) other.push_back(root);
    }
    return other;
}

bool RunRecords::PassOver(const std::u16string& source, uint64_t message) {
    if (!options_.resume || done_.find(MailKey(source, message)) == done_.end()) return false;
    ++passed_over;
    return true;
}

const FirstCopy* RunRecords::FindOrAdd(const std::string& sha256, const std::u16string& root,
                                       const std::u16string& full_path, const std::u16string& path) {
    auto [at, added] = copies_.emplace(CopyKey(root, sha256), FirstCopy{full_path, path});
    return added ? nullptr : &at->second;
}

const FirstCopy* RunRecords::Find(const std::string& sha256, const std::u16string& root) const {
    const auto at = copies_.find(CopyKey(root, sha256));
    return at == copies_.end() ? nullptr : &at->second;
}

void RunRecords::Write(std::string_view record) {
    if (!HasManifest()) return;
    gathered_.append(record);
    gathered_.push_back('\n');
    if (gathered_.size() >= kGatherLimit) Flush();
}

void RunRecords::Flush() {
    if (gathered_.empty() || !HasManifest()) return;
    // One write: O_APPEND puts the lines whole at the end, whatever other runs append meanwhile.
    size_t done = 0;
    while (done < gathered_.size()) {
        const ssize_t wrote = ::write(manifest_.Get(), gathered_.data() + done, gathered_.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) break;
        done += static_cast<size_t>(wrote);
    }
    gathered_.clear();
}

} // namespace dornick

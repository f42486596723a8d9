#pragma once
// The records of a run: the manifest (JSON Lines, appended, whole lines written with one write on
// an O_APPEND descriptor, so that concurrent runs never interleave), the table of file contents for
// --dedupe, the mails an earlier run finished for --resume, and the counts.

#include <atomic>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/async_writer.h"
#include "platform/unique_fd.h"

namespace dornick {

enum class DedupeMode { Off, Link, Skip };

/// The options of the records, for the whole run wherever they stand on the command line.
struct RecordOptions {
    std::u16string manifest; ///< --manifest FILE; empty: no manifest
    DedupeMode dedupe = DedupeMode::Off;
    bool resume = false;
    bool Any() const { return !manifest.empty() || dedupe != DedupeMode::Off; }
};

/// The first copy of some bytes: where it lies, for a link, and how the records name it.
struct FirstCopy {
    std::u16string full_path; ///< absolute
    std::u16string path;      ///< relative to its output root
};

enum class ManifestOpen { Ok, CannotOpen, NotManifest };

class RunRecords {
  public:
    /// Records gathered beyond this many bytes are written at once, whole lines only.
    static constexpr size_t kGatherLimit = 64 * 1024;

    explicit RunRecords(RecordOptions options) : options_(std::move(options)) {}
    ~RunRecords() {
        Settle();
        Flush();
    }
    RunRecords(const RunRecords&) = delete;
    RunRecords& operator=(const RunRecords&) = delete;

    /// Opens the manifest at the absolute `path` (created when missing) and reads what earlier runs
    /// recorded in it. A line cut short by a killed run is passed over (its mail is done again); a
    /// first line that is no record means the file is no manifest.
    ManifestOpen OpenManifest(const std::u16string& path);
    /// The output roots of earlier runs that are not in `roots` (every root of this run).
    std::vector<std::u16string> OtherRoots(const std::vector<std::u16string>& roots) const;

    /// With --resume: true when the manifest says the mail was done, counted as passed over.
    bool PassOver(const std::u16string& source, uint64_t message);
    /// The first copy of bytes with this digest in `root` (this run's or an earlier run's), or
    /// null; otherwise the file at `full_path` becomes the first copy.
    const FirstCopy* FindOrAdd(const std::string& sha256, const std::u16string& root,
                               const std::u16string& full_path, const std::u16string& path);

    /// The first copy of bytes with this digest in `root`, or null; nothing is added.
    const FirstCopy* Find(const std::string& sha256, const std::u16string& root) const;

    /// Adds one record (a JSON object without its line end) as one line to those gathered, if there
    /// is a manifest; they are written once they pass kGatherLimit. A mail's file records and then
    /// its mail record are gathered, so that its mail record never stands before its files'.
    void Write(std::string_view record);
    /// Writes the records gathered, every line whole, with one write.
    void Flush();
    bool HasManifest() const { return manifest_.Get() >= 0; }
    const RecordOptions& options() const { return options_; }
    /// A mail file's record, its dedupe link and its mail's record are made on the output writer's
    /// thread once the file's digest is known, so that decoding never waits for a digest; not
    /// with --dedupe skip, which must know before a file takes its name whether it stays.
    bool OnWriterThread() const { return options_.dedupe != DedupeMode::Skip; }
    /// The writer whose thread makes records (when they are made there).
    void MadeBy(platform::AsyncWriter* writer) { writer_ = OnWriterThread() ? writer : nullptr; }
    /// Waits until the writer thread has made every record handed to it: called on the decoding
    /// thread before it makes records itself (a container's files) or reads what they counted.
    void Settle() {
        if (writer_) writer_->Settle();
    }

    /// Counted where the records are made, and read by the progress line meanwhile.
    std::atomic<uint64_t> files{0};      ///< file records written
    std::atomic<uint64_t> duplicates{0}; ///< files linked or passed over as duplicates
    uint64_t passed_over = 0;            ///< mails passed over by --resume
    uint64_t mails_done = 0;
    uint64_t mails_failed = 0;

  private:
    void Remember(std::string_view line);

    RecordOptions options_;
    platform::AsyncWriter* writer_ = nullptr;
    platform::UniqueFd manifest_;
    std::string gathered_; ///< whole lines not written yet
    std::unordered_set<std::u16string> roots_;
    std::unordered_set<std::u16string> done_; ///< source, NUL, message number
    /// Key: root, NUL, sha256.
    std::unordered_map<std::u16string, FirstCopy> copies_;
};

/// The key of a mail in the done set.
std::u16string MailKey(const std::u16string& source, uint64_t message);

} // namespace dornick

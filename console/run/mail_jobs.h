#pragma once
// Mails worked on by several threads at once, committed one by one in the order of the command
// line, so that a run with workers leaves, says and logs what one without them would.
//
// A worker does a whole mail with its own run context while a DeferredMail is bound: its names are
// chosen against the folders as they stand (only ever missing names that earlier mails will take),
// its files are written without names, its messages and log text kept. At the mail's turn the
// committer links the files in; a name taken meanwhile by an earlier mail, or anything the worker
// could not do ahead, has the mail done again on the committer's thread as a run without workers
// would, so the outcome never depends on the timing.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/run/deferred_mail.h"
#include "console/run/mail_file.h"
#include "console/run/run_options.h"
#include "platform/folder_entries.h"
#include "platform/unique_fd.h"

namespace dornick {

struct RunContext;

/// The workers a run may use when none are asked for: the processors the process may run on,
/// at most kMaxDefaultJobs.
constexpr int kMaxDefaultJobs = 64;
/// The most workers a run may be given.
constexpr int kMaxJobs = 256;
int DefaultJobs();

/// A mail's place in the run's order: the planned file's position, and below it the messages of
/// an archive in turn (at most kMessagesPerFile of them take places of their own).
constexpr unsigned kMessageBits = 32;
constexpr uint64_t kMessagesPerFile = (uint64_t{1} << kMessageBits) - 1;
inline uint64_t FileSequence(uint64_t position) {
    return position << kMessageBits;
}
inline uint64_t MessageSequence(uint64_t file, uint64_t number) {
    return file + (number < kMessagesPerFile ? number : kMessagesPerFile);
}

/// One mail handed to the workers and what came of it.
struct MailJob {
    std::u16string path;
    MailFileForm form = MailFileForm::Whole;
    RunOptions options;
    /// Does the mail with a run context and `options`, in place of reading `path` (a message held
    /// in memory).
    std::function<MailResult(RunContext&, const RunOptions&)> process;
    bool done = false;    ///< under the workers' lock
    bool started = false; ///< a worker took it (else it was dropped)
    bool worked = false;  ///< ... and began it before the run was asked to stop
    bool redo = false;    ///< a folder it made was taken away: done again at its turn
    uint64_t sequence = 0;
    MailResult result = MailResult::Failed;
    DeferredMail deferred;
};

class MailWorkers {
  public:
    /// Starts `count` threads (fewer when no more can be had), each with a run context of its own
    /// like `run` (its start folder, language and lock waiting).
    MailWorkers(const RunContext& run, int count);
    ~MailWorkers();
    MailWorkers(const MailWorkers&) = delete;
    MailWorkers& operator=(const MailWorkers&) = delete;

    /// False when no thread could be started: the mails are then done on the caller's thread.
    bool Running() const { return !threads_.empty(); }
    /// Whether the messages of an mbox are shared out among the workers too.
    bool shares_archives = true;
    /// How many mails may be handed on before the first of them is committed.
    size_t Window() const { return threads_.size() * 4; }
    /// Hands a mail on; it is done by the next free worker. `position`: its place in the run's
    /// order, rising from mail to mail.
    MailJob& Add(std::u16string path, MailFileForm form, const RunOptions& options, uint64_t position);
    /// The same for a mail that `process` does (with a worker's run context, or the committer's).
    MailJob& Add(std::function<MailResult(RunContext&, const RunOptions&)> process, const RunOptions& options,
                 uint64_t position);
    /// Waits until the mail is done, then takes its effect into `run` in the order it would have had
    /// without workers (or does it again there), with its result. The job is let go. False when
    /// the run was asked to stop before the mail was begun: nothing of it was done.
    bool Commit(RunContext& run, MailJob& job, MailResult& result);
    /// Waits for the mail and lets it go without any effect (its turn found other options).
    void Discard(MailJob& job);
    /// Before something is done here at the turn of `position` (not by a worker): the folders
    /// that mails from that position on made ahead go (when empty), and those mails are done again
    /// at their turns, so that this sees the folders as a run without workers would.
    /// Workers make no folder while the lock returned is held, so that what is done here meanwhile
    /// sees no folder of a later mail.
    void BeforeTurnHere(uint64_t position) { TakeAwayFoldersFrom(position); }
    std::unique_lock<std::shared_mutex> HoldFolders() {
        return std::unique_lock<std::shared_mutex>(folders_gate_);
    }
    /// Drops the mails not yet begun and waits for those being done; none of them takes effect.
    void Drop();

  private:
    /// A folder a worker made, by the mail it made it for.
    struct MadeFolder {
        platform::FolderIdentity parent;
        std::string name;
        platform::UniqueFd parent_fd;
        uint64_t sequence;
    };
    void Work(const RunContext& run);
    /// Does the mail ahead of its turn with `context`: its files without names, its words kept.
    void WorkAhead(RunContext& context, MailJob& job);
    MailJob& Hand(std::unique_ptr<MailJob> job, uint64_t position);
    void NoteFolder(uint64_t sequence, int parent, const std::u16string& name);
    bool MadeAfter(uint64_t sequence, int folder, const std::string& name);
    void TakeAwayFoldersFrom(uint64_t sequence);
    void Release(MailJob& job);
    void ForgetFoldersUpTo(uint64_t sequence);

    std::mutex mutex_;
    std::condition_variable job_ready_;
    std::condition_variable job_done_;
    std::deque<MailJob*> queue_;
    std::vector<std::unique_ptr<MailJob>> jobs_; ///< handed on, not yet committed, in order
    bool stopping_ = false;
    std::vector<MadeFolder> made_; ///< under the lock
    std::shared_mutex folders_gate_;
    std::vector<std::thread> threads_;
    std::unique_ptr<RunContext> again_; ///< the committer's, for a mail worked ahead once more
};

/// An mbox at its turn whose messages the workers may do: the file's place in the order, and the
/// hold on the folders taken for its turn, which is let go while the workers do the messages.
struct MboxTurn {
    MailWorkers& workers;
    uint64_t sequence;
    std::unique_lock<std::shared_mutex>& held;
};

} // namespace dornick

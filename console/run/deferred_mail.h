#pragma once
// A mail worked on ahead of its turn: what it says, its files and its log text are kept, and
// only take effect when the mail is committed in the order of the command line.

#include <functional>
#include <string>
#include <vector>

#include "platform/async_writer.h"
#include "platform/console.h"
#include "platform/deferred_files.h"
#include "platform/unique_fd.h"

namespace dornick {

/// The log text of the mail, to be appended to the log file of its output root at commit.
struct DeferredLog {
    std::u16string text;
    std::u16string folder;
    platform::UniqueFd folder_fd; ///< none: the folder is taken by its path
};

struct DeferredMail {
    platform::ConsoleCapture said;
    platform::DeferredFiles files;
    std::vector<DeferredLog> logs;
    platform::WriteTally written; ///< the files the worker finished, for the run's count
    /// Makes a folder for the mail when missing (noted, so that an earlier mail done at its turn
    /// can take it away first) and opens it, both while no folder is being taken away: the folder
    /// open, or none with the errno in `error`.
    std::function<platform::UniqueFd(int parent, const std::u16string& name, int& error)> enter_folder;
};

/// Binds `mail` (its console capture and its files) to this thread while it lasts.
class DeferredMailInUse {
  public:
    explicit DeferredMailInUse(DeferredMail& mail);
    ~DeferredMailInUse();
    DeferredMailInUse(const DeferredMailInUse&) = delete;
    DeferredMailInUse& operator=(const DeferredMailInUse&) = delete;

  private:
    DeferredMail* previous_;
    platform::ConsoleCaptureInUse said_;
    platform::DeferredFilesInUse files_;
};

/// The mail this thread works on ahead of its turn, or none.
DeferredMail* BoundDeferredMail();

/// Marks the mail bound to this thread, if any, as one to be done again at its turn: it does
/// something whose effect cannot wait. True when there is such a mail (the caller then need not
/// go on with it).
bool MustWaitForTurn();

enum class CommitOutcome {
    Committed,    ///< linked, said and logged
    CommittedLog, ///< the same, but a log text could not be written (after its message)
    Redo,         ///< nothing of it took effect: the mail is to be done again, now
};

/// Links the mail's files under their names, then writes what it said and its log text.
CommitOutcome CommitDeferredMail(DeferredMail& mail);

} // namespace dornick

#pragma once
// One run of the console program: everything that lives from its first file to its last. Nothing
// in it is shared with another run, so that two runs may work in one process (one per thread).

#include <string>
#include <string_view>

#include "console/header/icu_objects.h"
#include "console/header/unique_file_name.h"
#include "console/run/file_digest.h"
#include "console/run/kept_folders.h"
#include "console/run/messages.h"
#include "console/run/shard.h"
#include "console/run/tnef_carry.h"
#include "platform/async_writer.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/read_ahead.h"

namespace dornick {

class RunRecords;
struct MboxTurn;

struct RunContext {
    /// `start_folder`: the folder relative arguments are taken against (the current directory,
    /// read once when the run begins; the run never changes it).
    explicit RunContext(std::u16string start_folder = platform::CurrentFolder());
    RunContext(const RunContext&) = delete;
    RunContext& operator=(const RunContext&) = delete;

    /// A path of an argument as a full path against the start folder (without one, a relative path
    /// stays as it is and so names nothing).
    std::u16string FullPath(std::u16string_view path) const {
        if (!NeedsStartFolder(path)) return platform::FullPathFrom(u"/", path);
        return start_folder.empty() ? std::u16string(path) : platform::FullPathFrom(start_folder, path);
    }
    static bool NeedsStartFolder(std::u16string_view path) { return path.empty() || path[0] != u'/'; }

    /// absolute, no trailing "/" except for the root; empty when the run was started in a folder
    /// that no longer exists
    const std::u16string start_folder;
    MessageChannel messages;
    IcuObjects icu;
    Sha256 digest;                         ///< of the output file being written, with records
    platform::AsyncWriter writer;          ///< the output files, one at a time (hashes into `digest`)
    FolderListing listing;                 ///< the folder names were last made unique in
    KeptFolders kept_folders;              ///< the output folders kept open for the next mails
    platform::ReadAhead read_ahead;        ///< the mails to come
    TnefContainerCarry containers;         ///< from one stand-alone container to the next
    platform::RetryPolicy mail_lock_retry; ///< how long a mail held locked is waited for
    Shard shard;                           ///< the part of the input this run takes
    RunRecords* records = nullptr;         ///< the manifest, --dedupe and --resume; none without them
    MboxTurn* mbox_turn = nullptr;         ///< workers for the messages of the mbox at its turn, if any
};

/// Binds the run's message channel and ICU objects to this thread while it lasts.
class RunContextInUse {
  public:
    explicit RunContextInUse(RunContext& run) : messages_(run.messages), icu_(run.icu) {}

  private:
    MessageChannelInUse messages_;
    IcuObjectsInUse icu_;
};

} // namespace dornick

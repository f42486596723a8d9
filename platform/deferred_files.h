#pragma once
// Output files of a mail worked on ahead of its turn. Their names are chosen as usual but not
// created: each file is written into a file without a name in its folder, and the name is only
// noted as taken by this mail. When the mail's turn comes, the files are linked in under their
// names; a name that another mail took meanwhile undoes them all, and the mail is done again.

#include <functional>
#include <string>
#include <vector>

#include "platform/folder_entries.h"
#include "platform/unique_fd.h"

namespace platform {

/// A complete file of the mail and the name it is to take.
struct DeferredLink {
    UniqueFd folder;
    std::string name;
    UniqueFd file;
};

struct DeferredFiles {
    struct Pending {
        FolderIdentity folder;
        std::string name;
    };
    std::vector<Pending> pending;    ///< names the mail has chosen and not given up
    std::vector<DeferredLink> links; ///< its complete files, in the order they were finished
    /// The mail did something that cannot wait for its turn (an older file to replace, a folder
    /// without files without a name): it is done again when its turn comes.
    bool must_wait = false;
    /// True for a name in a folder that a mail after this one made ahead of this one's turn: a run
    /// of one mail at a time would not see it yet.
    std::function<bool(int folder, const std::string& name)> made_later;

    bool IsPending(int folder, const std::string& name) const;
};

/// Binds `files` to this thread while it lasts: output files are claimed, published and given
/// up into it instead of the folders.
class DeferredFilesInUse {
  public:
    explicit DeferredFilesInUse(DeferredFiles& files);
    ~DeferredFilesInUse();
    DeferredFilesInUse(const DeferredFilesInUse&) = delete;
    DeferredFilesInUse& operator=(const DeferredFilesInUse&) = delete;

  private:
    DeferredFiles* previous_;
};

/// The files bound to this thread, or none.
DeferredFiles* BoundDeferredFiles();

/// Links every file under its name, in order. 0, or the errno of the first that failed (EEXIST: a
/// name taken meanwhile), after which the names linked so far are removed again.
int LinkDeferredFiles(DeferredFiles& files);

} // namespace platform

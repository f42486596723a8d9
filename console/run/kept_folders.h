#pragma once
// The output folders a run keeps open from one mail to the next: the output root and the last few
// sender and date folders. Most mails of a run go where an earlier one went; one look at the name
// (no open, no close) tells whether the folder kept is still the one the name gives, so that a
// folder removed, replaced, made a link or given other permissions behind the run's back is opened
// again exactly as for the first mail.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/folder_entries.h"
#include "platform/unique_fd.h"

namespace dornick {

struct KeptFolders {
    struct Root {
        std::u16string path;
        platform::UniqueFd fd;
        platform::FolderStamp stamp;
    };
    /// A folder opened in a kept folder (`parent`, the root or another one kept).
    struct Folder {
        int parent = -1;
        std::string name; ///< as the file system has it
        platform::UniqueFd fd;
        platform::FolderStamp stamp;
        uint64_t used = 0; ///< when last handed out: the longest unused is let go first
    };
    /// Enough for the senders of a busy day; fewer when the process may hold few descriptors.
    static constexpr size_t kMaxFolders = 64;
    /// A folder is kept only when it is entered a second time while still among the last this many:
    /// keeping needs one look more, which a folder entered once (most date folders) would not repay.
    static constexpr size_t kRemembered = 64;

    Root root;
    std::vector<Folder> folders;
    std::array<std::pair<int, std::string>, kRemembered> entered; ///< the folders last entered (parent, name)
    size_t next_entered = 0;                                      ///< the slot the next one takes
    size_t max_folders = 0; ///< worked out when the first folder is kept
    bool sized = false;
    uint64_t clock = 0;
};

/// The root kept for `path` when `path` still gives the same folder; -1 when none is kept or it is no
/// longer the same (it is then let go with every folder in it).
int KeptRoot(KeptFolders& kept, std::u16string_view path);
/// Keeps `opened` (the folder `path` was just opened as, with search permission) as the root in
/// place of any other: the descriptor to use, now kept, or -1 when it cannot be kept (`opened` then
/// stays the caller's).
int KeepRoot(KeptFolders& kept, std::u16string_view path, platform::UniqueFd& opened);

/// The folder `name` of the kept folder `parent` when it is kept and `name` (not followed as a link)
/// still gives it; -1 otherwise (a folder kept under that name is then let go, and those in it).
int KeptFolder(KeptFolders& kept, int parent, const std::string& name);
/// Keeps `opened`, the folder `name` of `parent` as just opened; the descriptor to use, or -1 when
/// it is not kept (`parent` is not a kept folder, the folder was not entered shortly before, or
/// `opened` cannot be looked at): `opened` then stays the caller's.
int KeepFolder(KeptFolders& kept, int parent, const std::string& name, platform::UniqueFd& opened);

} // namespace dornick

#pragma once
// What an open folder holds, as the output names need it: whether a name is taken, which folder it
// is, and the names it lists. Names are the UTF-8 bytes the system uses.

#include <cstdint>
#include <string>
#include <unordered_set>

namespace platform {

/// Which folder a path is on its file system (device and inode).
struct FolderIdentity {
    uint64_t device = 0;
    uint64_t inode = 0;

    bool operator==(const FolderIdentity&) const = default;
};

/// What decides whether a folder is entered as it was when it was opened: which folder it is, its
/// type and permission bits, and its owner. An open folder whose path still gives the same stamp
/// can be used again instead of being opened once more.
struct FolderStamp {
    FolderIdentity identity;
    uint32_t mode = 0;
    uint32_t owner = 0;
    uint32_t group = 0;

    bool operator==(const FolderStamp&) const = default;
};

/// The stamp of the open folder `folder`; false when it cannot be read.
bool StampOpenFolder(int folder, FolderStamp& stamp);
/// The stamp of what `native` names in the open folder `parent` (an absolute path with any
/// `parent`); a link at its end is followed only with `follow_link`. False when nothing is there.
bool StampNameAt(int parent, const std::string& native, bool follow_link, FolderStamp& stamp);

/// True when `native` names anything in the open folder `folder`; a link is not followed.
bool NativeNameTaken(int folder, const std::string& native);
/// The identity of the open folder; false when it cannot be read.
bool IdentifyFolder(int folder, FolderIdentity& identity);
/// Adds the name of every entry of the open folder ("." and ".." too) to `names`; false when the
/// folder cannot be read.
bool ListFolder(int folder, std::unordered_set<std::string>& names);

} // namespace platform

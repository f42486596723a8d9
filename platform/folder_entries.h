#pragma once
// What a folder holds, as the output names need it: whether a name is taken, which folder is the
// current one, and the names it lists. Names are the UTF-8 bytes the system uses.

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

/// True when `native` (relative to the current folder) names anything; a link is not followed.
bool NativeNameTaken(const std::string& native);
/// The identity of the current folder; false when it cannot be read.
bool IdentifyCurrentFolder(FolderIdentity& identity);
/// Adds the name of every entry of the current folder ("." and ".." too) to `names`; false when the
/// folder cannot be read.
bool ListCurrentFolder(std::unordered_set<std::string>& names);

} // namespace platform

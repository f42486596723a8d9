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

/// True when `native` names anything in the open folder `folder`; a link is not followed.
bool NativeNameTaken(int folder, const std::string& native);
/// The identity of the open folder; false when it cannot be read.
bool IdentifyFolder(int folder, FolderIdentity& identity);
/// Adds the name of every entry of the open folder ("." and ".." too) to `names`; false when the
/// folder cannot be read.
bool ListFolder(int folder, std::unordered_set<std::string>& names);

} // namespace platform

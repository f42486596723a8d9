#include "platform/folder_entries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool NativeNameTaken(int folder, const std::string& native) {
    struct stat info;
    return ::fstatat(folder, native.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool IdentifyFolder(int folder, FolderIdentity& identity) {
    struct stat here;
    if (::fstat(folder, &here) != 0) return false;
    identity.device = static_cast<uint64_t>(here.st_dev);
    identity.inode = static_cast<uint64_t>(here.st_ino);
    return true;
}

bool ListFolder(int folder, std::unordered_set<std::string>& names) {
    // The handle may be one for its path only: the listing reads through a handle of its own.
    const int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0) return false;
    DIR* listing = ::fdopendir(readable);
    if (!listing) {
        ::close(readable);
        return false;
    }
    while (const dirent* entry = ::readdir(listing))
        names.insert(entry->d_name);
    ::closedir(listing);
    return true;
}

} // namespace platform

#include "platform/folder_entries.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/deferred_files.h"

namespace platform {

namespace {

void TakeStamp(const struct stat& info, FolderStamp& stamp) {
    stamp.identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    stamp.mode = static_cast<uint32_t>(info.st_mode);
    stamp.owner = static_cast<uint32_t>(info.st_uid);
    stamp.group = static_cast<uint32_t>(info.st_gid);
}

} // namespace

bool StampOpenFolder(int folder, FolderStamp& stamp) {
    struct stat info;
    if (::fstat(folder, &info) != 0) return false;
    TakeStamp(info, stamp);
    return true;
}

bool StampNameAt(int parent, const std::string& native, bool follow_link, FolderStamp& stamp) {
    struct stat info;
    if (::fstatat(parent, native.c_str(), &info, follow_link ? 0 : AT_SYMLINK_NOFOLLOW) != 0) return false;
    TakeStamp(info, stamp);
    return true;
}

bool NativeNameTaken(int folder, const std::string& native) {
    struct stat info;
    DeferredFiles* deferred = BoundDeferredFiles();
    if (::fstatat(folder, native.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        // Taken by a later mail's folder: this mail waits for its turn, when that folder is gone.
        if (deferred && S_ISDIR(info.st_mode) && deferred->made_later && deferred->made_later(folder, native))
            deferred->must_wait = true;
        return true;
    }
    return deferred && deferred->IsPending(folder, native);
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

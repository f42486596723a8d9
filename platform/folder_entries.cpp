#include "platform/folder_entries.h"

#include <dirent.h>
#include <sys/stat.h>

namespace platform {

bool NativeNameTaken(const std::string& native) {
    struct stat info;
    return ::lstat(native.c_str(), &info) == 0;
}

bool IdentifyCurrentFolder(FolderIdentity& identity) {
    struct stat here;
    if (::stat(".", &here) != 0) return false;
    identity.device = static_cast<uint64_t>(here.st_dev);
    identity.inode = static_cast<uint64_t>(here.st_ino);
    return true;
}

bool ListCurrentFolder(std::unordered_set<std::string>& names) {
    DIR* folder = ::opendir(".");
    if (!folder) return false;
    while (const dirent* entry = ::readdir(folder))
        names.insert(entry->d_name);
    ::closedir(folder);
    return true;
}

} // namespace platform

#include "platform/paths.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/text.h"

namespace platform {
namespace {

std::vector<std::u16string_view> SplitComponents(std::u16string_view path) {
    std::vector<std::u16string_view> parts;
    size_t i = 0;
    while (i <= path.size()) {
        size_t slash = path.find(u'/', i);
        if (slash == std::u16string_view::npos) slash = path.size();
        if (slash > i) parts.push_back(path.substr(i, slash - i));
        i = slash + 1;
    }
    return parts;
}

// Opens a full path one component at a time, from the root, for a path too long for one call;
// links on the way are followed as a single open would.
int OpenStepwise(const std::string& native, int flags) {
    int folder = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    size_t i = 0;
    while (folder >= 0) {
        while (i < native.size() && native[i] == '/')
            ++i;
        if (i >= native.size()) return folder;
        size_t slash = native.find('/', i);
        if (slash == std::string::npos) slash = native.size();
        const bool last = native.find_first_not_of('/', slash) == std::string::npos;
        const int next = ::openat(folder, native.substr(i, slash - i).c_str(),
                                  last ? flags : O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        if (last) return next;
        folder = next;
        i = slash + 1;
    }
    return -1;
}

// lstat of a full path that may be longer than PATH_MAX: the folders on the way are opened one at
// a time.
bool StatStepwise(const std::string& native, struct stat& info) {
    if (::lstat(native.c_str(), &info) == 0) return true;
    if (errno != ENAMETOOLONG) return false;
    int folder = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
    size_t i = 0;
    while (folder >= 0) {
        while (i < native.size() && native[i] == '/')
            ++i;
        size_t slash = native.find('/', i);
        std::string part = native.substr(i, slash == std::string::npos ? std::string::npos : slash - i);
        bool last = slash == std::string::npos || native.find_first_not_of('/', slash) == std::string::npos;
        if (last) {
            bool found = ::fstatat(folder, part.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
            ::close(folder);
            return found;
        }
        int next = ::openat(folder, part.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
        ::close(folder);
        folder = next;
        i = slash + 1;
    }
    return false;
}

// Lists one folder (opened without following a link), sorted by name, and walks into its folders.
bool NeverEntered(int folder_fd, const FolderSearch& search) {
    if (search.never_entered.empty()) return false;
    FolderIdentity identity;
    if (!IdentifyFolder(folder_fd, identity)) return false;
    return std::find(search.never_entered.begin(), search.never_entered.end(), identity) !=
           search.never_entered.end();
}

bool ListBelow(int folder_fd, const std::string& prefix, const std::function<bool(std::string_view)>& take,
               std::vector<std::u16string>& found, FolderSearch& search) {
    if (NeverEntered(folder_fd, search)) {
        ::close(folder_fd);
        return true;
    }
    DIR* folder = ::fdopendir(folder_fd);
    if (!folder) {
        ::close(folder_fd);
        return false;
    }
    struct Entry {
        std::string name;
        bool is_folder;
    };
    std::vector<Entry> entries;
    while (const dirent* entry = ::readdir(folder)) {
        const char* name = entry->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'))) continue;
        bool is_folder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_UNKNOWN) {
            struct stat info;
            is_folder =
                ::fstatat(::dirfd(folder), name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(info.st_mode);
        }
        entries.push_back({name, is_folder});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (const Entry& entry : entries) {
        if (!entry.is_folder) {
            if (take(entry.name)) found.push_back(PathFromNative(prefix + entry.name));
            continue;
        }
        int sub =
            ::openat(::dirfd(folder), entry.name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        // A folder that cannot be read below the root is passed over and named; the search goes on.
        const std::string below = prefix + entry.name;
        if (sub < 0 && errno == ENOENT) continue; // removed since it was listed
        if (sub < 0 || !ListBelow(sub, below + "/", take, found, search))
            search.unreadable.push_back(PathFromNative(below));
    }
    ::closedir(folder);
    return true;
}

} // namespace

std::string NativePath(std::u16string_view path) {
    return NativeFromPath(path);
}

std::u16string CurrentFolder() {
    std::string buffer(PATH_MAX, '\0');
    while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
        if (errno != ERANGE) return {};
        buffer.resize(buffer.size() * 2);
    }
    buffer.resize(std::char_traits<char>::length(buffer.c_str()));
    return PathFromNative(buffer);
}

namespace {

// True for a path that FullPath gives back as it is: absolute, without empty, "." or ".."
// components.
bool IsPlainFullPath(std::u16string_view path) {
    if (path.empty() || path[0] != u'/') return false;
    for (size_t i = 0; i < path.size(); ++i) {
        if (path[i] != u'/' || i + 1 == path.size()) continue;
        const std::u16string_view rest = path.substr(i + 1);
        if (rest[0] == u'/') return false;
        if (rest[0] == u'.' && (rest.size() == 1 || rest[1] == u'/')) return false;
        if (rest.substr(0, 2) == u".." && (rest.size() == 2 || rest[2] == u'/')) return false;
    }
    return true;
}

} // namespace

std::u16string FullPath(std::u16string_view path) {
    if (IsPlainFullPath(path)) return std::u16string(path);
    if (!path.empty() && path[0] == u'/') return FullPathFrom(u"/", path);
    const std::u16string current = CurrentFolder();
    // Without a current folder a relative path stays relative: it names nothing, rather than a
    // path below the root.
    return current.empty() ? std::u16string(path) : FullPathFrom(current, path);
}

std::u16string FullPathFrom(std::u16string_view base, std::u16string_view path) {
    if (IsPlainFullPath(path)) return std::u16string(path);
    std::u16string joined;
    if (path.empty() || path[0] != u'/') {
        joined = base;
        joined.push_back(u'/');
    }
    joined.append(path);
    std::vector<std::u16string_view> kept;
    for (std::u16string_view part : SplitComponents(joined)) {
        if (part == u".") continue;
        if (part == u"..") {
            if (!kept.empty()) kept.pop_back();
            continue;
        }
        kept.push_back(part);
    }
    std::u16string result;
    for (std::u16string_view part : kept) {
        result.push_back(u'/');
        result.append(part);
    }
    if (result.empty() || (!path.empty() && path.back() == u'/')) result.push_back(u'/');
    return result;
}

std::u16string DisplayPath(std::u16string_view path) {
    std::u16string full = FullPath(path);
    while (full.size() > 1 && full.back() == u'/')
        full.pop_back();
    // A byte of a name that is not UTF-8 is shown as "\xe9".
    std::u16string shown;
    for (const char16_t unit : full) {
        if (!IsEscapedByte(unit)) {
            shown.push_back(unit);
            continue;
        }
        static constexpr char16_t kDigits[] = u"0123456789abcdef";
        shown += u"\\x";
        shown.push_back(kDigits[(unit >> 4) & 0xF]);
        shown.push_back(kDigits[unit & 0xF]);
    }
    return shown;
}

bool PathExists(std::u16string_view path) {
    struct stat info;
    return StatStepwise(NativePath(FullPath(path)), info);
}

int CreateFolderChain(std::u16string_view path) {
    int result = 1;
    UniqueFd folder(::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
    const std::u16string full = FullPath(path);
    for (std::u16string_view part : SplitComponents(full)) {
        if (!folder) return 1;
        const std::string native = NativePath(part);
        result = ::mkdirat(folder.Get(), native.c_str(), 0777) == 0 ? 0 : 1;
        folder = UniqueFd(::openat(folder.Get(), native.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    }
    return folder ? result : 1;
}

int MakeFolderAt(int parent, std::u16string_view name) {
    return ::mkdirat(parent, NativePath(name).c_str(), 0777) == 0 ? 0 : errno;
}

UniqueFd OpenFolder(std::u16string_view path) {
    const std::string native = NativePath(FullPath(path));
    constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
    UniqueFd fd(::open(native.c_str(), kFlags));
    if (!fd && errno == ENAMETOOLONG) fd.Reset(OpenStepwise(native, kFlags));
    // Files are made in it only with search permission, which a handle for its path alone does not
    // ask for: a folder without it cannot be entered, as before.
    if (fd && ::faccessat(fd.Get(), ".", X_OK, 0) != 0) fd.Reset();
    return fd;
}

UniqueFd OpenFolderNoFollowAt(int parent, std::u16string_view name) {
    // Opened for reading, as the folders of a mail always were.
    return UniqueFd(
        ::openat(parent, NativePath(name).c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
}

std::u16string FolderPath(int folder) {
    const std::string link = "/proc/self/fd/" + std::to_string(folder);
    std::string buffer(PATH_MAX, '\0');
    for (;;) {
        const ssize_t n = ::readlink(link.c_str(), buffer.data(), buffer.size());
        if (n < 0) return u"/";
        if (static_cast<size_t>(n) < buffer.size()) {
            buffer.resize(static_cast<size_t>(n));
            return PathFromNative(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool NameExistsAt(int parent, std::u16string_view name) {
    struct stat info;
    return ::fstatat(parent, NativePath(name).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

bool IsFolder(std::u16string_view path) {
    struct stat info;
    return ::stat(NativePath(FullPath(path)).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFolderElseFileSize(std::u16string_view path, uint64_t& regular_size) {
    struct stat info;
    regular_size = 0;
    if (::stat(NativePath(FullPath(path)).c_str(), &info) != 0) return false;
    if (S_ISDIR(info.st_mode)) return true;
    if (S_ISREG(info.st_mode)) regular_size = static_cast<uint64_t>(info.st_size);
    return false;
}

bool FindFilesBelow(std::u16string_view root, const std::function<bool(std::string_view)>& take,
                    std::vector<std::u16string>& found, FolderSearch& search) {
    int fd = ::open(NativePath(FullPath(root)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    std::string prefix = NativePath(root);
    if (!prefix.empty() && prefix.back() != '/') prefix.push_back('/');
    return ListBelow(fd, prefix, take, found, search);
}

bool IdentifyFolderAt(std::u16string_view path, FolderIdentity& identity) {
    struct stat info;
    if (::stat(NativePath(FullPath(path)).c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    identity = {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
    return true;
}

} // namespace platform

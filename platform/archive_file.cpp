#include "platform/archive_file.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace platform {
namespace {

// O_NONBLOCK keeps the open of a FIFO from waiting for a writer. A link named on the command line
// is followed; the folder search passes links over before anything is opened.
int OpenRegular(std::u16string_view path, uint64_t& size) {
    int fd = ::open(NativePath(FullPath(path)).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return -1;
    }
    size = static_cast<uint64_t>(info.st_size);
    return fd;
}

} // namespace

bool OpenArchiveFile(std::u16string_view path, ArchiveFile& file) {
    uint64_t size = 0;
    int fd = OpenRegular(path, size);
    if (fd < 0) return false;
    file.fd.Reset(fd);
    file.size = size;
    return true;
}

size_t ReadArchiveBytes(const ArchiveFile& file, uint64_t offset, unsigned char* into, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t got = ::pread(file.fd.Get(), into + done, count - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    return done;
}

uint64_t MemoryForOneMessage() {
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long page_size = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || page_size <= 0) return uint64_t{1} << 30;
    return static_cast<uint64_t>(pages) * static_cast<uint64_t>(page_size) / 4;
}

bool ListFolder(std::u16string_view path, std::vector<FolderEntry>& entries) {
    int fd = ::open(NativePath(FullPath(path)).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    DIR* folder = ::fdopendir(fd);
    if (folder == nullptr) {
        ::close(fd);
        return false;
    }
    while (const dirent* entry = ::readdir(folder)) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        struct stat info;
        FolderEntry found{std::string(name), EntryType::Other, 0};
        if (::fstatat(::dirfd(folder), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
            if (S_ISDIR(info.st_mode)) found.type = EntryType::Folder;
            if (S_ISREG(info.st_mode)) {
                found.type = EntryType::File;
                found.size = static_cast<uint64_t>(info.st_size);
            }
        }
        entries.push_back(std::move(found));
    }
    ::closedir(folder);
    return true;
}

std::string ReadFileStart(std::u16string_view path, size_t count) {
    ArchiveFile file;
    if (!OpenArchiveFile(path, file)) return {};
    std::string bytes(count, '\0');
    bytes.resize(ReadArchiveBytes(file, 0, reinterpret_cast<unsigned char*>(bytes.data()), count));
    return bytes;
}

} // namespace platform

#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"

namespace platform {
namespace {

constexpr uint64_t kSequentialHintBytes = 1 << 20;

bool WriteFully(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

} // namespace

OpenStatus OpenSharedExisting(std::u16string_view path, bool writable, MappedFile& file) {
    int fd = ::open(NativePath(path).c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0 && writable && (errno == EACCES || errno == EROFS))
        fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC); // times can still be set by the owner
    if (fd < 0) return OpenStatus::Failed;
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(fd);
        return OpenStatus::Failed;
    }
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? OpenStatus::Contended : OpenStatus::Failed;
    }
    file.fd = fd;
    // The size as it stood when the file was opened; QueryFileSize reads it again only for a file
    // that is not a regular one.
    file.size = S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
    file.regular = S_ISREG(info.st_mode);
    return OpenStatus::Ok;
}

bool QueryFileSize(MappedFile& file) {
    if (file.regular) return true;
    struct stat info;
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return false;
    file.size = static_cast<uint64_t>(info.st_size);
    return true;
}

bool MapWholeFile(MappedFile& file) {
    void* view = ::mmap(nullptr, file.size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (view == MAP_FAILED) return false;
    // Read-ahead hints pay off only for large mails; a small one is read in a few pages anyway.
    if (file.size >= kSequentialHintBytes) ::madvise(view, file.size, MADV_SEQUENTIAL);
    file.data = static_cast<const unsigned char*>(view);
    return true;
}

void CloseMappedFile(MappedFile& file) {
    if (file.data) ::munmap(const_cast<unsigned char*>(file.data), file.size);
    if (file.fd >= 0) ::close(file.fd);
    file = MappedFile{};
}

bool SetFileTimes(int fd, std::time_t when) {
    struct timespec times[2];
    times[0].tv_sec = when;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return ::futimens(fd, times) == 0;
}

OpenStatus AppendLocked(std::u16string_view path, std::string_view prefix, std::string_view bytes) {
    int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
    if (fd < 0) return OpenStatus::Failed;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int error = errno;
        ::close(fd);
        return error == EWOULDBLOCK ? OpenStatus::Contended : OpenStatus::Failed;
    }
    // The size is read under the lock, so two writers never both see an empty file.
    struct stat info;
    std::string text;
    if (::fstat(fd, &info) == 0 && info.st_size == 0) text.append(prefix);
    text.append(bytes);
    WriteFully(fd, text); // one write for the whole text, so that the texts of processes never interleave
    ::close(fd);
    return OpenStatus::Ok;
}

} // namespace platform

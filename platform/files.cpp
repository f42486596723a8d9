#include "platform/files.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "platform/paths.h"
#include "platform/unique_fd.h"

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

MappedFile::MappedFile(MappedFile&& other) noexcept
    : fd(std::exchange(other.fd, -1)), data(std::exchange(other.data, nullptr)),
      size(std::exchange(other.size, 0)), regular(std::exchange(other.regular, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        CloseMappedFile(*this);
        fd = std::exchange(other.fd, -1);
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        regular = std::exchange(other.regular, false);
    }
    return *this;
}

MappedFile::~MappedFile() {
    CloseMappedFile(*this);
}

OpenStatus OpenSharedExisting(std::u16string_view path, bool writable, MappedFile& file) {
    CloseMappedFile(file);
    UniqueFd fd(::open(NativePath(path).c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC));
    if (!fd && writable && (errno == EACCES || errno == EROFS))
        fd.Reset(
            ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC)); // times can still be set by the owner
    if (!fd) return OpenStatus::Failed;
    struct stat info;
    if (::fstat(fd.Get(), &info) != 0 || S_ISDIR(info.st_mode)) return OpenStatus::Failed;
    if (::flock(fd.Get(), LOCK_SH | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? OpenStatus::Contended : OpenStatus::Failed;
    file.fd = fd.Release();
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
    file.fd = -1;
    file.data = nullptr;
    file.size = 0;
    file.regular = false;
}

bool SetFileTimes(int fd, std::time_t when) {
    struct timespec times[2];
    times[0].tv_sec = when;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return ::futimens(fd, times) == 0;
}

OpenStatus AppendLocked(std::u16string_view path, std::string_view prefix, std::string_view bytes) {
    UniqueFd fd(::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666));
    if (!fd) return OpenStatus::Failed;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? OpenStatus::Contended : OpenStatus::Failed;
    // The size is read under the lock, so two writers never both see an empty file.
    struct stat info;
    std::string text;
    if (::fstat(fd.Get(), &info) == 0 && info.st_size == 0) text.append(prefix);
    text.append(bytes);
    WriteFully(fd.Get(),
               text); // one write for the whole text, so that the texts of processes never interleave
    return OpenStatus::Ok;
}

} // namespace platform

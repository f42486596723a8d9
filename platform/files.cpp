#include "platform/files.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
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
// Zero bytes kept after a file read into memory.
constexpr uint64_t kCopyPadding = 4096;

// The mappings under the SIGBUS guard. A mail that another process cuts short while it is mapped
// raises SIGBUS on the first read past the new end; the handler puts zero pages over the rest of
// the mapping and notes it, so that the walk ends over zeros and the run goes on with the next
// mail. Slots are claimed and released by the thread that maps; the handler only reads them.
struct GuardSlot {
    std::atomic<uintptr_t> begin{0};
    std::atomic<uintptr_t> end{0};
    std::atomic<bool> shrank{false};
};
constexpr int kGuardSlots = 16;
constexpr uintptr_t kClaimed = 1; // a slot taken whose range is not set yet
GuardSlot g_guard[kGuardSlots];
struct sigaction g_previous_bus;

void OnBusError(int signal, siginfo_t* info, void* context) {
    const auto address = reinterpret_cast<uintptr_t>(info->si_addr);
    for (GuardSlot& slot : g_guard) {
        const uintptr_t begin = slot.begin.load(std::memory_order_acquire);
        const uintptr_t end = slot.end.load(std::memory_order_acquire);
        if (begin <= kClaimed || address < begin || address >= end) continue; // free, or being filled in
        const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        const uintptr_t from = address & ~(page - 1);
        if (::mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) == MAP_FAILED)
            break;
        slot.shrank.store(true, std::memory_order_release);
        return; // the faulting read is repeated and now sees zeros
    }
    // Not a guarded mapping: the fault is a real one and ends the program as it would have.
    ::sigaction(SIGBUS, &g_previous_bus, nullptr);
    (void)signal;
    (void)context;
}

int ClaimGuardSlot(const void* data, uint64_t size) {
    InstallMappingGuard();
    for (int i = 0; i < kGuardSlots; ++i) {
        uintptr_t expected = 0;
        if (g_guard[i].begin.compare_exchange_strong(expected, kClaimed)) {
            g_guard[i].shrank.store(false);
            g_guard[i].end.store(reinterpret_cast<uintptr_t>(data) + size, std::memory_order_release);
            g_guard[i].begin.store(reinterpret_cast<uintptr_t>(data), std::memory_order_release);
            return i;
        }
    }
    return -1; // more mappings than slots: this one goes unguarded
}

void ReleaseGuardSlot(int slot) {
    if (slot < 0) return;
    g_guard[slot].end.store(0, std::memory_order_release);
    g_guard[slot].begin.store(0, std::memory_order_release);
}

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
      size(std::exchange(other.size, 0)), regular(std::exchange(other.regular, false)),
      guard_slot(std::exchange(other.guard_slot, -1)), copied(std::exchange(other.copied, false)),
      copy_shrank(std::exchange(other.copy_shrank, false)) {}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        CloseMappedFile(*this);
        fd = std::exchange(other.fd, -1);
        data = std::exchange(other.data, nullptr);
        size = std::exchange(other.size, 0);
        regular = std::exchange(other.regular, false);
        guard_slot = std::exchange(other.guard_slot, -1);
        copied = std::exchange(other.copied, false);
        copy_shrank = std::exchange(other.copy_shrank, false);
    }
    return *this;
}

MappedFile::~MappedFile() {
    CloseMappedFile(*this);
}

static_assert(kCurrentFolder == AT_FDCWD);

OpenStatus OpenSharedExisting(std::u16string_view path, bool writable, MappedFile& file, int folder) {
    CloseMappedFile(file);
    // O_NONBLOCK: a FIFO given as a mail must not wait for a writer; only regular files are read.
    const std::string native = NativePath(path);
    UniqueFd fd(::openat(folder, native.c_str(), (writable ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC));
    if (!fd && writable && (errno == EACCES || errno == EROFS))
        fd.Reset(::openat(folder, native.c_str(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC)); // times can still be set by the owner
    if (!fd) return OpenStatus::Failed;
    struct stat info;
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return OpenStatus::Failed;
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
    if (file.size < kReadIntoMemoryBytes) {
        // Zero bytes after the data, as in the last page of a mapping, for readers that look a
        // few bytes ahead.
        auto* copy = static_cast<unsigned char*>(std::malloc(file.size + kCopyPadding));
        if (!copy) return false;
        uint64_t got = 0;
        while (got < file.size) {
            const ssize_t n = ::pread(file.fd, copy + got, file.size - got, static_cast<off_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<uint64_t>(n);
        }
        file.copy_shrank = got < file.size;
        std::memset(copy + got, 0, file.size - got + kCopyPadding);
        file.data = copy;
        file.copied = true;
        return true;
    }
    void* view = ::mmap(nullptr, file.size, PROT_READ, MAP_PRIVATE, file.fd, 0);
    if (view == MAP_FAILED) return false;
    // Read-ahead hints pay off only for large mails; a small one is read in a few pages anyway.
    if (file.size >= kSequentialHintBytes) ::madvise(view, file.size, MADV_SEQUENTIAL);
    file.data = static_cast<const unsigned char*>(view);
    file.guard_slot = ClaimGuardSlot(view, file.size);
    return true;
}

bool MappingShrank(const MappedFile& file) {
    if (file.copied) return file.copy_shrank;
    return file.guard_slot >= 0 && g_guard[file.guard_slot].shrank.load(std::memory_order_acquire);
}

void InstallMappingGuard() {
    static const bool installed = [] {
        struct sigaction action = {};
        action.sa_sigaction = OnBusError;
        action.sa_flags = SA_SIGINFO;
        sigemptyset(&action.sa_mask);
        return ::sigaction(SIGBUS, &action, &g_previous_bus) == 0;
    }();
    (void)installed;
}

void CloseMappedFile(MappedFile& file) {
    ReleaseGuardSlot(file.guard_slot);
    file.guard_slot = -1;
    if (file.copied)
        std::free(const_cast<unsigned char*>(file.data));
    else if (file.data)
        ::munmap(const_cast<unsigned char*>(file.data), file.size);
    file.copied = false;
    file.copy_shrank = false;
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

OpenStatus AppendLocked(std::u16string_view path, std::string_view prefix, std::string_view bytes,
                        int folder) {
    // A link planted in the log's place is not followed, and a FIFO there neither blocks the open
    // nor takes the text.
    UniqueFd fd(::openat(folder, NativePath(path).c_str(),
                         O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666));
    if (!fd) return OpenStatus::Failed;
    struct stat info;
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode)) return OpenStatus::Failed;
    if (::flock(fd.Get(), LOCK_EX | LOCK_NB) != 0)
        return errno == EWOULDBLOCK ? OpenStatus::Contended : OpenStatus::Failed;
    // The size is read under the lock, so two writers never both see an empty file.
    if (::fstat(fd.Get(), &info) != 0) return OpenStatus::WriteFailed;
    std::string text;
    if (info.st_size == 0) text.append(prefix);
    text.append(bytes);
    // One write for the whole text, so that the texts of processes never interleave.
    if (WriteFully(fd.Get(), text)) return OpenStatus::Ok;
    // A full disk or a size limit: what went out is taken back, so that the log holds whole texts.
    if (::ftruncate(fd.Get(), info.st_size) != 0) { /* the text stays cut; the failure is reported */
    }
    return OpenStatus::WriteFailed;
}

} // namespace platform

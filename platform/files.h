#pragma once
// Files: read-only mapping of a mail, contention (advisory locks) with its retry, file times, the
// appending writer of a shared log.

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string_view>
#include <thread>

namespace platform {

/// The folder handle that stands for the process's current directory.
constexpr int kCurrentFolder = -100; // AT_FDCWD

/// How often and how long contended files are retried: every 250 ms, 1201 attempts in all.
struct RetryPolicy {
    int attempts = 1201;
    std::chrono::milliseconds interval{250};
};

/// WriteFailed: the file was opened but its text could not be written whole (a full disk, a file
/// size limit); nothing of the text is left in it.
enum class OpenStatus { Ok, Contended, Failed, WriteFailed };

/// Calls `attempt` until it gives anything but Contended, sleeping between tries; the last status.
template <typename Attempt> OpenStatus RetryWhileContended(Attempt attempt, const RetryPolicy& policy = {}) {
    OpenStatus status = OpenStatus::Failed;
    for (int i = 0; i < policy.attempts; ++i) {
        status = attempt();
        if (status != OpenStatus::Contended) return status;
        if (i + 1 < policy.attempts) std::this_thread::sleep_for(policy.interval);
    }
    return status;
}

/// Files smaller than this are read into memory by MapWholeFile instead of being mapped.
constexpr uint64_t kReadIntoMemoryBytes = 1 << 20;

/// A whole file mapped read-only. It owns its descriptor and its mapping: both are released when it
/// goes (or by CloseMappedFile), and it is handed on only by moving.
struct MappedFile {
    int fd = -1;
    const unsigned char* data = nullptr;
    uint64_t size = 0;
    bool regular = false;     ///< the size was read when the file was opened
    int guard_slot = -1;      ///< the mapping's entry in the SIGBUS guard, -1 when it has none
    bool copied = false;      ///< a small file read into memory instead of mapped
    bool copy_shrank = false; ///< the file was shorter than its size when it was read

    MappedFile() = default;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();
};

/// Opens an existing regular file (read-write for `writable`) under a shared lock; Contended while
/// another process holds it exclusively. Anything but a regular file (a FIFO, a device, a folder)
/// is Failed without waiting for a writer. Whatever `file` held before is released first.
/// A relative `path` is taken in the open folder `folder`.
OpenStatus OpenSharedExisting(std::u16string_view path, bool writable, MappedFile& file,
                              int folder = kCurrentFolder);
/// Size of the open file; false when it cannot be read.
bool QueryFileSize(MappedFile& file);
/// Maps the open file (size > 0); false on failure. While the mapping lasts, pages that another
/// process cuts off the file (a truncation under the mapping) read as zero bytes instead of raising
/// SIGBUS, and MappingShrank tells that it happened. A small file is read into memory instead (a
/// mapping's page faults and its unmapping cost more than the copy); what another process cut off
/// before the read reads as zero bytes in the same way.
bool MapWholeFile(MappedFile& file);
/// True when a read of the mapping reached past the end of the file as it now stands.
bool MappingShrank(const MappedFile& file);
/// Installs the SIGBUS handler behind MapWholeFile's guard (once per process; MapWholeFile calls it).
void InstallMappingGuard();
/// Unmaps and closes; the file is empty afterwards.
void CloseMappedFile(MappedFile& file);

/// Sets access and modification times of an open file.
bool SetFileTimes(int fd, std::time_t when);

/// Appends `bytes` to a file opened (created when missing) under an exclusive lock; `prefix` goes
/// first when the file is empty while the lock is held. Contended while another writer holds it.
/// A symbolic link or anything but a regular file in its place is Failed; a write that cannot be
/// completed is WriteFailed, and the file is cut back to its size before, so that no half text stays.
/// A relative `path` is taken in the open folder `folder`.
OpenStatus AppendLocked(std::u16string_view path, std::string_view prefix, std::string_view bytes,
                        int folder = kCurrentFolder);

} // namespace platform

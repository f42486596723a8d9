#pragma once
// Output files: their creation in an open folder, and a writer that puts decoded pieces into
// them at their offsets on a background thread, so that decoding does not wait for the disk.

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/staged_file.h"

namespace platform {

enum class CreateResult { Created, Exists, Failed };

/// Creates a new file by name in the open folder `folder` (no symbolic link followed, mode 0666 less
/// the umask). Exists when the name is taken (it appeared meanwhile); Failed with the errno in `error`.
CreateResult CreateNewFile(int folder, std::u16string_view name, int& fd, int& error);
/// Creates or truncates a file by name in the open folder; a symbolic link there is not followed.
CreateResult CreateAlwaysFile(int folder, std::u16string_view name, int& fd, int& error);
/// Claims a name for an output file: created new, or (with `replace`) an older file there opened as
/// it is, to be replaced once the new file is complete; a symbolic link there is not followed.
/// Exists only without `replace`.
CreateResult ClaimFile(int folder, std::u16string_view name, bool replace, StagedFile& file, int& error);

/// Output files finished without a failed write, and their bytes.
struct WriteTally {
    uint64_t files = 0;
    uint64_t bytes = 0;
};

enum class WriteStatus : int { Ok = 0, NoMemory = -1, Failed = -2 };

/// Takes a file's bytes in order as the writer writes them (a digest), on the writer's thread.
class WrittenBytesHasher {
  public:
    virtual ~WrittenBytesHasher() = default;
    virtual void Restart() = 0;
    virtual void Update(const void* data, size_t size) = 0;
};

/// Work that follows a file on the writer's thread, in the order it was handed on (a file's record,
/// once its digest is complete).
class AfterWrite {
  public:
    virtual void Run() = 0;
    /// Lets the work go once it has run, or when it is dropped (on the writer's thread): deleted,
    /// or kept by whoever made it, to be filled again.
    virtual void Release() { delete this; }

  protected:
    virtual ~AfterWrite() = default;
};

struct ReleaseAfterWrite {
    void operator()(AfterWrite* work) const { work->Release(); }
};
using AfterWritePtr = std::unique_ptr<AfterWrite, ReleaseAfterWrite>;

/// Writes one output file at a time. Appended bytes are gathered into pieces that a background
/// thread writes with pwrite at their 64-bit offsets, in order; the pieces in flight are bounded,
/// so memory stays bounded and decoding waits only when the disk falls that far behind. Finish
/// waits for every piece before the file may be closed and tells whether any write failed. When no
/// thread can be started, the pieces are written on the calling thread instead. A file may be
/// hashed on its way out: the writer thread hashes each piece after writing it, so that the
/// decoding thread does not pay for the digest. A file hashed later has even its last bytes hashed
/// there, after the caller has gone on, and what follows from its digest runs there too: the
/// caller never waits for it.
class AsyncWriter {
  public:
    static constexpr size_t kDefaultPieceSize = 256 * 1024;
    static constexpr int kDefaultPiecesInFlight = 8;
    /// A last piece this small is hashed on the calling thread (when the writer has nothing left
    /// to hash): waking the writer costs more.
    static constexpr size_t kHashBesideMin = 16 * 1024;
    /// Files hashed later whose last bytes may wait for the writer thread at once: the bound on
    /// the memory they hold.
    static constexpr int kLaterPiecesInFlight = 24;
    /// Work handed on later that may wait at once, with or without bytes.
    static constexpr int kLaterJobsInFlight = 256;
    /// The writer thread is woken for work handed on later only once this much of it waits (or
    /// the caller waits for it): each wake-up costs more than hashing a small file.
    static constexpr int kWakeAfterJobs = 24;
    static constexpr size_t kWakeAfterBytes = 1024 * 1024;

    explicit AsyncWriter(size_t piece_size = kDefaultPieceSize,
                         int pieces_in_flight = kDefaultPiecesInFlight);
    ~AsyncWriter();
    AsyncWriter(const AsyncWriter&) = delete;
    AsyncWriter& operator=(const AsyncWriter&) = delete;

    /// Starts a file (open for writing) at offset 0. The previous file must have been finished.
    /// With a `hasher`, it is restarted and then given every byte of the file in order; with
    /// `hash_later` all of that happens on the writer thread, and the file is handed on with
    /// HashThen once it is complete (a file never handed on is not hashed to its end).
    void Begin(int fd, WrittenBytesHasher* hasher = nullptr, bool hash_later = false);
    /// Starts a claimed file: its bytes go into the claim only when they all go out in one write at
    /// Finish, and otherwise into a staged file opened before the first piece is written. The run
    /// being interrupted fails the file at its next piece (error EINTR).
    void Begin(StagedFile& file, WrittenBytesHasher* hasher = nullptr, bool hash_later = false);
    /// Appends bytes at the end of the file. Failed once any write of the file has failed; NoMemory
    /// when no piece could be allocated.
    [[nodiscard]] WriteStatus Append(const void* data, size_t size);
    /// Writes what is gathered and waits for every write of the file. Ok, or Failed with error().
    /// The hasher may still be taking the last piece: see Settle. A file that may be dropped
    /// and went out in no more than one write has that write held back (and hashed).
    [[nodiscard]] WriteStatus Finish();
    /// After a Finish without failure of a file hashed later: its last bytes are hashed on the
    /// writer thread, and then `then` runs there (the hasher holds the file's whole digest).
    void HashThen(AfterWritePtr then);
    /// Runs `then` on the writer thread after everything handed on before it.
    void Later(AfterWritePtr then);
    /// Waits until everything handed on has been done, the hashing of the last file included.
    /// What the work handed on touches must outlive it: a writer destroyed before this drops the
    /// work still waiting.
    void Settle();
    /// Writes the bytes Finish held back into the claim (nothing when none were held).
    [[nodiscard]] WriteStatus WriteHeld();
    /// Forgets the bytes Finish held back: the file is dropped.
    void DropHeld() { held_ = false; }
    /// The errno of the file's first failed write (ENOSPC, EFBIG ...), or 0.
    int error() const { return error_.load(); }
    /// Bytes appended to the current file.
    uint64_t total() const { return total_; }
    /// The files this writer finished without a failed write, and their bytes.
    WriteTally tally() const { return tally_; }
    /// Adds files another writer finished for the same run (a worker's) to the tally.
    void Count(const WriteTally& more) {
        tally_.files += more.files;
        tally_.bytes += more.bytes;
    }

  private:
    struct Piece {
        std::unique_ptr<uint8_t[]> data;
        size_t size = 0;
        uint64_t offset = 0;
        int fd = -1;
        /// The caller's last piece, which the caller writes meanwhile: only hashed here, from the
        /// caller's buffer (untouched until the next Begin waits for it).
        const uint8_t* borrowed = nullptr;
        WrittenBytesHasher* hasher = nullptr;
        bool restart = false;   ///< the hasher starts a new digest before these bytes
        bool hash_only = false; ///< bytes the caller already wrote, to be hashed
        AfterWritePtr then;
    };

    bool TakeFreePiece();
    bool HashBeside();
    void HandLater(Piece job);
    void WakeForWait();
    /// Hashes the piece's bytes (a new digest first, if so marked) and runs what follows it.
    static void DoPieceWork(Piece& piece);
    bool StageBeforeWrite();
    WriteStatus HandOff();
    bool StartWriterThread();
    void RecordError(int error);
    void WriterLoop();

    const size_t piece_size_;
    const int pieces_in_flight_;
    int fd_ = -1;
    StagedFile* file_ = nullptr;
    WrittenBytesHasher* hasher_ = nullptr;
    uint64_t total_ = 0;
    Piece current_;
    bool held_ = false; ///< current_ holds the file's one write, held back at Finish
    bool hash_later_ = false;
    bool restart_next_ = false; ///< the next piece of the file hashed later starts its digest
    bool tail_kept_ = false;    ///< current_ holds the written last bytes of a file hashed later
    std::atomic<int> error_{0};
    WriteTally tally_;

    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable piece_done_;
    std::deque<Piece> queue_;
    std::vector<Piece> free_;
    int in_flight_ = 0;        ///< pieces queued or being written or hashed
    int unwritten_ = 0;        ///< of those, pieces still to be written
    int borrowed_ = 0;         ///< of those, last pieces hashed from the caller's buffer
    int later_pieces_ = 0;     ///< of those, last pieces of files hashed later
    int later_jobs_ = 0;       ///< work handed on later, with bytes or without
    int unsignalled_jobs_ = 0; ///< handed on later since the writer thread was last woken
    size_t unsignalled_bytes_ = 0;
    bool stopping_ = false;
    bool synchronous_ = false; // set once no writer thread could be started
    std::thread thread_;
};

/// Writes all of `size` bytes at `offset`; 0 or the errno (a write that makes no progress counts as
/// ENOSPC).
int WriteAllAt(int fd, const uint8_t* data, size_t size, uint64_t offset);

} // namespace platform

#include "platform/async_writer.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

#include "platform/deferred_files.h"
#include "platform/interrupt.h"
#include "platform/paths.h"

namespace platform {
namespace {

CreateResult CreateNativeWithFlags(int folder, const std::string& native, int flags, int& fd, int& error) {
    fd = -1;
    error = 0;
    do {
        fd = ::openat(folder, native.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) return CreateResult::Created;
    error = errno;
    return error == EEXIST ? CreateResult::Exists : CreateResult::Failed;
}

constexpr int kCreateNewFlags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;

CreateResult CreateWithFlags(int folder, std::u16string_view name, int flags, int& fd, int& error) {
    return CreateNativeWithFlags(folder, NativePath(name), flags, fd, error);
}

} // namespace

CreateResult CreateNewFile(int folder, std::u16string_view name, int& fd, int& error) {
    return CreateWithFlags(folder, name, kCreateNewFlags, fd, error);
}

CreateResult CreateAlwaysFile(int folder, std::u16string_view name, int& fd, int& error) {
    return CreateWithFlags(folder, name, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, fd, error);
}

namespace {

// A claim of a mail worked on ahead of its turn: the name is tested and noted, the bytes go into a
// file without a name in the folder. Anything that cannot be done that way (an older file to
// replace, a folder without such files) leaves the mail to be done again at its turn.
CreateResult ClaimDeferred(DeferredFiles& deferred, StagedFile& file, bool replace, int& error) {
    error = 0;
    struct stat info;
    if (::fstatat(file.folder, file.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 ||
        deferred.IsPending(file.folder, file.name)) {
        if (!replace) return CreateResult::Exists;
        deferred.must_wait = true;
        error = EAGAIN;
        return CreateResult::Failed;
    }
    if (errno != ENOENT) {
        error = errno; // the creation would have been refused the same way
        return error == EEXIST ? CreateResult::Exists : CreateResult::Failed;
    }
    int fd;
    do {
        fd = ::openat(file.folder, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    FolderIdentity here;
    if (fd < 0 || !IdentifyFolder(file.folder, here)) {
        if (fd >= 0) ::close(fd);
        deferred.must_wait = true;
        error = EAGAIN;
        return CreateResult::Failed;
    }
    file.claim.Reset(fd);
    file.deferred = true;
    deferred.pending.push_back({here, file.name});
    return CreateResult::Created;
}

} // namespace

CreateResult ClaimFile(int folder, std::u16string_view name, bool replace, StagedFile& file, int& error) {
    file = StagedFile{};
    file.folder = folder;
    file.name = NativePath(name);
    if (DeferredFiles* deferred = BoundDeferredFiles()) return ClaimDeferred(*deferred, file, replace, error);
    for (;;) {
        int fd = -1;
        CreateResult result = CreateNativeWithFlags(folder, file.name, kCreateNewFlags, fd, error);
        if (result == CreateResult::Created) file.claim.Reset(fd);
        if (result != CreateResult::Exists || !replace) return result;
        // The older file is only opened, as the creation would have (a link or a folder there
        // fails the same way); it is replaced whole at the end.
        do {
            fd = ::openat(folder, file.name.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) {
            file.claim.Reset(fd);
            file.replaces = true;
            error = 0;
            return CreateResult::Created;
        }
        error = errno;
        if (error != ENOENT) return CreateResult::Failed; // ENOENT: removed meanwhile, create it
    }
}

int WriteAllAt(int fd, const uint8_t* data, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return ENOSPC;
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return 0;
}

AsyncWriter::AsyncWriter(size_t piece_size, int pieces_in_flight)
    : piece_size_(piece_size ? piece_size : kDefaultPieceSize),
      pieces_in_flight_(pieces_in_flight > 0 ? pieces_in_flight : 1) {}

AsyncWriter::~AsyncWriter() {
    {
        // Pieces still queued belong to a file that was never finished (and may be closed by now):
        // they are dropped, not written.
        std::lock_guard<std::mutex> lock(mutex_);
        for (const Piece& piece : queue_)
            if (piece.data && !piece.hash_only) --unwritten_;
        in_flight_ -= static_cast<int>(queue_.size());
        queue_.clear();
        stopping_ = true;
    }
    work_ready_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void AsyncWriter::Begin(StagedFile& file, WrittenBytesHasher* hasher, bool hash_later) {
    Begin(file.claim.Get(), hasher, hash_later);
    file_ = &file;
}

bool AsyncWriter::StageBeforeWrite() {
    if (!file_ || file_->Staged() || file_->deferred) return true;
    const int error = StageFile(*file_);
    if (error) {
        RecordError(error);
        return false;
    }
    fd_ = file_->Fd();
    current_.fd = fd_;
    return true;
}

void AsyncWriter::Begin(int fd, WrittenBytesHasher* hasher, bool hash_later) {
    file_ = nullptr;
    {
        // Nothing of an earlier file may still be on its way, nor its last piece being hashed from
        // the buffer about to be filled again. Files hashed later may still be hashed meanwhile,
        // in order, unless this file's digest is to be taken here.
        std::unique_lock<std::mutex> lock(mutex_);
        const auto done = [this, hasher, hash_later] {
            return hasher && !hash_later ? in_flight_ == 0 : unwritten_ == 0 && borrowed_ == 0;
        };
        if (!done()) {
            WakeForWait();
            piece_done_.wait(lock, done);
        }
    }
    fd_ = fd;
    total_ = 0;
    current_.size = 0; // the last bytes of a file hashed later that was never handed on go
    tail_kept_ = false;
    held_ = false;
    error_.store(0);
    hasher_ = hasher;
    hash_later_ = hasher && hash_later;
    restart_next_ = hash_later_;
    if (hasher_ && !hash_later_) hasher_->Restart();
}

bool AsyncWriter::TakeFreePiece() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!free_.empty()) {
            current_ = std::move(free_.back());
            free_.pop_back();
            current_.size = 0;
            return true;
        }
    }
    current_.data.reset(new (std::nothrow) uint8_t[piece_size_]);
    current_.size = 0;
    return current_.data != nullptr;
}

WriteStatus AsyncWriter::Append(const void* data, size_t size) {
    if (error_.load() != 0) return WriteStatus::Failed;
    const auto* bytes = static_cast<const uint8_t*>(data);
    while (size > 0) {
        if (!current_.data && !TakeFreePiece()) return WriteStatus::NoMemory;
        if (current_.size == 0) {
            current_.offset = total_;
            current_.fd = fd_;
        }
        const size_t room = piece_size_ - current_.size;
        const size_t taken = size < room ? size : room;
        std::memcpy(current_.data.get() + current_.size, bytes, taken);
        current_.size += taken;
        total_ += taken;
        bytes += taken;
        size -= taken;
        if (current_.size == piece_size_) {
            const WriteStatus status = HandOff();
            if (status != WriteStatus::Ok) return status;
        }
    }
    return WriteStatus::Ok;
}

WriteStatus AsyncWriter::HandOff() {
    // More than one write: the file is staged, and a stop asked for is honoured between pieces.
    if (StopRequested()) RecordError(EINTR);
    if (error_.load() != 0 || !StageBeforeWrite()) {
        current_.size = 0;
        return WriteStatus::Failed;
    }
    PieceHandedOff();
    if (!synchronous_) {
        std::unique_lock<std::mutex> lock(mutex_);
        // The bound on memory: wait while the disk is this far behind.
        if (unwritten_ + borrowed_ >= pieces_in_flight_) WakeForWait();
        piece_done_.wait(lock, [this] { return unwritten_ + borrowed_ < pieces_in_flight_; });
        if (thread_.joinable() || StartWriterThread()) {
            current_.hasher = hasher_;
            current_.restart = restart_next_;
            restart_next_ = false;
            queue_.push_back(std::move(current_));
            ++in_flight_;
            ++unwritten_;
            // A piece to write wakes the writer at once, and with it whatever waits before it.
            unsignalled_jobs_ = 0;
            unsignalled_bytes_ = 0;
            lock.unlock();
            work_ready_.notify_one();
            current_ = Piece{};
            return error_.load() != 0 ? WriteStatus::Failed : WriteStatus::Ok;
        }
        // No thread can be had (a process or address-space limit): from now on the pieces are
        // written here, the same bytes at the same offsets, only without the overlap.
        synchronous_ = true;
    }
    if (error_.load() == 0) {
        const int error = WriteAllAt(current_.fd, current_.data.get(), current_.size, current_.offset);
        if (error) RecordError(error);
        if (!error && hasher_) {
            if (restart_next_) hasher_->Restart();
            restart_next_ = false;
            hasher_->Update(current_.data.get(), current_.size);
        }
    }
    current_.size = 0; // the buffer stays for the next piece
    return error_.load() != 0 ? WriteStatus::Failed : WriteStatus::Ok;
}

bool AsyncWriter::StartWriterThread() {
    try {
        thread_ = std::thread(&AsyncWriter::WriterLoop, this);
        return true;
    } catch (const std::system_error&) {
        return false;
    }
}

void AsyncWriter::RecordError(int error) {
    int none = 0;
    error_.compare_exchange_strong(none, error);
}

WriteStatus AsyncWriter::Finish() {
    // The last, partly filled piece is written here: the caller waits for the file anyway, and a
    // small file never needs the thread at all. An older file that is replaced stays whole until
    // the new one is complete, so even that one write goes to the staged file.
    if (file_ && file_->replaces) (void)StageBeforeWrite();
    // A file that may be dropped keeps its one write back until it is known to stay; nothing went
    // out before it, so it is hashed here, in order.
    held_ = file_ && file_->may_be_dropped && !file_->Staged() && error_.load() == 0;
    if (held_ && hasher_ && current_.data && current_.size > 0)
        hasher_->Update(current_.data.get(), current_.size);
    if (!held_ && current_.data && current_.size > 0 && error_.load() == 0) {
        // The writer thread hashes the piece while it is written here (or later, after the caller
        // has gone on).
        const bool hashed_beside = hasher_ && !hash_later_ && HashBeside();
        const int error = WriteAllAt(fd_, current_.data.get(), current_.size, current_.offset);
        if (error) RecordError(error);
        if (!error && hasher_ && !hashed_beside && !hash_later_)
            hasher_->Update(current_.data.get(), current_.size);
    }
    // The last bytes of a file hashed later stay for HashThen.
    tail_kept_ = hash_later_ && error_.load() == 0;
    if (!held_ && !tail_kept_) current_.size = 0;
    file_ = nullptr;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        if (unwritten_ != 0) WakeForWait();
        piece_done_.wait(lock, [this] { return unwritten_ == 0; });
    }
    if (error_.load() != 0) return WriteStatus::Failed;
    ++tally_.files;
    tally_.bytes += total_;
    return WriteStatus::Ok;
}

bool AsyncWriter::HashBeside() {
    if (synchronous_) return false;
    std::unique_lock<std::mutex> lock(mutex_);
    // A small piece is hashed by the caller, unless earlier pieces are still to be hashed: the
    // digest takes the bytes in order.
    if (current_.size < kHashBesideMin && in_flight_ == 0) return false;
    if (!thread_.joinable() && !StartWriterThread()) {
        synchronous_ = true;
        return false;
    }
    Piece job;
    job.borrowed = current_.data.get();
    job.size = current_.size;
    job.hasher = hasher_;
    queue_.push_back(std::move(job));
    ++in_flight_;
    ++borrowed_;
    unsignalled_jobs_ = 0;
    unsignalled_bytes_ = 0;
    lock.unlock();
    work_ready_.notify_one();
    return true;
}

void AsyncWriter::Settle() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (in_flight_ == 0) return;
    WakeForWait();
    piece_done_.wait(lock, [this] { return in_flight_ == 0; });
}

void AsyncWriter::WakeForWait() {
    if (unsignalled_jobs_ == 0) return;
    unsignalled_jobs_ = 0;
    unsignalled_bytes_ = 0;
    work_ready_.notify_one();
}

void AsyncWriter::HashThen(AfterWritePtr then) {
    Piece job;
    if (tail_kept_ && current_.data && current_.size > 0) {
        // The buffer goes with the bytes; the next file takes a free one.
        job = std::move(current_);
        current_ = Piece{};
    }
    tail_kept_ = false;
    current_.size = 0;
    job.hash_only = true;
    job.hasher = hasher_;
    job.restart = restart_next_;
    restart_next_ = false;
    job.then = std::move(then);
    HandLater(std::move(job));
}

void AsyncWriter::Later(AfterWritePtr then) {
    Piece job;
    job.hash_only = true;
    job.then = std::move(then);
    HandLater(std::move(job));
}

void AsyncWriter::HandLater(Piece job) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!synchronous_ && !thread_.joinable() && !StartWriterThread()) synchronous_ = true;
    if (synchronous_) {
        // Without the thread, the work waits for nothing before it: it is done here and now.
        lock.unlock();
        DoPieceWork(job);
        return;
    }
    const bool holds_bytes = job.data != nullptr;
    const auto room = [this, holds_bytes] {
        return later_jobs_ < kLaterJobsInFlight && !(holds_bytes && later_pieces_ >= kLaterPiecesInFlight);
    };
    if (!room()) {
        WakeForWait();
        piece_done_.wait(lock, room);
    }
    unsignalled_bytes_ += job.size;
    ++unsignalled_jobs_;
    queue_.push_back(std::move(job));
    ++in_flight_;
    ++later_jobs_;
    if (holds_bytes) ++later_pieces_;
    if (unsignalled_jobs_ < kWakeAfterJobs && unsignalled_bytes_ < kWakeAfterBytes) return;
    unsignalled_jobs_ = 0;
    unsignalled_bytes_ = 0;
    // Woken after the lock is let go, so that the writer does not wake only to wait for it.
    lock.unlock();
    work_ready_.notify_one();
}

void AsyncWriter::DoPieceWork(Piece& piece) {
    const uint8_t* bytes = piece.borrowed ? piece.borrowed : piece.data.get();
    if (piece.hasher) {
        if (piece.restart) piece.hasher->Restart();
        if (piece.size) piece.hasher->Update(bytes, piece.size);
    }
    if (piece.then) piece.then->Run();
}

WriteStatus AsyncWriter::WriteHeld() {
    if (!held_) return WriteStatus::Ok;
    held_ = false;
    const int error =
        current_.size > 0 ? WriteAllAt(fd_, current_.data.get(), current_.size, current_.offset) : 0;
    current_.size = 0;
    if (error) {
        RecordError(error);
        return WriteStatus::Failed;
    }
    return WriteStatus::Ok;
}

void AsyncWriter::WriterLoop() {
    std::unique_lock<std::mutex> lock(mutex_);
    std::vector<Piece> batch;
    for (;;) {
        work_ready_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (queue_.empty()) return; // stopping, and nothing left to write
        // Work handed on later is taken all at once, up to the next piece to write, so that the
        // caller, still handing more on, seldom finds the lock taken.
        batch.clear();
        do {
            batch.push_back(std::move(queue_.front()));
            queue_.pop_front();
        } while (!queue_.empty() && batch.back().hash_only && queue_.front().hash_only);
        lock.unlock();
        for (Piece& piece : batch) {
            // After a failure the rest of the file is not written; Finish reports the first error.
            // Bytes already written (a file hashed later) are hashed whatever the file after them
            // does: its failure is its own.
            const bool to_write = !piece.borrowed && !piece.hash_only;
            if (to_write && error_.load() == 0) {
                const int error = WriteAllAt(piece.fd, piece.data.get(), piece.size, piece.offset);
                if (error) RecordError(error);
            }
            if (!to_write || error_.load() == 0) DoPieceWork(piece);
            piece.then.reset();
        }
        lock.lock();
        for (Piece& piece : batch) {
            if (piece.borrowed)
                --borrowed_;
            else if (!piece.hash_only)
                --unwritten_;
            else
                --later_jobs_;
            if (piece.hash_only && piece.data) --later_pieces_;
            --in_flight_;
            // Only the buffer is kept for the next piece: nothing else of this one goes with it.
            if (piece.data && static_cast<int>(free_.size()) <= pieces_in_flight_ + kLaterPiecesInFlight) {
                free_.emplace_back();
                free_.back().data = std::move(piece.data);
            }
        }
        piece_done_.notify_all();
    }
}

} // namespace platform

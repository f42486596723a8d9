#include "platform/read_ahead.h"

#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace platform {
namespace {

// What may wait read: a few mails, a few MiB.
constexpr size_t kMaxReadyFiles = 8;
constexpr uint64_t kMaxReadyBytes = 4 << 20;
// How far into the list a path is looked for.
constexpr size_t kLookAhead = 16;

// What tells that a file is still the one that was read.
struct FileStamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    bool operator==(const FileStamp& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
               changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
    }
};

bool StampOf(int fd, FileStamp& stamp) {
    struct stat info;
    if (::fstat(fd, &info) != 0) return false;
    stamp = {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
    return true;
}

struct ReadFile {
    size_t index = 0;
    bool read = false; // false: left to the usual open
    MappedFile file;
    FileStamp stamp;
};

} // namespace

class ReadAheadQueue {
  public:
    ~ReadAheadQueue() { Stop(); }

    void Start(std::vector<std::u16string> paths) {
        Stop();
        if (paths.size() < 2) return;
        paths_ = std::move(paths);
        next_to_take_ = 0;
        stop_ = false;
        // The mails' memory is taken on the thread and given back on the main one; what is freed
        // is kept for the next mails instead of being handed back to the system and faulted in
        // again (a few MiB at most, as the queue is bounded).
        ::mallopt(M_MMAP_THRESHOLD, 2 * kReadIntoMemoryBytes);
        ::mallopt(M_TRIM_THRESHOLD, 4 * kMaxReadyBytes);
        try {
            thread_ = std::thread(&ReadAheadQueue::Loop, this);
        } catch (const std::system_error&) {
            paths_.clear(); // no thread: every mail is opened as usual
        }
    }

    bool Take(std::u16string_view path, MappedFile& file) {
        if (!thread_.joinable()) return false;
        // The run takes the list in order; a path that is not among the next few is not on it.
        size_t index = next_to_take_;
        const size_t window_end = std::min(paths_.size(), next_to_take_ + kLookAhead);
        while (index < window_end && paths_[index] != path)
            ++index;
        if (index == window_end) return false;
        next_to_take_ = index + 1;
        ReadFile taken;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            for (;;) {
                while (!ready_.empty() && ready_.front().index < index)
                    PopFront(); // given up
                if (!ready_.empty()) break;
                if (reader_waiting_) has_room_.notify_one();
                done_.wait(lock);
            }
            taken = PopFront();
            // The reader, once held up, goes on when half the room is free: one wake-up for
            // several mails.
            if (reader_waiting_ && HalfFree()) has_room_.notify_one();
        }
        if (taken.index != index || !taken.read) return false;
        FileStamp now;
        if (!StampOf(taken.file.fd, now) || !(now == taken.stamp)) return false;
        file = std::move(taken.file);
        return true;
    }

    void Stop() {
        if (thread_.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                stop_ = true;
            }
            has_room_.notify_one();
            thread_.join();
        }
        ready_.clear();
        ready_bytes_ = 0;
        paths_.clear();
    }

    size_t Waiting() {
        std::lock_guard<std::mutex> lock(mutex_);
        return ready_.size();
    }

  private:
    bool HalfFree() const {
        return ready_.size() <= kMaxReadyFiles / 2 && ready_bytes_ <= kMaxReadyBytes / 2;
    }

    // The first file dealt with, off the queue (under the lock).
    ReadFile PopFront() {
        ReadFile front = std::move(ready_.front());
        ready_.pop_front();
        ready_bytes_ -= front.file.size;
        return front;
    }

    void Loop() {
        for (size_t index = 0; index < paths_.size(); ++index) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                if (!stop_ && (ready_.size() >= kMaxReadyFiles || ready_bytes_ >= kMaxReadyBytes)) {
                    reader_waiting_ = true;
                    has_room_.wait(lock, [this] { return stop_ || HalfFree(); });
                    reader_waiting_ = false;
                }
                if (stop_) return;
            }
            ReadFile entry;
            entry.index = index;
            MappedFile& file = entry.file;
            // Only what the usual open reads into memory, read the same way; anything else
            // (contended, empty, large, not a regular file) is left to it.
            if (OpenSharedExisting(paths_[index], false, file) == OpenStatus::Ok && QueryFileSize(file) &&
                file.size > 0 && file.size < kReadIntoMemoryBytes && MapWholeFile(file) &&
                !MappingShrank(file))
                entry.read = StampOf(file.fd, entry.stamp);
            if (!entry.read) CloseMappedFile(file);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                ready_bytes_ += file.size;
                ready_.push_back(std::move(entry));
            }
            done_.notify_one();
        }
    }

    std::vector<std::u16string> paths_;
    size_t next_to_take_ = 0; // the main thread's own

    std::mutex mutex_;
    std::condition_variable has_room_;
    std::condition_variable done_;
    std::deque<ReadFile> ready_;
    uint64_t ready_bytes_ = 0;
    bool reader_waiting_ = false;
    bool stop_ = false;
    std::thread thread_;
};

ReadAhead::ReadAhead() : queue_(std::make_unique<ReadAheadQueue>()) {}

ReadAhead::~ReadAhead() = default;

void ReadAhead::Start(std::vector<std::u16string> paths) {
    queue_->Start(std::move(paths));
}

bool ReadAhead::Take(std::u16string_view path, MappedFile& file) {
    return queue_->Take(path, file);
}

void ReadAhead::Stop() {
    queue_->Stop();
}

size_t ReadAhead::Waiting() {
    return queue_->Waiting();
}

} // namespace platform

#include "console/run/mbox_read_ahead.h"

#include <system_error>
#include <utility>

namespace dornick {
namespace {

// What may wait read: a few messages, a few MiB (and one message, however large).
constexpr size_t kMaxReadyMessages = 8;
constexpr uint64_t kMaxReadyBytes = uint64_t{4} << 20;
// Storage given back is kept for the next messages up to this size, so that the run's memory is
// not faulted in again for every message; a larger message's goes back to the system.
constexpr size_t kLargestSpare = size_t{1} << 20;
constexpr size_t kMaxSpares = kMaxReadyMessages + 2;

} // namespace

void MboxReadAhead::Start(MboxSplitter& splitter, ByteRange owned) {
    Stop();
    splitter_ = &splitter;
    owned_ = owned;
    done_ = false;
    stop_ = false;
    try {
        thread_ = std::thread(&MboxReadAhead::Loop, this);
    } catch (const std::system_error&) {
        // No thread: Next splits in turn.
    }
}

bool MboxReadAhead::Next(MboxPiece& piece) {
    // Freed, when it is not kept, after the lock below is given up.
    MessageBytes used = std::move(piece.bytes);
    if (!thread_.joinable()) {
        piece.bytes = std::move(used);
        return splitter_ != nullptr && SplitOwned(piece);
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (used.capacity() > 0 && used.capacity() <= kLargestSpare && spare_.size() < kMaxSpares)
        spare_.push_back(std::move(used));
    while (ready_.empty() && !done_) {
        if (reader_waiting_) has_room_.notify_one();
        ready_or_done_.wait(lock);
    }
    if (ready_.empty()) return false;
    piece = std::move(ready_.front());
    ready_.pop_front();
    ready_bytes_ -= piece.bytes.size();
    // The reader, once held up, goes on when half the room is free: one wake-up for several
    // messages.
    if (reader_waiting_ && HalfFree()) has_room_.notify_one();
    return true;
}

void MboxReadAhead::Stop() {
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
    spare_.clear();
}

bool MboxReadAhead::HasRoom() const {
    return ready_.size() < kMaxReadyMessages && ready_bytes_ < kMaxReadyBytes;
}

bool MboxReadAhead::HalfFree() const {
    return ready_.size() <= kMaxReadyMessages / 2 && ready_bytes_ <= kMaxReadyBytes / 2;
}

// The next message of the owned range, read: false past its end. Every message is split from the
// start of the archive, so that a Content-Length field is believed or not exactly as in a whole run.
bool MboxReadAhead::SplitOwned(MboxPiece& piece) {
    do {
        if (!NextMboxMessage(*splitter_, piece.message) || piece.message.offset >= owned_.end) return false;
    } while (!owned_.Holds(piece.message.offset));
    piece.whole = ReadMboxMessage(*splitter_, piece.message, piece.bytes);
    return true;
}

void MboxReadAhead::Loop() {
    for (;;) {
        MboxPiece piece;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!stop_ && !HasRoom()) {
                reader_waiting_ = true;
                has_room_.wait(lock, [this] { return stop_ || HalfFree(); });
                reader_waiting_ = false;
            }
            if (stop_) return;
            if (!spare_.empty()) {
                piece.bytes = std::move(spare_.back());
                spare_.pop_back();
            }
        }
        const bool more = SplitOwned(piece);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (more) {
                ready_bytes_ += piece.bytes.size();
                ready_.push_back(std::move(piece));
            } else {
                done_ = true;
            }
        }
        ready_or_done_.notify_one();
        if (!more) return;
    }
}

} // namespace dornick

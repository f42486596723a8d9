#pragma once
// Reading an mbox ahead: the archive is split and its next messages are read on a thread of their
// own while the run decodes the message before, as the mails of a run of files are read ahead.
// Messages are handed over in the archive's order, each as the splitter alone gives it, so that
// what a run does and says does not depend on it. Memory stays bounded by a few messages, a few
// MiB and the largest message.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "console/run/mbox_split.h"
#include "console/run/shard.h"

namespace dornick {

/// One message of an mbox with its bytes.
struct MboxPiece {
    MboxMessage message;
    MessageBytes bytes;
    bool whole = false; ///< as ReadMboxMessage says: all of its bytes were read
};

class MboxReadAhead {
  public:
    MboxReadAhead() = default;
    ~MboxReadAhead() { Stop(); }
    MboxReadAhead(const MboxReadAhead&) = delete;
    MboxReadAhead& operator=(const MboxReadAhead&) = delete;

    /// Starts splitting with `splitter` (started, and left alone by the caller until Stop). Without
    /// a thread to be had every message is split and read in turn by Next. Only the messages whose
    /// separator begins in `owned` are handed over; those before it are split but not read.
    void Start(MboxSplitter& splitter, ByteRange owned = {});
    /// The next message in order: false at the end of the archive. The bytes of `piece` given
    /// before are kept for the messages to come.
    [[nodiscard]] bool Next(MboxPiece& piece);
    /// Ends the thread; the splitter is the caller's again.
    void Stop();

  private:
    void Loop();
    bool SplitOwned(MboxPiece& piece);
    bool HasRoom() const;
    bool HalfFree() const;

    MboxSplitter* splitter_ = nullptr;
    ByteRange owned_;
    std::thread thread_;
    std::mutex mutex_;
    std::condition_variable has_room_;
    std::condition_variable ready_or_done_;
    std::deque<MboxPiece> ready_;
    std::vector<MessageBytes> spare_; ///< storage given back, to be read over again
    uint64_t ready_bytes_ = 0;
    bool done_ = false;
    bool stop_ = false;
    bool reader_waiting_ = false;
};

} // namespace dornick

#pragma once
// Reading ahead: the small mails a run will come to next are opened and read into memory on a
// thread of their own while the current one is decoded, so that the reads overlap the decoding on
// a second core. A mail read ahead is used only while it is still the same file with the same
// size and times; otherwise, and for anything it did not read, the mail is opened as usual, so
// that what a run does and says does not depend on it.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace platform {

class ReadAheadQueue;

/// One run's reading ahead; nothing of it is shared with another.
class ReadAhead {
  public:
    ReadAhead();
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    /// Starts reading `paths` (full paths, in the order the run will open them) ahead; a list of
    /// fewer than two paths, or no thread to be had, reads nothing. A list given before is dropped.
    void Start(std::vector<std::u16string> paths);
    /// The mail at `path` as OpenSharedExisting (not writable) and MapWholeFile would give it, when
    /// it was read ahead and is unchanged since: true with `file` holding it. False, with `file` as
    /// it was, for a path the list does not hold further on, or one that could not be read ahead.
    /// Paths of the list before `path` are given up.
    bool Take(std::u16string_view path, MappedFile& file);
    /// Stops the thread and releases what it read.
    void Stop();
    /// How many paths of the list have been dealt with and wait to be taken (at most 8), so that a
    /// test can know what has been read.
    size_t Waiting();

  private:
    std::unique_ptr<ReadAheadQueue> queue_;
};

} // namespace platform

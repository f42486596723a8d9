#pragma once
// An unnamed temporary file that bytes too many to hold in memory are put into and read back from
// as one mapping. It never has a name that outlives the process, however the process ends.

#include <cstddef>
#include <string_view>

#include "platform/unique_fd.h"

namespace platform {

class ScratchFile {
  public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile();

    /// Appends at the end, making the file on first use (in $TMPDIR, else /tmp); false when it
    /// cannot be made or written.
    [[nodiscard]] bool Append(std::string_view bytes);
    /// Everything appended, mapped read-only while the file lives; empty when nothing was appended
    /// or the mapping failed. Nothing may be appended afterwards.
    std::string_view Map();
    size_t Size() const { return size_; }

  private:
    UniqueFd fd_;
    size_t size_ = 0;
    void* mapping_ = nullptr;
};

} // namespace platform

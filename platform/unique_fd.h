#pragma once
// An owned file descriptor: closed when its owner goes, handed on only by moving.

#include <cstddef>
#include <utility>

namespace platform {

class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { Reset(); }

    /// The descriptor, still owned; -1 when there is none.
    int Get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    /// Gives up ownership: the caller closes the descriptor returned.
    [[nodiscard]] int Release() noexcept { return std::exchange(fd_, -1); }
    /// Closes the descriptor held (if any) and takes `fd`.
    void Reset(int fd = -1) noexcept;
    /// Closes now and says how it went: 0, or -1 with errno (a late write error of the file system
    /// shows only here). Nothing is held afterwards either way.
    int Close() noexcept;

  private:
    int fd_ = -1;
};

/// A second descriptor of the same open file or folder (none when `fd` is none or the process has
/// no descriptor left).
UniqueFd DuplicateFd(int fd) noexcept;

/// How many descriptors the process may hold open at once (its soft limit).
size_t DescriptorLimit() noexcept;

} // namespace platform

#include "platform/unique_fd.h"

#include <fcntl.h>
#include <unistd.h>

namespace platform {

void UniqueFd::Reset(int fd) noexcept {
    if (fd_ >= 0 && fd_ != fd) ::close(fd_);
    fd_ = fd;
}

int UniqueFd::Close() noexcept {
    if (fd_ < 0) return 0;
    // The descriptor is gone after close even when it reports an error, so it is never retried.
    return ::close(std::exchange(fd_, -1));
}

UniqueFd DuplicateFd(int fd) noexcept {
    return UniqueFd(fd < 0 ? -1 : ::fcntl(fd, F_DUPFD_CLOEXEC, 0));
}

} // namespace platform

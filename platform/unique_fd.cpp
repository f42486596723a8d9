#include "platform/unique_fd.h"

#include <cstdint>

#include <fcntl.h>
#include <sys/resource.h>
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

size_t DescriptorLimit() noexcept {
    struct rlimit limit;
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    return limit.rlim_cur == RLIM_INFINITY ? SIZE_MAX : static_cast<size_t>(limit.rlim_cur);
}

} // namespace platform

#include "platform/file_moves.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/interrupt.h"
#include "platform/paths.h"

namespace platform {

bool WriteWhole(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

MoveResult MoveFile(int folder, std::u16string_view from, std::u16string_view to, bool replace) {
    const std::string source = NativePath(from);
    const std::string target = NativePath(to);
    const int moved = replace ? ::renameat(folder, source.c_str(), folder, target.c_str())
                              : ::renameat2(folder, source.c_str(), folder, target.c_str(), RENAME_NOREPLACE);
    if (moved == 0) return MoveResult::Moved;
    return errno == EEXIST ? MoveResult::Exists : MoveResult::Failed;
}

} // namespace platform

namespace platform {

bool CopyStandardInput(UniqueFd& copy, std::string& path) {
    const char* env = std::getenv("TMPDIR");
    const std::string folder = env && *env ? env : "/tmp";
    // The copy never has a name, or loses it at once: nothing of it outlives the process, however
    // the process ends. It is reached through its descriptor while it lives.
    int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
        std::string name = folder + "/dornick-stdin-XXXXXX";
        fd = ::mkostemp(name.data(), O_CLOEXEC);
        if (fd < 0) return false;
        ::unlink(name.c_str());
    }
    copy.Reset(fd);
    path = "/proc/self/fd/" + std::to_string(fd);
    bool copied = true;
    char buffer[1 << 16];
    while (copied) {
        // A run asked to stop does not wait for the rest of its input.
        if (StopRequested()) {
            copied = false;
            break;
        }
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            copied = errno == EINTR;
            continue;
        }
        copied = WriteWhole(fd, std::string_view(buffer, static_cast<size_t>(n)));
    }
    if (!copied) copy.Reset();
    return copied;
}

void RemoveFileAt(int folder, std::u16string_view name) {
    ::unlinkat(folder, NativePath(name).c_str(), 0);
}

bool RemoveEmptyFolder(int parent, std::u16string_view path) {
    return ::unlinkat(parent, NativePath(path).c_str(), AT_REMOVEDIR) == 0;
}

} // namespace platform

namespace platform {

uint64_t RegularFileSize(std::u16string_view path) {
    struct stat info;
    if (::stat(NativePath(path).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    return static_cast<uint64_t>(info.st_size);
}

} // namespace platform

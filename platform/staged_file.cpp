#include "platform/staged_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

#include "platform/deferred_files.h"

namespace platform {
namespace {

constexpr int kNameAttempts = 100;

// A name beside the claim that no attachment is likely to take; O_EXCL settles the rest.
std::string HiddenName() {
    static std::atomic<unsigned> counter{0};
    char name[64];
    std::snprintf(name, sizeof name, ".dornick-%ld-%u.part", static_cast<long>(::getpid()), counter++);
    return name;
}

// Creates a hidden name for `fd` (a file without a name) in the folder: linked through its
// /proc entry, or by descriptor where /proc is not mounted.
int LinkUnder(StagedFile& file, std::string& hidden) {
    const std::string proc = "/proc/self/fd/" + std::to_string(file.unnamed.Get());
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        hidden = HiddenName();
        int linked = ::linkat(AT_FDCWD, proc.c_str(), file.folder, hidden.c_str(), AT_SYMLINK_FOLLOW);
        if (linked != 0 && errno == ENOENT)
            linked = ::linkat(file.unnamed.Get(), "", file.folder, hidden.c_str(), AT_EMPTY_PATH);
        if (linked == 0) return 0;
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

} // namespace

int StageFile(StagedFile& file) {
    int fd;
    do {
        fd = ::openat(file.folder, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
        file.unnamed.Reset(fd);
        return 0;
    }
    // File systems without unnamed files say so in several ways; anything else is a real failure.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    return StageUnderHiddenName(file);
}

int StageUnderHiddenName(StagedFile& file) {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::string hidden = HiddenName();
        const int fd =
            ::openat(file.folder, hidden.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            file.unnamed.Reset(fd);
            file.temp_name = std::move(hidden);
            return 0;
        }
        if (errno != EEXIST && errno != EINTR) return errno;
    }
    return EEXIST;
}

int PublishFile(StagedFile& file) {
    if (file.deferred) {
        DeferredFiles* deferred = BoundDeferredFiles();
        if (!deferred) return EINVAL;
        UniqueFd folder(::fcntl(file.folder, F_DUPFD_CLOEXEC, 0));
        if (!folder) return errno;
        deferred->links.push_back({std::move(folder), file.name, std::move(file.claim)});
        return 0;
    }
    if (!file.Staged()) return 0;
    std::string hidden = file.temp_name;
    if (hidden.empty()) {
        const int error = LinkUnder(file, hidden);
        if (error) return error;
    }
    if (::renameat(file.folder, hidden.c_str(), file.folder, file.name.c_str()) != 0) {
        const int error = errno;
        if (file.temp_name.empty()) ::unlinkat(file.folder, hidden.c_str(), 0);
        return error;
    }
    file.temp_name.clear();
    return 0;
}

void AbandonFile(StagedFile& file) {
    if (file.deferred) {
        // Only noted: the name is free again for the mail's next file, as a removed claim would be.
        DeferredFiles* deferred = BoundDeferredFiles();
        FolderIdentity here;
        if (deferred && IdentifyFolder(file.folder, here)) {
            auto& pending = deferred->pending;
            for (size_t i = 0; i < pending.size(); ++i)
                if (pending[i].folder == here && pending[i].name == file.name) {
                    pending.erase(pending.begin() + static_cast<std::ptrdiff_t>(i));
                    break;
                }
        }
        file.claim.Reset();
        return;
    }
    if (!file.temp_name.empty()) ::unlinkat(file.folder, file.temp_name.c_str(), 0);
    file.temp_name.clear();
    file.unnamed.Reset();
    if (file.claim && !file.replaces) ::unlinkat(file.folder, file.name.c_str(), 0);
    file.claim.Reset();
}

} // namespace platform

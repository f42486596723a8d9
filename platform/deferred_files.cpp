#include "platform/deferred_files.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace platform {
namespace {

thread_local DeferredFiles* t_bound = nullptr;

// Whether linking by descriptor was refused once: kernels before 6.10 allow it only with
// CAP_DAC_READ_SEARCH, and then every file goes through /proc.
std::atomic<bool> g_by_descriptor_refused{false};

int LinkOne(const DeferredLink& link) {
    // By descriptor first: it spares the kernel the walk through /proc for every file.
    if (!g_by_descriptor_refused.load(std::memory_order_relaxed)) {
        if (::linkat(link.file.Get(), "", link.folder.Get(), link.name.c_str(), AT_EMPTY_PATH) == 0) return 0;
        if (errno != ENOENT && errno != EPERM) return errno;
        g_by_descriptor_refused.store(true, std::memory_order_relaxed);
    }
    const std::string proc = "/proc/self/fd/" + std::to_string(link.file.Get());
    if (::linkat(AT_FDCWD, proc.c_str(), link.folder.Get(), link.name.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return 0;
    return errno;
}

} // namespace

bool DeferredFiles::IsPending(int folder, const std::string& name) const {
    if (pending.empty()) return false;
    FolderIdentity here;
    if (!IdentifyFolder(folder, here)) return false;
    for (const Pending& taken : pending)
        if (taken.folder == here && taken.name == name) return true;
    return false;
}

DeferredFilesInUse::DeferredFilesInUse(DeferredFiles& files) : previous_(t_bound) {
    t_bound = &files;
}

DeferredFilesInUse::~DeferredFilesInUse() {
    t_bound = previous_;
}

DeferredFiles* BoundDeferredFiles() {
    return t_bound;
}

int LinkDeferredFiles(DeferredFiles& files) {
    for (size_t i = 0; i < files.links.size(); ++i) {
        const int error = LinkOne(files.links[i]);
        if (error == 0) continue;
        while (i-- > 0)
            ::unlinkat(files.links[i].folder.Get(), files.links[i].name.c_str(), 0);
        return error;
    }
    return 0;
}

} // namespace platform

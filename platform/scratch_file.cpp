#include "platform/scratch_file.h"

#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

#include "platform/file_moves.h"

namespace platform {

ScratchFile::~ScratchFile() {
    if (mapping_) ::munmap(mapping_, size_);
}

bool ScratchFile::Append(std::string_view bytes) {
    if (mapping_) return false;
    if (!fd_) {
        const char* env = std::getenv("TMPDIR");
        const std::string folder = env && *env ? env : "/tmp";
        int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (fd < 0) {
            // A file system without unnamed files: the name goes at once.
            std::string name = folder + "/dornick-scratch-XXXXXX";
            fd = ::mkostemp(name.data(), O_CLOEXEC);
            if (fd < 0) return false;
            ::unlink(name.c_str());
        }
        fd_.Reset(fd);
    }
    if (!WriteWhole(fd_.Get(), bytes)) return false;
    size_ += bytes.size();
    return true;
}

std::string_view ScratchFile::Map() {
    if (!mapping_ && fd_ && size_ > 0) {
        void* mapped = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd_.Get(), 0);
        if (mapped == MAP_FAILED) return {};
        mapping_ = mapped;
    }
    return mapping_ ? std::string_view(static_cast<const char*>(mapping_), size_) : std::string_view();
}

} // namespace platform

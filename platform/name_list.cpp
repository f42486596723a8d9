#include "platform/name_list.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "platform/text.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

// The list is read in pieces of this size: memory grows with the names, not with the reading.
constexpr size_t kReadPiece = 64 * 1024;

void AddName(std::string_view name, std::vector<std::u16string>& names) {
    if (!name.empty()) names.push_back(PathFromNative(name));
}

} // namespace

void SplitNames(NameListSplitter& splitter, std::string_view bytes, std::vector<std::u16string>& names) {
    for (size_t end = bytes.find(splitter.separator); end != std::string_view::npos;
         end = bytes.find(splitter.separator)) {
        if (splitter.carry.empty()) {
            AddName(bytes.substr(0, end), names);
        } else {
            splitter.carry.append(bytes.substr(0, end));
            AddName(splitter.carry, names);
            splitter.carry.clear();
        }
        bytes.remove_prefix(end + 1);
    }
    splitter.carry.append(bytes);
}

void FinishNames(NameListSplitter& splitter, std::vector<std::u16string>& names) {
    AddName(splitter.carry, names);
    splitter.carry.clear();
}

bool ReadNameList(std::u16string_view path, bool nul_separated, std::vector<std::u16string>& names) {
    UniqueFd opened;
    int fd = STDIN_FILENO;
    if (path != u"-") {
        // Not only a regular file: "--files-from <(find ...)" gives a pipe.
        opened.Reset(::open(NativeFromPath(path).c_str(), O_RDONLY | O_CLOEXEC));
        if (opened.Get() < 0) return false;
        fd = opened.Get();
    }
    NameListSplitter splitter;
    splitter.separator = nul_separated ? '\0' : '\n';
    std::string piece(kReadPiece, '\0');
    for (;;) {
        const ssize_t got = ::read(fd, piece.data(), piece.size());
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) break;
        SplitNames(splitter, std::string_view(piece.data(), static_cast<size_t>(got)), names);
    }
    FinishNames(splitter, names);
    return true;
}

} // namespace platform

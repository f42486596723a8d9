#pragma once
// Mail archives (mbox files, Maildir and MH folders) are read through these: an archive is read in
// windows at 64-bit offsets, never mapped whole, so that one larger than memory costs no more than
// its largest message; and folders are listed without following links.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

namespace platform {

/// An archive open for reading. `size` is the size it had when opened: mail delivered while it is
/// read is left for the next run.
struct ArchiveFile {
    UniqueFd fd;
    uint64_t size = 0;
};

/// Opens a regular file (or a link to one) for reading; anything else (a FIFO, a device, a folder)
/// is refused without waiting for a writer. False when it cannot be opened.
bool OpenArchiveFile(std::u16string_view path, ArchiveFile& file);
/// Reads up to `count` bytes at `offset` into `into`; the number read, fewer only at the end of the
/// file or when it cannot be read further (cut short by another process, a read error).
size_t ReadArchiveBytes(const ArchiveFile& file, uint64_t offset, unsigned char* into, size_t count);

/// How much of the machine's memory one message of an archive may take: a quarter of it.
uint64_t MemoryForOneMessage();

/// What a folder entry is, looked at without following a link.
enum class EntryType { File, Folder, Other };

struct FolderEntry {
    std::string name; ///< the UTF-8 bytes the system uses
    EntryType type = EntryType::Other;
    uint64_t size = 0; ///< of a regular file
};

/// The entries of the folder `path` ("." and ".." left out) in no particular order; false when
/// the folder cannot be read.
bool ListFolder(std::u16string_view path, std::vector<FolderEntry>& entries);
/// Up to `count` bytes from the start of the regular file `path` (empty when it cannot be read);
/// anything but a regular file gives nothing.
std::string ReadFileStart(std::u16string_view path, size_t count);

} // namespace platform

#pragma once
// Whole-file operations of the run: writing a whole buffer, moving a file to another name,
// standard input into a file, removing files and empty folders, a file's size.

#include <cstdint>
#include <string>
#include <string_view>

namespace platform {

/// Writes all of `data` at the file's position, going on after interrupted and short writes.
/// False when the file system refused (a full disk): the file holds what was written.
[[nodiscard]] bool WriteWhole(int fd, std::string_view data);

enum class MoveResult { Moved, Exists, Failed };

/// Moves the file `from` to `to`, both names in the open folder `folder`. Without `replace`, a file
/// already at `to` is never overwritten: Exists, and nothing moved.
[[nodiscard]] MoveResult MoveFile(int folder, std::u16string_view from, std::u16string_view to, bool replace);

} // namespace platform

namespace platform {

/// Copies all of standard input into a new temporary file (under TMPDIR, else /tmp) and gives
/// its path. False when it could not be made or written: nothing is left behind then.
[[nodiscard]] bool CopyStandardInput(std::string& path);
/// Removes a file by its native path; a missing file is fine.
void RemoveNativeFile(const std::string& path);
/// Removes the folder `path` (of the open folder `parent`, or a full path) when it is empty; true
/// when it was removed.
bool RemoveEmptyFolder(int parent, std::u16string_view path);

} // namespace platform

namespace platform {

/// The size of a regular file; 0 for anything else or a file that cannot be looked at.
uint64_t RegularFileSize(std::u16string_view path);

} // namespace platform

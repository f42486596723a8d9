#pragma once
// Whole-file operations of the run: writing a whole buffer, moving a file to another name,
// standard input into a file, removing files and empty folders, a file's size.

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

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

/// Copies all of standard input into a temporary file without a name (under TMPDIR, else /tmp),
/// held by `copy`, and gives a path that opens it while `copy` lives. False when it could not be
/// made or written. No copy outlives `copy`, nor the process.
[[nodiscard]] bool CopyStandardInput(UniqueFd& copy, std::string& path);
/// Removes the file `name` of the open folder `folder`; a missing file is fine.
void RemoveFileAt(int folder, std::u16string_view name);
/// Removes the folder `path` (of the open folder `parent`, or a full path) when it is empty; true
/// when it was removed.
bool RemoveEmptyFolder(int parent, std::u16string_view path);

} // namespace platform

namespace platform {

/// The size of a regular file; 0 for anything else or a file that cannot be looked at.
uint64_t RegularFileSize(std::u16string_view path);

} // namespace platform

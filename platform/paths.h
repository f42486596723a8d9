#pragma once
// Paths and folders. Paths are UTF-16 text in the programs and UTF-8 bytes for the system.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// UTF-8 form of a path for system calls.
std::string NativePath(std::u16string_view path);
/// The folder of the running program, ending with "/".
std::u16string ProgramFolder();
/// The current directory as it was at the first call (the entry calls it before any folder is
/// entered): relative paths on the command line are taken against it.
std::u16string StartFolder();
/// The current directory (no trailing "/" except for the root).
std::u16string CurrentFolder();
/// A lexical absolute path against the current directory: "." and ".." resolved as text, no link
/// followed, nothing required to exist. A trailing "/" is kept.
std::u16string FullPath(std::u16string_view path);
/// The form in which paths appear in messages: absolute, normalised, no trailing "/" (root stays "/").
std::u16string DisplayPath(std::u16string_view path);
/// True when the path names anything (links included).
bool PathExists(std::u16string_view path);
/// Makes the path the current directory; a path deeper than PATH_MAX is entered a component at a time.
bool SetCurrentFolder(std::u16string_view path);
/// Creates every missing folder of the path, the current directory kept. 0 when the last folder was
/// created by this call, 1 otherwise (also when it already existed).
int CreateFolderChain(std::u16string_view path);
/// Creates one folder in the current directory; 0 or the errno value (EEXIST when it is there).
int MakeFolder(std::u16string_view name);
/// Enters a folder of the current directory without following a symbolic link.
bool EnterFolderNoFollow(std::u16string_view name);

/// True when the path names a folder (a link to a folder counts).
bool IsFolder(std::u16string_view path);
/// IsFolder, and otherwise the size of a regular file (0 for anything else), from one look.
bool IsFolderElseFileSize(std::u16string_view path, uint64_t& regular_size);
/// Every file below the folder `root` whose name `take` accepts, as `root` + "/" + the relative
/// path, sorted by name within each folder; links to folders are not followed. False when the root
/// cannot be read.
bool FindFilesBelow(std::u16string_view root, const std::function<bool(std::string_view)>& take,
                    std::vector<std::u16string>& found);

} // namespace platform

#pragma once
// Paths and folders. Paths are UTF-16 text in the programs and UTF-8 bytes for the system.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/unique_fd.h"

#include "platform/folder_entries.h"

namespace platform {

/// UTF-8 form of a path for system calls.
std::string NativePath(std::u16string_view path);
/// The current directory (no trailing "/" except for the root); empty when it has none (it was
/// removed). The console program reads it once, at start, and never changes it.
std::u16string CurrentFolder();
/// A lexical absolute path against the current directory: "." and ".." resolved as text, no link
/// followed, nothing required to exist. A trailing "/" is kept.
std::u16string FullPath(std::u16string_view path);
/// FullPath against `base` (an absolute folder) instead of the current directory.
std::u16string FullPathFrom(std::u16string_view base, std::u16string_view path);
/// The form in which paths appear in messages: absolute, normalised, no trailing "/" (root stays "/").
std::u16string DisplayPath(std::u16string_view path);
/// True when the path names anything (links included).
bool PathExists(std::u16string_view path);
/// Creates every missing folder of the full path. 0 when the last folder was created by this call,
/// 1 otherwise (also when it already existed).
int CreateFolderChain(std::u16string_view path);
/// Creates one folder by name in the open folder `parent`; 0 or the errno value (EEXIST when it is
/// there).
int MakeFolderAt(int parent, std::u16string_view name);

/// Opens the folder at a full path as a handle that files and folders are then made in; a link is
/// followed (the output root is the user's choice), a path deeper than PATH_MAX is opened a
/// component at a time. None when it is not a folder that can be entered.
UniqueFd OpenFolder(std::u16string_view path);
/// Opens the folder `name` of the open folder `parent` without following a symbolic link: a link
/// or a file in its place gives none.
UniqueFd OpenFolderNoFollowAt(int parent, std::u16string_view name);
/// The path of an open folder as the system resolves it (links resolved, no trailing "/" except for
/// the root), for messages.
std::u16string FolderPath(int folder);
/// True when `name` names anything in the open folder `parent` (links included, not followed).
bool NameExistsAt(int parent, std::u16string_view name);

/// True when the path names a folder (a link to a folder counts).
bool IsFolder(std::u16string_view path);
/// IsFolder, and otherwise the size of a regular file (0 for anything else), from one look.
bool IsFolderElseFileSize(std::u16string_view path, uint64_t& regular_size);
/// What a folder search passes over: the folders it must never enter (the output roots, whose
/// written mails it would read back), and the folders below the root it could not read.
struct FolderSearch {
    std::vector<FolderIdentity> never_entered;
    std::vector<std::u16string> unreadable; ///< as `root` + "/" + the relative path
};

/// Every file below the folder `root` whose name `take` accepts, as `root` + "/" + the relative
/// path, sorted by name within each folder; links to folders are not followed. False when the root
/// cannot be read.
bool FindFilesBelow(std::u16string_view root, const std::function<bool(std::string_view)>& take,
                    std::vector<std::u16string>& found, FolderSearch& search);
/// The identity of the folder at `path`; false when there is none.
bool IdentifyFolderAt(std::u16string_view path, FolderIdentity& identity);

} // namespace platform

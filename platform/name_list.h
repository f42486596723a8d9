#pragma once
// A list of file names read from a file or standard input, as "find -print0" or "find" write it:
// names separated by NUL bytes, or one a line. Names are bytes, kept as losslessly as the command
// line's (PathFromNative), so a name may hold a line feed (NUL form) or bytes that are not UTF-8.

#include <string>
#include <string_view>
#include <vector>

namespace platform {

/// Splits the list as it arrives, piece by piece: only the unfinished last name is carried.
struct NameListSplitter {
    char separator = '\n';
    std::string carry; ///< the bytes of a name whose separator has not come yet
};

/// Adds the names that `bytes` completes to `names`; empty names (two separators in a row, an
/// empty line) name nothing and are passed over.
void SplitNames(NameListSplitter& splitter, std::string_view bytes, std::vector<std::u16string>& names);
/// Adds the last name, when the list does not end with a separator.
void FinishNames(NameListSplitter& splitter, std::vector<std::u16string>& names);

/// Reads the list at `path` ("-" for standard input, which is read to its end), NUL-separated
/// when `nul_separated`, else one a line, adding its names to `names`. False when it cannot be
/// opened or read (`names` then holds what was read).
[[nodiscard]] bool ReadNameList(std::u16string_view path, bool nul_separated,
                                std::vector<std::u16string>& names);

} // namespace platform

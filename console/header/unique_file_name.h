#pragma once
// Making an output file name free in an open folder: the type-based extension, the Linux length
// limit, and the counted form stem_(n)_.ext.

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "platform/folder_entries.h"

namespace dornick {

/// Longest name component on Linux, in bytes of UTF-8.
constexpr size_t kFileNameBytes = 255;
/// The mark that keeps a counter after right-to-left text in its place.
constexpr char16_t kLeftToRightMark = u'\u200E';

/// What the folder that names were last made unique in holds, read once when a name first collides
/// there and kept while names are made in that folder. It only ever saves lookups: a name it does not
/// know is still tested on disk before it is given out, so files made by this or another process
/// since are found too. One per run.
struct FolderListing {
    bool valid = false;
    platform::FolderIdentity folder;
    std::unordered_set<std::string> names;
    /// The first counter of each base name that is not known to be taken.
    std::unordered_map<std::string, uint64_t> next_counter;

    /// Drops what is known (when files were removed behind its back).
    void Forget() { *this = FolderListing{}; }
};

/// The folder a name is made unique in: its open handle and the run's listing (none: names are
/// only looked up on disk).
struct NameFolder {
    int fd;
    FolderListing* listing;
    /// A name that counts as taken even while no file has it (the log's, in the output root).
    std::string_view reserved = {};
};

/// The log file's name: in the output root no attachment or folder may take it.
constexpr std::u16string_view kLogFileName = u"dornick.txt";

/// True when the name holds Hebrew or Arabic letters (U+0591..U+05F4, U+0600..U+06FF), unless it is
/// empty or already ends with U+200E.
bool HasRtlText(std::u16string_view name);

/// Bytes of the UTF-8 form of a name (a lone surrogate counts as U+FFFD).
size_t Utf8Size(std::u16string_view name);

/// Cuts whole characters from the end of `stem`, then from the end of `extension` when the stem is
/// gone, until stem, `reserved` bytes and extension fit in kFileNameBytes.
void FitToNameBytes(std::u16string& stem, std::u16string& extension, size_t reserved);

/// Makes `name` (in `folder`) the name to create: the extension of the part's
/// MIME type is applied when `suffix` is empty, a name too long for Linux is shortened, and an
/// existing name is replaced by the first free stem_(n)_.ext (U+200E before the counter after
/// right-to-left text). 0: the name is free, create it as a new file; 1: overwrite it (only when
/// the counter has run out, which the caller reports).
int MakeUniqueFileName(NameFolder folder, std::u16string& name, std::u16string_view mime_type,
                       std::u16string_view suffix);
/// The first steps of MakeUniqueFileName, without the look at the folder: the name it tries first.
void FitOutputFileName(std::u16string& name, std::u16string_view mime_type, std::u16string_view suffix);

/// The counted form stem_(n)_.ext of `name`, fitted to the length limit.
std::u16string CountedFileName(std::u16string_view name, uint64_t n);

/// The counted search of MakeUniqueFileName for a free, fitted `name`, from counter `first`.
int FindFreeCountedName(NameFolder folder, std::u16string& name, uint64_t first);

} // namespace dornick

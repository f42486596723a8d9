#pragma once
// Making an output file name free in the current folder: the type-based extension, the Linux
// length limit, and the counted form stem_(n)_.ext.

#include <cstdint>
#include <string>
#include <string_view>

namespace dornick {

/// Longest name component on Linux, in bytes of UTF-8.
constexpr size_t kFileNameBytes = 255;
/// The mark that keeps a counter after right-to-left text in its place.
constexpr char16_t kLeftToRightMark = u'\u200E';

/// True when the name holds Hebrew or Arabic letters (U+0591..U+05F4, U+0600..U+06FF), unless it is
/// empty or already ends with U+200E.
bool HasRtlText(std::u16string_view name);

/// Bytes of the UTF-8 form of a name (a lone surrogate counts as U+FFFD).
size_t Utf8Size(std::u16string_view name);

/// Cuts whole characters from the end of `stem`, then from the end of `extension` when the stem is
/// gone, until stem, `reserved` bytes and extension fit in kFileNameBytes.
void FitToNameBytes(std::u16string& stem, std::u16string& extension, size_t reserved);

/// Makes `name` (relative to the current folder) the name to create: the extension of the part's
/// MIME type is applied when `suffix` is empty, a name too long for Linux is shortened, and an
/// existing name is replaced by the first free stem_(n)_.ext (U+200E before the counter after
/// right-to-left text). 0: the name is free, create it as a new file; 1: overwrite it (only when
/// the counter has run out, which the caller reports).
int MakeUniqueFileName(std::u16string& name, std::u16string_view mime_type, std::u16string_view suffix);
/// The first steps of MakeUniqueFileName, without the look at the folder: the name it tries first.
void FitOutputFileName(std::u16string& name, std::u16string_view mime_type, std::u16string_view suffix);

/// The counted search of MakeUniqueFileName for a free, fitted `name`, from counter `first`.
int FindFreeCountedName(std::u16string& name, uint64_t first);

/// Drops the in-memory listing of the current folder (when files were removed behind its back).
void ForgetFolderListing();

} // namespace dornick

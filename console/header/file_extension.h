#pragma once
// Where a file name's extension begins, and the extension that a part's MIME type asks for.

#include <cstddef>
#include <string>
#include <string_view>

namespace dornick {

/// Longest file name in UTF-16 units; a step that would make a name longer is skipped.
constexpr size_t kFileNameUnits = 255;

/// Suffixes that count as one extension although they hold further dots, compared over exactly
/// their own length at a dot (so ".tar.z" also catches ".tar.zst", ".exe." catches ".exe.config").
inline constexpr std::u16string_view CompoundSuffixes[] = {
    u".tar.gz",   u".tar.bz2", u".tar.xz", u".tar.lzma",      u".tar.lz",   u".tar.z",   u".tar.lzo",
    u".vcxproj.", u".vbproj.", u".exe.",   u".auto.manifest", u".auto.res", u".auto.rc", u".csproj.",
};

/// Index of the dot that begins the extension: the first dot with no dot after it, or at which a
/// compound suffix begins; the name's length when it has no dot.
size_t ExtensionStart(std::u16string_view name);

/// Cuts a name longer than `units` to that length by cutting its stem, so that the extension (as
/// ExtensionStart splits it) stays; an extension that leaves no room for a stem is cut with it. A
/// surrogate pair is never split.
void CutKeepingExtension(std::u16string& name, size_t units);

/// Gives the name the extension of the first table row of `mime_type` when it has none, or one
/// that no row knows; a name that would grow past kFileNameUnits is left as it is (or takes a
/// shorter extension of the same type that fits).
void ApplyTypeExtension(std::u16string& name, std::u16string_view mime_type);

} // namespace dornick

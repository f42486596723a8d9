#pragma once
// Making a decoded text safe as one file or folder name.

#include <string>

namespace dornick {

/// Removes control characters (below U+0020, U+007F, and the bidirectional controls U+202A..U+202E
/// and U+2066..U+2069), then leading spaces; an empty result becomes "_", "." and ".." get a "_" in
/// front. The nine characters \ / ? : * " > < | become "_", or their full-width forms with
/// `full_width` ("/CW").
void SanitizeFileName(std::u16string& name, bool full_width);

} // namespace dornick

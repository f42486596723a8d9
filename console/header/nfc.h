#pragma once
// Composition of decoded names, so that a name written decomposed (as Mac mail programs do) becomes
// the name a user types.

#include <string>

namespace dornick {

/// Composes `text` (at most 255 units) in place by NFC, leaving characters excluded from composition
/// (such as the CJK compatibility ideographs) as they are; returns ICU's status, which callers ignore.
int NormalizeNfc(std::u16string& text);

} // namespace dornick

#pragma once
// The boundary text that ends the current part's data, held in the byte form that lines are
// searched in.

#include <cstddef>
#include <string_view>

#include "console/decode/line_cursor.h"

namespace dornick {

/// A part's `CurrentBoundary`, tested as a case-sensitive substring of a line. An empty boundary
/// (an in-body block outside any multipart) never matches; neither does one with a unit above
/// U+00FF, since mail lines are widened bytes.
struct PartBoundary {
    char bytes[kLineCapacity] = {};
    size_t length = 0;
    bool matchable = false;

    PartBoundary() = default;
    explicit PartBoundary(std::u16string_view text);

    /// True when the boundary occurs in the `size` bytes at `line`.
    bool Holds(const char* line, size_t size) const;
    /// True when the boundary occurs in a NUL-terminated byte line.
    bool HoldsText(const char* line) const;
    /// True when the boundary occurs in a NUL-terminated widened line.
    bool HoldsWide(const char16_t* line) const;
    /// True when some line made only of base64 letters and "=" could hold the boundary.
    bool CouldHideInBase64() const;
};

} // namespace dornick

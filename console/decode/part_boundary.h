#pragma once
// The boundary texts that end the current part's data, held in the byte form that lines are
// searched in.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "console/decode/line_cursor.h"

namespace dornick {

/// A part's `CurrentBoundary`, tested as a case-sensitive substring of a line, and, for the
/// decoders that must never run on into a following part, every other boundary of the mail. An
/// empty boundary (an in-body block outside any multipart) never matches; neither does one with a
/// unit above U+00FF, since mail lines are widened bytes.
struct PartBoundary {
    /// Markers held in place; a mail with more multiparts than this keeps the rest in `overflow`,
    /// so that the common case costs no allocation and a rare long list only its own bytes.
    static constexpr int kInlineMarkers = 5;
    struct Marker {
        char bytes[kLineCapacity];
        size_t length;
    };
    Marker markers[kInlineMarkers];
    std::vector<std::string> overflow;
    int count = 0;          ///< markers held, in place and in `overflow`
    bool matchable = false; ///< some marker can match

    PartBoundary() {}
    explicit PartBoundary(std::u16string_view text) { Add(text); }

    /// Adds a boundary that also ends the data (an empty or unmatchable text adds nothing).
    void Add(std::u16string_view text);
    /// The i-th marker's bytes, 0 <= i < count.
    std::string_view At(int i) const {
        return i < kInlineMarkers ? std::string_view(markers[i].bytes, markers[i].length)
                                  : std::string_view(overflow[i - kInlineMarkers]);
    }

    /// True when a boundary occurs in the `size` bytes at `line`.
    bool Holds(const char* line, size_t size) const;
    /// True when a boundary occurs in a NUL-terminated byte line.
    bool HoldsText(const char* line) const;
    /// True when a boundary occurs in a NUL-terminated widened line.
    bool HoldsWide(const char16_t* line) const;
    /// The first byte of every marker when they all begin alike, else -1: a line without that byte
    /// holds no boundary.
    int CommonFirstByte() const;
    /// True when some line made only of base64 letters and "=" could hold a boundary.
    bool CouldHideInBase64() const;
};

} // namespace dornick

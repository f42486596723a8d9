#include "console/decode/part_boundary.h"

#include <cstring>

#include "console/decode/base64_text.h"

namespace dornick {

PartBoundary::PartBoundary(std::u16string_view text) {
    if (text.empty() || text.size() >= kLineCapacity) return;
    for (char16_t unit : text) {
        if (unit == 0 || unit > 0xFF) return;
        bytes[length++] = static_cast<char>(unit);
    }
    bytes[length] = 0;
    matchable = true;
}

bool PartBoundary::Holds(const char* line, size_t size) const {
    if (!matchable || size < length) return false;
    // Every data line is tested, and most hold no byte of the boundary's start at all: looking for
    // that byte first is far cheaper than a general substring search on such short texts.
    const char first = bytes[0];
    const char* const last_start = line + (size - length);
    for (const char* p = line; p <= last_start; ++p) {
        p = static_cast<const char*>(std::memchr(p, first, static_cast<size_t>(last_start - p) + 1));
        if (!p) return false;
        if (std::memcmp(p + 1, bytes + 1, length - 1) == 0) return true;
    }
    return false;
}

bool PartBoundary::HoldsText(const char* line) const {
    return matchable && Holds(line, std::strlen(line));
}

bool PartBoundary::HoldsWide(const char16_t* line) const {
    if (!matchable) return false;
    // A unit above U+00FF cannot be part of a match: it splits the line into separate runs.
    char narrow[kLineCapacity];
    size_t n = 0;
    for (;; ++line) {
        const char16_t unit = *line;
        if (unit == 0 || unit > 0xFF || n + 1 == kLineCapacity) {
            if (Holds(narrow, n)) return true;
            if (unit == 0) return false;
            n = 0;
            if (unit > 0xFF) continue;
        }
        narrow[n++] = static_cast<char>(unit);
    }
}

bool PartBoundary::CouldHideInBase64() const {
    if (!matchable) return false;
    for (size_t i = 0; i < length; ++i)
        if (kBase64Values[static_cast<unsigned char>(bytes[i])] == kBase64Foreign) return false;
    return true;
}

} // namespace dornick

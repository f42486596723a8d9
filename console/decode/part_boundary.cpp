#include "console/decode/part_boundary.h"

#include <cstring>

#include "console/decode/base64_text.h"

namespace dornick {
namespace {

bool MarkerIn(const char* line, size_t size, const char* marker, size_t length) {
    if (size < length) return false;
    // Every data line is tested, and most hold no byte of the boundary's start at all: looking for
    // that byte first is far cheaper than a general substring search on such short texts.
    const char first = marker[0];
    const char* const last_start = line + (size - length);
    for (const char* p = line; p <= last_start; ++p) {
        p = static_cast<const char*>(std::memchr(p, first, static_cast<size_t>(last_start - p) + 1));
        if (!p) return false;
        if (std::memcmp(p + 1, marker + 1, length - 1) == 0) return true;
    }
    return false;
}

} // namespace

void PartBoundary::Add(std::u16string_view text) {
    if (text.empty() || text.size() >= kLineCapacity) return;
    if (count >= kInlineMarkers) {
        std::string bytes;
        for (char16_t unit : text) {
            if (unit == 0 || unit > 0xFF) return;
            bytes.push_back(static_cast<char>(unit));
        }
        overflow.push_back(std::move(bytes));
        ++count;
        matchable = true;
        return;
    }
    Marker& marker = markers[count];
    size_t length = 0;
    for (char16_t unit : text) {
        if (unit == 0 || unit > 0xFF) return;
        marker.bytes[length++] = static_cast<char>(unit);
    }
    marker.bytes[length] = 0;
    marker.length = length;
    ++count;
    matchable = true;
}

bool PartBoundary::Holds(const char* line, size_t size) const {
    const int in_place = count < kInlineMarkers ? count : kInlineMarkers;
    for (int i = 0; i < in_place; ++i)
        if (MarkerIn(line, size, markers[i].bytes, markers[i].length)) return true;
    for (const std::string& marker : overflow)
        if (MarkerIn(line, size, marker.data(), marker.size())) return true;
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

int PartBoundary::CommonFirstByte() const {
    if (count == 0) return -1;
    const unsigned char first = static_cast<unsigned char>(markers[0].bytes[0]);
    for (int m = 1; m < count; ++m)
        if (static_cast<unsigned char>(At(m)[0]) != first) return -1;
    return first;
}

bool PartBoundary::CouldHideInBase64() const {
    for (int m = 0; m < count; ++m) {
        const std::string_view marker = At(m);
        bool all_base64 = true;
        for (size_t i = 0; i < marker.size() && all_base64; ++i)
            all_base64 = kBase64Values[static_cast<unsigned char>(marker[i])] != kBase64Foreign;
        if (all_base64) return true;
    }
    return false;
}

} // namespace dornick

#include "console/header/boundary_charset.h"

#include <algorithm>

#include "console/header/header_search.h"

namespace dornick {
namespace {

constexpr size_t kCharsetUnits = kCharsetCapacity - 1;
constexpr size_t kMarkerUnits = kBoundaryCapacity - 1;
// Markers up to this length are kept whole; a longer one loses its last unit.
constexpr size_t kShortMarker = 4;

// Stores the marker when the line has "boundary" with an "=" after it.
bool TakeBoundary(std::u16string_view line, std::u16string& marker) {
    const size_t at = FindNoCase(line, u"boundary");
    if (at == kNotFound) return false;
    const size_t equals = line.find(u'=', at);
    if (equals == kNotFound) return false;
    marker = MakeBoundaryMarker(line.substr(equals + 1));
    return true;
}

} // namespace

bool TakeCharsetParameter(std::u16string_view line, CharsetText& charset) {
    // "charset" also matches inside "filenamecharset", which therefore has to be looked for first.
    size_t at = FindNoCase(line, u"filenamecharset");
    if (at == kNotFound) at = FindNoCase(line, u"charset");
    if (at == kNotFound) return false;
    const size_t equals = line.find(u'=', at);
    if (equals == kNotFound) return false;
    charset.assign(line.substr(equals + 1, kCharsetUnits));
    return true;
}

std::u16string MakeBoundaryMarker(std::u16string_view after_equals) {
    std::u16string marker = u"-";
    marker.append(after_equals.substr(0, kMarkerUnits - 1));
    marker.resize(std::min(marker.size(), marker.find(u';')));
    std::u16string quoted;
    if (ExtractBetween(marker, quoted, u"\"", u"\"") == 0 && !quoted.empty()) {
        // A value quoted as "abc\" lost its closing quote to the escape: the backslash stands for it.
        if (quoted.back() == u'\\') quoted.back() = u'"';
        marker = u"-" + quoted;
    } else {
        // The blanks are trimmed from the value, not the marker, so that boundary= abc still gives
        // -ab and matches the boundary lines.
        std::u16string value(TrimBlanks(std::u16string_view(marker).substr(1)));
        value.erase(std::remove(value.begin(), value.end(), u'"'), value.end());
        if (!value.empty() && value.back() == u';') value.pop_back();
        marker = u"-" + value;
    }
    // The boundary line "--value" and the closing "--value--" both contain the marker.
    if (marker.size() > kShortMarker) marker.pop_back();
    return marker;
}

BoundaryParameters CollectBoundaryAndCharset(LineSource& source) {
    BoundaryParameters found;
    std::u16string_view line(source.line);
    if (FindNoCase(line, u"multipart/") == kNotFound && FindNoCase(line, u"boundary") == kNotFound)
        return found;
    found.charset_found = TakeCharsetParameter(line, found.charset);
    if (FindNoCase(line, u"boundary") != kNotFound) {
        found.stored = TakeBoundary(line, found.marker);
        return found;
    }

    // A multipart type whose parameters follow on continuation lines.
    while (source.ReadNext()) {
        line = source.line;
        if (line.empty() || (!IsBlank(line[0]) && line.find(u':') != kNotFound)) {
            source.Unread();
            return found;
        }
        if (TakeCharsetParameter(line, found.charset)) found.charset_found = true;
        if (TakeBoundary(line, found.marker)) found.stored = true;
    }
    return found;
}

std::u16string PeekBoundaryMarker(const LineSource& source) {
    std::u16string marker;
    const std::u16string_view first(source.line);
    if (FindNoCase(first, u"boundary") != kNotFound) {
        TakeBoundary(first, marker);
        return marker;
    }
    if (FindNoCase(first, u"multipart/") == kNotFound) return marker;
    LineCursor peek = source.Here();
    char16_t next[kLineCapacity];
    while (ReadLineW(next, peek) != 0) {
        const std::u16string_view line(next);
        if (line.empty() || (!IsBlank(line[0]) && line.find(u':') != kNotFound)) break;
        TakeBoundary(line, marker);
    }
    return marker;
}

} // namespace dornick

#pragma once
// The boundary and charset parameters of a Content-Type field.

#include <string>
#include <string_view>

#include "console/header/header_reader.h"

namespace dornick {

/// Copies at most 23 units after the "=" of a "filenamecharset" (else "charset") parameter of the
/// line into `charset`; false, and nothing changed, when the line has no such parameter with an "=".
bool TakeCharsetParameter(std::u16string_view line, CharsetText& charset);

/// The BoundaryMarker for the text after "boundary=": "-" and the value, its last unit dropped when
/// the marker is longer than 4 units.
std::u16string MakeBoundaryMarker(std::u16string_view after_equals);

/// What a Content-Type field said of its boundary and charset.
struct BoundaryParameters {
    bool stored = false;   ///< a boundary was found: `marker` holds it
    std::u16string marker; ///< the BoundaryMarker
    bool charset_found = false;
    CharsetText charset;
};

/// Reads the charset and the boundary of the Content-Type field in source.line (and, for a
/// multipart type without a boundary there, of its continuation lines). A header line read past
/// the field is left pending in the source.
BoundaryParameters CollectBoundaryAndCharset(LineSource& source);

/// The boundary CollectBoundaryAndCharset would find for the field in source.line, looked for
/// without reading anything away and without the charset; empty when there is none.
std::u16string PeekBoundaryMarker(const LineSource& source);

} // namespace dornick

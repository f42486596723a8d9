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

/// Reads the charset and the boundary of the Content-Type field in reader.line (and, for a multipart
/// type without a boundary there, of its continuation lines) into the part's charset and `marker`.
/// 1 when a boundary was stored, else 0; sets line_pending when the next header line was read.
int CollectBoundaryAndCharset(HeaderReader& reader, std::u16string& marker);

} // namespace dornick

#pragma once
// The "begin-base64" block inside a text body: a header line with a mode and a name, base64 lines,
// and a "====" line.

#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"

namespace dornick {

/// "begin-base64 ", three octal digits and a space come before the name.
constexpr int kBeginBase64NameOffset = 17;

/// True when `line` begins a complete block: the header line is well formed and a "====" line
/// follows before the data ends, a line holds the boundary, or another block begins. The cursor is
/// put back in every case.
bool DetectBeginBase64(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary);

/// The file name of a header line that DetectBeginBase64 accepted (from its 18th character on).
inline const char16_t* BeginBase64Name(const char16_t* line) {
    return line + kBeginBase64NameOffset;
}

} // namespace dornick

#pragma once
// The search of a quoted-printable line's LF, a register at a time (one template over the width,
// line_scan.cpp).

#include <cstddef>

#include "console/decode/vector_width.h"

namespace dornick {

/// What one pass over a line's bytes up to its LF found: the LF (null when there is none within the
/// span), and whether a NUL or the boundaries' first byte stands before it.
struct LineScan {
    const unsigned char* lf = nullptr;
    bool nul_or_boundary_start = false;
};

/// Scans the `span` bytes at `start` for the line's LF, a register at a time while the data (which
/// ends at `data_end`) allows, at the width in force. `first` is the byte every boundary begins
/// with, or -1 when they begin differently (then the boundary test is always due).
LineScan ScanLine(const unsigned char* start, size_t span, const unsigned char* data_end, int first);
/// The same with `width` as the widest (None: byte by byte); a width the processor lacks scans byte
/// by byte.
LineScan ScanLineOfWidth(VectorWidth width, const unsigned char* start, size_t span,
                         const unsigned char* data_end, int first);

} // namespace dornick

#pragma once
// Finding a BinHex 4.0 block: in a text body after its "(This file must be converted with BinHex
// 4.0)" line, and in a part of its own at the ":" line that opens the encoded text.

#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"

namespace dornick {

/// Longest encoded line a block is recognised by.
constexpr size_t kBinHexLongestLine = 64;

/// True when `line` (as read by ReadLineW) is the BinHex header line and an encoded text follows:
/// the next non-empty line (spaces and tabs removed) begins with ":" and is at most 64 characters;
/// the block is found when that line, or the first later line that holds ":", ends with ":". Lines
/// longer than 64 characters, a line holding the boundary or another header line first mean no
/// block. The cursor is put back in either case.
[[nodiscard]] bool BinHexDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary);

/// Where the search for the encoded text of a BinHex part stopped.
enum class BinHexStart : int {
    Block = 0,     ///< a line beginning with ":": the cursor is at its start, BinHexDecode may run
    Boundary = 1,  ///< a line held the boundary first (it is in `line`; the cursor stands after it)
    EndOfData = 2, ///< the lines ran out first (`line` is empty)
};

/// From the part's first data line, already read by ReadLineW into `line` (1024 units): finds the
/// line that begins with ":" (that line itself or a later one) and puts the cursor at its start.
[[nodiscard]] BinHexStart FindBinHexStart(char16_t* line, LineCursor& cursor, const PartBoundary& boundary);

} // namespace dornick

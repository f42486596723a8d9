#pragma once
// A uuencoded or xxencoded block inside a text body: a "begin" header line with a mode and a name,
// data lines, a zero-length line and "end".

#include <cstddef>

#include "console/decode/line_cursor.h"
#include "console/decode/part_boundary.h"

namespace dornick {

/// Which code a block found by UuDetect is in. The values are the detector's results.
enum class UuCode : int {
    None = 0,     ///< no block starts here
    Uuencode = 1, ///< mode 4
    Xxencode = 2, ///< mode 5
};

/// "begin ", three octal digits and a space come before the name.
constexpr int kUuNameOffset = 10;
/// Longest header line accepted.
constexpr size_t kUuLongestHeader = 270;
/// Longest data line a block may hold before its zero-length line.
constexpr size_t kUuLongestDataLine = 62;

/// True for the lines that end a block's data before its "end" line: a grave accent alone, a grave
/// accent and a space, two grave accents, a space, "+", or two characters beginning with a space.
bool IsUuZeroLengthLine(const char* line, size_t length);

/// Whether `line` (as read by ReadLineW) begins a complete block, and in which code: the header is
/// well formed, and data lines of at most 62 characters lead to a zero-length line and then,
/// after any empty lines, "end". A "+" zero-length line means xxencode. The data ending, a longer
/// line, a line holding the boundary or another "begin " line first give None. The cursor is put
/// back in every case.
[[nodiscard]] UuCode UuDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary);

/// The name of a header line UuDetect accepted (from its 11th character on) as the file's bytes,
/// NUL-terminated into `bytes` (kLineCapacity); returns their count. The bytes are in the mail's
/// character set and unchecked: converting and sanitising them is the caller's.
size_t UuBeginName(const char16_t* line, char* bytes);

/// For a uuencode or xxencode part whose header gave no name: when the first non-empty line from
/// the part's first data line (`line`, read by ReadLineW) on is a "begin" header line, its name
/// bytes as UuBeginName gives them; otherwise 0 and `bytes` empty. The cursor is put back.
size_t UuPartName(const char16_t* line, LineCursor& cursor, char* bytes);

} // namespace dornick

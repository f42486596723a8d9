#pragma once
// The reading position in a mapped mail and the line readers every scanner and decoder uses.
//
// Line ends are CR LF, a lone CR or a lone LF (only CR LF for ReadLineCrLfW). A NUL byte is dropped
// but uses up one place of the buffer and counts in the returned length, so callers can tell a
// damaged line. A line longer than the buffer arrives in pieces without line ends.

#include <cstddef>
#include <cstdint>

namespace dornick {

/// Capacity of a mail line in bytes or UTF-16 units, terminator included.
constexpr int kLineCapacity = 1024;

struct LineCursor {
    const unsigned char* pos = nullptr;   ///< next unread byte; null once the last byte is consumed
    const unsigned char* start = nullptr; ///< first byte of the mapping
    const unsigned char* last = nullptr;  ///< last byte of the mapping (inclusive)
};

/// A cursor over `size` bytes (null at once when size is 0).
LineCursor MakeLineCursor(const unsigned char* data, uint64_t size);

/// One line into a buffer of kLineCapacity bytes. 0 when the cursor was null, else the length
/// counted with dropped NULs, and 1 for an empty line.
int ReadLineA(char* buffer, LineCursor& cursor);
/// The next line in place, without copying, when it is an ordinary one: shorter than a line
/// buffer, without NUL bytes or a lone CR, ended by LF or CR LF. The cursor then moves exactly as
/// ReadLineA would move it and `text`/`length` show the line in the mapping; for any other line
/// (and a null cursor) false, and nothing moves.
bool ReadOrdinaryLine(LineCursor& cursor, const char*& text, size_t& length);
/// One line widened into a buffer of kLineCapacity units; results as ReadLineA.
int ReadLineW(char16_t* buffer, LineCursor& cursor);
/// One line ended only by CR LF (a lone CR or LF is data) into `size` units; results as ReadLineA.
int ReadLineCrLfW(char16_t* buffer, int size, LineCursor& cursor);
/// True when the line just read ended with CR LF (not a piece of a longer line, not the file's end).
bool EndedWithCrLf(const LineCursor& cursor);
/// Copies up to n bytes (only advances when buffer is null); the count taken, also into *count.
int64_t ReadBytes(unsigned char* buffer, int64_t n, int64_t* count, LineCursor& cursor);
/// Moves to the start of the line n lines back (1: the line just read); from a null cursor to the
/// start of the last line. Returns the new position.
const unsigned char* StepBackLines(LineCursor& cursor, int n);
/// Moves back over n characters; a CR LF is one, a line end counts only after another line end.
void UnreadChars(LineCursor& cursor, int n);
/// Takes each unit's low byte (NUL-terminated in, NUL-terminated out).
void NarrowLine(const char16_t* wide, char* bytes);
/// Zero-extends each byte (NUL-terminated in, NUL-terminated out).
void WidenLine(const char* bytes, char16_t* wide);
/// True when the line just read by ReadLineW is damaged: it held NUL bytes (see the decoders).
bool IsDamagedLine(const LineCursor& cursor, const char16_t* line, int returned);

} // namespace dornick

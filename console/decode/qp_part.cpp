#include "console/decode/qp_part.h"

#include <algorithm>
#include <cstring>

#include "console/decode/base64_text.h"
#include "console/decode/line_scan.h"

namespace dornick {
namespace {

// The reader's limit: a line of this many characters without a line end is a piece.
constexpr size_t kMaxLineChars = kLineCapacity - 1;

// How the line just read ended; None for a piece of a longer line and at the end of the data.
enum class LineEnd { None, CrLf, Lf, Cr };

size_t LineEndBytes(LineEnd end, uint8_t* out) {
    switch (end) {
    case LineEnd::CrLf:
        out[0] = '\r';
        out[1] = '\n';
        return 2;
    case LineEnd::Lf:
        out[0] = '\n';
        return 1;
    case LineEnd::Cr:
        out[0] = '\r';
        return 1;
    case LineEnd::None:
        break;
    }
    return 0;
}

// One quoted-printable line as bytes. CR LF ends it, and so does a lone LF: mail stored on Unix has
// lost its CRs, and its soft line breaks "=" LF must still join lines. A lone CR is data. Otherwise
// as ReadLineCrLfW: NUL bytes dropped but counted, pieces of kMaxLineChars; the file's final CR or
// LF is not stored.
int ReadQpLine(char* bytes, LineCursor& cursor, LineEnd& end) {
    end = LineEnd::None;
    const unsigned char* p = cursor.pos;
    bytes[0] = 0;
    if (!p) return 0;
    const unsigned char* last = cursor.last;
    size_t used = 0;
    size_t stored = 0;
    for (;;) {
        if (used == kMaxLineChars) {
            cursor.pos = p;
            break;
        }
        const unsigned char b = *p;
        if (p == last) {
            // A final CR or LF is not stored: the final line break is written from the file's end.
            if (b == 0)
                ++used;
            else if (b != '\n' && b != '\r') {
                bytes[stored++] = static_cast<char>(b);
                ++used;
            }
            cursor.pos = nullptr;
            break;
        }
        if (b == '\r' && p[1] == '\n') {
            p += 2;
            cursor.pos = p > last ? nullptr : p;
            if (cursor.pos) end = LineEnd::CrLf;
            break;
        }
        if (b == '\n') {
            cursor.pos = p + 1;
            end = LineEnd::Lf;
            break;
        }
        if (b != 0) bytes[stored++] = static_cast<char>(b);
        ++used;
        ++p;
    }
    bytes[stored] = 0;
    return used == 0 ? 1 : static_cast<int>(used);
}

// How the walk's ReadLineW ended the part's first line (it never stores a CR or LF, so a CR or LF
// just before the cursor was the line end).
LineEnd FirstLineEnd(const LineCursor& cursor) {
    const unsigned char* p = cursor.pos;
    if (!p || p == cursor.start) return LineEnd::None;
    if (p[-1] == '\n') return p - cursor.start >= 2 && p[-2] == '\r' ? LineEnd::CrLf : LineEnd::Lf;
    if (p[-1] == '\r') return LineEnd::Cr;
    return LineEnd::None;
}

// Moves the cursor back over `count` stored characters of a piece just read. NUL bytes were not
// stored and are stepped over, and a lone CR or LF inside the piece is one character like any other.
void UnreadStoredChars(LineCursor& cursor, size_t count) {
    const unsigned char* p = cursor.pos;
    while (count > 0 && p > cursor.start) {
        --p;
        if (*p != 0) --count;
    }
    cursor.pos = p;
}

// The line break that the file's last bytes show.
size_t FinalBreak(const LineCursor& cursor, uint8_t* out) {
    const unsigned char* last = cursor.last;
    if (last > cursor.start && last[-1] == '\r' && last[0] == '\n') return LineEndBytes(LineEnd::CrLf, out);
    if (*last == '\r') return LineEndBytes(LineEnd::Cr, out);
    if (*last == '\n') return LineEndBytes(LineEnd::Lf, out);
    return 0;
}

// What the test of the line after a hard break found: whether it holds the boundary, and, when it
// was seen to hold no NUL byte and no boundary up to an LF, that LF.
struct NextLine {
    bool holds_boundary = false;
    const unsigned char* lf = nullptr;
};

// Whether the line that ReadQpLine would read at `from` holds the boundary; the cursor stays.
// `first_byte` is the boundaries' CommonFirstByte, found once per part by the caller.
NextLine LookAtNextLine(const unsigned char* from, const LineCursor& cursor, const PartBoundary& boundary,
                        int first_byte) {
    if (!boundary.matchable || !from) return {};
    // The line lies within the bytes up to the next LF: when the boundary is not among them (and
    // no dropped NUL could join it), it is not in the line.
    const size_t available = static_cast<size_t>(cursor.last + 1 - from);
    const size_t span = std::min(available, kMaxLineChars + 1);
    const LineScan scan = ScanLine(from, span, cursor.last + 1, first_byte);
    const size_t size = scan.lf ? static_cast<size_t>(scan.lf - from) : span;
    if (scan.lf && !scan.nul_or_boundary_start) return {false, scan.lf};
    if (!boundary.Holds(reinterpret_cast<const char*>(from), size) && !std::memchr(from, 0, size))
        return {false, scan.lf};
    LineCursor peek = cursor;
    peek.pos = from;
    char next[kLineCapacity];
    LineEnd end;
    ReadQpLine(next, peek, end);
    return {boundary.HoldsText(next), nullptr};
}

} // namespace

size_t QpDecodeSpan(const unsigned char* text, size_t size, uint8_t* out) {
    return QpDecodeBodyBytes(text, size, out);
}

void QpPartDecoder::Reset() {
    const bool fast = use_fast_path;
    *this = QpPartDecoder{};
    use_fast_path = fast;
}

bool QpPartDecoder::WantsBase64Redecode() const {
    return decoded_total >= kQpRedecodeMinimumBytes && escape_lines < kQpEscapeLinesCounted;
}

bool QpPartDecoder::Emit(const uint8_t* data, size_t count, ByteSink& sink) {
    if (count == 0) return true;
    sink_result = sink.Append(data, count);
    if (sink_result != SinkResult::Ok) return false;
    decoded_total += count;
    return true;
}

DataEnd QpPartDecoder::Run(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                           const RepairNoticeFn& notice) {
    char bytes[kLineBytes];
    uint8_t out[kLineOutBytes];
    NarrowLine(line, bytes);
    // An empty part: its first "data" line is already the boundary, and nothing of the next part
    // may reach this file.
    if (boundary.HoldsText(bytes)) return DataEnd::Boundary;
    LineEnd own_end = FirstLineEnd(cursor);
    for (;;) {
        size_t length = std::strlen(bytes);
        if (escape_lines < kQpEscapeLinesCounted && std::memchr(bytes, '=', length)) ++escape_lines;

        size_t line_break = 0;
        uint8_t break_bytes[2];
        if (cursor.pos) {
            bool break_unless_last = false;
            if (length > 0 && own_end != LineEnd::None) {
                if (bytes[length - 1] == '=')
                    bytes[--length] = 0; // soft line break
                else
                    break_unless_last = true;
            } else if (length > 0) {
                // A piece of a longer line: an escape cut at its end is read again with the next piece.
                // Not when the escape opens the piece (a piece of NUL bytes stores almost nothing):
                // reading it again would give the same piece for ever.
                char* eq = std::strrchr(bytes, '=');
                if (eq && eq > bytes && bytes + length - eq - 1 < 2) {
                    UnreadStoredChars(cursor, static_cast<size_t>(bytes + length - eq));
                    *eq = 0;
                }
            } else {
                break_unless_last = true;
            }
            // The part's last line gets no line break: the one before the boundary belongs to it.
            if (break_unless_last &&
                !LookAtNextLine(cursor.pos, cursor, boundary, boundary.CommonFirstByte()).holds_boundary) {
                line_break = LineEndBytes(own_end == LineEnd::None ? LineEnd::CrLf : own_end, break_bytes);
            }
        } else {
            line_break = FinalBreak(cursor, break_bytes);
        }
        size_t count = static_cast<size_t>(QpDecode(bytes, out, false));
        std::memcpy(out + count, break_bytes, line_break);
        if (!Emit(out, count + line_break, sink)) return DataEnd::SinkFailed;

        for (;;) {
            if (damaged && !repaired) {
                repaired = true;
                if (notice) notice();
            }
            if (!cursor.pos) {
                line[0] = 0;
                return DataEnd::EndOfData;
            }
            if (!use_fast_path) break;
            const FastOutcome fast = DecodeOrdinaryLines(cursor, boundary, sink);
            if (fast == FastOutcome::SinkFailed) return DataEnd::SinkFailed;
            if (fast == FastOutcome::NotOrdinary) break;
        }
        const int returned = ReadQpLine(bytes, cursor, own_end);
        if (boundary.HoldsText(bytes)) {
            WidenLine(bytes, line);
            return DataEnd::Boundary;
        }
        // The damage test of the line readers: NUL bytes were dropped from this line.
        const size_t stored = std::strlen(bytes);
        if (stored == 0 ? returned > 1 : cursor.pos && static_cast<int>(stored) != returned) damaged = true;
    }
}

// The usual lines: each with a line end within the reader's limit, no NUL byte, not the file's last
// line, not the boundary. Their bytes are decoded where they lie, with the same line-break rules,
// into one buffer that goes to the sink when it is full and when the lines stop being usual. The
// test of the line after a hard break (does it hold the boundary?) also finds that line's end,
// which the next round then takes instead of searching again.
QpPartDecoder::FastOutcome QpPartDecoder::DecodeOrdinaryLines(LineCursor& cursor,
                                                              const PartBoundary& boundary, ByteSink& sink) {
    uint8_t batch[kQpBatchBytes];
    size_t filled = 0;
    const unsigned char* checked_line = nullptr; // a line already known to be free of NUL and boundary
    const unsigned char* checked_lf = nullptr;   // and its LF
    FastOutcome outcome = FastOutcome::Done;
    const int first_byte = boundary.CommonFirstByte();
    while (cursor.pos) {
        const unsigned char* start = cursor.pos;
        const unsigned char* lf;
        size_t length;
        bool crlf;
        if (start == checked_line) {
            lf = checked_lf;
            crlf = lf > start && lf[-1] == '\r';
            length = static_cast<size_t>(lf - start) - (crlf ? 1 : 0);
            // The line must leave a byte after it, and must not reach the reader's limit (a piece).
            if (lf >= cursor.last || length >= kMaxLineChars) {
                outcome = FastOutcome::NotOrdinary;
                break;
            }
        } else {
            const size_t available = static_cast<size_t>(cursor.last + 1 - start);
            const LineScan scan =
                ScanLine(start, std::min(available, kMaxLineChars + 1), cursor.last + 1, first_byte);
            lf = scan.lf;
            if (!lf || lf >= cursor.last) {
                outcome = FastOutcome::NotOrdinary;
                break;
            }
            crlf = lf > start && lf[-1] == '\r';
            length = static_cast<size_t>(lf - start) - (crlf ? 1 : 0);
            // Only a line that holds a NUL or the boundaries' first byte needs the closer tests.
            if (length >= kMaxLineChars || (scan.nul_or_boundary_start &&
                                            (std::memchr(start, 0, length) ||
                                             boundary.Holds(reinterpret_cast<const char*>(start), length)))) {
                outcome = FastOutcome::NotOrdinary;
                break;
            }
        }
        // Lines without an escape are decoded too: their blocks are copied as they are.
        if (escape_lines < kQpEscapeLinesCounted && std::memchr(start, '=', length)) ++escape_lines;
        const bool soft = length > 0 && start[length - 1] == '=';
        const size_t text_length = soft ? length - 1 : length;
        if (filled + kMaxLineChars + kQpSpanSlack + 2 > sizeof batch) {
            if (!Emit(batch, filled, sink)) return FastOutcome::SinkFailed;
            filled = 0;
        }
        uint8_t* out = batch + filled;
        size_t count = QpDecodeSpan(start, text_length, out);
        cursor.pos = lf + 1;
        if (!soft) {
            // The part's last line gets no line break: the one before the boundary belongs to it.
            const NextLine next = LookAtNextLine(cursor.pos, cursor, boundary, first_byte);
            if (!next.holds_boundary) count += LineEndBytes(crlf ? LineEnd::CrLf : LineEnd::Lf, out + count);
            if (next.lf) {
                checked_line = cursor.pos;
                checked_lf = next.lf;
            }
        }
        filled += count;
    }
    if (!Emit(batch, filled, sink)) return FastOutcome::SinkFailed;
    return outcome;
}

} // namespace dornick

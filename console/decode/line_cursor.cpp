#include "console/decode/line_cursor.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dornick {
namespace {

constexpr unsigned char kCr = '\r';
constexpr unsigned char kLf = '\n';

inline bool IsLineEnd(unsigned char b) {
    return b == kCr || b == kLf;
}

} // namespace

// The first CR, LF or NUL among the `size` bytes at `p`, or null.
const unsigned char* FindSpecialByte(const unsigned char* p, size_t size) {
    const unsigned char* const end = p + size;
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8(kCr), lf = _mm_set1_epi8(kLf), nul = _mm_setzero_si128();
    for (; p + 16 <= end; p += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hits = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(chunk, cr), _mm_cmpeq_epi8(chunk, lf)),
                                          _mm_cmpeq_epi8(chunk, nul));
        if (const int mask = _mm_movemask_epi8(hits)) return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
#endif
    for (; p < end; ++p)
        if (*p == kCr || *p == kLf || *p == 0) return p;
    return nullptr;
}

namespace {

// Copies `n` bytes to the buffer, widened to its units.
inline void CopyUnits(char* out, const unsigned char* in, size_t n) {
    std::memcpy(out, in, n);
}

inline void CopyUnits(char16_t* out, const unsigned char* in, size_t n) {
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= n; i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8), _mm_unpackhi_epi8(bytes, zero));
    }
#endif
    for (; i < n; ++i)
        out[i] = in[i];
}

// The one line reader behind the three public ones. `crlf_only`: a lone CR or LF is data.
template <typename Unit> int ReadLineInto(Unit* buffer, int size, LineCursor& cursor, bool crlf_only) {
    const unsigned char* p = cursor.pos;
    if (!p) return 0;
    buffer[0] = 0;
    if (size < 2) return 0;
    const unsigned char* last = cursor.last;
    const int places = size - 1;
    int used = 0; // stored bytes plus dropped NULs
    int stored = 0;
    for (;;) {
        // The bytes before the next CR, LF or NUL (and before the file's last byte, which has rules
        // of its own) are stored as they are, many at a time.
        const size_t span = std::min(static_cast<size_t>(places - used), static_cast<size_t>(last - p));
        const unsigned char* special = FindSpecialByte(p, span);
        const size_t run = special ? static_cast<size_t>(special - p) : span;
        CopyUnits(buffer + stored, p, run);
        stored += static_cast<int>(run);
        used += static_cast<int>(run);
        p += run;
        if (used == places) {
            cursor.pos = p; // a long line: the next piece starts here, without a line end
            break;
        }
        const unsigned char b = *p;
        if (p == last) {
            // The file's last byte: a line end (for the CR LF reader only LF) or NUL is not stored.
            bool end_byte = crlf_only ? b == kLf : IsLineEnd(b);
            if (b == 0)
                ++used;
            else if (!end_byte) {
                buffer[stored++] = b;
                ++used;
            }
            cursor.pos = nullptr;
            break;
        }
        if (b == kCr && p[1] == kLf) {
            p += 2;
            cursor.pos = p > last ? nullptr : p;
            break;
        }
        if (!crlf_only && IsLineEnd(b)) {
            cursor.pos = p + 1;
            break;
        }
        if (b != 0) buffer[stored++] = b;
        ++used;
        ++p;
    }
    buffer[stored] = 0;
    return used == 0 ? 1 : used;
}

} // namespace

LineCursor MakeLineCursor(const unsigned char* data, uint64_t size) {
    LineCursor cursor;
    cursor.start = data;
    cursor.pos = size ? data : nullptr;
    cursor.last = size ? data + size - 1 : data;
    return cursor;
}

int ReadLineA(char* buffer, LineCursor& cursor) {
    return ReadLineInto(buffer, kLineCapacity, cursor, false);
}

bool ReadOrdinaryLine(LineCursor& cursor, const char*& text, size_t& length) {
    const unsigned char* p = cursor.pos;
    if (!p) return false;
    const size_t available = static_cast<size_t>(cursor.last - p) + 1;
    // A line that fills the buffer comes in pieces: only shorter ones are looked at here.
    const unsigned char* special = FindSpecialByte(p, std::min<size_t>(available, kLineCapacity - 1));
    if (!special) return false;
    const unsigned char* lf = special;
    if (*special == kCr) {
        // CR LF ends the line; a lone CR and a CR as the file's last byte have rules of their own.
        if (special == cursor.last || special[1] != kLf) return false;
        lf = special + 1;
    } else if (*special == 0) {
        return false;
    }
    text = reinterpret_cast<const char*>(p);
    length = static_cast<size_t>(special - p);
    cursor.pos = lf == cursor.last ? nullptr : lf + 1;
    return true;
}

int ReadLineW(char16_t* buffer, LineCursor& cursor) {
    return ReadLineInto(buffer, kLineCapacity, cursor, false);
}

int ReadLineCrLfW(char16_t* buffer, int size, LineCursor& cursor) {
    return ReadLineInto(buffer, size, cursor, true);
}

bool EndedWithCrLf(const LineCursor& cursor) {
    const unsigned char* p = cursor.pos;
    return p && p - cursor.start >= 2 && p[-2] == kCr && p[-1] == kLf;
}

int64_t ReadBytes(unsigned char* buffer, int64_t n, int64_t* count, LineCursor& cursor) {
    int64_t taken = 0;
    if (cursor.pos && n > 0) {
        const int64_t available = cursor.last - cursor.pos + 1;
        taken = std::min(n, available);
        if (buffer) std::memcpy(buffer, cursor.pos, static_cast<size_t>(taken));
        cursor.pos = taken == available ? nullptr : cursor.pos + taken;
    }
    if (count) *count = taken;
    return taken;
}

const unsigned char* StepBackLines(LineCursor& cursor, int n) {
    const unsigned char* start = cursor.start;
    const unsigned char* p = cursor.pos;
    if (!p) {
        p = cursor.last + 1;
        n = 1; // from the end: the start of the last line, whatever was asked
    }
    for (int i = 0; i < n && p > start; ++i) {
        // Step over the line end that closes the line before p (CR LF is one), then to its start.
        if (p[-1] == kLf) {
            --p;
            if (p > start && p[-1] == kCr) --p;
        } else if (p[-1] == kCr) {
            --p;
        }
        while (p > start && !IsLineEnd(p[-1]))
            --p;
    }
    cursor.pos = p;
    return p;
}

void UnreadChars(LineCursor& cursor, int n) {
    if (n <= 0) return;
    const unsigned char* start = cursor.start;
    const unsigned char* p = cursor.pos;
    int counted = 0;
    if (!p) {
        p = cursor.last; // the last byte counts as one
        counted = 1;
    }
    while (counted < n && p > start) {
        --p;
        bool line_end = IsLineEnd(*p);
        if (*p == kLf && p > start && p[-1] == kCr) --p;
        // A line end counts only when it ends an empty line (the byte before it is a line end too).
        if (!line_end || (p > start && IsLineEnd(p[-1]))) ++counted;
    }
    cursor.pos = p;
}

void NarrowLine(const char16_t* wide, char* bytes) {
    while (*wide)
        *bytes++ = static_cast<char>(*wide++ & 0xFF);
    *bytes = 0;
}

void WidenLine(const char* bytes, char16_t* wide) {
    while (*bytes)
        *wide++ = static_cast<unsigned char>(*bytes++);
    *wide = 0;
}

bool IsDamagedLine(const LineCursor& cursor, const char16_t* line, int returned) {
    int stored = 0;
    while (line[stored])
        ++stored;
    if (stored == 0) return returned > 1;
    return cursor.pos != nullptr && stored != returned;
}

} // namespace dornick

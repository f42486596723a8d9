#pragma once
// The building blocks of tolerant base64 and quoted-printable decoding, one byte string at a time.
//
// Strings are NUL-terminated byte strings changed in place, as the line decoders hold them; the
// block decoders take a count and write into a caller's buffer.

#include <array>
#include <cstddef>
#include <cstdint>

#include "console/decode/ascii_text.h"

namespace dornick {

/// Base64 value of each byte: 0..63 for the alphabet, kBase64Pad for "=", kBase64Foreign (value 0
/// once masked with 63) for everything else.
constexpr uint8_t kBase64Pad = 64;
constexpr uint8_t kBase64Foreign = 128;
constexpr std::array<uint8_t, 256> kBase64Values = [] {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = kBase64Foreign;
    constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 64; ++i)
        table[static_cast<unsigned char>(kAlphabet[i])] = static_cast<uint8_t>(i);
    table['='] = kBase64Pad;
    return table;
}();

/// Quoted-printable digit values: 0..15 for "0".."9", "A".."F", "a".."f", 127 for every other byte.
constexpr std::array<uint8_t, 256> kQpHexValues = [] {
    std::array<uint8_t, 256> table{};
    for (auto& v : table)
        v = 127;
    for (int i = 0; i < 10; ++i)
        table['0' + i] = static_cast<uint8_t>(i);
    for (int i = 0; i < 6; ++i) {
        table['A' + i] = static_cast<uint8_t>(10 + i);
        table['a' + i] = static_cast<uint8_t>(10 + i);
    }
    return table;
}();

/// Keeps the filter-set bytes; the first foreign byte and every copy of it are removed, and a
/// second, different foreign byte empties the whole line.
void Base64StripForeign(char* line);
/// Every space becomes "+" (mail gateways that turned "+" into a space).
void SpacesToPlus(char* text);
/// False when an "=" stands in the middle of the line (before the run of "=" that ends it).
bool Base64HasInnerPad(const char* line);
/// Puts the carry in front of the line, then moves the last (length mod 4) characters into the
/// carry (a 4-byte buffer) or empties it. The line needs room for 3 more bytes.
void Base64SplitCarry(char* line, char* carry);
/// Appends "=" until the length is a multiple of 4 (room for 3 more bytes needed).
void Base64PadToQuad(char* text);
/// Decodes whole groups of four alphabet letters from `in` (at most `max_groups`) and stops before
/// the first group that holds anything else ("=", a foreign byte); 3 bytes per group into `out`.
/// Returns the number of groups decoded.
size_t Base64DecodeLetterGroups(const unsigned char* in, size_t max_groups, uint8_t* out);
/// The common shape of a part's lines: so many base64 letters (a multiple of 4), then "\n" or
/// "\r\n".
struct Base64LineShape {
    size_t letters = 0;
    bool crlf = false;
};
/// Decodes whole lines of that shape from `pos` into `out` (`room` bytes), and stops before the
/// first line of another shape, one without a line after it, or one whose bytes do not fit; `pos`
/// then points at that line. Returns the bytes written: 3 per 4 letters. Decodes nothing where the
/// processor lacks the vector instructions (the caller's line decoder is just as right); `vectors`
/// picks one kind of them, the width in force (ActiveVectorWidth) by default.
enum class Base64Vectors { Best, Avx2, Avx512, None };
size_t Base64DecodeLineRun(const unsigned char*& pos, const unsigned char* data_end,
                           const Base64LineShape& shape, uint8_t* out, size_t room,
                           Base64Vectors vectors = Base64Vectors::Best);
/// Decodes n characters (a positive multiple of 4) into `out`; the byte count, or -1 for no
/// buffer, a bad count, or a pad in a place that cannot end the data. Foreign bytes count as "A".
int Base64DecodeBlock(const char* chars, int n, uint8_t* out);
/// How the hexadecimal pair of a quoted-printable escape with a bad digit (value 127) is combined.
enum class QEscapeRule {
    Sum, ///< (high * 16 + low) modulo 256, as in the encoded words of a parameter's own line
    Or,  ///< (high * 16 modulo 256) OR low, as the body decoder does
};
/// Decodes `n` bytes of quoted-printable text ("=XY" escapes; with `header`, "_" is a space; every
/// other byte, NUL too, is data) into `out` (room for n bytes); an escape cut short at the end gives
/// nothing. Bad digits count as 127, combined by `rule`, and are not reported. The byte count.
size_t QpDecodeBlock(const char* text, size_t n, uint8_t* out, bool header, QEscapeRule rule);
/// QpDecodeBlock with both choices fixed at compile time, for the loops that decode most bytes.
template <bool Header, QEscapeRule Rule>
size_t QpDecodeBytes(const unsigned char* text, size_t n, uint8_t* out) {
    const unsigned char* p = text;
    const unsigned char* const end = text + n;
    uint8_t* o = out;
    while (p < end) {
        const unsigned char c = *p;
        if (c != '=') {
            *o++ = (Header && c == '_') ? ' ' : c;
            ++p;
            continue;
        }
        if (end - p < 3) break; // a cut escape at the end gives nothing
        const unsigned high = kQpHexValues[p[1]];
        const unsigned low = kQpHexValues[p[2]];
        *o++ = static_cast<uint8_t>(Rule == QEscapeRule::Or ? (high << 4) | low : high * 16 + low);
        p += 3;
    }
    return static_cast<size_t>(o - out);
}
/// QpDecodeBytes<false, QEscapeRule::Or> (the body's rule), byte for byte, sixteen bytes at a time
/// where the processor allows; `out` needs room for n + 16 bytes.
size_t QpDecodeBodyBytes(const unsigned char* text, size_t n, uint8_t* out);
/// QpDecodeBlock over a NUL-terminated text with the body decoder's rule (QEscapeRule::Or).
int QpDecode(const char* text, uint8_t* out, bool header);

} // namespace dornick

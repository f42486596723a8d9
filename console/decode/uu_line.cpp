#include "console/decode/uu_line.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dornick {
namespace {

constexpr char kXxAlphabet[] = "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
// A uuencode line whose first character is a grave accent is a zero-length line unless at least
// this many characters follow it (then the accent is a count of 64).
constexpr size_t kGraveLineMinimum = 96;

constexpr std::array<uint8_t, 256> MakeXxValues() {
    std::array<uint8_t, 256> values{};
    for (int i = 0; i < 64; ++i)
        values[static_cast<unsigned char>(kXxAlphabet[i])] = static_cast<uint8_t>(i);
    return values;
}
constexpr std::array<uint8_t, 256> kXxValues = MakeXxValues();

bool IsPrintable(const char* line, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        const auto b = static_cast<unsigned char>(line[i]);
        if (b < 0x20 || b > 0x7E) return false;
    }
    return true;
}

bool IsEndLine(const char* line, size_t length) {
    return length == 3 && std::memcmp(line, "end", 3) == 0;
}

int UuValue(char c) {
    return c == '`' ? 0 : static_cast<unsigned char>(c) - 0x20;
}

// Characters up to the grave accent stand for values below 64.
bool AllBelow64(const char* text, size_t chars) {
    for (size_t i = 0; i < chars; ++i)
        if (static_cast<unsigned char>(text[i]) > '`') return false;
    return true;
}

// Almost every line of a block uses only the characters 0x20 to 0x60 (values below 64, the
// grave accent for 0). Such a line is printable, can be neither a "begin" header nor "end"
// (both hold lower-case letters), and decodes four characters to three bytes.
bool IsPlainUuLine(const char* line, size_t length) {
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen characters at a time; compared as signed bytes, 0x80 and above count as below 0x20.
    const __m128i low = _mm_set1_epi8(0x20), high = _mm_set1_epi8(0x60);
    for (; i + 16 <= length; i += 16) {
        const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
        const __m128i outside = _mm_or_si128(_mm_cmplt_epi8(chunk, low), _mm_cmpgt_epi8(chunk, high));
        if (_mm_movemask_epi8(outside) != 0) return false;
    }
#endif
    unsigned outside = 0;
    for (; i < length; ++i)
        outside |= static_cast<unsigned>(static_cast<unsigned char>(line[i]) - 0x20u > 0x40u);
    return outside == 0;
}

// The rules of UuDecodeLine for a plain line, in the same order.
UuLineResult DecodePlainUuLine(const char* line, size_t length, uint8_t* out, int* count) {
    if (line[0] == ' ') return UuLineResult::End;
    if (line[0] == '`' && length - 1 < kGraveLineMinimum) return UuLineResult::End;
    size_t wanted = static_cast<unsigned char>(line[0]) - 0x20u;
    size_t chars = (wanted * 4 + 2) / 3;
    const unsigned char* text = reinterpret_cast<const unsigned char*>(line) + 1;
    if (length - 1 < chars) {
        text = reinterpret_cast<const unsigned char*>(line);
        chars = length;
        wanted = chars * 3 / 4;
    }
    // Characters past `chars` count as 0: the bytes wanted never reach into them.
    auto value = [&](size_t i) -> uint32_t { return i < chars ? (text[i] - 0x20u) & 63u : 0u; };
    size_t produced = 0;
    size_t i = 0;
    for (; produced < wanted && i + 4 <= chars; i += 4, produced += 3) {
        const uint32_t v = ((text[i] - 0x20u) & 63u) << 18 | ((text[i + 1] - 0x20u) & 63u) << 12 |
                           ((text[i + 2] - 0x20u) & 63u) << 6 | ((text[i + 3] - 0x20u) & 63u);
        out[produced] = static_cast<uint8_t>(v >> 16);
        out[produced + 1] = static_cast<uint8_t>(v >> 8);
        out[produced + 2] = static_cast<uint8_t>(v);
    }
    for (; produced < wanted; i += 4, produced += 3) {
        const uint32_t v = value(i) << 18 | value(i + 1) << 12 | value(i + 2) << 6 | value(i + 3);
        out[produced] = static_cast<uint8_t>(v >> 16);
        out[produced + 1] = static_cast<uint8_t>(v >> 8);
        out[produced + 2] = static_cast<uint8_t>(v);
    }
    *count = static_cast<int>(wanted);
    return UuLineResult::Bytes;
}

} // namespace

bool IsUuHeaderLine(const char* line, size_t length) {
    return length > 10 && std::memcmp(line, "begin ", 6) == 0 && line[9] == ' ';
}

UuLineResult UuDecodeLine(const char* line, size_t length, uint8_t* out, int* count) {
    *count = 0;
    if (length == 0) return UuLineResult::PassedOver;
    if (IsPlainUuLine(line, length)) return DecodePlainUuLine(line, length, out, count);
    if (length == 0 || !IsPrintable(line, length) || IsUuHeaderLine(line, length))
        return UuLineResult::PassedOver;
    if (line[0] == ' ' || IsEndLine(line, length)) return UuLineResult::End;
    if (line[0] == '`' && length - 1 < kGraveLineMinimum) return UuLineResult::End;

    // The count character is read as its code minus 0x20 (a grave accent here counts 64).
    size_t wanted = static_cast<unsigned char>(line[0]) - 0x20u;
    size_t chars = (wanted * 4 + 2) / 3;
    const char* text = line + 1;
    if (length - 1 < chars) {
        // The line holds fewer characters than its count promises: decode all of it.
        text = line;
        chars = length;
        wanted = chars * 3 / 4;
    }
    if (chars * 6 <= kUuLineBits && AllBelow64(text, chars)) {
        // The usual line: four characters give three bytes. The bytes wanted never reach into a
        // last group of fewer than 8 bits, so padding the last quad with 0 changes nothing.
        size_t produced = 0;
        for (size_t i = 0; produced < wanted; i += 4) {
            uint32_t v = 0;
            for (size_t k = 0; k < 4; ++k)
                v = v << 6 | (i + k < chars ? static_cast<uint32_t>(UuValue(text[i + k])) : 0);
            out[produced] = static_cast<uint8_t>(v >> 16);
            out[produced + 1] = static_cast<uint8_t>(v >> 8);
            out[produced + 2] = static_cast<uint8_t>(v);
            produced += 3;
        }
        *count = static_cast<int>(wanted);
        return UuLineResult::Bytes;
    }
    // The values form one bit string, each value in at least 6 bits (a value above 63 in 7), cut
    // into bytes from the left.
    uint32_t pending = 0;
    int bits = 0;
    int used = 0;
    size_t produced = 0;
    for (size_t i = 0; i < chars && produced < wanted && used < kUuLineBits; ++i) {
        uint32_t value = static_cast<uint32_t>(UuValue(text[i]));
        int width = value < 64 ? 6 : 7;
        if (used + width > kUuLineBits) {
            value >>= width - (kUuLineBits - used);
            width = kUuLineBits - used;
        }
        pending = (pending << width) | value;
        bits += width;
        used += width;
        while (bits >= 8 && produced < wanted) {
            bits -= 8;
            out[produced++] = static_cast<uint8_t>(pending >> bits);
            pending &= (1u << bits) - 1;
        }
    }
    // A last group of fewer than 8 bits is read as the number it spells.
    if (bits > 0 && produced < wanted) out[produced++] = static_cast<uint8_t>(pending);
    *count = static_cast<int>(produced);
    return UuLineResult::Bytes;
}

UuLineResult XxDecodeLine(const char* line, size_t length, uint8_t* out, int* count) {
    *count = 0;
    if (length == 0 || !IsPrintable(line, length) || IsUuHeaderLine(line, length))
        return UuLineResult::PassedOver;
    int wanted = kXxValues[static_cast<unsigned char>(line[0])];
    const char* text = line + 1;
    size_t chars = length - 1;
    if (static_cast<size_t>(wanted) > chars * 3 / 4) {
        // The count promises more than the line holds: decode all of it.
        text = line;
        chars = length;
        wanted = static_cast<int>(chars * 3 / 4);
    }
    if (wanted <= 0 || IsEndLine(line, length)) return UuLineResult::End;

    // Characters past the line's end (a last group cut short) count as 0.
    auto value = [&](size_t i) -> uint32_t {
        return i < chars ? kXxValues[static_cast<unsigned char>(text[i])] : 0;
    };
    int produced = 0;
    for (size_t g = 0; wanted > 0; g += 4, wanted -= 3) {
        const uint32_t w = value(g), x = value(g + 1), y = value(g + 2), z = value(g + 3);
        const uint8_t group[3] = {static_cast<uint8_t>(w << 2 | x >> 4),
                                  static_cast<uint8_t>(x << 4 | y >> 2), static_cast<uint8_t>(y << 6 | z)};
        const int take = wanted < 3 ? wanted : 3;
        for (int k = 0; k < take; ++k)
            out[produced++] = group[k];
    }
    *count = produced;
    return UuLineResult::Bytes;
}

} // namespace dornick

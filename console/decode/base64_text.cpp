#include "console/decode/base64_text.h"

#include <array>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#define DORNICK_BASE64_SIMD 1
#endif

#include "console/decode/cpu_features.h"

namespace dornick {
namespace {

// Each letter's contribution to the three output bytes of its group, already in place for a
// little-endian 32-bit store (byte 0 first); anything but a letter sets bit 24.
constexpr uint32_t kNotLetter = 0x01FFFFFF;
template <int Position> constexpr std::array<uint32_t, 256> MakeGroupTable() {
    std::array<uint32_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        const uint32_t v = kBase64Values[c];
        if (v >= 64) {
            table[c] = kNotLetter;
        } else if (Position == 0) {
            table[c] = v << 2;
        } else if (Position == 1) {
            table[c] = (v >> 4) | ((v & 0xF) << 12);
        } else if (Position == 2) {
            table[c] = ((v >> 2) << 8) | ((v & 3) << 22);
        } else {
            table[c] = v << 16;
        }
    }
    return table;
}
constexpr auto kGroup0 = MakeGroupTable<0>();
constexpr auto kGroup1 = MakeGroupTable<1>();
constexpr auto kGroup2 = MakeGroupTable<2>();
constexpr auto kGroup3 = MakeGroupTable<3>();

#ifdef DORNICK_BASE64_SIMD
// The tables of the letter-block decoders, 16 bytes each (the 32-byte decoder has them in both
// lanes). For each low nibble, the high nibbles at which a byte is not a letter (bit per high
// nibble class); for each high nibble, its class bit. A byte is a letter when the two do not meet.
alignas(16) constexpr int8_t kNotLetterClasses[16] = {0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                                      0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A};
alignas(16) constexpr int8_t kHighNibbleClass[16] = {0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                                                     0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10};
// What to add to a letter to get its value, by high nibble ("/" has its own row).
alignas(16) constexpr int8_t kRollByHighNibble[16] = {0, 16, 19, 4, -65, -65, -71, -71,
                                                      0, 0,  0,  0, 0,   0,   0,   0};
// Each group's three bytes, high byte first, from its 32-bit lane.
alignas(16) constexpr int8_t kGroupByteOrder[16] = {2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1};

__attribute__((target("ssse3"))) inline __m128i LoadTable(const int8_t (&table)[16]) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table));
}

__attribute__((target("avx2"))) inline __m256i LoadTableTwice(const int8_t (&table)[16]) {
    return _mm256_broadcastsi128_si256(_mm_load_si128(reinterpret_cast<const __m128i*>(table)));
}

// Sixteen letters at a time: each byte is checked against the alphabet and turned into its value
// by two nibble look-ups, then the 6-bit values are packed into 12 bytes. A block that holds
// anything but letters is left to the table loop, which stops at the exact group; so the result
// is the table loop's, byte for byte. 16 bytes are stored per block, so the caller's output must
// have room for two more groups after it (see below).
__attribute__((target("ssse3"))) size_t DecodeLetterBlocks(const unsigned char* in, size_t max_groups,
                                                           uint8_t* out) {
    const __m128i lut_lo = LoadTable(kNotLetterClasses);
    const __m128i lut_hi = LoadTable(kHighNibbleClass);
    const __m128i lut_roll = LoadTable(kRollByHighNibble);
    const __m128i mask_2f = _mm_set1_epi8(0x2F);
    const __m128i pack_pairs = _mm_set1_epi32(0x01400140);
    const __m128i pack_quads = _mm_set1_epi32(0x00011000);
    const __m128i order = LoadTable(kGroupByteOrder);
    size_t groups = 0;
    // Four groups per block, and the 4 bytes stored past the block stay inside the output of the
    // two groups that are still to come.
    while (groups + 6 <= max_groups) {
        const __m128i text = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i hi_nibbles = _mm_and_si128(_mm_srli_epi32(text, 4), mask_2f);
        const __m128i lo_nibbles = _mm_and_si128(text, mask_2f);
        const __m128i lo = _mm_shuffle_epi8(lut_lo, lo_nibbles);
        const __m128i hi = _mm_shuffle_epi8(lut_hi, hi_nibbles);
        const int not_letters =
            _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(lo, hi), _mm_setzero_si128())) ^ 0xFFFF;
        // The groups before the first byte that is not a letter are decoded all the same (the
        // bytes after them are stored but not counted): a line's last groups need no table loop.
        const size_t whole = not_letters ? static_cast<size_t>(__builtin_ctz(not_letters)) / 4 : 4;
        if (whole == 0) break;
        const __m128i is_slash = _mm_cmpeq_epi8(text, mask_2f);
        const __m128i roll = _mm_shuffle_epi8(lut_roll, _mm_add_epi8(is_slash, hi_nibbles));
        const __m128i values = _mm_add_epi8(text, roll);
        const __m128i pairs = _mm_maddubs_epi16(values, pack_pairs);
        const __m128i quads = _mm_madd_epi16(pairs, pack_quads);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_shuffle_epi8(quads, order));
        groups += whole;
        if (whole < 4) break;
        in += 16;
        out += 12;
    }
    return groups;
}

// The letters' values for the 128 ASCII bytes, 0x80 for the other bytes, in two 64-byte halves for
// one two-table byte permutation.
constexpr std::array<uint8_t, 128> kAsciiValues = [] {
    std::array<uint8_t, 128> table{};
    for (int c = 0; c < 128; ++c)
        table[c] = kBase64Values[c] < 64 ? kBase64Values[c] : 0x80;
    return table;
}();

// Each group's three bytes, high byte first, from its 32-bit lane.
alignas(64) constexpr std::array<uint8_t, 64> kPackOrder64 = [] {
    std::array<uint8_t, 64> order{};
    for (int i = 0; i < 48; ++i)
        order[i] = static_cast<uint8_t>((i / 3) * 4 + 2 - i % 3);
    return order;
}();

// The letter-block decoders of the line runs, their tables loaded once per run. Decode takes the
// block at `in`, of which the first `letters` bytes must be letters, and stores its bytes (3 per 4
// letters) as a whole vector; false, with nothing stored, when one of those bytes is not a letter.

// DecodeLetterBlocks over 32 letters, each 16-byte lane decoded as there.
struct LetterBlocks32 {
    static constexpr size_t kLetters = 32;
    __m256i lut_lo, lut_hi, lut_roll, order;

    __attribute__((target("avx2"))) LetterBlocks32()
        : lut_lo(LoadTableTwice(kNotLetterClasses)), lut_hi(LoadTableTwice(kHighNibbleClass)),
          lut_roll(LoadTableTwice(kRollByHighNibble)), order(LoadTableTwice(kGroupByteOrder)) {}
    __attribute__((target("avx2"))) bool Decode(const unsigned char* in, size_t letters, uint8_t* out) const {
        const uint32_t wanted = letters >= 32 ? 0xFFFFFFFFu : (1u << letters) - 1;
        const __m256i mask_2f = _mm256_set1_epi8(0x2F);
        const __m256i text = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
        const __m256i hi_nibbles = _mm256_and_si256(_mm256_srli_epi32(text, 4), mask_2f);
        const __m256i lo_nibbles = _mm256_and_si256(text, mask_2f);
        const __m256i lo = _mm256_shuffle_epi8(lut_lo, lo_nibbles);
        const __m256i hi = _mm256_shuffle_epi8(lut_hi, hi_nibbles);
        const uint32_t not_letters = ~static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_and_si256(lo, hi), _mm256_setzero_si256())));
        if (not_letters & wanted) return false;
        const __m256i is_slash = _mm256_cmpeq_epi8(text, mask_2f);
        const __m256i roll = _mm256_shuffle_epi8(lut_roll, _mm256_add_epi8(is_slash, hi_nibbles));
        const __m256i values = _mm256_add_epi8(text, roll);
        const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
        const __m256i quads = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
        const __m256i lanes = _mm256_shuffle_epi8(quads, order);
        // The 12 bytes of each lane side by side.
        const __m256i packed = _mm256_permutevar8x32_epi32(lanes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), packed);
        return true;
    }
};

// 64 letters with AVX-512 VBMI: one two-table permutation gives the values (a byte at or above
// 0x80 is caught by its own high bit), and a byte permutation packs the 48 bytes.
struct LetterBlocks64 {
    static constexpr size_t kLetters = 64;
    __m512i values_low, values_high, pack;

    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) LetterBlocks64()
        : values_low(_mm512_loadu_si512(kAsciiValues.data())),
          values_high(_mm512_loadu_si512(kAsciiValues.data() + 64)),
          pack(_mm512_load_si512(kPackOrder64.data())) {}
    __attribute__((target("avx512f,avx512bw,avx512vbmi"))) bool Decode(const unsigned char* in,
                                                                       size_t letters, uint8_t* out) const {
        const uint64_t wanted = letters >= 64 ? ~uint64_t{0} : (uint64_t{1} << letters) - 1;
        const __m512i text = _mm512_loadu_si512(in);
        const __m512i values = _mm512_permutex2var_epi8(values_low, text, values_high);
        if (_mm512_movepi8_mask(_mm512_or_si512(values, text)) & wanted) return false;
        const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
        const __m512i quads = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
        _mm512_storeu_si512(out, _mm512_permutexvar_epi8(pack, quads));
        return true;
    }
};

// Whole lines of one shape, a block of letters at a time. The last block of a line is read whole
// and stored whole: a block's length past the line's start stays inside the data, and past its
// output inside the room.
template <typename Blocks>
__attribute__((always_inline)) inline size_t
DecodeLineRun(const Blocks& blocks, const unsigned char*& pos, const unsigned char* data_end,
              const Base64LineShape& shape, uint8_t* out, size_t room) {
    constexpr auto kBlock = static_cast<ptrdiff_t>(Blocks::kLetters);
    const size_t letters = shape.letters;
    const size_t line_bytes = letters / 4 * 3;
    const size_t step = letters + (shape.crlf ? 2 : 1);
    const unsigned char* p = pos;
    uint8_t* o = out;
    uint8_t* const out_end = out + room;
    while (data_end - p >= static_cast<ptrdiff_t>(step) + kBlock &&
           out_end - o >= static_cast<ptrdiff_t>(line_bytes) + kBlock) {
        const unsigned char* ending = p + letters;
        if (shape.crlf ? (ending[0] != '\r' || ending[1] != '\n') : ending[0] != '\n') break;
        size_t done = 0;
        for (; done < letters; done += Blocks::kLetters)
            if (!blocks.Decode(p + done, letters - done, o + done / 4 * 3)) break;
        if (done < letters) break;
        p += step;
        o += line_bytes;
    }
    pos = p;
    return static_cast<size_t>(o - out);
}

__attribute__((target("avx2"))) size_t DecodeLineRun32(const unsigned char*& pos,
                                                       const unsigned char* data_end,
                                                       const Base64LineShape& shape, uint8_t* out,
                                                       size_t room) {
    return DecodeLineRun(LetterBlocks32{}, pos, data_end, shape, out, room);
}

__attribute__((target("avx512f,avx512bw,avx512vbmi"))) size_t DecodeLineRun64(const unsigned char*& pos,
                                                                              const unsigned char* data_end,
                                                                              const Base64LineShape& shape,
                                                                              uint8_t* out, size_t room) {
    return DecodeLineRun(LetterBlocks64{}, pos, data_end, shape, out, room);
}

// For each 8-bit mask, the positions of its set bits in order, then 0x80 (a zeroed byte): the
// shuffle that packs the kept bytes of half a block to its front.
constexpr std::array<uint64_t, 256> kPackHalf = [] {
    std::array<uint64_t, 256> table{};
    for (int mask = 0; mask < 256; ++mask) {
        uint64_t indices = 0x8080808080808080ULL;
        int kept = 0;
        for (int bit = 0; bit < 8; ++bit) {
            if (!(mask & (1 << bit))) continue;
            indices &= ~(0xFFULL << (8 * kept));
            indices |= static_cast<uint64_t>(bit) << (8 * kept);
            ++kept;
        }
        table[mask] = indices;
    }
    return table;
}();

// The byte loop over the escapes that start before `stop` (their digits may lie past it).
inline void DecodeEscapesBefore(const unsigned char* stop, const unsigned char*& p, uint8_t*& o) {
    while (p < stop) {
        if (*p != '=') {
            *o++ = *p++;
            continue;
        }
        *o++ = static_cast<uint8_t>((kQpHexValues[p[1]] << 4) | kQpHexValues[p[2]]);
        p += 3;
    }
}

// The value of each byte as a hexadecimal digit, 127 for any other byte (as kQpHexValues).
__attribute__((target("ssse3"))) inline __m128i HexDigitValues(__m128i text) {
    const __m128i digit = _mm_sub_epi8(text, _mm_set1_epi8('0'));
    const __m128i is_digit = _mm_cmpeq_epi8(_mm_min_epu8(digit, _mm_set1_epi8(9)), digit);
    // "A".."F" and "a".."f" both become 0..5 (setting bit 5 maps only those two ranges onto "a".."f").
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(text, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i is_letter = _mm_cmpeq_epi8(_mm_min_epu8(letter, _mm_set1_epi8(5)), letter);
    const __m128i value = _mm_or_si128(_mm_and_si128(is_digit, digit),
                                       _mm_and_si128(is_letter, _mm_add_epi8(letter, _mm_set1_epi8(10))));
    const __m128i other = _mm_andnot_si128(_mm_or_si128(is_digit, is_letter), _mm_set1_epi8(127));
    return _mm_or_si128(value, other);
}

// Sixteen bytes a round: an escape's value replaces its "=", its two digits are dropped, and the
// bytes kept are packed together. A block where an "=" stands among the digits of another escape
// ("==41") is left to the byte loop, which reads escapes strictly from left to right. Rounds need
// 18 bytes (the digits of an escape in the block's last two bytes), and store 16.
__attribute__((target("ssse3,popcnt"))) size_t QpDecodeBodyBlocks(const unsigned char*& text,
                                                                  const unsigned char* end, uint8_t* out) {
    const __m128i equals = _mm_set1_epi8('=');
    uint8_t* o = out;
    const unsigned char* p = text;
    while (end - p >= 18) {
        const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned starts = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, equals)));
        if (starts == 0) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(o), block);
            p += 16;
            o += 16;
            continue;
        }
        const __m128i after2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
        const unsigned all = starts | static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(after2, equals)))
                                          << 2;
        const unsigned digits = (starts << 1) | (starts << 2);
        if (digits & all) {
            // An "=" among escape digits: byte by byte up to the end of this block's escapes.
            DecodeEscapesBefore(p + 16, p, o);
            continue;
        }
        // The digit values of bytes 1..16; those of bytes 2..17 are the same shifted by one, with
        // byte 17's own value after them.
        const __m128i first_digits = HexDigitValues(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1)));
        const __m128i second_digits =
            _mm_alignr_epi8(_mm_cvtsi32_si128(kQpHexValues[p[17]]), first_digits, 1);
        const __m128i high =
            _mm_and_si128(_mm_slli_epi16(first_digits, 4), _mm_set1_epi8(static_cast<char>(0xF0)));
        const __m128i values = _mm_or_si128(high, second_digits);
        const __m128i is_start = _mm_cmpeq_epi8(block, equals);
        const __m128i bytes =
            _mm_or_si128(_mm_and_si128(is_start, values), _mm_andnot_si128(is_start, block));
        const unsigned kept = ~digits & 0xFFFF;
        const uint64_t low_half = kPackHalf[kept & 0xFF];
        const uint64_t high_half = kPackHalf[kept >> 8] + 0x0808080808080808ULL;
        const __m128i packed = _mm_shuffle_epi8(
            bytes, _mm_set_epi64x(static_cast<long long>(high_half), static_cast<long long>(low_half)));
        const int low_count = __builtin_popcount(kept & 0xFF);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + low_count), _mm_srli_si128(packed, 8));
        o += low_count + __builtin_popcount(kept >> 8);
        // The digits of an escape that starts in the last two bytes lie past the block.
        p += 16 + ((starts & 0x8000) ? 2 : (starts & 0x4000) ? 1 : 0);
    }
    text = p;
    return static_cast<size_t>(o - out);
}

// HexDigitValues over 32 bytes.
__attribute__((target("avx2"))) inline __m256i HexDigitValues32(__m256i text) {
    const __m256i digit = _mm256_sub_epi8(text, _mm256_set1_epi8('0'));
    const __m256i is_digit = _mm256_cmpeq_epi8(_mm256_min_epu8(digit, _mm256_set1_epi8(9)), digit);
    const __m256i letter =
        _mm256_sub_epi8(_mm256_or_si256(text, _mm256_set1_epi8(0x20)), _mm256_set1_epi8('a'));
    const __m256i is_letter = _mm256_cmpeq_epi8(_mm256_min_epu8(letter, _mm256_set1_epi8(5)), letter);
    const __m256i value =
        _mm256_or_si256(_mm256_and_si256(is_digit, digit),
                        _mm256_and_si256(is_letter, _mm256_add_epi8(letter, _mm256_set1_epi8(10))));
    const __m256i other = _mm256_andnot_si256(_mm256_or_si256(is_digit, is_letter), _mm256_set1_epi8(127));
    return _mm256_or_si256(value, other);
}

// QpDecodeBodyBlocks with 32 bytes a round (34 needed); each 16-byte lane is packed on its own.
__attribute__((target("avx2,popcnt"))) size_t QpDecodeBodyBlocks32(const unsigned char*& text,
                                                                   const unsigned char* end, uint8_t* out) {
    const __m256i equals = _mm256_set1_epi8('=');
    uint8_t* o = out;
    const unsigned char* p = text;
    while (end - p >= 34) {
        const __m256i block = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i is_start = _mm256_cmpeq_epi8(block, equals);
        const uint64_t starts = static_cast<uint32_t>(_mm256_movemask_epi8(is_start));
        if (starts == 0) {
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(o), block);
            p += 32;
            o += 32;
            continue;
        }
        const __m256i after2 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 2));
        const uint64_t all = starts | static_cast<uint64_t>(static_cast<uint32_t>(
                                          _mm256_movemask_epi8(_mm256_cmpeq_epi8(after2, equals))))
                                          << 2;
        const uint64_t digits = (starts << 1) | (starts << 2);
        if (digits & all) {
            DecodeEscapesBefore(p + 32, p, o);
            continue;
        }
        const __m256i first_digits =
            HexDigitValues32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1)));
        const __m256i high =
            _mm256_and_si256(_mm256_slli_epi16(first_digits, 4), _mm256_set1_epi8(static_cast<char>(0xF0)));
        const __m256i values = _mm256_or_si256(high, HexDigitValues32(after2));
        const __m256i bytes = _mm256_blendv_epi8(block, values, is_start);
        const uint32_t kept = static_cast<uint32_t>(~digits);
        const unsigned q0 = kept & 0xFF, q1 = (kept >> 8) & 0xFF, q2 = (kept >> 16) & 0xFF, q3 = kept >> 24;
        const __m256i order = _mm256_set_epi64x(static_cast<long long>(kPackHalf[q3] + 0x0808080808080808ULL),
                                                static_cast<long long>(kPackHalf[q2]),
                                                static_cast<long long>(kPackHalf[q1] + 0x0808080808080808ULL),
                                                static_cast<long long>(kPackHalf[q0]));
        const __m256i packed = _mm256_shuffle_epi8(bytes, order);
        const __m128i low_lane = _mm256_castsi256_si128(packed);
        const __m128i high_lane = _mm256_extracti128_si256(packed, 1);
        const int c0 = __builtin_popcount(q0), c1 = __builtin_popcount(q1), c2 = __builtin_popcount(q2);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o), low_lane);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + c0), _mm_srli_si128(low_lane, 8));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + c0 + c1), high_lane);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(o + c0 + c1 + c2), _mm_srli_si128(high_lane, 8));
        o += c0 + c1 + c2 + __builtin_popcount(q3);
        p += 32 + ((starts & 0x80000000u) ? 2 : (starts & 0x40000000u) ? 1 : 0);
    }
    text = p;
    return static_cast<size_t>(o - out);
}

#endif

// True for the bytes a base64 line may hold before clean-up: the alphabet, "=", space and tab.
constexpr bool InBase64FilterSet(unsigned char c) {
    return kBase64Values[c] != kBase64Foreign || IsBlank(c);
}

} // namespace

size_t Base64DecodeLetterGroups(const unsigned char* in, size_t max_groups, uint8_t* out) {
    size_t groups = 0;
#ifdef DORNICK_BASE64_SIMD
    if (max_groups >= 6 && HaveSsse3()) {
        groups = DecodeLetterBlocks(in, max_groups, out);
        in += groups * 4;
        out += groups * 3;
    }
#endif
    if constexpr (std::endian::native == std::endian::little) {
        // Four bytes are stored per group and the next group overwrites the fourth, so the last
        // group is stored byte by byte.
        for (; groups + 1 < max_groups; ++groups, in += 4, out += 3) {
            const uint32_t word = kGroup0[in[0]] | kGroup1[in[1]] | kGroup2[in[2]] | kGroup3[in[3]];
            if (word & 0x01000000) return groups;
            std::memcpy(out, &word, 4);
        }
    }
    for (; groups < max_groups; ++groups, in += 4, out += 3) {
        const uint32_t a = kBase64Values[in[0]], b = kBase64Values[in[1]];
        const uint32_t c = kBase64Values[in[2]], d = kBase64Values[in[3]];
        if ((a | b | c | d) & (kBase64Pad | kBase64Foreign)) return groups;
        out[0] = static_cast<uint8_t>(a << 2 | b >> 4);
        out[1] = static_cast<uint8_t>(b << 4 | c >> 2);
        out[2] = static_cast<uint8_t>(c << 6 | d);
    }
    return groups;
}

size_t Base64DecodeLineRun(const unsigned char*& pos, const unsigned char* data_end,
                           const Base64LineShape& shape, uint8_t* out, size_t room, Base64Vectors vectors) {
#ifdef DORNICK_BASE64_SIMD
    if (shape.letters == 0 || shape.letters % 4 != 0 || vectors == Base64Vectors::None) return 0;
    if (HaveAvx512Vbmi() && vectors != Base64Vectors::Avx2)
        return DecodeLineRun64(pos, data_end, shape, out, room);
    if (HaveAvx2() && vectors != Base64Vectors::Avx512)
        return DecodeLineRun32(pos, data_end, shape, out, room);
#endif
    (void)pos, (void)data_end, (void)shape, (void)out, (void)room, (void)vectors;
    return 0;
}

size_t QpDecodeBodyBytes(const unsigned char* text, size_t n, uint8_t* out) {
    size_t count = 0;
    const unsigned char* p = text;
    const unsigned char* const end = text + n;
#ifdef DORNICK_BASE64_SIMD
    if (HaveAvx2AndPopcnt()) count = QpDecodeBodyBlocks32(p, end, out);
    if (HaveSsse3AndPopcnt()) count += QpDecodeBodyBlocks(p, end, out + count);
#endif
    return count + QpDecodeBytes<false, QEscapeRule::Or>(p, static_cast<size_t>(end - p), out + count);
}

void Base64StripForeign(char* line) {
    char* write = line;
    bool have_foreign = false;
    char foreign = 0;
    for (const char* read = line; *read; ++read) {
        const char c = *read;
        if (InBase64FilterSet(static_cast<unsigned char>(c))) {
            *write++ = c;
        } else if (!have_foreign) {
            // One kind of stray byte (a gateway's marker, say) is dropped wherever it occurs.
            have_foreign = true;
            foreign = c;
        } else if (c != foreign) {
            // Two different kinds: this is text, not base64.
            line[0] = 0;
            return;
        }
    }
    *write = 0;
}

void SpacesToPlus(char* text) {
    for (; *text; ++text)
        if (*text == ' ') *text = '+';
}

bool Base64HasInnerPad(const char* line) {
    const char* first = std::strchr(line, '=');
    if (!first) return true;
    const char* run = line + std::strlen(line);
    while (run > line && run[-1] == '=')
        --run;
    return first >= run;
}

void Base64SplitCarry(char* line, char* carry) {
    const size_t carried = std::strlen(carry);
    size_t length = std::strlen(line);
    if (carried) {
        std::memmove(line + carried, line, length + 1);
        std::memcpy(line, carry, carried);
        length += carried;
    }
    const size_t rest = length % 4;
    std::memcpy(carry, line + length - rest, rest);
    carry[rest] = 0;
    line[length - rest] = 0;
}

void Base64PadToQuad(char* text) {
    size_t length = std::strlen(text);
    while (length % 4)
        text[length++] = '=';
    text[length] = 0;
}

int Base64DecodeBlock(const char* chars, int n, uint8_t* out) {
    if (!out || n <= 0 || n % 4) return -1;
    const auto* in = reinterpret_cast<const unsigned char*>(chars);
    uint8_t* o = out;
    for (int i = 0; i < n; i += 4) {
        const size_t clean = Base64DecodeLetterGroups(in + i, static_cast<size_t>(n - i) / 4, o);
        i += static_cast<int>(clean) * 4;
        o += clean * 3;
        if (i >= n) break;
        // A pad or a foreign byte in this group: take it character by character.
        uint32_t v[4] = {};
        int values = 0;
        for (int j = 0; j < 4; ++j) {
            const uint32_t t = kBase64Values[in[i + j]];
            if (t == kBase64Pad) {
                // The pad ends the data; only the group's own pads may follow it.
                if (n - (i + j) > 2 || values < 2) return -1;
                o[0] = static_cast<uint8_t>(v[0] << 2 | v[1] >> 4);
                if (values == 3) o[1] = static_cast<uint8_t>(v[1] << 4 | v[2] >> 2);
                return static_cast<int>(o - out) + values - 1;
            }
            v[values++] = t & 63; // a foreign byte counts as 0
        }
        o[0] = static_cast<uint8_t>(v[0] << 2 | v[1] >> 4);
        o[1] = static_cast<uint8_t>(v[1] << 4 | v[2] >> 2);
        o[2] = static_cast<uint8_t>(v[2] << 6 | v[3]);
        o += 3;
    }
    return static_cast<int>(o - out);
}

size_t QpDecodeBlock(const char* text, size_t n, uint8_t* out, bool header, QEscapeRule rule) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    // One loop per combination, so that neither flag is tested per byte on the body's hot path.
    if (header)
        return rule == QEscapeRule::Or ? QpDecodeBytes<true, QEscapeRule::Or>(p, n, out)
                                       : QpDecodeBytes<true, QEscapeRule::Sum>(p, n, out);
    return rule == QEscapeRule::Or ? QpDecodeBytes<false, QEscapeRule::Or>(p, n, out)
                                   : QpDecodeBytes<false, QEscapeRule::Sum>(p, n, out);
}

int QpDecode(const char* text, uint8_t* out, bool header) {
    return static_cast<int>(QpDecodeBlock(text, std::strlen(text), out, header, QEscapeRule::Or));
}

} // namespace dornick

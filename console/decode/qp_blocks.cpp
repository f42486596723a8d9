#include "console/decode/qp_blocks.h"

#include <array>

#include "console/decode/base64_text.h"
#include "console/decode/cpu_features.h"
#include "console/decode/vector_ops.h"

namespace dornick {

#ifdef DORNICK_VECTOR_KERNELS
namespace {

// For each 8-bit mask, the positions of its set bits in order, then 0x80 (a zeroed byte): the
// shuffle that packs the kept bytes of half a 16-byte lane to its front.
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
template <int Width>
__attribute__((always_inline)) inline typename VectorOps<Width>::Reg
HexDigitValues(const typename VectorOps<Width>::Reg& text) {
    using V = VectorOps<Width>;
    using Reg = typename V::Reg;
    const Reg digit = V::Sub(text, V::Bytes('0'));
    const Reg is_digit = V::Equal(V::MinUnsigned(digit, V::Bytes(9)), digit);
    // "A".."F" and "a".."f" both become 0..5 (setting bit 5 maps only those two ranges onto "a".."f").
    const Reg letter = V::Sub(V::Or(text, V::Bytes(0x20)), V::Bytes('a'));
    const Reg is_letter = V::Equal(V::MinUnsigned(letter, V::Bytes(5)), letter);
    const Reg value = V::Or(V::And(is_digit, digit), V::And(is_letter, V::Add(letter, V::Bytes(10))));
    const Reg other = V::AndNot(V::Bytes(127), V::Or(is_digit, is_letter));
    return V::Or(value, other);
}

// A block a round: an escape's value replaces its "=", its two digits are dropped, and the bytes
// kept are packed together, each 16-byte lane on its own (eight bytes at a time). A block where an
// "=" stands among the digits of another escape ("==41") is left to the byte loop, which reads
// escapes strictly from left to right. Rounds need Width + 2 bytes (the digits of an escape in the
// block's last two bytes), and store Width.
template <int Width>
__attribute__((always_inline)) inline size_t DecodeEscapeBlocks(const unsigned char*& text,
                                                                const unsigned char* end, uint8_t* out) {
    // The masks below hold Width + 2 bits.
    static_assert(Width <= 32);
    using V = VectorOps<Width>;
    using Reg = typename V::Reg;
    constexpr int kHalves = Width / 8;
    constexpr uint64_t kAll = (uint64_t{1} << Width) - 1;
    const Reg equals = V::Bytes('=');
    uint8_t* o = out;
    const unsigned char* p = text;
    while (end - p >= Width + 2) {
        const Reg block = V::Load(p);
        const Reg is_start = V::Equal(block, equals);
        const uint64_t starts = V::TopBits(is_start);
        if (starts == 0) {
            V::Store(o, block);
            p += Width;
            o += Width;
            continue;
        }
        const Reg after2 = V::Load(p + 2);
        const uint64_t all = starts | V::EqualBits(after2, equals) << 2;
        const uint64_t digits = (starts << 1) | (starts << 2);
        if (digits & all) {
            // An "=" among escape digits: byte by byte up to the end of this block's escapes.
            DecodeEscapesBefore(p + Width, p, o);
            continue;
        }
        const Reg first_digits = HexDigitValues<Width>(V::Load(p + 1));
        const Reg high =
            V::And(V::template ShiftLeft16<4>(first_digits), V::Bytes(static_cast<int8_t>(0xF0)));
        Reg second_digits;
        if constexpr (Width == 16) {
            // Those of bytes 2..17 are the first digits' shifted by one, with byte 17's own after them.
            second_digits = V::ShiftInByte(first_digits, kQpHexValues[p[17]]);
        } else {
            second_digits = HexDigitValues<Width>(after2);
        }
        const Reg bytes = V::Select(block, V::Or(high, second_digits), is_start);
        const uint64_t kept = ~digits & kAll;
        uint64_t order[kHalves];
        int counts[kHalves];
        // Unrolled, so that the halves' indices and counts stay in registers.
#pragma GCC unroll 8
        for (int h = 0; h < kHalves; ++h) {
            const unsigned half = static_cast<unsigned>(kept >> (8 * h)) & 0xFF;
            // The high half of a lane picks from bytes 8..15 of it.
            order[h] = kPackHalf[half] + (h % 2 ? 0x0808080808080808ULL : 0);
            counts[h] = __builtin_popcount(half);
        }
        const Reg packed = V::Shuffle(bytes, V::FromHalves(order));
#pragma GCC unroll 4
        for (int lane = 0; lane < kHalves / 2; ++lane) {
            V::StoreLaneHalves(o, lane, counts[2 * lane], packed);
            o += counts[2 * lane] + counts[2 * lane + 1];
        }
        // The digits of an escape that starts in the last two bytes lie past the block.
        p += Width + ((starts >> (Width - 1)) & 1 ? 2 : (starts >> (Width - 2)) & 1 ? 1 : 0);
    }
    text = p;
    return static_cast<size_t>(o - out);
}

__attribute__((target(DORNICK_TARGET_16 ",popcnt"))) size_t
EscapeBlocksOf16(const unsigned char*& text, const unsigned char* end, uint8_t* out) {
    return DecodeEscapeBlocks<16>(text, end, out);
}

__attribute__((target(DORNICK_TARGET_32 ",popcnt"))) size_t
EscapeBlocksOf32(const unsigned char*& text, const unsigned char* end, uint8_t* out) {
    return DecodeEscapeBlocks<32>(text, end, out);
}

} // namespace
#endif

size_t QpDecodeEscapeBlocksOfWidth(VectorWidth width, const unsigned char*& text, const unsigned char* end,
                                   uint8_t* out) {
#ifdef DORNICK_VECTOR_KERNELS
    if (width == VectorWidth::W32 && HaveAvx2AndPopcnt()) return EscapeBlocksOf32(text, end, out);
    if (width == VectorWidth::W16 && HaveSsse3AndPopcnt()) return EscapeBlocksOf16(text, end, out);
#endif
    (void)width, (void)text, (void)end, (void)out;
    return 0;
}

size_t QpDecodeEscapeBlocks(const unsigned char*& text, const unsigned char* end, uint8_t* out) {
#ifdef DORNICK_VECTOR_KERNELS
    // Called for every line: one look at the width; 32 bytes implies SSSE3 and POPCNT.
    const VectorWidth width = ActiveVectorWidth();
    if (width >= VectorWidth::W32) {
        const size_t count = EscapeBlocksOf32(text, end, out);
        return count + EscapeBlocksOf16(text, end, out + count);
    }
    if (width == VectorWidth::W16 && HaveSsse3AndPopcnt()) return EscapeBlocksOf16(text, end, out);
#endif
    (void)text, (void)end, (void)out;
    return 0;
}

} // namespace dornick

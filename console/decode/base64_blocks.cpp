#include "console/decode/base64_blocks.h"

#include <array>

#include "console/decode/cpu_features.h"
#include "console/decode/vector_ops.h"

namespace dornick {

#ifdef DORNICK_VECTOR_KERNELS
namespace {

// The nibble tables of the 16- and 32-byte blocks. For each low nibble, the high nibbles at which a
// byte is not a letter (bit per high nibble class); for each high nibble, its class bit. A byte is
// a letter when the two do not meet.
alignas(16) constexpr int8_t kNotLetterClasses[16] = {0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                                      0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A};
alignas(16) constexpr int8_t kHighNibbleClass[16] = {0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                                                     0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10};
// What to add to a letter to get its value, by high nibble ("/" has its own row).
alignas(16) constexpr int8_t kRollByHighNibble[16] = {0, 16, 19, 4, -65, -65, -71, -71,
                                                      0, 0,  0,  0, 0,   0,   0,   0};
// Each group's three bytes, high byte first, from its 32-bit lane, within a 16-byte lane.
alignas(16) constexpr int8_t kGroupByteOrder[16] = {2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1};
// The 32-byte block: the 12 bytes of each 16-byte lane side by side.
alignas(32) constexpr int32_t kLaneJoin32[8] = {0, 1, 2, 4, 5, 6, 3, 7};

// The 64-byte block looks the values up in one two-table byte permutation: the letters' values for
// the 128 ASCII bytes, 0x80 for the other bytes (a byte at or above 0x80 is caught by its own top
// bit), and packs the 48 bytes with one byte permutation.
alignas(64) constexpr std::array<uint8_t, 128> kAsciiValues = [] {
    std::array<uint8_t, 128> table{};
    for (int c = 0; c < 128; ++c)
        table[c] = kBase64Values[c] < 64 ? kBase64Values[c] : 0x80;
    return table;
}();
alignas(64) constexpr std::array<uint8_t, 64> kPackOrder64 = [] {
    std::array<uint8_t, 64> order{};
    for (int i = 0; i < 48; ++i)
        order[i] = static_cast<uint8_t>((i / 3) * 4 + 2 - i % 3);
    return order;
}();

// One block of Width letters: each byte is checked against the alphabet and turned into its value
// (two nibble look-ups, or one byte permutation at 64), then the 6-bit values are packed into
// 3 bytes per 4 letters and stored as a whole register. The tables stay in registers for a run.
template <int Width> struct LetterBlocks {
    using V = VectorOps<Width>;
    using Reg = typename V::Reg;
    static constexpr size_t kLetters = Width;
    static constexpr uint64_t kAll = Width == 64 ? ~uint64_t{0} : (uint64_t{1} << Width) - 1;
    Reg a, b, c, d; // 16, 32: not-letter classes, high nibble classes, rolls, byte order; 64: values, order

    __attribute__((always_inline)) LetterBlocks() {
        if constexpr (Width == 64) {
            a = V::Load(kAsciiValues.data());
            b = V::Load(kAsciiValues.data() + 64);
            c = V::Load(kPackOrder64.data());
        } else {
            a = V::Table(kNotLetterClasses);
            b = V::Table(kHighNibbleClass);
            c = V::Table(kRollByHighNibble);
            d = V::Table(kGroupByteOrder);
        }
    }

    /// The block's values; bit i of the result is set when byte i is not a letter.
    __attribute__((always_inline)) uint64_t Values(const unsigned char* in, Reg& values) const {
        const Reg text = V::Load(in);
        if constexpr (Width == 64) {
            values = V::Lookup128(a, text, b);
            return V::TopBits(V::Or(values, text));
        } else {
            const Reg mask_2f = V::Bytes(0x2F);
            const Reg hi_nibbles = V::And(V::template ShiftRight32<4>(text), mask_2f);
            const Reg classes = V::And(V::Shuffle(a, V::And(text, mask_2f)), V::Shuffle(b, hi_nibbles));
            const Reg roll = V::Shuffle(c, V::Add(V::Equal(text, mask_2f), hi_nibbles));
            values = V::Add(text, roll);
            return ~V::EqualBits(classes, V::Zero()) & kAll;
        }
    }

    /// Packs the values and stores the whole register (3 bytes per 4 letters, then filler).
    __attribute__((always_inline)) void Store(const Reg& values, uint8_t* out) const {
        const Reg pairs = V::MultiplyAddBytes(values, V::Dwords(0x01400140));
        const Reg quads = V::MultiplyAddWords(pairs, V::Dwords(0x00011000));
        if constexpr (Width == 64)
            V::Store(out, V::PermuteBytes(quads, c));
        else if constexpr (Width == 32)
            V::Store(out, V::PermuteDwords(V::Shuffle(quads, d), V::DwordsOf(kLaneJoin32)));
        else
            V::Store(out, V::Shuffle(quads, d));
    }

    /// Decodes the block when its first `letters` bytes are letters; false, with nothing stored,
    /// otherwise.
    __attribute__((always_inline)) bool Decode(const unsigned char* in, size_t letters, uint8_t* out) const {
        const uint64_t wanted = letters >= kLetters ? kAll : (uint64_t{1} << letters) - 1;
        Reg values;
        if (Values(in, values) & wanted) return false;
        Store(values, out);
        return true;
    }
};

// Groups of letters a block at a time. A block that holds anything but letters is decoded up to
// the group of that byte (the bytes after them are stored but not counted) and ends the loop, so
// the caller's byte loop starts at the exact group. The bytes a block stores past its groups stay
// inside the output of the groups still to come.
template <int Width>
__attribute__((always_inline)) inline size_t DecodeLetterBlocks(const unsigned char* in, size_t max_groups,
                                                                uint8_t* out) {
    constexpr size_t kGroups = Width / 4;
    constexpr size_t kSpareGroups = (Width / 4 + 2) / 3; // the bytes stored past the block's own
    const LetterBlocks<Width> blocks;
    size_t groups = 0;
    while (groups + kGroups + kSpareGroups <= max_groups) {
        typename LetterBlocks<Width>::Reg values;
        const uint64_t not_letters = blocks.Values(in, values);
        const size_t whole = not_letters ? static_cast<size_t>(__builtin_ctzll(not_letters)) / 4 : kGroups;
        if (whole == 0) break;
        blocks.Store(values, out);
        groups += whole;
        if (whole < kGroups) break;
        in += Width;
        out += Width / 4 * 3;
    }
    return groups;
}

// Whole lines of one shape, a block of letters at a time. The last block of a line is read whole
// and stored whole: a block's length past the line's start stays inside the data, and past its
// output inside the room.
template <int Width>
__attribute__((always_inline)) inline size_t
DecodeLineRun(const unsigned char*& pos, const unsigned char* data_end, const Base64LineShape& shape,
              uint8_t* out, size_t room) {
    constexpr auto kBlock = static_cast<ptrdiff_t>(Width);
    const LetterBlocks<Width> blocks;
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
        for (; done < letters; done += Width)
            if (!blocks.Decode(p + done, letters - done, o + done / 4 * 3)) break;
        if (done < letters) break;
        p += step;
        o += line_bytes;
    }
    pos = p;
    return static_cast<size_t>(o - out);
}

__attribute__((target(DORNICK_TARGET_16))) size_t LineRunOf16(const unsigned char*& pos,
                                                              const unsigned char* data_end,
                                                              const Base64LineShape& shape, uint8_t* out,
                                                              size_t room) {
    return DecodeLineRun<16>(pos, data_end, shape, out, room);
}

__attribute__((target(DORNICK_TARGET_32))) size_t LineRunOf32(const unsigned char*& pos,
                                                              const unsigned char* data_end,
                                                              const Base64LineShape& shape, uint8_t* out,
                                                              size_t room) {
    return DecodeLineRun<32>(pos, data_end, shape, out, room);
}

__attribute__((target(DORNICK_TARGET_64))) size_t LineRunOf64(const unsigned char*& pos,
                                                              const unsigned char* data_end,
                                                              const Base64LineShape& shape, uint8_t* out,
                                                              size_t room) {
    return DecodeLineRun<64>(pos, data_end, shape, out, room);
}

} // namespace
#endif

#ifdef DORNICK_VECTOR_KERNELS
__attribute__((target(DORNICK_TARGET_16))) size_t
Base64LetterBlocks16Unchecked(const unsigned char* in, size_t max_groups, uint8_t* out) {
    return DecodeLetterBlocks<16>(in, max_groups, out);
}
#else
size_t Base64LetterBlocks16Unchecked(const unsigned char* in, size_t max_groups, uint8_t* out) {
    (void)in, (void)max_groups, (void)out;
    return 0;
}
#endif

size_t Base64LineRunOfWidth(VectorWidth width, const unsigned char*& pos, const unsigned char* data_end,
                            const Base64LineShape& shape, uint8_t* out, size_t room) {
#ifdef DORNICK_VECTOR_KERNELS
    if (static_cast<int>(width) > static_cast<int>(ProcessorVectorWidth())) return 0;
    switch (width) {
    case VectorWidth::W64:
        return LineRunOf64(pos, data_end, shape, out, room);
    case VectorWidth::W32:
        return LineRunOf32(pos, data_end, shape, out, room);
    case VectorWidth::W16:
        if (HaveSsse3()) return LineRunOf16(pos, data_end, shape, out, room);
        break;
    case VectorWidth::None:
        break;
    }
#endif
    (void)width, (void)pos, (void)data_end, (void)shape, (void)out, (void)room;
    return 0;
}

} // namespace dornick

#include "console/decode/base64_text.h"

#include <array>
#include <bit>
#include <cstring>

#include "console/decode/base64_blocks.h"
#include "console/decode/qp_blocks.h"

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

// True for the bytes a base64 line may hold before clean-up: the alphabet, "=", space and tab.
constexpr bool InBase64FilterSet(unsigned char c) {
    return kBase64Values[c] != kBase64Foreign || IsBlank(c);
}

} // namespace

size_t Base64DecodeLetterGroups(const unsigned char* in, size_t max_groups, uint8_t* out) {
    size_t groups = 0;
    if (max_groups >= 6) {
        groups = Base64LetterBlocks16(in, max_groups, out);
        in += groups * 4;
        out += groups * 3;
    }
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
    if (shape.letters == 0 || shape.letters % 4 != 0) return 0;
    // One kind asked for by name runs only where the width in force allows it.
    const VectorWidth active = ActiveVectorWidth();
    VectorWidth width = active;
    if (vectors == Base64Vectors::Avx2)
        width = VectorsAtLeast(VectorWidth::W32) ? VectorWidth::W32 : VectorWidth::None;
    if (vectors == Base64Vectors::Avx512)
        width = VectorsAtLeast(VectorWidth::W64) ? VectorWidth::W64 : VectorWidth::None;
    if (vectors == Base64Vectors::None) width = VectorWidth::None;
    return Base64LineRunOfWidth(width, pos, data_end, shape, out, room);
}

size_t QpDecodeBodyBytes(const unsigned char* text, size_t n, uint8_t* out) {
    const unsigned char* p = text;
    const unsigned char* const end = text + n;
    const size_t count = QpDecodeEscapeBlocks(p, end, out);
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

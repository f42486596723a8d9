#include "console/decode/base64_text.h"

#include <bit>
#include <cstring>

namespace dornick {
namespace {

// Each letter's contribution to the three output bytes of its group, already in place for a
// little-endian 32-bit store (byte 0 first); anything but a letter sets bit 24.
constexpr uint32_t kNotLetter = 0x01FFFFFF;
template <int Position>
constexpr std::array<uint32_t, 256> MakeGroupTable() {
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

}  // namespace

size_t Base64DecodeLetterGroups(const unsigned char* in, size_t max_groups, uint8_t* out) {
    size_t groups = 0;
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

void TrimBlanks(char* text) {
    size_t start = 0;
    while (text[start] == ' ' || text[start] == '\t') ++start;
    size_t length = std::strlen(text + start);
    if (start) std::memmove(text, text + start, length + 1);
    while (length > 0 && (text[length - 1] == ' ' || text[length - 1] == '\t')) --length;
    text[length] = 0;
}

void SpacesToPlus(char* text) {
    for (; *text; ++text)
        if (*text == ' ') *text = '+';
}

bool Base64HasInnerPad(const char* line) {
    const char* first = std::strchr(line, '=');
    if (!first) return true;
    const char* run = line + std::strlen(line);
    while (run > line && run[-1] == '=') --run;
    return first >= run;
}

bool IsPrintableAscii(const char* text) {
    for (; *text; ++text) {
        const auto c = static_cast<unsigned char>(*text);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
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
    while (length % 4) text[length++] = '=';
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
            v[values++] = t & 63;  // a foreign byte counts as 0
        }
        o[0] = static_cast<uint8_t>(v[0] << 2 | v[1] >> 4);
        o[1] = static_cast<uint8_t>(v[1] << 4 | v[2] >> 2);
        o[2] = static_cast<uint8_t>(v[2] << 6 | v[3]);
        o += 3;
    }
    return static_cast<int>(o - out);
}

int QpDecode(const char* text, uint8_t* out, bool header) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    uint8_t* o = out;
    for (;;) {
        const unsigned char c = *p;
        if (c == 0) break;
        if (c == '=') {
            if (p[1] == 0 || p[2] == 0) break;  // a cut escape at the end gives nothing
            *o++ = static_cast<uint8_t>((kQpHexValues[p[1]] << 4) | kQpHexValues[p[2]]);
            p += 3;
            continue;
        }
        *o++ = (header && c == '_') ? ' ' : c;
        ++p;
    }
    return static_cast<int>(o - out);
}

}  // namespace dornick

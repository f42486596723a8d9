#include "console/decode/base64_text.h"

#include <cstring>

namespace dornick {

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
        const uint32_t a = kBase64Values[in[i]], b = kBase64Values[in[i + 1]];
        const uint32_t c = kBase64Values[in[i + 2]], d = kBase64Values[in[i + 3]];
        if (((a | b | c | d) & (kBase64Pad | kBase64Foreign)) == 0) {
            o[0] = static_cast<uint8_t>(a << 2 | b >> 4);
            o[1] = static_cast<uint8_t>(b << 4 | c >> 2);
            o[2] = static_cast<uint8_t>(c << 6 | d);
            o += 3;
            continue;
        }
        // A pad or a foreign byte in this group: take it character by character.
        uint32_t v[4];
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

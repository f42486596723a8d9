#include "console/decode/uu_block.h"

#include <string_view>

namespace dornick {
namespace {

constexpr std::u16string_view kBegin = u"begin ";

bool BeginsWithBegin(std::u16string_view line) {
    return line.substr(0, kBegin.size()) == kBegin;
}

bool IsOctalDigit(char16_t c) {
    return c >= u'0' && c <= u'7';
}

bool IsHeader(std::u16string_view line) {
    return BeginsWithBegin(line) && line.size() > 10 && line.size() <= kUuLongestHeader &&
           IsOctalDigit(line[6]) && IsOctalDigit(line[7]) && IsOctalDigit(line[8]);
}

// The lines a block's data may hold before its zero-length line.
bool MayBeInBlock(std::u16string_view line, const PartBoundary& boundary, const char16_t* text) {
    return line.size() <= kUuLongestDataLine && !boundary.HoldsWide(text) && !BeginsWithBegin(line);
}

} // namespace

bool IsUuZeroLengthLine(const char16_t* line) {
    const std::u16string_view text(line);
    if (text == u"`" || text == u"` " || text == u"``" || text == u" " || text == u"+") return true;
    return text.size() == 2 && text[0] == u' ';
}

UuCode UuDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
    if (!IsHeader(line)) return UuCode::None;
    const unsigned char* saved = cursor.pos;
    UuCode found = UuCode::None;
    char16_t next[kLineCapacity];
    while (ReadLineW(next, cursor) && MayBeInBlock(next, boundary, next)) {
        if (!IsUuZeroLengthLine(next)) continue;
        const bool plus = std::u16string_view(next) == u"+";
        // The first non-empty line after the zero-length line decides.
        while (ReadLineW(next, cursor)) {
            if (next[0] == 0) continue;
            if (std::u16string_view(next) == u"end") found = plus ? UuCode::Xxencode : UuCode::Uuencode;
            break;
        }
        break;
    }
    cursor.pos = saved;
    return found;
}

size_t UuBeginName(const char16_t* line, char* bytes) {
    size_t length = 0;
    for (const char16_t* p = line + kUuNameOffset; *p && length + 1 < kLineCapacity; ++p)
        bytes[length++] = static_cast<char>(*p & 0xFF);
    bytes[length] = 0;
    return length;
}

} // namespace dornick

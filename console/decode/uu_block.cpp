#include "console/decode/uu_block.h"

#include <cstring>
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
bool MayBeInBlock(const char* line, size_t length, const PartBoundary& boundary) {
    return length <= kUuLongestDataLine && std::string_view(line, length).substr(0, 6) != "begin " &&
           !boundary.Holds(line, length);
}

} // namespace

bool IsUuZeroLengthLine(const char* line, size_t length) {
    if (length == 1) return line[0] == '`' || line[0] == ' ' || line[0] == '+';
    if (length != 2) return false;
    return line[0] == ' ' || (line[0] == '`' && (line[1] == ' ' || line[1] == '`'));
}

UuCode UuDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
    if (!IsHeader(line)) return UuCode::None;
    const unsigned char* saved = cursor.pos;
    UuCode found = UuCode::None;
    // Mail lines are widened bytes: the byte form compares the same.
    char buffer[kLineCapacity];
    const char* next = buffer;
    size_t length = 0;
    // Most lines of a block are ordinary ones, looked at where they lie.
    auto read = [&] {
        if (ReadOrdinaryLine(cursor, next, length)) return true;
        if (!ReadLineA(buffer, cursor)) return false;
        next = buffer;
        length = std::strlen(buffer);
        return true;
    };
    while (read()) {
        if (!MayBeInBlock(next, length, boundary)) break;
        if (!IsUuZeroLengthLine(next, length)) continue;
        const bool plus = length == 1 && next[0] == '+';
        // The first non-empty line after the zero-length line decides.
        while (read()) {
            if (length == 0) continue;
            if (std::string_view(next, length) == "end") found = plus ? UuCode::Xxencode : UuCode::Uuencode;
            break;
        }
        break;
    }
    cursor.pos = saved;
    return found;
}

size_t UuBeginName(const char16_t* line, char* bytes) {
    size_t length = 0;
    const char16_t* p = line;
    for (int i = 0; i < kUuNameOffset && *p; ++i)
        ++p;
    for (; *p && length + 1 < kLineCapacity; ++p)
        bytes[length++] = static_cast<char>(*p & 0xFF);
    bytes[length] = 0;
    return length;
}

size_t UuPartName(const char16_t* line, LineCursor& cursor, char* bytes) {
    bytes[0] = 0;
    const unsigned char* saved = cursor.pos;
    char16_t next[kLineCapacity];
    const char16_t* text = line;
    while (!text[0] && ReadLineW(next, cursor))
        text = next;
    size_t length = 0;
    const std::u16string_view view(text);
    if (view.size() > 10 && BeginsWithBegin(view) && view[9] == u' ') length = UuBeginName(text, bytes);
    cursor.pos = saved;
    return length;
}

} // namespace dornick

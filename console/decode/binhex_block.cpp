#include "console/decode/binhex_block.h"

#include <string_view>

namespace dornick {
namespace {

constexpr std::u16string_view kHeader = u"(This file must be converted with BinHex 4.0)";

bool BeginsWithHeader(std::u16string_view line) {
    return line.substr(0, kHeader.size()) == kHeader;
}

// Removes every space and tab in place; returns the new length.
size_t RemoveBlanks(char16_t* line) {
    size_t kept = 0;
    for (const char16_t* p = line; *p; ++p)
        if (*p != u' ' && *p != u'\t') line[kept++] = *p;
    line[kept] = 0;
    return kept;
}

} // namespace

bool BinHexDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
    if (!BeginsWithHeader(line)) return false;
    const unsigned char* saved = cursor.pos;
    char16_t next[kLineCapacity];
    bool found = false;
    size_t length = 0;
    bool have_line = false;
    while (ReadLineW(next, cursor)) {
        length = RemoveBlanks(next);
        if (length) {
            have_line = true;
            break;
        }
    }
    if (have_line && length <= kBinHexLongestLine && next[0] == u':') {
        if (length > 2 && next[length - 1] == u':') {
            found = true;
        } else {
            // The encoded text goes on: the first later line with a ":" must close it.
            while (ReadLineW(next, cursor)) {
                const std::u16string_view text(next);
                if (text.size() > kBinHexLongestLine || boundary.HoldsWide(next) || BeginsWithHeader(text))
                    break;
                if (text.find(u':') == std::u16string_view::npos) continue;
                found = text.back() == u':';
                break;
            }
        }
    }
    cursor.pos = saved;
    return found;
}

BinHexStart FindBinHexStart(char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
    if (boundary.HoldsWide(line)) return BinHexStart::Boundary;
    while (line[0] != u':') {
        if (!ReadLineW(line, cursor)) {
            line[0] = 0;
            return BinHexStart::EndOfData;
        }
        if (boundary.HoldsWide(line)) return BinHexStart::Boundary;
    }
    StepBackLines(cursor, 1);
    return BinHexStart::Block;
}

} // namespace dornick

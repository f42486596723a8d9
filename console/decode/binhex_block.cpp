#include "console/decode/binhex_block.h"

#include <string_view>

namespace dornick {
namespace {

constexpr std::u16string_view kHeader = u"(This file must be converted with BinHex 4.0)";

bool BeginsWithHeader(std::u16string_view line) {
    return line.substr(0, kHeader.size()) == kHeader;
}

constexpr std::string_view kHeaderBytes = "(This file must be converted with BinHex 4.0)";

// Removes every space and tab in place; returns the new length.
size_t RemoveBlanks(char* line) {
    size_t kept = 0;
    for (const char* p = line; *p; ++p)
        if (*p != ' ' && *p != '\t') line[kept++] = *p;
    line[kept] = 0;
    return kept;
}

} // namespace

bool BinHexDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
    if (!BeginsWithHeader(line)) return false;
    const unsigned char* saved = cursor.pos;
    // Mail lines are widened bytes: the byte form compares the same.
    char next[kLineCapacity];
    bool found = false;
    size_t length = 0;
    bool have_line = false;
    while (ReadLineA(next, cursor)) {
        length = RemoveBlanks(next);
        if (length) {
            have_line = true;
            break;
        }
    }
    if (have_line && length <= kBinHexLongestLine && next[0] == ':') {
        if (length > 2 && next[length - 1] == ':') {
            found = true;
        } else {
            // The encoded text goes on: the first later line with a ":" must close it.
            while (ReadLineA(next, cursor)) {
                const std::string_view text(next);
                if (text.size() > kBinHexLongestLine || text.substr(0, kHeaderBytes.size()) == kHeaderBytes ||
                    boundary.Holds(next, text.size()))
                    break;
                if (text.find(':') == std::string_view::npos) continue;
                found = text.back() == ':';
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

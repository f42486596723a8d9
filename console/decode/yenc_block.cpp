#include "console/decode/yenc_block.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace dornick {
namespace {

constexpr std::u16string_view kBegin = u"=ybegin ";
constexpr std::u16string_view kPartBegin = u"=ybegin part=";
constexpr std::string_view kName = " name=";
constexpr char kTrailer[] = "=yend size=";

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

int LeadingNumber(std::u16string_view text) {
    long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') break;
        value = value * 10 + (c - u'0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

} // namespace

bool IsYencTrailer(const char* line) {
    return std::strncmp(line, kTrailer, sizeof kTrailer - 1) == 0;
}

bool YencDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary, YencBlock& block) {
    block = YencBlock{};
    const std::u16string_view header(line);
    if (!StartsWith(header, kBegin) || header.find(u" line=") == header.npos ||
        header.find(u" size=") == header.npos || header.find(u" name=") == header.npos)
        return false;
    const int part = StartsWith(header, kPartBegin) ? LeadingNumber(header.substr(kPartBegin.size())) : 0;

    const unsigned char* saved = cursor.pos;
    StepBackLines(cursor, 1);
    char buffer[kLineCapacity];
    ReadLineA(buffer, cursor);
    const std::string_view narrow(buffer);
    const size_t at = narrow.find(kName);
    bool found = false;
    std::string name;
    if (at != std::string_view::npos) {
        size_t from = at + kName.size();
        size_t to = narrow.size();
        while (from < to && IsBlank(narrow[from]))
            ++from;
        while (to > from && IsBlank(narrow[to - 1]))
            --to;
        name.assign(narrow.substr(from, to - from));
        while (ReadLineA(buffer, cursor)) {
            if (boundary.HoldsText(buffer) || std::strncmp(buffer, "=ybegin ", 8) == 0) break;
            if (IsYencTrailer(buffer)) {
                found = true;
                break;
            }
        }
    }
    cursor.pos = saved;
    if (!found) return false;
    block.part = part;
    block.output_name = name + ".yenc";
    if (part != 0) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, "#%03d", part);
        block.output_name += suffix;
    }
    return true;
}

} // namespace dornick

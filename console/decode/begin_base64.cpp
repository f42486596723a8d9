#include "console/decode/begin_base64.h"

#include <string_view>

namespace dornick {
namespace {

constexpr std::u16string_view kMarker = u"begin-base64 ";
constexpr size_t kShortestHeader = 18;
constexpr size_t kLongestHeader = 277;

bool BeginsWithMarker(std::u16string_view line) {
    return line.substr(0, kMarker.size()) == kMarker;
}

bool IsOctalDigit(char16_t c) {
    return c >= u'0' && c <= u'7';
}

} // namespace

bool DetectBeginBase64(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary) {
    const std::u16string_view header(line);
    if (!BeginsWithMarker(header) || header.size() < kShortestHeader || header.size() > kLongestHeader)
        return false;
    if (!IsOctalDigit(header[13]) || !IsOctalDigit(header[14]) || !IsOctalDigit(header[15])) return false;

    const unsigned char* saved = cursor.pos;
    bool found = false;
    char16_t next[kLineCapacity];
    while (ReadLineW(next, cursor)) {
        const std::u16string_view text(next);
        if (boundary.HoldsWide(next) || BeginsWithMarker(text)) break;
        if (text == u"====") {
            found = true;
            break;
        }
    }
    cursor.pos = saved;
    return found;
}

} // namespace dornick

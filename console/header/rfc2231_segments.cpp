#include "console/header/rfc2231_segments.h"

#include <algorithm>
#include <climits>
#include <new>
#include <vector>

#include "console/decode/ascii_text.h"
#include "console/decode/base64_text.h"
#include "console/header/encoded_words.h"
#include "console/header/header_search.h"

namespace dornick {
namespace {

struct NameSegment {
    long long index;
    std::string text;
};

// The index as atoi reads it after the "*" (blanks, a sign, digits), saturated instead of overflowing.
long long ReadIndex(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && IsAsciiDigit(static_cast<unsigned char>(text[i])); ++i)
        value = std::min<long long>(value * 10 + (text[i] - '0'), INT_MAX);
    return negative ? -value : value;
}

int HexValueOrZero(char c) {
    const uint8_t value = kQpHexValues[static_cast<unsigned char>(c)];
    return value < 16 ? value : 0;
}

// One segment from the "*" at `star`: its index, its text and, with a prefix, the charset.
NameSegment ReadSegment(std::string_view line, size_t star, std::u16string& charset) {
    NameSegment segment{ReadIndex(line.substr(star + 1)), {}};
    const size_t equals = line.find('=', star);
    if (equals == std::string_view::npos) return segment;
    const std::string_view after = line.substr(equals + 1);
    size_t start = 0;
    while (start < after.size() && IsBlank(static_cast<unsigned char>(after[start])))
        ++start;
    std::string text(after.substr(start));
    std::erase(text, '"');
    if (!text.empty() && text.back() == ';') text.pop_back();
    if (const size_t apostrophe = after.find('\''); apostrophe != std::string_view::npos) {
        charset.assign(after.begin(), after.begin() + static_cast<std::ptrdiff_t>(apostrophe));
        text.erase(0, text.rfind('\'') + 1);
    }
    segment.text = std::move(text);
    return segment;
}

std::string JoinInIndexOrder(std::vector<NameSegment>& segments) {
    // Index order 0, 1, ... up to the largest; of several segments with one index the first counts.
    std::stable_sort(segments.begin(), segments.end(),
                     [](const NameSegment& a, const NameSegment& b) { return a.index < b.index; });
    std::string joined;
    long long previous = -1;
    for (const NameSegment& segment : segments) {
        if (segment.index < 0 || segment.index == previous) continue;
        previous = segment.index;
        AppendCollected(joined, segment.text);
    }
    return joined;
}

} // namespace

std::string PercentDecode(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            bytes.push_back(text[i]);
            continue;
        }
        if (text.size() - i < 3) break;
        const int value = HexValueOrZero(text[i + 1]) * 16 + HexValueOrZero(text[i + 2]);
        // "%00" would cut the name where the text is read as a C string: it stands for the "_" that
        // a NUL becomes with the other controls. A value that is no hex number ends the name.
        if (value == 0 && text[i + 1] == '0' && text[i + 2] == '0') {
            bytes.push_back('_');
            i += 2;
            continue;
        }
        if (value == 0) break;
        bytes.push_back(static_cast<char>(value));
        i += 2;
    }
    return bytes;
}

int CollectRfc2231Segments(LineCursor& cursor, std::string_view line, size_t from, std::string& bytes,
                           std::u16string& charset) {
    std::vector<NameSegment> segments;
    char next[kLineCapacity];
    size_t star = line.find('*', from);
    try {
        while (star != std::string_view::npos) {
            segments.push_back(ReadSegment(line, star, charset));
            const unsigned char* before = cursor.pos;
            if (ReadLineA(next, cursor) == 0 || cursor.pos == nullptr) return -1;
            line = next;
            if (line.empty() || !IsBlank(static_cast<unsigned char>(line[0]))) {
                cursor.pos = before;
                break;
            }
            // A continuation line without a "*" ends the value and is consumed.
            star = line.find('*', 1);
        }
        bytes = PercentDecode(JoinInIndexOrder(segments));
    } catch (const std::bad_alloc&) {
        return kNameOutOfMemory;
    }
    return 0;
}

} // namespace dornick

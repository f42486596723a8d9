#include "console/decode/ish_block.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <string_view>

namespace dornick {
namespace {

constexpr const char* kHeaderTexts[] = {"< ", " >", " for ", " ish ", " [ ", " lines ] "};
constexpr std::string_view kFor = " for ";
constexpr std::string_view kCount = " [ ";
constexpr std::string_view kPart = "< Part ";
// The name starts at the header's fifth character, after "<<< ".
constexpr size_t kNameOffset = 4;

// The decimal number at the start of `text` (0 without digits), held within int.
int LeadingNumber(std::string_view text) {
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = value * 10 + (c - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return static_cast<int>(value);
}

// The number after the first `label` at or after `from`; false when there is no label.
bool NumberAfter(std::string_view line, std::string_view label, size_t from, int& number) {
    const size_t at = line.find(label, from);
    if (at == std::string_view::npos) return false;
    number = LeadingNumber(line.substr(at + label.size()));
    return true;
}

// The next line that is not empty; false when the lines run out.
bool ReadNonEmpty(char* buffer, LineCursor& cursor) {
    while (ReadLineA(buffer, cursor))
        if (buffer[0]) return true;
    return false;
}

// " ish " in one pass without measuring the line: every line of a text body is offered, and
// this text is the rarest of the six.
bool HoldsIshWord(const char16_t* line) {
    if (!line[0]) return false;
    for (const char16_t* p = line + 1; *p; ++p)
        if (*p == u'i' && p[1] == u's' && p[2] == u'h' && p[3] == u' ' && p[-1] == u' ') return true;
    return false;
}

bool WideHoldsAll(const char16_t* line) {
    if (!HoldsIshWord(line)) return false;
    const std::u16string_view text(line);
    for (std::u16string_view part : {u" lines ] ", u" for ", u" [ ", u"< ", u" >"})
        if (text.find(part) == std::u16string_view::npos) return false;
    return true;
}

} // namespace

bool IsIshHeaderLine(const char* line) {
    for (const char* text : kHeaderTexts)
        if (!std::strstr(line, text)) return false;
    return true;
}

bool IshDetect(const char16_t* line, LineCursor& cursor, const PartBoundary& boundary, IshBlock& block) {
    if (!WideHoldsAll(line)) {
        block.end_marker.clear();
        block.output_name.clear();
        block.volume = block.line_count = 0;
        return false;
    }
    block = IshBlock{};
    const unsigned char* saved = cursor.pos;
    StepBackLines(cursor, 1);
    char buffer[kLineCapacity];
    bool found = false;
    IshBlock candidate;
    if (ReadNonEmpty(buffer, cursor)) {
        const std::string_view header(buffer);
        const size_t name_end =
            header.size() > kNameOffset ? header.find(kFor, kNameOffset) : std::string_view::npos;
        int count = 0;
        if (name_end != std::string_view::npos && NumberAfter(header, kCount, name_end, count)) {
            const std::string name(header.substr(kNameOffset, name_end - kNameOffset));
            candidate.line_count = count;
            if (ReadNonEmpty(buffer, cursor)) {
                const std::string_view volume_line(buffer);
                const size_t part = volume_line.find(kPart);
                if (part != std::string_view::npos) {
                    candidate.volume = LeadingNumber(volume_line.substr(part + kPart.size()));
                    // A volume line without its own count keeps the header's.
                    NumberAfter(volume_line, kCount, 0, candidate.line_count);
                }
                char marker[kLineCapacity + 32];
                std::snprintf(marker, sizeof marker, "%s (%d/%d)", name.c_str(), candidate.line_count,
                              candidate.line_count);
                candidate.end_marker = marker;
                while (ReadLineA(buffer, cursor)) {
                    if (boundary.HoldsText(buffer) || IsIshHeaderLine(buffer)) break;
                    if (std::strstr(buffer, candidate.end_marker.c_str())) {
                        found = true;
                        break;
                    }
                }
                if (found) {
                    candidate.output_name = name + ".ish";
                    if (candidate.volume != 0) {
                        char suffix[24];
                        std::snprintf(suffix, sizeof suffix, "#%03d", candidate.volume);
                        candidate.output_name += suffix;
                    }
                }
            }
        }
    }
    cursor.pos = saved;
    if (found) block = std::move(candidate);
    return found;
}

} // namespace dornick

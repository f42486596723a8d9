#include "console/header/sanitize_file_name.h"

#include <algorithm>
#include <array>

namespace dornick {
namespace {

struct ForbiddenCharacter {
    char16_t character;
    char16_t full_width;
};

// In the order of replacement.
constexpr ForbiddenCharacter kForbidden[] = {
    {u'\\', u'\uFFE5'}, {u'/', u'\uFF0F'}, {u'?', u'\uFF1F'}, {u':', u'\uFF1A'}, {u'*', u'\uFF0A'},
    {u'"', u'\u201D'},  {u'>', u'\uFF1E'}, {u'<', u'\uFF1C'}, {u'|', u'\uFF5C'},
};

// The forbidden characters are all ASCII: one look in this table passes over every other one.
constexpr std::array<bool, 0x80> kForbiddenAscii = [] {
    std::array<bool, 0x80> forbidden{};
    for (const ForbiddenCharacter& f : kForbidden)
        forbidden[f.character] = true;
    return forbidden;
}();

// C0 and C1 controls and DEL (an escape sequence would drive a terminal that lists the folder), and
// the bidirectional embedding, override and isolate controls, which would let "invoice\u202Efdp.exe"
// pose as a PDF.
constexpr bool IsControlInName(char16_t c) {
    return c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

} // namespace

void SanitizeFileName(std::u16string& name, bool full_width) {
    std::replace_if(name.begin(), name.end(), IsControlInName, u'_');
    name.erase(0, name.find_first_not_of(u' '));
    if (name.empty()) {
        name = u"_";
        return;
    }
    for (char16_t& c : name) {
        if (c >= kForbiddenAscii.size() || !kForbiddenAscii[c]) continue;
        for (const ForbiddenCharacter& f : kForbidden)
            if (c == f.character) c = full_width ? f.full_width : u'_';
    }
    // "." and ".." would name the folder itself or its parent.
    if (name == u"." || name == u"..") name.insert(0, u"_");
}

} // namespace dornick

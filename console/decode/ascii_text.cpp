#include "console/decode/ascii_text.h"

#include <unicode/uchar.h>

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <type_traits>

namespace dornick {
namespace {

template <typename Char, typename Upper>
size_t FindFolded(std::basic_string_view<Char> text, std::basic_string_view<Char> needle, Upper upper) {
    if (needle.empty()) return 0;
    if (needle.size() > text.size()) return kNotFound;
    const Char first = upper(needle[0]);
    const size_t last_start = text.size() - needle.size();
    for (size_t i = 0; i <= last_start; ++i) {
        if (upper(text[i]) != first) continue;
        size_t k = 1;
        while (k < needle.size() && upper(text[i + k]) == upper(needle[k]))
            ++k;
        if (k == needle.size()) return i;
    }
    return kNotFound;
}

template <typename Char> std::basic_string_view<Char> TrimmedBlanks(std::basic_string_view<Char> text) {
    using Unit = std::make_unsigned_t<Char>;
    while (!text.empty() && IsBlank(static_cast<Unit>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(static_cast<Unit>(text.back())))
        text.remove_suffix(1);
    return text;
}

} // namespace

char16_t UpperUnit(char16_t c) {
    return c < 0x80 ? AsciiUpper(c) : static_cast<char16_t>(u_toupper(c));
}

bool IsPrintableAsciiBytes(std::string_view bytes) {
    for (char c : bytes)
        if (!IsPrintableAsciiUnit(static_cast<unsigned char>(c))) return false;
    return true;
}

bool IsPrintableAscii(const char* text) {
    return IsPrintableAsciiBytes(text);
}

bool IsPrintableAsciiW(std::u16string_view text) {
    for (char16_t c : text)
        if (!IsPrintableAsciiUnit(c)) return false;
    return true;
}

bool HasNoControlW(std::u16string_view text) {
    for (char16_t c : text)
        if (c < 0x20 || c == 0x7F) return false;
    return true;
}

size_t FindNoCase(std::u16string_view text, std::u16string_view needle) {
#if defined(__SSE2__)
    // An ASCII first character can only be matched by itself in either case or by a unit above
    // U+00FF (U+0131 and U+017F fold to "I" and "S"): eight units are screened at a time and only
    // those are compared in full.
    if (needle.empty() || needle.size() > text.size() || needle[0] >= 0x80)
        return FindFolded(text, needle, UpperUnit);
    const char16_t first = AsciiUpper(needle[0]);
    const char16_t first_lower = first >= u'A' && first <= u'Z' ? static_cast<char16_t>(first + 0x20) : first;
    auto matches_at = [&](size_t i) {
        for (size_t k = 0; k < needle.size(); ++k)
            if (UpperUnit(text[i + k]) != UpperUnit(needle[k])) return false;
        return true;
    };
    const size_t starts = text.size() - needle.size() + 1;
    const __m128i upper_first = _mm_set1_epi16(static_cast<short>(first));
    const __m128i lower_first = _mm_set1_epi16(static_cast<short>(first_lower));
    const __m128i high_byte = _mm_set1_epi16(static_cast<short>(0xFF00));
    const __m128i zero = _mm_setzero_si128();
    // Two mask bits a unit; `done` of the eight places were screened before.
    auto screen_at = [&](size_t i, size_t done) -> size_t {
        const __m128i units = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + i));
        const __m128i same =
            _mm_or_si128(_mm_cmpeq_epi16(units, upper_first), _mm_cmpeq_epi16(units, lower_first));
        const __m128i latin1 = _mm_cmpeq_epi16(_mm_and_si128(units, high_byte), zero);
        unsigned candidates = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_or_si128(same, _mm_andnot_si128(latin1, _mm_cmpeq_epi16(zero, zero)))));
        candidates &= ~((1u << (2 * done)) - 1);
        for (; candidates; candidates &= candidates - 1, candidates &= candidates - 1) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(candidates)) / 2;
            if (matches_at(at)) return at;
        }
        return kNotFound;
    };
    size_t i = 0;
    for (; i + 8 <= starts; i += 8)
        if (const size_t at = screen_at(i, 0); at != kNotFound) return at;
    // The last places go in one more block that overlaps the one before.
    if (i < starts && starts >= 8) return screen_at(starts - 8, i - (starts - 8));
    for (; i < starts; ++i)
        if (UpperUnit(text[i]) == first && matches_at(i)) return i;
    return kNotFound;
#else
    return FindFolded(text, needle, UpperUnit);
#endif
}

size_t FindNoCaseA(std::string_view text, std::string_view needle) {
    return FindFolded(text, needle, AsciiUpperByte);
}

bool EqualsNoCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && UpperUnit(a[i]) != UpperUnit(b[i])) return false;
    return true;
}

std::string NarrowUnits(std::u16string_view text) {
    std::string bytes;
    NarrowUnitsInto(text, bytes);
    return bytes;
}

void NarrowUnitsInto(std::u16string_view text, std::string& bytes) {
    bytes.resize(text.size());
    for (size_t i = 0; i < text.size(); ++i)
        bytes[i] = static_cast<char>(text[i] & 0xFF);
}

std::u16string_view TrimBlanks(std::u16string_view text) {
    return TrimmedBlanks(text);
}

void TrimBlanks(char* text) {
    const std::string_view trimmed = TrimmedBlanks(std::string_view(text));
    std::memmove(text, trimmed.data(), trimmed.size());
    text[trimmed.size()] = 0;
}

} // namespace dornick

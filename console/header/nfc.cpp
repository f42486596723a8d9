#include "console/header/nfc.h"

#include <unicode/uchar.h>
#include <unicode/unorm2.h>
#include <unicode/uset.h>
#include <unicode/utf16.h>

#include "console/header/header_reader.h"

namespace dornick {
namespace {

// The filtered normaliser is immutable once built and is kept for the process.
struct FilteredNfc {
    USet* set = nullptr;
    UNormalizer2* normalizer = nullptr;
    UErrorCode status = U_ZERO_ERROR;

    FilteredNfc() {
        const UNormalizer2* nfc = unorm2_getInstance(nullptr, "nfc", UNORM2_COMPOSE, &status);
        static const UChar kPattern[] = u"[:Full_Composition_Exclusion=No:]";
        if (U_SUCCESS(status)) set = uset_openPattern(kPattern, -1, &status);
        if (U_SUCCESS(status)) {
            uset_freeze(set);
            normalizer = unorm2_openFiltered(nfc, set, &status);
        }
    }
    ~FilteredNfc() {
        if (normalizer) unorm2_close(normalizer);
        if (set) uset_close(set);
    }
};

// Nothing below U+0300 composes with anything or decomposes: such a text is its own NFC.
bool OnlyBelowCombiningMarks(std::u16string_view text) {
    for (char16_t unit : text)
        if (unit >= 0x300) return false;
    return true;
}

// Without a character excluded from composition the whole text is one span of the filter, and
// the plain normaliser gives the filtered result; building the filter's set costs more than most
// runs spend on their mail, so it is built only for texts that need it.
bool HoldsCompositionExclusion(std::u16string_view text) {
    const UChar* units = reinterpret_cast<const UChar*>(text.data());
    const int32_t length = static_cast<int32_t>(text.size());
    for (int32_t i = 0; i < length;) {
        UChar32 c;
        U16_NEXT(units, i, length, c);
        if (u_hasBinaryProperty(c, UCHAR_FULL_COMPOSITION_EXCLUSION)) return true;
    }
    return false;
}

} // namespace

int NormalizeNfc(std::u16string& text) {
    if (OnlyBelowCombiningMarks(text)) return U_ZERO_ERROR;
    UErrorCode status = U_ZERO_ERROR;
    const UNormalizer2* normalizer = nullptr;
    if (HoldsCompositionExclusion(text)) {
        static const FilteredNfc filtered;
        if (U_FAILURE(filtered.status)) return filtered.status;
        normalizer = filtered.normalizer;
    } else {
        normalizer = unorm2_getInstance(nullptr, "nfc", UNORM2_COMPOSE, &status);
        if (U_FAILURE(status)) return status;
    }
    UChar composed[kNameCapacity];
    const int32_t length = unorm2_normalize(normalizer, text.data(), static_cast<int32_t>(text.size()),
                                            composed, kNameCapacity, &status);
    // A result that would not fit the name (or would lack its terminator) leaves the text as it was.
    if (U_SUCCESS(status) && status != U_STRING_NOT_TERMINATED_WARNING && length > 0)
        text.assign(composed, static_cast<size_t>(length));
    return status;
}

} // namespace dornick

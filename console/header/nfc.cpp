#include "console/header/nfc.h"

#include <unicode/unorm2.h>
#include <unicode/uset.h>

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

} // namespace

int NormalizeNfc(std::u16string& text) {
    static const FilteredNfc filtered;
    if (U_FAILURE(filtered.status)) return filtered.status;
    UChar composed[kNameCapacity];
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        unorm2_normalize(filtered.normalizer, text.data(), static_cast<int32_t>(text.size()), composed,
                         kNameCapacity, &status);
    // A result that would not fit the name (or would lack its terminator) leaves the text as it was.
    if (U_SUCCESS(status) && status != U_STRING_NOT_TERMINATED_WARNING && length > 0)
        text.assign(composed, static_cast<size_t>(length));
    return status;
}

} // namespace dornick

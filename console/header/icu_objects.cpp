#include "console/header/icu_objects.h"

#include <unordered_map>

#include <unicode/ucnv_cb.h>

#include "console/header/icu_retry.h"

namespace dornick {
namespace {

// Names a mail can choose freely: failures are remembered only up to this many, so that a mail full
// of invented labels cannot grow the cache without end.
constexpr size_t kRememberedUnknownNames = 256;

} // namespace

struct IcuObjects::Cache {
    struct Entry {
        UConverter* converter;
        UErrorCode status;
    };
    std::unordered_map<std::string, Entry> entries;
    size_t unknown_names = 0;
    UCharsetDetector* detector = nullptr;

    ~Cache() { Release(); }

    void Release() {
        for (auto& [name, entry] : entries)
            if (entry.converter) ucnv_close(entry.converter);
        entries.clear();
        unknown_names = 0;
        if (detector) ucsdet_close(detector);
        detector = nullptr;
    }
};

namespace {

void SubstituteReplacement(const void*, UConverterToUnicodeArgs* args, const char*, int32_t,
                           UConverterCallbackReason reason, UErrorCode* status) {
    if (reason > UCNV_IRREGULAR) return; // reset, close and clone need nothing
    static const UChar kReplacement = 0xFFFD;
    *status = U_ZERO_ERROR;
    ucnv_cbToUWriteUChars(args, &kReplacement, 1, 0, status);
}

thread_local IcuObjects* t_bound = nullptr;

IcuObjects& InUse() {
    if (t_bound) return *t_bound;
    thread_local IcuObjects own;
    return own;
}

IcuObjects::Cache& Cache() {
    return *InUse().cache;
}

} // namespace

IcuObjects::IcuObjects() : reporter(DefaultIcuFailureReporter()), cache(std::make_unique<Cache>()) {}

IcuObjects::~IcuObjects() = default;

void IcuObjects::Release() {
    cache->Release();
}

IcuObjectsInUse::IcuObjectsInUse(IcuObjects& objects) : previous_(t_bound) {
    t_bound = &objects;
}

IcuObjectsInUse::~IcuObjectsInUse() {
    t_bound = previous_;
}

IcuFailureReporter& DefaultIcuFailureReporter() {
    // A hook set once before main, not state of a run.
    static IcuFailureReporter reporter = nullptr;
    return reporter;
}

IcuRetryPolicy& CurrentIcuRetryPolicy() {
    return InUse().retry;
}

IcuFailureReporter& CurrentIcuFailureReporter() {
    return InUse().reporter;
}

UConverter* CachedConverter(const std::string& name, UErrorCode& status) {
    IcuObjects::Cache& cache = Cache();
    if (auto found = cache.entries.find(name); found != cache.entries.end()) {
        status = found->second.status;
        return found->second.converter;
    }
    UConverter* converter = nullptr;
    status = RetryIcuCall(u"uconvconvert(ucnv_open)内でエラーが発生しました。 : %hs\n再起動中...\n",
                          [&](UErrorCode& s) { converter = ucnv_open(name.c_str(), &s); });
    if (U_SUCCESS(status)) {
        // Bytes that a code page cannot read become U+FFFD, also single bytes, for which ICU's
        // Shift_JIS and similar tables would give U+001A: the fallbacks of the conversion look for
        // U+FFFD, and a U+001A would silently vanish from the name.
        UErrorCode substitution = U_ZERO_ERROR;
        ucnv_setToUCallBack(converter, SubstituteReplacement, nullptr, nullptr, nullptr, &substitution);
        // An alias warning of the open is no concern of later conversions.
        status = U_ZERO_ERROR;
        cache.entries.emplace(name, IcuObjects::Cache::Entry{converter, status});
    } else if (IsLastingIcuFailure(status) && cache.unknown_names < kRememberedUnknownNames) {
        ++cache.unknown_names;
        cache.entries.emplace(name, IcuObjects::Cache::Entry{nullptr, status});
    }
    return U_SUCCESS(status) ? converter : nullptr;
}

void ReleaseIcuObjects() {
    Cache().Release();
}

UCharsetDetector* CachedDetector(UErrorCode& status) {
    IcuObjects::Cache& cache = Cache();
    status = U_ZERO_ERROR;
    if (cache.detector) return cache.detector;
    status = RetryIcuCall(u"uconvconvert(ucsdet_open)内でエラーが発生しました。 : %hs\n再起動中...\n",
                          [&](UErrorCode& s) { cache.detector = ucsdet_open(&s); });
    if (U_FAILURE(status)) cache.detector = nullptr;
    return cache.detector;
}

} // namespace dornick

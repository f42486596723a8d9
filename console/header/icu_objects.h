#pragma once
// ICU objects that the conversions keep open: opening a converter or the charset detector costs far
// more than a header name's conversion. A run owns one set and binds it to the thread that works
// for it; a thread that has none bound uses a set of its own.

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/unorm2.h>

#include <memory>
#include <string>

#include "console/header/icu_retry.h"

namespace dornick {

/// The converters and the detector opened so far, the retry rule and the failure reporter.
struct IcuObjects {
    IcuObjects();
    ~IcuObjects();
    IcuObjects(const IcuObjects&) = delete;
    IcuObjects& operator=(const IcuObjects&) = delete;

    /// Closes the converters and the detector. It must run before ICU's own clean-up: a detector
    /// closed after it no longer knows how many results it holds, and leaks them.
    void Release();

    IcuRetryPolicy retry;
    IcuFailureReporter reporter; ///< DefaultIcuFailureReporter() when made

    struct Cache;
    std::unique_ptr<Cache> cache;
};

/// Makes `objects` the set the conversions of this thread use while it lasts; the set bound before
/// is bound again when it goes.
class IcuObjectsInUse {
  public:
    explicit IcuObjectsInUse(IcuObjects& objects);
    ~IcuObjectsInUse();
    IcuObjectsInUse(const IcuObjectsInUse&) = delete;
    IcuObjectsInUse& operator=(const IcuObjectsInUse&) = delete;

  private:
    IcuObjects* previous_;
};

/// The reporter every new set starts with (the run's wrappers install theirs before main).
IcuFailureReporter& DefaultIcuFailureReporter();

/// The open converter for `name` (bytes it cannot read become U+FFFD), or null with the open's
/// status in `status` (U_FILE_ACCESS_ERROR for a name ICU has no converter for). Passing failures are
/// retried and reported; the converter stays owned by the set in use.
UConverter* CachedConverter(const std::string& name, UErrorCode& status);

/// Closes the converters and the detector of the set in use.
void ReleaseIcuObjects();
/// The charset detector, or null with the status when it could not be opened after all attempts.
UCharsetDetector* CachedDetector(UErrorCode& status);

} // namespace dornick

#pragma once
// ICU objects that the conversions keep open for the life of the thread: opening a converter or the
// charset detector costs far more than a header name's conversion.

#include <unicode/ucnv.h>
#include <unicode/ucsdet.h>
#include <unicode/unorm2.h>

#include <string>

namespace dornick {

/// The open converter for `name` (bytes it cannot read become U+FFFD), or null with the open's
/// status in `status` (U_FILE_ACCESS_ERROR for a name ICU has no converter for). Passing failures are
/// retried and reported; the converter stays owned by the cache.
UConverter* CachedConverter(const std::string& name, UErrorCode& status);

/// Closes the converters and the detector kept for this thread. It must run before ICU's own
/// clean-up: a detector closed after it no longer knows how many results it holds, and leaks them.
void ReleaseIcuObjects();
/// The charset detector, or null with the status when it could not be opened after all attempts.
UCharsetDetector* CachedDetector(UErrorCode& status);

} // namespace dornick

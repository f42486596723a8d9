#pragma once
// The retry rule for ICU calls that fail: a report with ICU's name of the status, a wait, and another
// attempt, up to a fixed number of attempts in a row. The header readers never print: the run
// installs the reporter that turns a report into its message on standard error.

#include <unicode/utypes.h>

#include <chrono>
#include <string_view>
#include <thread>

namespace dornick {

/// How often and how patiently a failing ICU call is repeated.
struct IcuRetryPolicy {
    int attempts = 1201;
    std::chrono::milliseconds wait{250};
};

/// The policy in force (tests shorten it).
IcuRetryPolicy& CurrentIcuRetryPolicy();

/// Reports a failed ICU call: `message` holds "%hs" for ICU's name of the status. Called at the
/// moment of the failure, before the retry's wait, so that the message comes out in its place.
using IcuFailureReporter = void (*)(std::u16string_view message, const char* status_name);

/// The reporter in force; null (the default) lets failures pass silently.
IcuFailureReporter& CurrentIcuFailureReporter();

/// Hands a failure to the reporter in force.
inline void ReportIcuFailure(std::u16string_view message, UErrorCode status) {
    if (const IcuFailureReporter report = CurrentIcuFailureReporter()) report(message, u_errorName(status));
}

/// True for a failure that a later attempt cannot cure. An ICU call given the same arguments fails
/// the same way again, whatever the status (a name ICU does not know or whose data is missing, an
/// argument it rejects, a result too long, an ISO-2022 label with options it cannot open): only a
/// shortage of memory may pass, so only that is retried. Every other failure returns at once, so that
/// no input can keep a conversion busy.
constexpr bool IsLastingIcuFailure(UErrorCode status) {
    return status != U_MEMORY_ALLOCATION_ERROR;
}

/// Runs call(status) with a cleared status until it reports no error; a passing failure is reported
/// with `message` (ICU's status name for %hs) and retried after the policy's wait. A lasting failure
/// returns at once without a message. Returns the status of the last attempt.
template <typename Call> UErrorCode RetryIcuCall(std::u16string_view message, Call&& call) {
    const IcuRetryPolicy policy = CurrentIcuRetryPolicy();
    UErrorCode status = U_ZERO_ERROR;
    for (int attempt = 0; attempt < policy.attempts; ++attempt) {
        status = U_ZERO_ERROR;
        call(status);
        if (U_SUCCESS(status) || IsLastingIcuFailure(status)) return status;
        ReportIcuFailure(message, status);
        std::this_thread::sleep_for(policy.wait);
    }
    return status;
}

} // namespace dornick

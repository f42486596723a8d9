#pragma once
// Calendar times as the mail date gives them, their conversion to file times, and their display in
// the user's language.

#include <cstdint>
#include <ctime>
#include <string>

namespace platform {

/// A calendar moment by its fields, as a mail date gives it (no time zone attached).
struct SystemTime {
    uint16_t wYear = 0, wMonth = 0, wDayOfWeek = 0, wDay = 0;
    uint16_t wHour = 0, wMinute = 0, wSecond = 0, wMilliseconds = 0;
    bool IsZero() const {
        return wYear == 0 && wMonth == 0 && wDay == 0 && wHour == 0 && wMinute == 0 && wSecond == 0;
    }
};

/// The moment that the fields name in the process's local time zone (TZ respected).
bool LocalTimeToEpoch(const SystemTime& time, std::time_t& epoch);

/// Japan time (UTC+9, no summer time) is nine hours ahead of UTC.
constexpr std::time_t kJapanOffsetSeconds = 9 * 3600;

/// The moment that the fields name as a Japan wall time, the zone mail dates are converted to:
/// the same moment on every machine, whatever its time zone.
bool JapanTimeToEpoch(const SystemTime& time, std::time_t& epoch);

/// The fields formatted with an ICU pattern in the user's locale (LC_ALL, LC_TIME, LANG).
std::u16string FormatTime(const SystemTime& time, const char16_t* pattern);
/// "2017年1月3日 火曜日" (pattern "yyyy年M月d日 EEEE") in the user's locale.
std::u16string FormatLongDate(const SystemTime& time);
/// "10時5分0秒" (pattern "H時m分s秒") in the user's locale.
std::u16string FormatLongTime(const SystemTime& time);

} // namespace platform

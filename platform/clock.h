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

/// "2017年1月3日 火曜日" (pattern "yyyy年M月d日 EEEE") in the user's locale.
std::u16string FormatLongDate(const SystemTime& time);
/// "10時5分0秒" (pattern "H時m分s秒") in the user's locale.
std::u16string FormatLongTime(const SystemTime& time);

} // namespace platform

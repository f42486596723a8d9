#include "platform/clock.h"

#include <cstdlib>
#include <memory>
#include <unicode/calendar.h>
#include <unicode/gregocal.h>
#include <unicode/locid.h>
#include <unicode/smpdtfmt.h>
#include <unicode/timezone.h>

namespace platform {
namespace {

// The user's locale for dates: LC_ALL, then LC_TIME, then LANG, as the C library reads them.
icu::Locale UserLocale() {
    for (const char* name : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value) {
            std::string id(value);
            id = id.substr(0, id.find_first_of(".@"));
            if (id == "C" || id == "POSIX") return icu::Locale("en_US_POSIX");
            return icu::Locale(id.c_str());
        }
    }
    return icu::Locale("en_US_POSIX");
}

std::u16string FormatWithPattern(const SystemTime& time, const char16_t* pattern) {
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale locale = UserLocale();
    // The fields are shown as they are: the formatter and its calendar both work in GMT, so no
    // zone shifts them.
    std::unique_ptr<icu::TimeZone> gmt(icu::TimeZone::createTimeZone(u"GMT"));
    icu::GregorianCalendar calendar(*gmt, locale, status);
    calendar.clear();
    calendar.set(time.wYear, time.wMonth - 1, time.wDay, time.wHour, time.wMinute, time.wSecond);
    UDate moment = calendar.getTime(status);
    icu::SimpleDateFormat format(icu::UnicodeString(pattern), locale, status);
    if (U_FAILURE(status)) return {};
    format.setTimeZone(*gmt);
    icu::UnicodeString text;
    format.format(moment, text);
    return std::u16string(text.getBuffer(), static_cast<size_t>(text.length()));
}

} // namespace

bool LocalTimeToEpoch(const SystemTime& time, std::time_t& epoch) {
    std::tm fields{};
    fields.tm_year = time.wYear - 1900;
    fields.tm_mon = time.wMonth - 1;
    fields.tm_mday = time.wDay;
    fields.tm_hour = time.wHour;
    fields.tm_min = time.wMinute;
    fields.tm_sec = time.wSecond;
    fields.tm_isdst = -1;
    epoch = std::mktime(&fields);
    return epoch != static_cast<std::time_t>(-1);
}

bool JapanTimeToEpoch(const SystemTime& time, std::time_t& epoch) {
    std::tm fields{};
    fields.tm_year = time.wYear - 1900;
    fields.tm_mon = time.wMonth - 1;
    fields.tm_mday = time.wDay;
    fields.tm_hour = time.wHour;
    fields.tm_min = time.wMinute;
    fields.tm_sec = time.wSecond;
    epoch = ::timegm(&fields) - kJapanOffsetSeconds;
    return true;
}

std::u16string FormatTime(const SystemTime& time, const char16_t* pattern) {
    return FormatWithPattern(time, pattern);
}

std::u16string FormatLongDate(const SystemTime& time) {
    return FormatWithPattern(time, u"yyyy年M月d日 EEEE");
}
std::u16string FormatLongTime(const SystemTime& time) {
    return FormatWithPattern(time, u"H時m分s秒");
}

} // namespace platform

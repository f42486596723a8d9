#include "console/header/mail_date.h"

#include <climits>
#include <string_view>
#include <vector>

#include "console/decode/ascii_text.h"
#include "platform/format.h"
#include "platform/text.h"

namespace dornick {
namespace {

constexpr int kJapanOffsetMinutes = 9 * 60;
constexpr int kDaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr std::u16string_view kMonthNames[12] = {u"Jan", u"Feb", u"Mar", u"Apr", u"May", u"Jun",
                                                 u"Jul", u"Aug", u"Sep", u"Oct", u"Nov", u"Dec"};

struct NamedZone {
    std::u16string_view name;
    int offset_minutes;
};

// A zone given by name instead of digits: the RFC 5322 names, and JST, which most Japanese mail
// programs write. Any other name is read as UTC.
constexpr NamedZone kNamedZones[] = {
    {u"UT", 0},     {u"GMT", 0},    {u"Z", 0},      {u"JST", 540},  {u"EST", -300}, {u"EDT", -240},
    {u"CST", -360}, {u"CDT", -300}, {u"MST", -420}, {u"MDT", -360}, {u"PST", -480}, {u"PDT", -420},
};

struct NumberRead {
    int value = 0;
    int digits = 0;
};

// The number at the start of a text, read like the C library's atoi: an optional sign, then
// decimal digits; an overflow saturates.
NumberRead ReadLeadingNumber(std::u16string_view text) {
    NumberRead read;
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
    long long value = 0;
    for (; i < text.size() && IsAsciiDigit(text[i]); ++i) {
        if (value < INT_MAX) value = value * 10 + (text[i] - u'0');
        ++read.digits;
    }
    if (value > INT_MAX) value = INT_MAX;
    read.value = static_cast<int>(negative ? -value : value);
    return read;
}

// The number written in up to two characters at `position` (fewer when the text ends first).
int ReadTwoAt(std::u16string_view text, size_t position) {
    if (position >= text.size()) return 0;
    return ReadLeadingNumber(text.substr(position, 2)).value;
}

// 64-bit, so that the largest numbers a text can give never overflow.
int64_t FloorDiv(int64_t a, int64_t b) {
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}
int64_t FloorMod(int64_t a, int64_t b) {
    return a - FloorDiv(a, b) * b;
}

bool IsLeapYear(int64_t year) {
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int DaysInMonth(int month, int64_t year) {
    if (month == 2 && IsLeapYear(year)) return 29;
    return kDaysPerMonth[month - 1];
}

std::vector<std::u16string_view> SplitTokens(std::u16string_view text) {
    std::vector<std::u16string_view> tokens;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsBlank(text[i]))
            ++i;
        size_t begin = i;
        while (i < text.size() && !IsBlank(text[i]))
            ++i;
        if (i > begin) tokens.push_back(text.substr(begin, i - begin));
    }
    return tokens;
}

// RFC 5322 reads a two-digit year 00-49 as 2000-2049 and 50-99 as 1950-1999, and a three-digit
// year as 1900 plus it; a year written with four digits stays.
int ExpandYear(const NumberRead& year) {
    if (year.digits <= 2) return year.value < 50 ? 2000 + year.value : 1900 + year.value;
    if (year.digits == 3) return 1900 + year.value;
    return year.value;
}

// Years outside these cannot be a mail's (nor a file time worth setting): such a text is misread.
constexpr int64_t kFirstYear = 1900;
constexpr int64_t kLastYear = 9999;

// Reads `count` digits at `at`; false when any of them is not a digit.
bool ReadDigits(std::u16string_view text, size_t at, size_t count, int64_t& value) {
    if (at + count > text.size()) return false;
    value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!IsAsciiDigit(text[i])) return false;
        value = value * 10 + (text[i] - u'0');
    }
    return true;
}

// The separator inside a time; the sanitising of the date text has turned ":" into "_".
bool IsTimeSeparator(char16_t c) {
    return c == u':' || c == u'_';
}

struct Clock {
    int64_t hour = 0, minute = 0, second = 0;
};

// A time "h:mm", "hh:mm", "h:mm:ss" or "hh:mm:ss" (a fraction of a second after "." is passed
// over) at the start of `text`; the number of units read, or 0 (and `result` untouched) when the
// text does not start so.
size_t ReadClock(std::u16string_view text, Clock& result) {
    Clock clock;
    size_t hour_digits = 0;
    while (hour_digits < text.size() && hour_digits < 3 && IsAsciiDigit(text[hour_digits]))
        ++hour_digits;
    if (hour_digits < 1 || hour_digits > 2) return 0;
    ReadDigits(text, 0, hour_digits, clock.hour);
    size_t at = hour_digits;
    if (at >= text.size() || !IsTimeSeparator(text[at]) || !ReadDigits(text, at + 1, 2, clock.minute))
        return 0;
    at += 3;
    if (at < text.size() && IsTimeSeparator(text[at]) && ReadDigits(text, at + 1, 2, clock.second)) {
        at += 3;
        if (at < text.size() && text[at] == u'.' && at + 1 < text.size() && IsAsciiDigit(text[at + 1]))
            for (++at; at < text.size() && IsAsciiDigit(text[at]);)
                ++at;
    }
    if (at < text.size() && IsAsciiDigit(text[at])) return 0;
    result = clock;
    return at;
}

bool ClockInRange(const Clock& clock) {
    // A leap second is the last second of its minute.
    return clock.hour <= 23 && clock.minute <= 59 && clock.second <= 60;
}

int ZoneOffsetMinutes(std::u16string_view zone) {
    std::u16string_view bare = zone;
    if (bare.size() >= 2 && bare.front() == u'(' && bare.back() == u')')
        bare = bare.substr(1, bare.size() - 2);
    for (const NamedZone& named : kNamedZones)
        if (platform::EqualsNoCaseAscii(bare, named.name)) return named.offset_minutes;
    if (zone.size() < 4) return 0;
    // "+09:00" (ISO 8601, its colon sanitised to "_" in a folder's text) as well as "+0900".
    const size_t minutes_at = zone.size() >= 6 && IsTimeSeparator(zone[3]) ? 4 : 3;
    int offset = ReadTwoAt(zone, 1) * 60 + ReadTwoAt(zone, minutes_at);
    return zone[0] == u'+' ? offset : -offset;
}

// The date a numeric form gives: "yyyy-mm-dd" (ISO 8601) or "yyyy/mm/dd", the separator written
// the same both times ("_" after sanitising). Units read, or 0.
size_t ReadNumericDate(std::u16string_view token, int64_t& year, int& month, int64_t& day) {
    int64_t year_value = 0, month_value = 0, day_value = 0;
    if (token.size() < 10 || !ReadDigits(token, 0, 4, year_value)) return 0;
    const char16_t separator = token[4];
    if ((separator != u'-' && separator != u'/' && separator != u'_') || token[7] != separator) return 0;
    if (!ReadDigits(token, 5, 2, month_value) || !ReadDigits(token, 8, 2, day_value)) return 0;
    if (token.size() > 10 && IsAsciiDigit(token[10])) return 0;
    year = year_value;
    month = static_cast<int>(month_value);
    day = day_value;
    return 10;
}

// A number written as a whole token, perhaps followed by a comma ("7," in "Mon, 7 Dec").
bool IsWholeNumber(std::u16string_view token, const NumberRead& number) {
    const size_t digits = static_cast<size_t>(number.digits);
    return digits > 0 && IsAsciiDigit(token[0]) &&
           (digits == token.size() || (digits + 1 == token.size() && token.back() == u','));
}

int MonthOf(std::u16string_view token) {
    if (token.size() < 3) return 0;
    for (int m = 0; m < 12; ++m)
        if (platform::EqualsNoCaseAscii(token.substr(0, 3), kMonthNames[m])) return m + 1;
    return 0;
}

struct MailMoment {
    int64_t year = 0, day = 0;
    int month = 0;
    Clock clock;
    bool have_clock = false;
    std::u16string_view zone; // empty: the time stands as written
};

// Day, month and year from the blank-separated tokens after the label, in the forgiving order
// mail programs write them ("Mon, 7 Dec 2026", "Dec 7 2026", "Mon Dec 7 20:14:11 2026"), or from
// one numeric date ("2026-12-07T20:14:11+09:00", "2026/12/07 20:14"). False when the text does
// not hold a whole date this way: no part of it is then taken.
bool ReadMoment(const std::vector<std::u16string_view>& tokens, MailMoment& moment) {
    bool have_day = false, have_month = false, have_year = false;
    size_t next = 1;
    for (; next < tokens.size() && !(have_day && have_month && have_year); ++next) {
        const std::u16string_view token = tokens[next];
        if (!have_day && !have_month && !have_year) {
            if (const size_t used = ReadNumericDate(token, moment.year, moment.month, moment.day)) {
                have_day = have_month = have_year = true;
                std::u16string_view rest = token.substr(used);
                if (!rest.empty() && (rest[0] == u'T' || rest[0] == u't')) {
                    const size_t clock = ReadClock(rest.substr(1), moment.clock);
                    if (clock == 0) return false;
                    moment.have_clock = true;
                    rest = rest.substr(1 + clock);
                    if (!rest.empty()) moment.zone = rest;
                } else if (!rest.empty()) {
                    return false;
                }
                ++next;
                break;
            }
        }
        const NumberRead number = ReadLeadingNumber(token);
        if (number.digits > 0 || token[0] == u'+' || token[0] == u'-') {
            if (have_day && have_month && !have_year && !moment.have_clock &&
                ReadClock(token, moment.clock) == token.size()) {
                // The time before the year, as in "Mon Dec 7 20:14:11 2026".
                moment.have_clock = true;
                continue;
            }
            if (!IsWholeNumber(token, number)) return false;
            if (!have_day) {
                if (number.digits > 2) return false;
                moment.day = number.value;
                have_day = true;
            } else if (!have_year) {
                if (number.digits < 2 || number.digits > 4) return false;
                moment.year = ExpandYear(number);
                have_year = true;
            }
            continue;
        }
        if (const int month = MonthOf(token); month != 0 && !have_month) {
            moment.month = month;
            have_month = true;
        }
    }
    if (!(have_day && have_month && have_year)) return false;
    if (moment.year < kFirstYear || moment.year > kLastYear || moment.month < 1 || moment.month > 12 ||
        moment.day < 1 || moment.day > DaysInMonth(moment.month, moment.year))
        return false;

    if (!moment.have_clock && moment.zone.empty() && next < tokens.size()) {
        const std::u16string_view token = tokens[next];
        const size_t used = ReadClock(token, moment.clock);
        if (used == 0) return true; // no time: midnight, as written
        moment.have_clock = true;
        ++next;
        if (used < token.size()) moment.zone = token.substr(used); // "20:14:11+0900"
    }
    if (moment.have_clock && !ClockInRange(moment.clock)) return false;
    if (moment.have_clock && moment.zone.empty() && next < tokens.size()) moment.zone = tokens[next];
    if (!moment.have_clock) moment.zone = {};
    return true;
}

// The moment in Japan time: the zone's offset taken away, nine hours added, the day carried over
// into the month and the year as far as the shift reaches.
void ToJapanTime(MailMoment& moment) {
    if (moment.zone.empty()) return;
    const int64_t offset = ZoneOffsetMinutes(moment.zone);
    const int64_t total = moment.clock.minute - offset + kJapanOffsetMinutes;
    moment.clock.minute = FloorMod(total, 60);
    const int64_t hours = moment.clock.hour + FloorDiv(total, 60);
    moment.clock.hour = FloorMod(hours, 24);
    moment.day += FloorDiv(hours, 24);
    while (moment.day > DaysInMonth(moment.month, moment.year)) {
        moment.day -= DaysInMonth(moment.month, moment.year);
        if (++moment.month > 12) {
            moment.month = 1;
            ++moment.year;
        }
    }
    while (moment.day < 1) {
        if (--moment.month < 1) {
            moment.month = 12;
            --moment.year;
        }
        moment.day += DaysInMonth(moment.month, moment.year);
    }
}

} // namespace

bool ParseMailDate(std::u16string& text, platform::SystemTime& time) {
    time = platform::SystemTime{};
    MailMoment moment;
    if (!ReadMoment(SplitTokens(text), moment)) return false;
    ToJapanTime(moment);
    if (moment.year < kFirstYear || moment.year > kLastYear) return false;
    if (moment.clock.second == 60) moment.clock.second = 59;

    text = platform::Format(u"%04d-%02d-%02d",
                            {static_cast<long long>(moment.year), static_cast<long long>(moment.month),
                             static_cast<long long>(moment.day)});
    time.wYear = static_cast<uint16_t>(moment.year);
    time.wMonth = static_cast<uint16_t>(moment.month);
    time.wDay = static_cast<uint16_t>(moment.day);
    time.wHour = static_cast<uint16_t>(moment.clock.hour);
    time.wMinute = static_cast<uint16_t>(moment.clock.minute);
    time.wSecond = static_cast<uint16_t>(moment.clock.second);
    return true;
}

} // namespace dornick

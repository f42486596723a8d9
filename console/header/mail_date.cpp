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
constexpr size_t kDateTextLimit = 1023;
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

int ZoneOffsetMinutes(std::u16string_view zone) {
    std::u16string_view bare = zone;
    if (bare.size() >= 2 && bare.front() == u'(' && bare.back() == u')')
        bare = bare.substr(1, bare.size() - 2);
    for (const NamedZone& named : kNamedZones)
        if (platform::EqualsNoCaseAscii(bare, named.name)) return named.offset_minutes;
    if (zone.size() < 4) return 0;
    int offset = ReadTwoAt(zone, 1) * 60 + ReadTwoAt(zone, 3);
    return zone[0] == u'+' ? offset : -offset;
}

} // namespace

void ParseMailDate(std::u16string& text, platform::SystemTime& time) {
    time = platform::SystemTime{};
    std::vector<std::u16string_view> tokens = SplitTokens(text);
    if (tokens.empty()) return;

    int64_t day = 0, year = 0;
    int month = 0;
    bool have_day = false, have_month = false, have_year = false;
    size_t next = 1;
    for (; next < tokens.size() && !(have_day && have_month && have_year); ++next) {
        std::u16string_view token = tokens[next];
        NumberRead number = ReadLeadingNumber(token);
        // A year written "00" reads as zero; once the day is known it is still the year 2000.
        bool zero_year = have_day && !have_year && number.value == 0 && number.digits == 2 &&
                         token[0] != u'+' && token[0] != u'-';
        if (number.value != 0 || zero_year) {
            if (!have_day) {
                day = number.value;
                have_day = true;
            } else if (!have_year) {
                year = ExpandYear(number);
                have_year = true;
            }
            continue;
        }
        for (int m = 0; m < 12; ++m)
            if (token.size() >= 3 && platform::EqualsNoCaseAscii(token.substr(0, 3), kMonthNames[m])) {
                month = m + 1;
                have_month = true;
                break;
            }
    }

    int64_t hour = 0, minute = 0, second = 0;
    if (have_day && have_month && have_year && next < tokens.size()) {
        std::u16string_view clock = tokens[next++];
        hour = ReadLeadingNumber(clock).value;
        if (clock.size() >= 4) minute = ReadTwoAt(clock, 3);
        if (clock.size() >= 7) second = ReadTwoAt(clock, 6);
        if (next < tokens.size()) {
            int64_t offset = ZoneOffsetMinutes(tokens[next]);
            int64_t total = minute - offset + kJapanOffsetMinutes;
            minute = FloorMod(total, 60);
            int64_t hours = hour + FloorDiv(total, 60);
            hour = FloorMod(hours, 24);
            day += FloorDiv(hours, 24);
            // One month step at most; a date without a month has no month length and no carry.
            if (month >= 1 && month <= 12) {
                if (day > DaysInMonth(month, year)) {
                    day -= DaysInMonth(month, year);
                    if (++month > 12) {
                        month = 1;
                        ++year;
                    }
                } else if (day < 1) {
                    if (--month < 1) {
                        month = 12;
                        --year;
                    }
                    day += DaysInMonth(month, year);
                }
            }
        }
    }

    if (have_year) {
        // Each field is held as text of at most 7 units, as it is written into the folder name.
        auto field = [](int64_t value, const char16_t* format) {
            return platform::Format(format, {static_cast<long long>(value)}).substr(0, 7);
        };
        std::u16string folder = field(year, u"%04d");
        folder += u'-';
        if (have_month) folder += field(month, u"%02d");
        folder += u'-';
        folder += field(day, u"%02d");
        text = folder.substr(0, kDateTextLimit);
    }
    time.wYear = static_cast<uint16_t>(year);
    time.wMonth = static_cast<uint16_t>(month);
    time.wDay = static_cast<uint16_t>(day);
    time.wHour = static_cast<uint16_t>(hour);
    time.wMinute = static_cast<uint16_t>(minute);
    time.wSecond = static_cast<uint16_t>(second);
}

} // namespace dornick

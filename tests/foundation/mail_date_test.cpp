#include "console/header/mail_date.h"

#include <gtest/gtest.h>

namespace dornick {
namespace {

struct DateRow {
    const char16_t* text;
    const char16_t* folder;
    int year, month, day, hour, minute, second;
};

// Each row: the date text as the walk builds it, the folder name it gives, and the moment in
// Japan time.
constexpr DateRow kDates[] = {
    {u"Date: Mon, 7 Dec 2026 20:14:11 +0900", u"2026-12-07", 2026, 12, 7, 20, 14, 11},
    {u"Date: Mon, 7 Dec 2026 20:14:11 +0000", u"2026-12-08", 2026, 12, 8, 5, 14, 11},
    {u"Date: Mon, 7 Dec 2026 10:05:00 -0500", u"2026-12-08", 2026, 12, 8, 0, 5, 0},
    {u"Date: Thu, 1 Jan 2026 00:30:00 +1000", u"2025-12-31", 2025, 12, 31, 23, 30, 0},
    {u"Date: Wed, 28 Feb 2024 23:00:00 +0000", u"2024-02-29", 2024, 2, 29, 8, 0, 0},
    {u"Date: Tue, 28 Feb 2023 23:00:00 +0000", u"2023-03-01", 2023, 3, 1, 8, 0, 0},
    {u"Date: 28 Feb 2000 23:00:00 +0000", u"2000-02-29", 2000, 2, 29, 8, 0, 0},
    {u"Date: 28 Feb 1900 23:00:00 +0000", u"1900-03-01", 1900, 3, 1, 8, 0, 0},
    {u"Date: 7 Dec 2026 20:14:11", u"2026-12-07", 2026, 12, 7, 20, 14, 11},
    {u"Date: 7 Dec 2026", u"2026-12-07", 2026, 12, 7, 0, 0, 0},
    {u"Date: Sat, 31 Dec 2016 23:59:59 +0000", u"2017-01-01", 2017, 1, 1, 8, 59, 59},
    {u"Date: Mon, 7 Dec 2026 20:14:11 +0530", u"2026-12-07", 2026, 12, 7, 23, 44, 11},
    {u"Date:\tMon,\t7  dec\t2026 20:14:11 +0900 (JST)", u"2026-12-07", 2026, 12, 7, 20, 14, 11},
    {u"Date: Dec 7 2026 20:14:11 +0900", u"2026-12-07", 2026, 12, 7, 20, 14, 11},
    // Named zones: JST and the RFC 5322 names have their offsets; other names are UTC.
    {u"Date: 7 Dec 2026 20:14:11 JST", u"2026-12-07", 2026, 12, 7, 20, 14, 11},
    {u"Date: 7 Dec 2026 20:14:11 GMT", u"2026-12-08", 2026, 12, 8, 5, 14, 11},
    {u"Date: 7 Dec 2026 20:14:11 UT", u"2026-12-08", 2026, 12, 8, 5, 14, 11},
    {u"Date: 7 Dec 2026 20:14:11 Z", u"2026-12-08", 2026, 12, 8, 5, 14, 11},
    {u"Date: 7 Dec 2026 10:00:00 EST", u"2026-12-08", 2026, 12, 8, 0, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 EDT", u"2026-12-07", 2026, 12, 7, 23, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 cst", u"2026-12-08", 2026, 12, 8, 1, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 CDT", u"2026-12-08", 2026, 12, 8, 0, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 MST", u"2026-12-08", 2026, 12, 8, 2, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 MDT", u"2026-12-08", 2026, 12, 8, 1, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 PST", u"2026-12-08", 2026, 12, 8, 3, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 PDT", u"2026-12-08", 2026, 12, 8, 2, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 (JST)", u"2026-12-07", 2026, 12, 7, 10, 0, 0},
    {u"Date: 7 Dec 2026 10:00:00 CEST", u"2026-12-07", 2026, 12, 7, 19, 0, 0},
    // Two- and three-digit years as RFC 5322 reads them.
    {u"Date: 7 Dec 26 20:14:11 +0900", u"2026-12-07", 2026, 12, 7, 20, 14, 11},
    {u"Date: 7 Dec 49", u"2049-12-07", 2049, 12, 7, 0, 0, 0},
    {u"Date: 7 Dec 50", u"1950-12-07", 1950, 12, 7, 0, 0, 0},
    {u"Date: 31 Dec 99 23:00:00 +0000", u"2000-01-01", 2000, 1, 1, 8, 0, 0},
    {u"Date: 7 Dec 00 12:00:00 +0900", u"2000-12-07", 2000, 12, 7, 12, 0, 0},
    {u"Date: 7 Dec 126", u"2026-12-07", 2026, 12, 7, 0, 0, 0},
    // Forgiving reads of texts that still name one moment.
    {u"Date: Mon, 31 Jan 2026 23:00:00 -0900", u"2026-02-01", 2026, 2, 1, 17, 0, 0},
    {u"Date: 7 Dec 2026 9:15:30 +0900", u"2026-12-07", 2026, 12, 7, 9, 15, 30},
    {u"Date: 7 Dec 2026 20:14 +0900", u"2026-12-07", 2026, 12, 7, 20, 14, 0},
    {u"Date: Mon Dec  7 20:14:11 2026", u"2026-12-07", 2026, 12, 7, 20, 14, 11},
    {u"Date: Mon Dec  7 20:14:11 2026 +0000", u"2026-12-08", 2026, 12, 8, 5, 14, 11},
    {u"Date: 7 Dec 2026 20:14:11 +05:30", u"2026-12-07", 2026, 12, 7, 23, 44, 11},
    {u"Date: 7 Dec 2026 20:14:11+0000", u"2026-12-08", 2026, 12, 8, 5, 14, 11},
    {u"Date: 31 Dec 2016 23:59:60 +0900", u"2016-12-31", 2016, 12, 31, 23, 59, 59},
    // A date without a time, or with something else where the time stands, is that day at 0:00.
    {u"Date: 7 Dec 2026 +0000", u"2026-12-07", 2026, 12, 7, 0, 0, 0},
    {u"Date: 7 Dec 2026 (JST)", u"2026-12-07", 2026, 12, 7, 0, 0, 0},
    // ISO 8601 and "yyyy/mm/dd hh:mm +zzzz", also with ":" and "/" sanitised to "_".
    {u"Date: 2026-12-07T10:00:00+09:00", u"2026-12-07", 2026, 12, 7, 10, 0, 0},
    {u"Date_ 2026-12-07T10_00_00+09_00", u"2026-12-07", 2026, 12, 7, 10, 0, 0},
    {u"Date: 2026-12-07T10:00:00Z", u"2026-12-07", 2026, 12, 7, 19, 0, 0},
    {u"Date: 2026-12-07t23:30:00.250-05:00", u"2026-12-08", 2026, 12, 8, 13, 30, 0},
    {u"Date: 2026-12-07T10:00:00", u"2026-12-07", 2026, 12, 7, 10, 0, 0},
    {u"Date: 2026-12-07 10:00:00 +0000", u"2026-12-07", 2026, 12, 7, 19, 0, 0},
    {u"Date: 2026-12-31T20:00:00 -0500", u"2027-01-01", 2027, 1, 1, 10, 0, 0},
    {u"Date: 2026/12/07 10:00 +0900", u"2026-12-07", 2026, 12, 7, 10, 0, 0},
    {u"Date_ 2026_12_07 10_00 +0900", u"2026-12-07", 2026, 12, 7, 10, 0, 0},
    {u"Date: 2026/12/07", u"2026-12-07", 2026, 12, 7, 0, 0, 0},
    {u"Date: 2024-02-29T23:00:00+00:00", u"2024-03-01", 2024, 3, 1, 8, 0, 0},
};

TEST(ParseMailDate, TableOfDates) {
    for (const DateRow& row : kDates) {
        SCOPED_TRACE(std::string(row.text, row.text + std::char_traits<char16_t>::length(row.text)).c_str());
        std::u16string text = row.text;
        platform::SystemTime time;
        EXPECT_TRUE(ParseMailDate(text, time));
        EXPECT_EQ(text, row.folder);
        EXPECT_EQ(time.wYear, row.year);
        EXPECT_EQ(time.wMonth, row.month);
        EXPECT_EQ(time.wDay, row.day);
        EXPECT_EQ(time.wHour, row.hour);
        EXPECT_EQ(time.wMinute, row.minute);
        EXPECT_EQ(time.wSecond, row.second);
        EXPECT_EQ(time.wDayOfWeek, 0);
        EXPECT_EQ(time.wMilliseconds, 0);
    }
}

// Texts that hold no whole, real date: nothing of them is taken, neither for the folder nor for
// the time, so that the folder and the time never name different days.
TEST(ParseMailDate, TextsWithoutAWholeDateStayUnchanged) {
    for (const char16_t* original : {
             u"Date:",
             u"",
             u"   ",
             u"Date: Mon, Dec",
             u"Date: 7 Dec",
             u"Date: 0 Dec 0",
             u"Date: 7 2026 20:14:11",            // no month
             u"Date: Mon, 30 Feb 2026 10:00:00",  // no such day
             u"Date: 29 Feb 2023 10:00:00 +0900", // not a leap year
             u"Date: 32 Dec 2026",
             u"Date: 0 Dec 2026",
             u"Date: Dec 2026",                     // no day
             u"Date: Mon, Dec 2026 10:00:00 +0900", // no day, the time is no year
             u"Date: 7 Dec 5",                      // one digit is no year
             u"Date: 7 Dec 1899",
             u"Date: 7 Dec 10000",
             u"Date: 31 Dec 9999 23:00:00 +0000", // Japan time is in the year 10000
             u"Date: 7 Dec 2026 25:00:00 +0900",
             u"Date: 7 Dec 2026 10:60 +0900",
             u"Date: 7 Dec 2026 10:00:61 +0900",
             u"Date: 2026-13-07T10:00:00",
             u"Date: 2026-12-00",
             u"Date: 2026-12-07T25:00",
             u"Date: 2026-12-07T10",
             u"Date: 2026-12-07x",
             u"Date: 2026/12-07 10:00",
             u"Date: \u4ee4\u548c8\u5e7412\u67087\u65e5", // an era year (Reiwa 8)
             u"Date: R8.12.07",
             u"Date: H5/12/7",
             u"Date: 7-Dec-2026",
             u"Date: +7 Dec 2026",
             u"Date: -5 Dec -3 -1:-1:-1 -",
             u"Date: 99999999999 Dec 99999999999 99999999999:99:99 +9999",
         }) {
        SCOPED_TRACE(std::string(original, original + std::char_traits<char16_t>::length(original)).c_str());
        std::u16string text = original;
        platform::SystemTime time;
        time.wYear = 1234; // cleared by the call
        EXPECT_FALSE(ParseMailDate(text, time));
        EXPECT_EQ(text, original);
        EXPECT_TRUE(time.IsZero());
    }
}

TEST(ParseMailDate, PathologicalTextsNeverOverrun) {
    std::u16string huge = u"Date: " + std::u16string(1017, u'9');
    platform::SystemTime time;
    ParseMailDate(huge, time);
    EXPECT_LE(huge.size(), 1023u);
    std::u16string clocks = u"Date: 7 Dec 2026 " + std::u16string(1000, u':');
    EXPECT_TRUE(ParseMailDate(clocks, time));
    EXPECT_EQ(clocks, u"2026-12-07");
}

} // namespace
} // namespace dornick

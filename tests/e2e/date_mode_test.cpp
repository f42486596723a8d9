// Date mode: each mail file gets the date of its mail as its file times; nothing is extracted.

#include <filesystem>
#include <sys/mount.h>
#include <sys/stat.h>
#include <utime.h>

#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr time_t kUntouched = 1000000000; // 2001-09-09, set before each run

struct DateModeRow {
    const char* name;
    std::string mail;
    time_t expected;  // 0: the times stay as they were
    const char* date; // the report's date and time in a Japanese locale; null: no report
};

class DateMode : public TempDir {
  protected:
    time_t RunOn(const DateModeRow& row, const std::vector<std::string>& env, RunResult& r) {
        std::string path = Path(std::string(row.name) + ".eml");
        WriteFile(path, row.mail);
        struct utimbuf old = {kUntouched, kUntouched};
        ::utime(path.c_str(), &old);
        r = RunDornick({"/P", "/L", "/DM", path}, env);
        struct stat info;
        ::stat(path.c_str(), &info);
        if (info.st_mtime != kUntouched) EXPECT_EQ(info.st_atime, info.st_mtime);
        return info.st_mtime;
    }
};

TEST_F(DateMode, StampsEachMailWithItsDate) {
    const DateModeRow rows[] = {
        {"date", "Date: Tue, 3 Jan 2017 10:05:00 +0900\r\nFrom: a@b\r\n\r\nbody\r\n", 1483405500,
         "2017年1月3日 火曜日 10時5分0秒"},
        {"utc", "From: a@b\r\nDate: Mon, 2 Jan 2017 16:00:00 +0000\r\n\r\n", 1483372800,
         "2017年1月3日 火曜日 1時0分0秒"},
        {"received_first",
         "Received: from mx by example.jp;\r\n Tue, 3 Jan 2017 10:05:00 +0900\r\nDate: Sun, 1 Jan 2017 "
         "00:00:00 "
         "+0900\r\n\r\n",
         1483405500, "2017年1月3日 火曜日 10時5分0秒"},
        {"named_zone", "Date: Tue, 3 Jan 2017 10:05:00 JST\r\n\r\n", 1483405500,
         "2017年1月3日 火曜日 10時5分0秒"},
        {"two_digit_year", "Date: Tue, 3 Jan 17 10:05:00 +0900\r\n\r\n", 1483405500,
         "2017年1月3日 火曜日 10時5分0秒"},
        {"no_date", "From: a@b\r\nSubject: x\r\n\r\nno date anywhere\r\n", 0, nullptr},
        // The walk stops at a part's body: a date written in an attachment's text does not count.
        {"date_only_in_a_part",
         "From: a@b\r\nContent-Type: multipart/mixed; boundary=\"zz\"\r\n\r\n--zz\r\n\r\ntext\r\n--zz\r\n"
         "Content-Type: text/plain; name=\"a.txt\"\r\n\r\nDate: Tue, 3 Jan 2017 10:05:00 +0900\r\n--zz--\r\n",
         0, nullptr},
        {"unparsable_date", "Date: sometime soon\r\n\r\n", 0, nullptr},
        // A date is read whole or not at all: ISO 8601 and "yyyy/mm/dd" are read, a day that does
        // not exist sets nothing.
        {"iso_date", "Date: 2026-12-07T10:00:00+09:00\r\n\r\n", 1796605200,
         "2026年12月7日 月曜日 10時0分0秒"},
        {"slash_date", "Date: 2026/12/07 01:00 +0000\r\n\r\n", 1796605200, "2026年12月7日 月曜日 10時0分0秒"},
        {"impossible_day", "Date: Mon, 30 Feb 2026 10:00:00 +0900\r\n\r\n", 0, nullptr},
        {"date_at_end_without_line_end", "From: a@b\r\nDate: Tue, 3 Jan 2017 10:05:00 +0900", 1483405500,
         "2017年1月3日 火曜日 10時5分0秒"},
    };
    for (const DateModeRow& row : rows) {
        SCOPED_TRACE(row.name);
        RunResult r;
        time_t stamped = RunOn(row, {"LC_ALL=ja_JP.UTF-8", "TZ=Asia/Tokyo"}, r);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err_bytes, "");
        EXPECT_EQ(stamped, row.expected ? row.expected : kUntouched);
        std::u16string report;
        if (row.date)
            report = u"作成日時を " + U(row.date) + u" に変更しました。\n->\"" +
                     U(Path(std::string(row.name) + ".eml")) + u"\"\n\n";
        EXPECT_EQ(r.out_bytes, PipeBytes(report));
    }
    // Date mode logs nothing, so "/L" leaves no log file.
    EXPECT_FALSE(fs::exists(Path("dornick.txt")));
    EXPECT_EQ(ListTree(root).size(), std::size(rows));
}

// A time that cannot be set (the mail lies on a read-only file system) is reported and fails the
// run; the next mail is still stamped.
TEST_F(DateMode, ATimeThatCannotBeSetIsReported) {
    fs::create_directories(Path("ro"));
    const DateModeRow held{"held", "Date: Tue, 3 Jan 2017 10:05:00 +0900\r\n\r\n", 0, nullptr};
    WriteFile(Path("ro/held.eml"), held.mail);
    if (::mount(Path("ro").c_str(), Path("ro").c_str(), nullptr, MS_BIND, nullptr) != 0)
        GTEST_SKIP() << "no bind mount allowed here";
    const bool read_only =
        ::mount(nullptr, Path("ro").c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) == 0;
    WriteFile(Path("next.eml"), held.mail);
    const RunResult r = RunDornick({"/DM", Path("ro/held.eml"), Path("next.eml")}, {"TZ=Asia/Tokyo"});
    ::umount2(Path("ro").c_str(), MNT_DETACH);
    if (!read_only) GTEST_SKIP() << "no read-only remount allowed here";
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.Err(), u"作成日時を変更出来ませんでした。\n->\"" + U(Path("ro/held.eml")) + u"\"\n");
    struct stat info;
    ASSERT_EQ(::stat(Path("next.eml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1483405500);
}

TEST_F(DateMode, TheMailTimeIsTheSameMomentInEveryTimeZone) {
    DateModeRow row{"tz", "Date: Mon, 2 Jan 2017 20:05:00 -0500\r\n\r\n", 0, nullptr};
    for (const char* zone : {"TZ=Asia/Tokyo", "TZ=UTC", "TZ=America/New_York", "TZ=Europe/Berlin"}) {
        SCOPED_TRACE(zone);
        RunResult r;
        EXPECT_EQ(RunOn(row, {zone, "LC_ALL=C"}, r), 1483405500); // 01:05 UTC, 10:05 in Japan
        // The report shows the Japan time, in English outside a Japanese locale.
        EXPECT_EQ(r.Out(), u"Changed the file times to Tuesday, January 3, 2017 10:05:00.\n->\"" +
                               U(Path("tz.eml")) + u"\"\n\n");
    }
}

} // namespace
} // namespace e2e

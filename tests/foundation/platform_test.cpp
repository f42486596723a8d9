#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "platform/clock.h"
#include "platform/codepage.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/format.h"
#include "platform/paths.h"
#include "platform/read_ahead.h"
#include "platform/text.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

TEST(Format, Directives) {
    EXPECT_EQ(Format(u"%s-%s", {u"a", std::u16string(u"b")}), u"a-b");
    EXPECT_EQ(Format(u"%02d|%04d|%d|%d", {7, 26, -5, 0}), u"07|0026|-5|0");
    EXPECT_EQ(Format(u"_(%I64u)_", {18446744073709551615ull}), u"_(18446744073709551615)_");
    EXPECT_EQ(Format(u"%s%c%s", {u"a", char16_t(0x200E), u"b"}), u"a\u200Eb");
    EXPECT_EQ(Format(u"%hs!", {"U_MEMORY_ALLOCATION_ERROR"}), u"U_MEMORY_ALLOCATION_ERROR!");
    EXPECT_EQ(Format(u"100%% %s", {}), u"100% ");
    EXPECT_EQ(Format(u"CP%d", {932}), u"CP932");
}

TEST(Format, AppendKeepsAtMostTheLimit) {
    std::u16string out = u"xy";
    EXPECT_EQ(FormatAppend(out, 5, u"%s", {u"0123456789"}), 5u);
    EXPECT_EQ(out, u"xy01234");
}

TEST(Console, PipeFormIsUtf16LeWithCrLf) {
    std::string bytes = EncodeForPipe(u"a\n日");
    EXPECT_EQ(bytes, std::string("a\0\r\0\n\0\xE5\x65", 8));
}

TEST(Console, OnlyTheExactVariableAsksForUtf16) {
    struct Row {
        const char* value;
        PipeEncoding expected;
    };
    const Row rows[] = {{nullptr, PipeEncoding::Utf8},       {"", PipeEncoding::Utf8},
                        {"UTF-16LE", PipeEncoding::Utf16Le}, {"utf-16le", PipeEncoding::Utf16Le},
                        {"UTF-16", PipeEncoding::Utf8},      {"UTF-16LE ", PipeEncoding::Utf8},
                        {"UTF-8", PipeEncoding::Utf8}};
    for (const Row& row : rows)
        EXPECT_EQ(PipeEncodingFromEnvironment(row.value), row.expected)
            << (row.value ? row.value : "(unset)");
}

TEST(Text, Utf8RoundTripAndSubstitution) {
    EXPECT_EQ(Utf8ToU16("\xE8\xB3\x87\xE6\x96\x99"), u"資料");
    EXPECT_EQ(U16ToUtf8(u"資料"), "\xE8\xB3\x87\xE6\x96\x99");
    EXPECT_EQ(Utf8ToU16("a\xFF"), u"a\uFFFD");
    EXPECT_EQ(U16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

// Path bytes that are not UTF-8 come back byte for byte, and differ from their replacement text.
TEST(Text, PathBytesRoundTripLosslessly) {
    struct Row {
        std::string bytes;
        std::u16string text;
    };
    const Row rows[] = {
        {"plain/ascii.eml", u"plain/ascii.eml"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"caf\xE9", u"caf\xDCE9"},
        {"caf\xEF\xBF\xBD", u"caf\uFFFD"},
        {"\x93\xFA\x96\x7B", u"\xDC93\xDCFA\xDC96{"},      // Shift_JIS
        {"\xF0\x9F\x93\xA7", u"\U0001F4E7"},               // four bytes: a pair
        {"\xC0\xAF", u"\xDCC0\xDCAF"},                     // overlong "/"
        {"\xED\xB2\x80", u"\xDCED\xDCB2\xDC80"},           // an encoded surrogate
        {"\xF4\x90\x80\x80", u"\xDCF4\xDC90\xDC80\xDC80"}, // past U+10FFFF
        {"cut\xE3\x81", u"cut\xDCE3\xDC81"},
        {"\xF0\x90\x82\x80\xE9", u"\U00010080\xDCE9"}, // a pair whose low half looks like a byte
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.bytes);
        EXPECT_EQ(PathFromNative(row.bytes), row.text);
        EXPECT_EQ(NativeFromPath(row.text), row.bytes);
    }
    EXPECT_EQ(DisplayPath(u"/m/caf\xDCE9.eml"), u"/m/caf\\xe9.eml");
}

TEST(Paths, FullPathIsLexical) {
    ASSERT_EQ(::chdir("/tmp"), 0);
    EXPECT_EQ(FullPath(u"a/./b/../c"), u"/tmp/a/c");
    EXPECT_EQ(FullPath(u"/x/y/"), u"/x/y/");
    EXPECT_EQ(FullPath(u"/../.."), u"/");
    EXPECT_EQ(FullPath(u"../../../../q"), u"/q");
    // Absolute paths, plain or not.
    for (const auto& [path, full] :
         std::initializer_list<std::pair<std::u16string_view, std::u16string_view>>{
             {u"/", u"/"},
             {u"/a/b", u"/a/b"},
             {u"/a/b/", u"/a/b/"},
             {u"/.x/..y/z.", u"/.x/..y/z."},
             {u"/a//b", u"/a/b"},
             {u"//a", u"/a"},
             {u"/a/.", u"/a"},
             {u"/a/./", u"/a/"},
             {u"/a/..", u"/"},
             {u"/a/../b", u"/b"},
             {u"/a/b//", u"/a/b/"}})
        EXPECT_EQ(FullPath(path), full) << U16ToUtf8(path);
    EXPECT_EQ(DisplayPath(u"/x/y/"), u"/x/y");
    EXPECT_EQ(DisplayPath(u"/"), u"/");
    EXPECT_EQ(DisplayPath(u"sub//dir/"), u"/tmp/sub/dir");
}

class TempFolder : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/dornick-platform-XXXXXX";
        root = ::mkdtemp(name);
        ASSERT_EQ(::chdir(root.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(::chdir("/"), 0);
        fs::remove_all(root);
    }
    std::u16string U(const std::string& s) { return Utf8ToU16(s); }
    std::string root;
};

TEST_F(TempFolder, FolderSearchIsSortedAndFollowsNoLink) {
    for (const char* name :
         {"m/b.eml", "m/a/z.eml", "m/a/c/d.eml", "m/B.eml", "m/x.txt", "elsewhere/e.eml"}) {
        fs::create_directories((fs::path(root) / name).parent_path());
        std::ofstream(fs::path(root) / name) << "x";
    }
    fs::create_directory_symlink(fs::path(root) / "elsewhere", fs::path(root) / "m/link");
    std::vector<std::u16string> found;
    auto take = [](std::string_view name) {
        return name.size() > 4 && name.substr(name.size() - 4) == ".eml";
    };
    FolderSearch search;
    ASSERT_TRUE(FindFilesBelow(Utf8ToU16(root + "/m"), take, found, search));
    const std::u16string m = Utf8ToU16(root) + u"/m/";
    EXPECT_EQ(found,
              (std::vector<std::u16string>{m + u"B.eml", m + u"a/c/d.eml", m + u"a/z.eml", m + u"b.eml"}));
    EXPECT_TRUE(search.unreadable.empty());
    // A folder never to be entered is passed over, by identity: here reached by another path.
    FolderIdentity skipped;
    ASSERT_TRUE(IdentifyFolderAt(Utf8ToU16(root + "/m/a/../a/c"), skipped));
    search.never_entered = {skipped};
    found.clear();
    ASSERT_TRUE(FindFilesBelow(Utf8ToU16(root + "/m"), take, found, search));
    EXPECT_EQ(found, (std::vector<std::u16string>{m + u"B.eml", m + u"a/z.eml", m + u"b.eml"}));
    EXPECT_TRUE(IsFolder(Utf8ToU16(root + "/m/link")));
    EXPECT_FALSE(IsFolder(Utf8ToU16(root + "/m/b.eml")));
    found.clear();
    EXPECT_FALSE(FindFilesBelow(Utf8ToU16(root + "/none"), take, found, search));
    EXPECT_TRUE(found.empty());
}

TEST_F(TempFolder, CreateFolderChainMakesEveryLevelAndKeepsTheCurrentFolder) {
    EXPECT_EQ(CreateFolderChain(U(root + "/a/b/c")), 0);
    EXPECT_TRUE(fs::is_directory(root + "/a/b/c"));
    EXPECT_EQ(CurrentFolder(), U(root));
    EXPECT_EQ(CreateFolderChain(U(root + "/a/b/c")), 1); // the last folder existed already
    EXPECT_EQ(CreateFolderChain(U("rel/x/")), 0);
    EXPECT_TRUE(fs::is_directory(root + "/rel/x"));
    std::ofstream(root + "/file") << "x";
    EXPECT_EQ(CreateFolderChain(U(root + "/file/sub")), 1);
}

TEST_F(TempFolder, DeepFoldersAreOpenedBeyondPathMax) {
    std::string deep = root;
    std::string component(200, 'd');
    for (int i = 0; i < 25; ++i)
        deep += "/" + component; // about 5,000 bytes
    ASSERT_EQ(CreateFolderChain(U(deep)), 0);
    const UniqueFd folder = OpenFolder(U(deep));
    ASSERT_TRUE(folder);
    EXPECT_EQ(MakeFolderAt(folder.Get(), u"inner"), 0);
    EXPECT_TRUE(NameExistsAt(folder.Get(), u"inner"));
    EXPECT_TRUE(PathExists(U(deep)));
    EXPECT_FALSE(OpenFolder(U(deep + "/missing")));
    EXPECT_EQ(CurrentFolder(), U(root));
}

// A mail read ahead is handed over only while it is the file that was read; everything else is
// left to the usual open.
TEST_F(TempFolder, ReadAheadGivesOnlyUnchangedMailsInOrder) {
    auto write = [&](const std::string& name, const std::string& text) {
        std::ofstream(root + "/" + name, std::ios::binary | std::ios::trunc) << text;
        return U(root + "/" + name);
    };
    const std::u16string a = write("a.eml", "first mail"), b = write("b.eml", "second");
    const std::u16string changed = write("c.eml", "third"), large = write("d.eml", std::string(2 << 20, 'x'));
    const std::u16string empty = write("e.eml", ""), missing = U(root + "/none.eml");
    const std::u16string skipped = write("f.eml", "given up"), last = write("g.eml", "last");
    ReadAhead read_ahead;
    read_ahead.Start({a, b, changed, large, empty, missing, skipped, last});
    struct Row {
        std::u16string path;
        bool taken;
        std::string text;
    } rows[] = {
        {U(root + "/other.eml"), false, ""}, // not on the list: nothing is used up
        {a, true, "first mail"},
        {b, true, "second"},
        {changed, false, ""},
        {large, false, ""},
        {empty, false, ""},
        {missing, false, ""},
        {last, true, "last"}, // "f.eml" is passed over
        {skipped, false, ""},
    };
    // The first four are read before anything is taken; "c.eml" is then changed (its size too,
    // whatever the clock's grain).
    while (read_ahead.Waiting() < 4)
        std::this_thread::yield();
    for (const Row& row : rows) {
        SCOPED_TRACE(U16ToUtf8(row.path));
        if (row.path == changed) write("c.eml", "third, changed");
        MappedFile file;
        ASSERT_EQ(read_ahead.Take(row.path, file), row.taken);
        if (!row.taken) {
            EXPECT_EQ(file.fd, -1);
            continue;
        }
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data), file.size), row.text);
        EXPECT_EQ(file.data[file.size], 0); // padded like any copy
        EXPECT_GE(file.fd, 0);
        EXPECT_FALSE(MappingShrank(file));
    }
    read_ahead.Stop();
    MappedFile file;
    EXPECT_FALSE(read_ahead.Take(a, file));
}

TEST_F(TempFolder, OpeningByNameNeverFollowsALink) {
    fs::create_directory(root + "/real");
    fs::create_directory_symlink("/etc", root + "/link");
    std::ofstream(root + "/file") << "x";
    const UniqueFd folder = OpenFolder(U(root));
    ASSERT_TRUE(folder);
    EXPECT_EQ(MakeFolderAt(folder.Get(), u"real"), EEXIST);
    const UniqueFd real = OpenFolderNoFollowAt(folder.Get(), u"real");
    ASSERT_TRUE(real);
    EXPECT_EQ(FolderPath(real.Get()), U(root + "/real"));
    EXPECT_FALSE(OpenFolderNoFollowAt(folder.Get(), u"link"));
    EXPECT_FALSE(OpenFolderNoFollowAt(folder.Get(), u"file"));
    // The output root is the user's choice: a link to it is followed.
    EXPECT_EQ(FolderPath(OpenFolder(U(root + "/link")).Get()), u"/etc");
    EXPECT_TRUE(NameExistsAt(folder.Get(), u"link"));
    EXPECT_FALSE(NameExistsAt(folder.Get(), u"missing"));
    EXPECT_TRUE(PathExists(u"link"));
    EXPECT_FALSE(PathExists(u"missing"));
}

TEST_F(TempFolder, AppendLockedWritesThePrefixOnceAndHonoursTheLock) {
    std::u16string path = U(root + "/log.txt");
    EXPECT_EQ(AppendLocked(path, "BOM", "one"), OpenStatus::Ok);
    EXPECT_EQ(AppendLocked(path, "BOM", "two"), OpenStatus::Ok);
    std::ifstream in(root + "/log.txt");
    std::string content((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(content, "BOMonetwo");

    int holder = ::open((root + "/log.txt").c_str(), O_RDONLY);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(AppendLocked(path, "BOM", "three"), OpenStatus::Contended);
    int tries = 0;
    RetryPolicy quick{3, std::chrono::milliseconds(1)};
    OpenStatus status = RetryWhileContended(
        [&] {
            ++tries;
            return AppendLocked(path, "BOM", "three");
        },
        quick);
    EXPECT_EQ(status, OpenStatus::Contended);
    EXPECT_EQ(tries, 3);
    ::close(holder);
    EXPECT_EQ(RetryWhileContended([&] { return AppendLocked(path, "BOM", "four"); }, quick), OpenStatus::Ok);
}

TEST_F(TempFolder, MappingAndFileTimes) {
    std::ofstream(root + "/m.eml") << "abc";
    MappedFile file;
    ASSERT_EQ(OpenSharedExisting(U(root + "/m.eml"), true, file), OpenStatus::Ok);
    ASSERT_TRUE(QueryFileSize(file));
    ASSERT_EQ(file.size, 3u);
    ASSERT_TRUE(MapWholeFile(file));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data), 3), "abc");
    EXPECT_TRUE(SetFileTimes(file.fd, 1483405500));
    CloseMappedFile(file);
    EXPECT_EQ(file.fd, -1);
    struct stat info;
    ASSERT_EQ(::stat((root + "/m.eml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1483405500);
    EXPECT_EQ(info.st_atime, 1483405500);

    MappedFile folder;
    EXPECT_EQ(OpenSharedExisting(U(root), false, folder), OpenStatus::Failed);
    EXPECT_EQ(OpenSharedExisting(U(root + "/none.eml"), false, folder), OpenStatus::Failed);
}

// A file cut short by another process while it is mapped: the pages past its new end read as zeros
// instead of raising SIGBUS, the mapping says so, and a mapping of an unchanged file says nothing.
TEST_F(TempFolder, MappingOfAFileCutShortReadsZeros) {
    const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
    const std::string path = root + "/shrinking.eml";
    // Large enough to be mapped, not read into memory.
    const size_t pages = kReadIntoMemoryBytes / page + 4;
    std::ofstream(path) << std::string(pages * page, 'm');
    MappedFile file;
    ASSERT_EQ(OpenSharedExisting(U(path), false, file), OpenStatus::Ok);
    ASSERT_TRUE(MapWholeFile(file));
    ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(page + 10)), 0);
    EXPECT_EQ(file.data[page + 9], 'm');
    EXPECT_FALSE(MappingShrank(file));
    uint64_t sum = 0;
    for (uint64_t i = 2 * page; i < file.size; ++i)
        sum += file.data[i];
    EXPECT_EQ(sum, 0u);
    EXPECT_TRUE(MappingShrank(file));

    // The guard's slot goes with the mapping: the next mapping starts clean.
    CloseMappedFile(file);
    std::ofstream(root + "/steady.eml") << std::string(2 * page, 's');
    MappedFile steady;
    ASSERT_EQ(OpenSharedExisting(U(root + "/steady.eml"), false, steady), OpenStatus::Ok);
    ASSERT_TRUE(MapWholeFile(steady));
    EXPECT_EQ(steady.data[2 * page - 1], 's');
    EXPECT_FALSE(MappingShrank(steady));
}

// A small file is read into memory: its bytes are there with zeros after them, and a file cut short
// between its opening and the read reads as zeros past its new end and says so, as a mapping does.
TEST_F(TempFolder, SmallFileIsReadIntoMemoryAndACutIsNoticed) {
    const std::string path = root + "/small.eml";
    std::ofstream(path) << "0123456789";
    MappedFile file;
    ASSERT_EQ(OpenSharedExisting(U(path), false, file), OpenStatus::Ok);
    ASSERT_TRUE(MapWholeFile(file));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data), file.size), "0123456789");
    EXPECT_EQ(file.data[file.size], 0);
    EXPECT_FALSE(MappingShrank(file));

    ASSERT_EQ(OpenSharedExisting(U(path), false, file), OpenStatus::Ok);
    ASSERT_EQ(::truncate(path.c_str(), 4), 0);
    ASSERT_TRUE(MapWholeFile(file));
    ASSERT_EQ(file.size, 10u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data), file.size),
              std::string("0123") + std::string(6, '\0'));
    EXPECT_TRUE(MappingShrank(file));
}

// Only regular files are read: a FIFO fails at once (no writer is waited for), as does a folder.
TEST_F(TempFolder, OnlyRegularFilesAreOpened) {
    ASSERT_EQ(::mkfifo((root + "/fifo").c_str(), 0666), 0);
    MappedFile file;
    EXPECT_EQ(OpenSharedExisting(U(root + "/fifo"), false, file), OpenStatus::Failed);
    EXPECT_EQ(OpenSharedExisting(U(root + "/fifo"), true, file), OpenStatus::Failed);
    EXPECT_EQ(OpenSharedExisting(U("/dev/null"), false, file), OpenStatus::Failed);
    EXPECT_EQ(AppendLocked(U(root + "/fifo"), "BOM", "text"), OpenStatus::Failed);
    fs::create_symlink(root + "/target.txt", root + "/link.txt");
    EXPECT_EQ(AppendLocked(U(root + "/link.txt"), "BOM", "text"), OpenStatus::Failed);
    EXPECT_FALSE(fs::exists(root + "/target.txt"));
}

TEST(Clock, LocalTimeFollowsTz) {
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    SystemTime time;
    time.wYear = 2017;
    time.wMonth = 1;
    time.wDay = 3;
    time.wHour = 10;
    time.wMinute = 5;
    std::time_t epoch = 0;
    ASSERT_TRUE(LocalTimeToEpoch(time, epoch));
    EXPECT_EQ(epoch, 1483405500);
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    ASSERT_TRUE(LocalTimeToEpoch(time, epoch));
    EXPECT_EQ(epoch, 1483437900);
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
}

TEST(Clock, JapanTimeIsOneMomentInEveryZone) {
    struct Row {
        SystemTime time;
        std::time_t expected;
    };
    auto at = [](int y, int mo, int d, int h, int mi, int s) {
        SystemTime t;
        t.wYear = static_cast<uint16_t>(y);
        t.wMonth = static_cast<uint16_t>(mo);
        t.wDay = static_cast<uint16_t>(d);
        t.wHour = static_cast<uint16_t>(h);
        t.wMinute = static_cast<uint16_t>(mi);
        t.wSecond = static_cast<uint16_t>(s);
        return t;
    };
    const Row rows[] = {
        {at(2017, 1, 3, 10, 5, 0), 1483405500}, // 01:05 UTC
        {at(2024, 7, 1, 8, 0, 0), 1719788400},  // in the northern summer: no summer time in Japan
        {at(2026, 1, 1, 0, 0, 0), 1767193200},  // 15:00 UTC the day before
        {at(1970, 1, 1, 9, 0, 0), 0},
    };
    for (const char* zone : {"Asia/Tokyo", "UTC", "America/New_York", "Europe/London", "Australia/Sydney"}) {
        ::setenv("TZ", zone, 1);
        ::tzset();
        for (const Row& row : rows) {
            std::time_t epoch = -1;
            ASSERT_TRUE(JapanTimeToEpoch(row.time, epoch));
            EXPECT_EQ(epoch, row.expected) << zone << " " << row.time.wYear;
        }
    }
    // In Japan it is the local time, as before.
    ::setenv("TZ", "Asia/Tokyo", 1);
    ::tzset();
    for (const Row& row : rows) {
        std::time_t local = -1;
        ASSERT_TRUE(LocalTimeToEpoch(row.time, local));
        EXPECT_EQ(local, row.expected);
    }
}

TEST(Clock, DatesInTheUsersLanguage) {
    SystemTime time;
    time.wYear = 2017;
    time.wMonth = 1;
    time.wDay = 3;
    time.wHour = 10;
    time.wMinute = 5;
    ::setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(FormatLongDate(time), u"2017年1月3日 火曜日");
    EXPECT_EQ(FormatLongTime(time), u"10時5分0秒");
    ::setenv("LC_ALL", "en_US.UTF-8", 1);
    EXPECT_EQ(FormatLongDate(time), u"2017年1月3日 Tuesday");
    ::unsetenv("LC_ALL");
}

TEST(CodePage, FromTheUsersLanguage) {
    struct Row {
        const char* lang;
        int code_page;
    };
    const Row rows[] = {{"ja_JP.UTF-8", 932}, {"ja", 932},           {"zh_CN.GB2312", 936}, {"zh_TW", 950},
                        {"ko_KR.UTF-8", 949}, {"ru_RU.UTF-8", 1251}, {"pl_PL", 1250},       {"C", 1252},
                        {"POSIX", 1252},      {"en_US.UTF-8", 1252}, {"jam", 1252},         {"el_GR", 1253}};
    ::unsetenv("LC_ALL");
    ::unsetenv("LC_CTYPE");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.lang);
        ::setenv("LANG", row.lang, 1);
        EXPECT_EQ(AnsiCodePage(), row.code_page);
    }
    ::setenv("LC_CTYPE", "ja_JP", 1);
    ::setenv("LANG", "en_US", 1);
    EXPECT_EQ(AnsiCodePage(), 932);
    ::unsetenv("LC_CTYPE");
    ::setenv("LANG", "C.UTF-8", 1);
    EXPECT_STREQ(CodePageConverterName(932), "windows-31j");
    EXPECT_STREQ(CodePageConverterName(1251), "windows-1251");
}

} // namespace
} // namespace platform

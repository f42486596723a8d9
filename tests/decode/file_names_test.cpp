#include <cstdlib>
#include <fcntl.h>
#include <limits>
#include <set>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "console/header/file_extension.h"
#include "console/header/mime_extension_table.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "platform/text.h"

namespace dornick {
namespace {

using platform::U16ToUtf8;

TEST(FileExtension, Split) {
    struct Row {
        std::u16string name;
        std::u16string extension;
    } rows[] = {
        {u"my.report.pdf", u".pdf"},
        {u"archive.TAR.GZ", u".TAR.GZ"},
        {u"app.exe.config", u".exe.config"},
        {u"README", u""},
        {u"data.tar.zst", u".tar.zst"},
        {u".bashrc", u".bashrc"},
        {u"x.vcxproj.filters", u".vcxproj.filters"},
        {u"a.b.tar.gz", u".tar.gz"},
        {u"a.tar", u".tar"},
        {u"name.", u"."},
        {u"v1.2.auto.rc", u".auto.rc"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(U16ToUtf8(row.name));
        EXPECT_EQ(row.name.substr(ExtensionStart(row.name)), row.extension);
    }
}

TEST(MimeExtensionTable, FirstRowOfATypeGivesItsExtension) {
    EXPECT_EQ(kMimeExtensionRows, 247u);
    EXPECT_EQ(MimeExtensionTable[0].extension, u".323");
    EXPECT_EQ(MimeExtensionTable[246].extension, u".zip");
    std::set<std::u16string_view> seen;
    for (const MimeExtensionRow& row : MimeExtensionTable) {
        ASSERT_EQ(row.extension.substr(0, 1), u".");
        ASSERT_NE(row.type.find(u'/'), std::u16string_view::npos);
        if (!seen.insert(row.type).second) continue;
        // The first row of each type is the one a name without extension gets.
        std::u16string name = u"file";
        ApplyTypeExtension(name, row.type);
        SCOPED_TRACE(U16ToUtf8(row.type));
        EXPECT_EQ(name, u"file" + std::u16string(row.extension));
    }
    EXPECT_LT(seen.size(), kMimeExtensionRows); // some types have several rows
}

TEST(TypeExtension, Rules) {
    const std::u16string long_stem(251, u'd');
    struct Row {
        const char* name;
        std::u16string file;
        std::u16string type;
        std::u16string expected;
    } rows[] = {
        {"no extension", u"report", u"application/pdf", u"report.pdf"},
        {"known extension any case", u"report.PDF", u"application/pdf", u"report.PDF"},
        {"unknown extension replaced", u"report.dat", u"application/pdf", u"report.pdf"},
        {"type compared without case", u"report", u"Application/PDF", u"report.pdf"},
        {"jpeg is not a table extension", u"photo.jpeg", u"image/jpg", u"photo.jpg"},
        {"extension of another type kept", u"photo.png.zip", u"image/jpg", u"photo.png.zip"},
        {"type not in the table", u"notes.dat", u"text/plain", u"notes.dat"},
        {"first of several rows", u"mail", u"message/rfc822", u"mail.eml"},
        {"would not fit", std::u16string(252, u'a'), u"application/pdf", std::u16string(252, u'a')},
        {"shorter relative fits", long_stem + u".doz",
         u"application/vnd.openxmlformats-officedocument.wordprocessingml.document", long_stem + u".doc"},
        {"no relative fits", std::u16string(252, u'd') + u".zz", u"application/pdf",
         std::u16string(252, u'd') + u".zz"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::u16string name = row.file;
        ApplyTypeExtension(name, row.type);
        EXPECT_EQ(name, row.expected);
    }
}

TEST(RtlText, Detect) {
    EXPECT_TRUE(HasRtlText(u"\u05E9\u05DC\u05D5\u05DD"));
    EXPECT_TRUE(HasRtlText(u"report \u0627"));
    EXPECT_FALSE(HasRtlText(u"\u05E9\u200E"));
    EXPECT_FALSE(HasRtlText(u""));
    EXPECT_FALSE(HasRtlText(u"\u05F5 \u0700"));
}

// Runs in a fresh folder opened as the output folder is, with a listing of its own.
class UniqueNameTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/dornick-names-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        fd_ = ::open(pattern, O_PATH | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(fd_, 0);
    }
    void TearDown() override {
        ::close(fd_);
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }
    void Touch(const std::u16string& name) {
        const int fd = ::openat(fd_, U16ToUtf8(name).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0) << U16ToUtf8(name);
        ::close(fd);
    }
    NameFolder Here() { return {fd_, &listing_}; }
    // Names and creates, as the output does.
    std::u16string Make(std::u16string name, std::u16string_view type = u"") {
        EXPECT_EQ(MakeUniqueFileName(Here(), name, type, u""), 0);
        Touch(name);
        return name;
    }

    std::string folder_;
    int fd_ = -1;
    FolderListing listing_;
};

TEST_F(UniqueNameTest, CountedNames) {
    EXPECT_EQ(Make(u"report.pdf"), u"report.pdf");
    EXPECT_EQ(Make(u"report.pdf"), u"report_(1)_.pdf");
    EXPECT_EQ(Make(u"report.pdf"), u"report_(2)_.pdf");
    EXPECT_EQ(Make(u"data.tar.gz"), u"data.tar.gz");
    EXPECT_EQ(Make(u"data.tar.gz"), u"data_(1)_.tar.gz");
    EXPECT_EQ(Make(u"README"), u"README");
    EXPECT_EQ(Make(u"README"), u"README_(1)_");
    EXPECT_EQ(Make(u"report", u"application/pdf"), u"report_(3)_.pdf");
    const std::u16string hebrew = u"\u05E9\u05DC\u05D5\u05DD";
    EXPECT_EQ(Make(hebrew + u".txt"), hebrew + u".txt");
    EXPECT_EQ(Make(hebrew + u".txt"), hebrew + u"\u200E_(1)_.txt");
    EXPECT_EQ(Make(hebrew + u"\u200E.md"), hebrew + u"\u200E.md");
    EXPECT_EQ(Make(hebrew + u"\u200E.md"), hebrew + u"\u200E_(1)_.md");
}

TEST_F(UniqueNameTest, FirstFreeCounterEvenWithGapsAndOtherWriters) {
    for (const char16_t* name :
         {u"image001.png", u"image001_(1)_.png", u"image001_(2)_.png", u"image001_(4)_.png"})
        Touch(name);
    EXPECT_EQ(Make(u"image001.png"), u"image001_(3)_.png");
    EXPECT_EQ(Make(u"image001.png"), u"image001_(5)_.png");
    // Another process makes the next one behind the listing's back.
    Touch(u"image001_(6)_.png");
    EXPECT_EQ(Make(u"image001.png"), u"image001_(7)_.png");
    // A name given out but not created is given out again.
    std::u16string name = u"image001.png";
    EXPECT_EQ(MakeUniqueFileName(Here(), name, u"", u""), 0);
    EXPECT_EQ(name, u"image001_(8)_.png");
    name = u"image001.png";
    EXPECT_EQ(MakeUniqueFileName(Here(), name, u"", u""), 0);
    EXPECT_EQ(name, u"image001_(8)_.png");
}

TEST_F(UniqueNameTest, ManySameNamesStayCorrect) {
    for (int i = 0; i < 500; ++i)
        Make(u"image001.png");
    EXPECT_EQ(Make(u"image001.png"), u"image001_(500)_.png");
}

TEST_F(UniqueNameTest, NamesCannotLeaveTheFolder) {
    struct Row {
        std::u16string name;
        std::u16string expected;
    } rows[] = {
        {u"../escape.txt", u".._escape.txt"},
        {u"..", u"_.."},
        {u".", u"_."},
        {u"/etc/passwd", u"_etc_passwd"},
        {u"a/../../b", u"a_.._.._b"},
        {u"", u"_"},
        {std::u16string(u"nul\0byte", 8), u"nulbyte"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(U16ToUtf8(row.name));
        // Through the sanitiser, as the output calls it, and without it.
        std::u16string sanitised = row.name;
        SanitizeFileName(sanitised, false);
        EXPECT_EQ(sanitised.find(u'/'), std::u16string::npos);
        std::u16string direct = row.name;
        EXPECT_EQ(MakeUniqueFileName(Here(), direct, u"", u""), 0);
        EXPECT_EQ(direct, row.expected);
    }
}

TEST_F(UniqueNameTest, LongNamesFitLinux) {
    struct Row {
        const char* name;
        std::u16string stem;
        std::u16string extension;
    } rows[] = {
        {"ASCII", std::u16string(1000, u'a'), u".pdf"},
        {"Japanese", std::u16string(1000, u'\u3042'), u".txt"},
        {"Hebrew", std::u16string(1000, u'\u05D0'), u".txt"},
        {"surrogate pairs",
         [] {
             std::u16string s;
             for (int i = 0; i < 300; ++i)
                 s += u"\U0001F600";
             return s;
         }(),
         u".png"},
        {"no extension", std::u16string(600, u'\u00E9'), u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::u16string first = Make(row.stem + row.extension);
        EXPECT_LE(U16ToUtf8(first).size(), kFileNameBytes);
        EXPECT_GT(U16ToUtf8(first).size(), kFileNameBytes - 4);
        EXPECT_EQ(first.substr(first.size() - row.extension.size()), row.extension);
        EXPECT_EQ(first.find(u'\uFFFD'), std::u16string::npos); // no character cut in half
        EXPECT_EQ(row.stem.compare(0, first.size() - row.extension.size(), first, 0,
                                   first.size() - row.extension.size()),
                  0);
        // The counted forms fit as well, and no earlier file is lost.
        for (int i = 1; i <= 11; ++i) {
            const std::u16string counted = Make(row.stem + row.extension);
            EXPECT_LE(U16ToUtf8(counted).size(), kFileNameBytes);
            EXPECT_NE(counted.find(u"_(" + platform::Ascii(std::to_string(i)) + u")_"), std::u16string::npos);
        }
    }
}

// The counted form of a name at the limit shortens its stem instead of overwriting a file.
TEST_F(UniqueNameTest, CounterThatNoLongerFitsShortensTheStem) {
    const std::u16string stem(246, u's');
    for (int i = 0; i <= 9; ++i)
        Make(stem + u".txt");
    const std::u16string tenth = Make(stem + u".txt");
    EXPECT_EQ(tenth, std::u16string(245, u's') + u"_(10)_.txt");
    struct stat info;
    EXPECT_EQ(::fstatat(fd_, U16ToUtf8(stem + u"_(9)_.txt").c_str(), &info, AT_SYMLINK_NOFOLLOW), 0);
}

TEST_F(UniqueNameTest, CounterRunsOut) {
    constexpr uint64_t kLast = std::numeric_limits<uint64_t>::max();
    Touch(u"x");
    Touch(u"x_(18446744073709551614)_");
    Touch(u"x_(18446744073709551615)_");
    std::u16string name = u"x";
    EXPECT_EQ(FindFreeCountedName(Here(), name, kLast - 1), 1);
    EXPECT_EQ(name, u"x_(18446744073709551615)_");
}

} // namespace
} // namespace dornick

#include <gtest/gtest.h>

#include "console/header/boundary_charset.h"
#include "header_test_support.h"

namespace dornick {
namespace {

using testing_support::HeaderFixture;
using testing_support::MailLines;
using testing_support::Utf8;

TEST(MakeBoundaryMarker, DropsTheLastUnitOfLongMarkers) {
    struct Row {
        const char* name;
        std::u16string_view after_equals;
        std::u16string_view marker;
    } rows[] = {
        {"quoted abc kept whole", u"\"abc\"", u"-abc"},
        {"quoted abcd", u"\"abcd\"", u"-abc"},
        {"unquoted part boundary", u"----=_Part_1", u"-----=_Part_"},
        {"quoted outlook boundary", u"\"----=_NextPart_000_0012\"", u"-----=_NextPart_000_001"},
        {"cut at the semicolon", u"simple; charset=x", u"-simpl"},
        {"quoted then more parameters", u"\"b1\"; type=\"text/html\"", u"-b1"},
        {"trailing backslash stands for the quote", u"\"ab\\\"", u"-ab\""},
        {"backslash in a longer value", u"\"abcd\\\"", u"-abcd"},
        {"blanks around an unquoted value", u"  xyz12 \t", u"-xyz1"},
        {"blank before a quoted value", u" \"abcdef\"", u"-abcde"},
        {"unterminated quote", u"\"abcdef", u"-abcde"},
        {"a lone quote inside takes what follows it", u"ab\"cd", u"-cd"},
        {"empty value", u"", u"-"},
        {"short value", u"ab", u"-ab"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Utf8(MakeBoundaryMarker(row.after_equals)), Utf8(row.marker));
    }
}

TEST(MakeBoundaryMarker, KeepsAtMost1023Units) {
    const std::u16string value(3000, u'x');
    const std::u16string marker = MakeBoundaryMarker(value);
    EXPECT_EQ(marker.size(), 1022u); // 1023 units, then the last one dropped
    EXPECT_EQ(marker[0], u'-');
}

struct CollectRow {
    const char* name;
    std::string mail;
    int result;
    std::u16string_view marker;
    std::u16string_view charset;
    bool line_pending;
    std::string_view current_line; // the walk's line after the call
    std::string_view next_line;    // what the walk reads next
};

TEST(CollectBoundaryAndCharset, ReadsBoundaryAndCharset) {
    const CollectRow rows[] = {
        {"boundary on the first line, nothing more read",
         MailLines({"Content-Type: multipart/mixed; boundary=\"----=_NextPart_000_0012\"", "Subject: x"}), 1,
         u"-----=_NextPart_000_001", u"", false,
         "Content-Type: multipart/mixed; boundary=\"----=_NextPart_000_0012\"", "Subject: x"},
        {"boundary on a continuation line",
         MailLines({"Content-Type: multipart/mixed;", "\tboundary=\"abcd\"", "Subject: x", "body"}), 1,
         u"-abc", u"", true, "Subject: x", "body"},
        {"charset then boundary on continuation lines",
         MailLines({"Content-Type: multipart/alternative;", " charset=utf-8;", " boundary=b123456", "", "x"}),
         1, u"-b12345", u"utf-8;", true, "", "x"},
        {"a line without a colon continues the field",
         MailLines({"Content-Type: multipart/related;", "type=text/html;", " boundary=\"rel\"", "From: a"}),
         1, u"-rel", u"", true, "From: a", "<end>"},
        {"boundary without an equals sign on the first line",
         MailLines({"Content-Type: multipart/mixed; boundary", " =x", "Subject: y"}), 0, u"", u"", false,
         "Content-Type: multipart/mixed; boundary", " =x"},
        {"boundary without an equals sign on a continuation line is skipped",
         MailLines({"Content-Type: multipart/mixed;", " boundary", " boundary=ok12", "Subject: y"}), 1,
         u"-ok1", u"", true, "Subject: y", "<end>"},
        {"neither multipart nor boundary: nothing read",
         MailLines({"Content-Type: text/plain; charset=iso-2022-jp", "x"}), 0, u"", u"", false,
         "Content-Type: text/plain; charset=iso-2022-jp", "x"},
        {"quoted charset keeps 23 raw units",
         MailLines(
             {"Content-Type: multipart/mixed; charset=\"iso-2022-jp\"; format=flowed; boundary=zz", "x"}),
         1, u"-zz", u"\"iso-2022-jp\"; format=f", false, "", "x"},
        {"filenamecharset wins over charset",
         MailLines({"Content-Type: multipart/mixed; charset=us-ascii; filenamecharset=shift_jis; boundary=zz",
                    "x"}),
         1, u"-zz", u"shift_jis; boundary=zz", false, "", "x"},
        {"data ends in the continuation lines", "Content-Type: multipart/mixed;\r\n boundary=\"last-one\"", 1,
         u"-last-on", u"", false, " boundary=\"last-one\"", "<end>"},
        {"data ends before a boundary", "Content-Type: multipart/mixed;\r\n", 0, u"", u"", false, "",
         "<end>"},
    };
    for (const CollectRow& row : rows) {
        SCOPED_TRACE(row.name);
        HeaderFixture fixture(row.mail);
        const BoundaryParameters found = CollectBoundaryAndCharset(fixture.source);
        EXPECT_EQ(found.stored, row.result == 1);
        EXPECT_EQ(Utf8(found.marker), Utf8(row.marker));
        EXPECT_EQ(Utf8(found.charset), Utf8(row.charset));
        EXPECT_EQ(found.charset_found, !row.charset.empty());
        EXPECT_EQ(fixture.source.LinePending(), row.line_pending);
        if (!row.current_line.empty()) {
            EXPECT_EQ(fixture.CurrentLine(), row.current_line);
        }
        EXPECT_EQ(fixture.NextLine(), row.next_line);
    }
}

TEST(CollectBoundaryAndCharset, FollowsAThousandContinuationLines) {
    std::string mail = "Content-Type: multipart/mixed;\r\n";
    for (int i = 0; i < 1000; ++i)
        mail += " x-filler=" + std::to_string(i) + ";\r\n";
    mail += " boundary=\"deep-boundary\"\r\nSubject: s\r\n";
    HeaderFixture fixture(mail);
    const BoundaryParameters found = CollectBoundaryAndCharset(fixture.source);
    EXPECT_TRUE(found.stored);
    EXPECT_EQ(Utf8(found.marker), "-deep-boundar");
    EXPECT_TRUE(fixture.source.LinePending());
    EXPECT_EQ(fixture.CurrentLine(), "Subject: s");
}

TEST(TakeCharsetParameter, CopiesAtMost23UnitsAfterTheEquals) {
    struct Row {
        const char* name;
        std::u16string_view line;
        bool taken;
        std::u16string_view charset;
    } rows[] = {
        {"plain", u"Content-Type: text/plain; charset=Shift_JIS", true, u"Shift_JIS"},
        {"no equals", u"X-Charset-Info: charset", false, u"old"},
        {"no parameter", u"Subject: hello", false, u"old"},
        {"long rest cut", u"charset=\"iso-2022-jp\"; format=flowed; delsp=yes", true,
         u"\"iso-2022-jp\"; format=f"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        CharsetText charset = u"old";
        EXPECT_EQ(TakeCharsetParameter(row.line, charset), row.taken);
        EXPECT_EQ(Utf8(charset), Utf8(row.charset));
    }
}

} // namespace
} // namespace dornick

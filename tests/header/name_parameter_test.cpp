#include <gtest/gtest.h>

#include "console/header/name_parameter.h"
#include "header_test_support.h"

namespace dornick {
namespace {

using testing_support::HeaderFixture;
using testing_support::MailLines;
using testing_support::Utf8;

struct NameRow {
    const char* name;
    std::string mail;                // the parameter's line first, as the walk hands it over
    std::string_view expected;       // UTF-8
    std::string_view next_line = ""; // the line the walk reads after the call ("" = not checked)
    bool extended = false;
    std::string_view charset = ""; // the part's raw CharsetText
    bool japanese_mail = false;
    std::string_view previous = ""; // a name already in the buffer (UTF-8)
    bool name_found = false;
    bool full_width = false;
    int result = 0;
};

void CheckRows(std::initializer_list<NameRow> rows) {
    for (const NameRow& row : rows) {
        SCOPED_TRACE(row.name);
        HeaderFixture fixture(row.mail);
        fixture.charset = platform::WidenBytes(row.charset);
        fixture.japanese_mail = row.japanese_mail;
        fixture.name_found = row.name_found;
        fixture.full_width = row.full_width;
        std::u16string name = platform::Utf8ToU16(row.previous);
        const NameParameter found = DecodeNameParameter(fixture.Reader(), name, row.extended);
        ASSERT_EQ(found.status, row.result);
        if (row.result != 0) continue;
        EXPECT_EQ(Utf8(name), row.expected);
        EXPECT_TRUE(found.decoded);
        if (!row.next_line.empty()) {
            EXPECT_EQ(fixture.NextLine(), row.next_line);
        }
    }
}

constexpr std::string_view kNextHeader = "Content-Transfer-Encoding: base64";

TEST(DecodeNameParameter, EncodedWordsInTheCharsetsOfMail) {
    CheckRows({
        {"B in UTF-8",
         MailLines({"Content-Type: application/pdf; name=\"=?UTF-8?B?6LOH5paZLnBkZg==?=\"", kNextHeader}),
         "資料.pdf", kNextHeader},
        {"B in ISO-2022-JP",
         MailLines(
             {"Content-Type: application/pdf; name=\"=?ISO-2022-JP?B?GyRCO3FOQRsoQi5wZGY=?=\"", kNextHeader}),
         "資料.pdf", kNextHeader},
        {"B in lower-case iso-2022-jp",
         MailLines({"Content-Disposition: attachment; filename=\"=?iso-2022-jp?b?GyRCO3FOQRsoQi5wZGY=?=\"",
                    kNextHeader}),
         "資料.pdf"},
        {"B in Shift_JIS",
         MailLines({"Content-Type: application/pdf; name=\"=?Shift_JIS?B?jpGXvy5wZGY=?=\"", kNextHeader}),
         "資料.pdf"},
        {"B in EUC-JP",
         MailLines({"Content-Type: application/pdf; name=\"=?EUC-JP?B?u/HOwS5wZGY=?=\"", kNextHeader}),
         "資料.pdf"},
        {"B in GB2312",
         MailLines({"Content-Type: application/pdf; name=\"=?GB2312?B?18rBzy5wZGY=?=\"", kNextHeader}),
         "资料.pdf"},
        {"B in Big5",
         MailLines({"Content-Type: application/pdf; name=\"=?Big5?B?uOquxi5wZGY=?=\"", kNextHeader}),
         "資料.pdf"},
        {"B in KOI8-R",
         MailLines({"Content-Type: text/plain; name=\"=?KOI8-R?B?79Teo9QudHh0?=\"", kNextHeader}),
         "Отчёт.txt"},
        {"Q in UTF-8 with an underscore",
         MailLines(
             {"Content-Type: application/pdf; name=\"=?UTF-8?Q?=E8=B3=87=E6=96=99_2.pdf?=\"", kNextHeader}),
         "資料 2.pdf"},
        {"Q with a cut escape at its end",
         MailLines({"Content-Type: text/plain; name==?UTF-8?Q?a_b=4?=", kNextHeader}), "a b"},
        {"unquoted value ended by a semicolon",
         MailLines({"Content-Type: application/pdf; name==?UTF-8?B?6LOH5paZLnBkZg==?=; x=y", kNextHeader}),
         "資料.pdf", kNextHeader},
        {"8-bit half-width kana inside ISO-2022-JP goes the Shift_JIS way",
         MailLines({"Content-Type: application/pdf; name=\"=?ISO-2022-JP?B?GyRCO3FOQRsoQrGyLnBkZg==?=\"",
                    kNextHeader}),
         "資料ｱｲ.pdf"},
        {"decomposed name of a Mac mail program is composed",
         MailLines({"Content-Type: application/pdf; name=\"=?UTF-8?B?44Kr44KZ44Kk44OI44KZLnBkZg==?=\"",
                    kNextHeader}),
         "ガイド.pdf"},
        {"filename inside a name value does not hide the name",
         MailLines({"Content-Type: message/rfc822; name=\"my filename.eml\"", kNextHeader}),
         "my filename.eml", kNextHeader},
        {"filename wins over name on the same line",
         MailLines({"Content-Disposition: attachment; name=\"x\"; filename=\"=?UTF-8?B?6LOH5paZLnBkZg==?=\"",
                    kNextHeader}),
         "資料.pdf"},
    });
}

TEST(DecodeNameParameter, WordsAcrossWordsAndContinuationLines) {
    CheckRows({
        {"two B words split inside a character, separated by a space",
         MailLines(
             {"Content-Type: application/msword; name=\"=?UTF-8?B?5aCx5Q==?= =?UTF-8?B?kYrmm7guZG9jeA==?=\"",
              kNextHeader}),
         "報告書.docx"},
        {"split inside a character across a space-folded line",
         MailLines({"Content-Type: application/msword; name=\"=?UTF-8?B?5aCx5Q==?=",
                    " =?UTF-8?B?kYrmm7guZG9jeA==?=\"", kNextHeader}),
         "報告書.docx", kNextHeader},
        {"split across a tab-folded line",
         MailLines({"\tname=\"=?UTF-8?B?5aCx5Q==?=", "\t=?UTF-8?B?kYrmm7guZG9jeA==?=\"", kNextHeader}),
         "報告書.docx", kNextHeader},
        {"folded with several blanks",
         MailLines({"Content-Type: application/msword; name=\"=?UTF-8?B?5aCx5Q==?=",
                    "    =?UTF-8?B?kYrmm7guZG9jeA==?=\"", kNextHeader}),
         "報告書.docx", kNextHeader},
        {"Q words split inside a character",
         MailLines({"Content-Type: application/pdf; name=\"=?UTF-8?Q?=E8=B3?=",
                    " =?UTF-8?Q?=87=E6=96=99.pdf?=\"", kNextHeader}),
         "資料.pdf"},
        {"ISO-2022-JP words on three lines",
         MailLines({" filename=\"=?ISO-2022-JP?B?GyRCO3EbKEI=?=", " =?ISO-2022-JP?B?GyRCTkEbKEI=?=",
                    " =?ISO-2022-JP?B?LnBkZg==?=\"", kNextHeader}),
         "資料.pdf", kNextHeader},
        {"plain text between two words is kept, trimmed",
         MailLines({"Content-Type: application/pdf; name=\"=?UTF-8?B?6LOH5paZ?= - =?UTF-8?B?6LOH5paZ?=.pdf\"",
                    kNextHeader}),
         "資料-資料.pdf"},
        {"plain text before the first word is kept as it is",
         MailLines({"Content-Type: application/pdf; name=\"Copy of =?UTF-8?B?6LOH5paZ?=\"", kNextHeader}),
         "Copy of 資料"},
        {"a parameter on the next continuation line is not part of the name",
         MailLines({"Content-Disposition: attachment; filename=\"=?UTF-8?B?6LOH5paZ?=.pdf\";", " size=1234",
                    kNextHeader}),
         "資料.pdf", " size=1234"},
        {"value on the line after name=",
         MailLines(
             {"Content-Type: application/pdf; name=", "\t\"=?UTF-8?B?6LOH5paZLnBkZg==?=\"", kNextHeader}),
         "資料.pdf", kNextHeader},
        {"charset of the first word converts the later ones too",
         MailLines(
             {"Content-Type: application/pdf; name=\"=?UTF-8?B?6LOH?= =?ISO-8859-1?B?5paZ?=\"", kNextHeader}),
         "資料"},
    });
}

TEST(DecodeNameParameter, Rfc2231Segments) {
    const std::string_view after = "Content-Type: application/pdf";
    CheckRows({
        {"charset prefix, two segments",
         MailLines({"Content-Disposition: attachment; filename*0*=UTF-8''%E3%81%82;",
                    "\tfilename*1*=%E3%81%84.txt", after, ""}),
         "あい.txt", after, true},
        {"out of order",
         MailLines(
             {"Content-Disposition: attachment; filename*1=\"b.txt\";", " filename*0=\"a\"", after, ""}),
         "ab.txt", after, true},
        {"a character split between segments",
         MailLines({" filename*0*=UTF-8''%E5%A0%B1%E5;", " filename*1*=%91%8A.txt", after, ""}), "報告.txt",
         after, true},
        {"no charset prefix: the detector decides",
         MailLines({"Content-Disposition: attachment; filename*=%E8%B3%87%E6%96%99.pdf", after, ""}),
         "資料.pdf", after, true},
        {"Shift_JIS prefix",
         MailLines({"Content-Type: application/pdf; name*=shift_jis''%8E%91%97%BF.pdf", after, ""}),
         "資料.pdf", after, true},
        {"ISO-2022-JP prefix with a language",
         MailLines({"Content-Disposition: attachment; filename*=iso-2022-jp'ja'%1B%24B%3BqNA%1B%28B.pdf",
                    after, ""}),
         "資料.pdf", after, true},
        {"quoted prefix and lower-case digits",
         MailLines(
             {"Content-Disposition: attachment; filename*=\"utf-8''%e8%b3%87%e6%96%99.pdf\"", after, ""}),
         "資料.pdf", after, true},
        {"of two segments with one index the first counts",
         MailLines({"Content-Disposition: attachment; filename*0=\"a\";", " filename*0=\"z\";",
                    " filename*1=\"b\"", after, ""}),
         "ab", after, true},
        {"a missing index adds nothing",
         MailLines({"Content-Disposition: attachment; filename*0=\"a\";", " filename*2=\"c\"", after, ""}),
         "ac", after, true},
        {"a continuation line without a star ends the value and is consumed",
         MailLines({"Content-Disposition: attachment; filename*0=\"a\";", " size=10", after, ""}), "a", after,
         true},
    });
}

TEST(DecodeNameParameter, RawEightBitValues) {
    const std::string_view after = "Content-Transfer-Encoding: base64";
    CheckRows({
        {"quoted Shift_JIS in Japanese mail runs to the line end, its quote removed",
         MailLines({"Content-Type: application/vnd.ms-excel; name=\"\x8C\xA9\x90\xCF\x8F\x91.xls\"", after}),
         "見積書.xls", after, false, "", true},
        {"quoted raw UTF-8 without a label",
         MailLines(
             {"Content-Type: application/vnd.ms-excel; name=\"\xE8\xA6\x8B\xE7\xA9\x8D\xE6\x9B\xB8.xls\"",
              after}),
         "見積書.xls", after},
        {"raw Shift_JIS under the part's charset",
         MailLines(
             {"Content-Type: application/pdf; charset=shift_jis; name=\"\x8E\x91\x97\xBF.pdf\"", after}),
         "資料.pdf", after, false, "shift_jis; name=\"\x8E\x91\x97"},
        {"quote and space end an 8-bit value",
         MailLines(
             {"Content-Disposition: attachment; filename=\"\xE8\xB3\x87\xE6\x96\x99.pdf\" ; size=5", after}),
         "資料.pdf", after},
        {"quote and semicolon end an 8-bit value",
         MailLines(
             {"Content-Disposition: attachment; filename=\"\xE8\xB3\x87\xE6\x96\x99.pdf\";size=5", after}),
         "資料.pdf", after},
        {"ASCII value ends at its quote",
         MailLines({"Content-Disposition: attachment; filename=\"report.pdf\"; size=5", after}), "report.pdf",
         after},
        {"unquoted value before another parameter",
         MailLines({"Content-Disposition: attachment; filename=report.pdf; size=1234", after}), "report.pdf",
         after},
        {"unquoted 8-bit value continued on the next line",
         MailLines({"Content-Type: application/pdf; name=\xE8\xB3\x87", " \xE6\x96\x99.pdf", after}),
         "資料.pdf", after},
        {"raw Shift_JIS followed by encoded words on a continuation line",
         MailLines({"Content-Type: application/pdf; name=\x8E\x91\x97\xBF",
                    " =?UTF-8?B?5aCx5ZGKLnBkZg==?=", after}),
         "資料報告.pdf", after, false, "shift_jis"},
        {"quoted raw value, then Q words that close the quote",
         MailLines({"Content-Type: application/pdf; name=\"\x8E\x91\x97\xBF",
                    " =?UTF-8?Q?=E5=A0=B1=E5=91=8A?= .pdf\"", after}),
         "資料報告.pdf", after, false, "shift_jis"},
        {"full-width forms with /CW", MailLines({"Content-Type: text/plain; name=\"a:b?.txt\"", after}),
         "a：b？.txt", after, false, "", false, "", false, true},
        {"unusable ASCII characters without /CW",
         MailLines({"Content-Type: text/plain; name=\"a:b?.txt\"", after}), "a_b_.txt", after},
    });
}

TEST(DecodeNameParameter, JapaneseMailFlagDecidesForAWesternGuess) {
    // The detector reads this Shift_JIS name as windows-1252; only a mail from Japan takes it as 932.
    const std::string mail = MailLines(
        {"Content-Type: application/pdf; "
         "name=\"\x8E\x96\x8B\xC6\x8C\x76\x89\xE6\x8F\x91\x81\x69\x91\xE6\x82\x51\x94\xC5\x81\x6A.pdf\"",
         kNextHeader});
    CheckRows({{"from Japan", mail, "事業計画書（第２版）.pdf", kNextHeader, false, "", true}});
    HeaderFixture fixture(mail);
    std::u16string name;
    ASSERT_EQ(DecodeNameParameter(fixture.Reader(), name, false).status, 0);
    EXPECT_NE(Utf8(name), "事業計画書（第２版）.pdf");
    EXPECT_EQ(Utf8(name).substr(0, 2), "\xC5\xBD"); // "Ž", the windows-1252 reading of 0x8E
}

TEST(DecodeNameParameter, ChoiceBetweenThePreviousAndTheNewName) {
    const std::string_view after = "Content-Transfer-Encoding: base64";
    auto disposition = [&](std::string_view value) {
        return MailLines({"Content-Disposition: attachment; filename=\"" + std::string(value) + "\"", after});
    };
    CheckRows({
        {"UNKNOWN_PARAMETER_VALUE keeps the earlier name", disposition("UNKNOWN_PARAMETER_VALUE"),
         "report.pdf", after, false, "", false, "report.pdf"},
        {"an earlier UNKNOWN_PARAMETER_VALUE is replaced outright", disposition("a.pdf"), "a.pdf", after,
         false, "", false, "UNKNOWN_PARAMETER_VALUE"},
        {"UNKNOWN_PARAMETER_VALUE without an earlier name stays", disposition("UNKNOWN_PARAMETER_VALUE"),
         "UNKNOWN_PARAMETER_VALUE"},
        {"ASCII after Japanese keeps the Japanese name", disposition("report.pdf"), "資料.pdf", after, false,
         "", false, "資料.pdf"},
        {"Japanese after ASCII takes the Japanese name", disposition("=?UTF-8?B?6LOH5paZ?="), "資料", after,
         false, "", false, "a-very-long-report-name.pdf"},
        {"of two ASCII names the longer stays", disposition("a.pdf"), "report.pdf", after, false, "", false,
         "report.pdf"},
        {"a longer new ASCII name wins", disposition("report-2.pdf"), "report-2.pdf", after, false, "", false,
         "report.pdf"},
        {"equal lengths: the new name", disposition("new.pdf"), "new.pdf", after, false, "", false,
         "old.pdf"},
        {"of two Japanese names the longer", disposition("=?UTF-8?B?6LOH5paZ?="), "見積書.xls", after, false,
         "", false, "見積書.xls"},
        {"a name from a Content-ID is replaced without comparison", disposition("a.pdf"), "a.pdf", after,
         false, "", false, "image-0001@example.jp", true},
        {"empty quoted value", disposition(""), "_", after},
        {"empty quoted value after a name", disposition(""), "report.pdf", after, false, "", false,
         "report.pdf"},
    });
}

TEST(DecodeNameParameter, LineWithoutEqualsChangesNothing) {
    HeaderFixture fixture(MailLines({"Content-Type: application/pdf; name", kNextHeader}));
    fixture.name_found = true;
    std::u16string name = u"keep.pdf";
    const NameParameter found = DecodeNameParameter(fixture.Reader(), name, false);
    EXPECT_EQ(found.status, 0);
    EXPECT_EQ(Utf8(name), "keep.pdf");
    EXPECT_FALSE(found.decoded);
    EXPECT_EQ(fixture.NextLine(), kNextHeader);
}

TEST(DecodeNameParameter, DataEndingWhileTheValueIsReadGivesMinusOne) {
    CheckRows({
        {"raw value on the last line", "Content-Disposition: attachment; filename=\"a.pdf\"\r\n", "", "",
         false, "", false, "", false, false, -1},
        {"raw value on the last line without a line end", "Content-Disposition: attachment; filename=a.pdf",
         "", "", false, "", false, "", false, false, -1},
        {"name= on the last line", "Content-Type: x; name=\r\n", "", "", false, "", false, "", false, false,
         -1},
        {"segments up to the last line",
         MailLines({"Content-Disposition: attachment; filename*0=\"a\";", " filename*1=\"b\""}), "", "", true,
         "", false, "", false, false, -1},
        {"encoded words continued to the end",
         MailLines({"Content-Type: x; name=\"=?UTF-8?B?6LOH?=", " =?UTF-8?B?5paZ?="}), "", "", false, "",
         false, "", false, false, -1},
    });
}

} // namespace
} // namespace dornick

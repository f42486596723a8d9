// Broken and hostile header text: every row must decode without reading outside the mail or a
// buffer (the sanitizer build checks that), end, and give a name that fits the name buffer.
#include <gtest/gtest.h>

#include <random>

#include "console/header/boundary_charset.h"
#include "console/header/name_parameter.h"
#include "header_test_support.h"

namespace dornick {
namespace {

using testing_support::HeaderFixture;
using testing_support::MailLines;
using testing_support::Utf8;

constexpr std::string_view kNextHeader = "Content-Transfer-Encoding: base64";

struct BrokenRow {
    const char* name;
    std::string mail;
    bool extended;
    std::string_view expected; // UTF-8; empty: only the general checks
};

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

std::string ContinuedWords(int lines) {
    std::string mail = "Content-Type: application/pdf; name=\"=?UTF-8?B?6LOH?=\r\n";
    for (int i = 1; i < lines - 1; ++i)
        mail += " =?UTF-8?B?6LOH?=\r\n";
    return mail + " =?UTF-8?B?6LOH?=\"\r\n" + std::string(kNextHeader) + "\r\n";
}

std::string ContinuedSegments(int lines) {
    std::string mail = "Content-Disposition: attachment; filename*0*=UTF-8''%E8%B3%87;\r\n";
    for (int i = 1; i < lines; ++i)
        mail += " filename*" + std::to_string(i) + "*=%E8%B3%87;\r\n";
    return mail + std::string(kNextHeader) + "\r\n\r\n";
}

std::string ContinuedRawValue(int lines) {
    std::string mail = "Content-Type: application/pdf; name=\xE9\r\n";
    for (int i = 1; i < lines; ++i)
        mail += " \xE9\xE9\r\n";
    return mail + std::string(kNextHeader) + "\r\n";
}

std::string LongRawValue() {
    // 20 continuation lines of 900 bytes: more than the 8192 bytes a value may collect.
    std::string mail = "Content-Type: application/pdf; name=" + Repeat("\xE9", 900) + "\r\n";
    for (int i = 0; i < 20; ++i)
        mail += " " + Repeat("\xE9", 900) + "\r\n";
    return mail + std::string(kNextHeader) + "\r\n";
}

TEST(BrokenNameParameter, DecodesWithoutOverrunningAnything) {
    const BrokenRow rows[] = {
        {"unterminated quote",
         MailLines({"Content-Type: x; name=\"=?UTF-8?B?6LOH5paZLnBkZg==?=", kNextHeader}), false, "資料.pdf"},
        {"unterminated encoded word", MailLines({"Content-Type: x; name=\"=?UTF-8?B?6LOH5paZ", kNextHeader}),
         false, "資料"},
        {"encoded word without text", MailLines({"Content-Type: x; name=\"=?UTF-8?B?", kNextHeader}), false,
         "_"},
        {"only the start of a word", MailLines({"Content-Type: x; name==?", kNextHeader}), false, "=_"},
        {"only a quote", MailLines({"Content-Type: x; name=\"", kNextHeader}), false, "_"},
        {"B word of characters outside the alphabet",
         MailLines({"Content-Type: x; name==?UTF-8?B?!!!!?=", kNextHeader}), false, "_"},
        {"B word with a pad inside", MailLines({"Content-Type: x; name==?UTF-8?B?QQ==QUJD?=", kNextHeader}),
         false, "_"},
        {"B word one character over a group",
         MailLines({"Content-Type: x; name==?UTF-8?B?QUJDR?=", kNextHeader}), false, "_"},
        {"B word that is not a multiple of four",
         MailLines({"Content-Type: x; name==?UTF-8?B?QUI?=", kNextHeader}), false, "AB"},
        {"equals sign at the end of a Q word",
         MailLines({"Content-Type: x; name==?UTF-8?Q?abc=?=", kNextHeader}), false, "abc"},
        {"Q word ending the line with an equals sign",
         MailLines({"Content-Type: x; name==?UTF-8?Q?abc=", kNextHeader}), false, "abc"},
        {"bad Q digits", MailLines({"Content-Type: x; name==?UTF-8?Q?a=ZZ?=", kNextHeader}), false, "ao"},
        {"percent sign at the end",
         MailLines({"Content-Disposition: a; filename*=UTF-8''abc%", kNextHeader, ""}), true, "abc"},
        {"percent sign and one digit at the end",
         MailLines({"Content-Disposition: a; filename*=UTF-8''abc%4", kNextHeader, ""}), true, "abc"},
        {"value on the next line that holds another filename= at its end",
         MailLines({"Content-Type: x; name=", " \"a filename=", kNextHeader}), false, "a filename="},
        {"value on the next line, quoted, with filename= inside",
         MailLines({"Content-Disposition: a; filename=", " \"b filename=c.txt\"", kNextHeader}), false,
         "b filename=c.txt"},
        {"percent-encoded zero byte",
         MailLines({"Content-Disposition: a; filename*=UTF-8''abc%00def", kNextHeader, ""}), true, "abc_def"},
        {"bad percent digits count as zero",
         MailLines({"Content-Disposition: a; filename*=UTF-8''%4G", kNextHeader, ""}), true, "@"},
        {"only a charset prefix", MailLines({"Content-Disposition: a; filename*=UTF-8''", kNextHeader, ""}),
         true, "_"},
        {"huge and negative segment indexes",
         MailLines({"Content-Disposition: a; filename*99999999999999999999=\"x\";", " filename*-5=\"y\"",
                    kNextHeader, ""}),
         true, "x"},
        {"NUL bytes in the line",
         MailLines({std::string("Content-Type: x; name=\"a\0b.pdf\"", 31), kNextHeader}), false, "ab.pdf"},
        {"Q escape of a NUL byte ends the text",
         MailLines({"Content-Type: x; name==?UTF-8?Q?ab=00cd?=", kNextHeader}), false, "ab"},
        {"invalid UTF-8 under a UTF-8 label",
         MailLines({"Content-Type: x; name==?UTF-8?B?6LM=?=", kNextHeader}), false, ""},
        {"invalid Shift_JIS raw bytes",
         MailLines({"Content-Type: x; name=\"\x81\x20\xFF\xFE\x80.pdf\"", kNextHeader}), false, ""},
        {"ISO-2022-JP escape cut short",
         MailLines({"Content-Type: x; name==?ISO-2022-JP?B?GyRCO3FOGyg=?=", kNextHeader}), false, ""},
        {"a charset name longer than ICU accepts",
         MailLines({"Content-Type: x; name==?" + Repeat("x", 70) + "?B?6LOH5paZLnBkZg==?=", kNextHeader}),
         false, "資料.pdf"},
        {"complete encoded word on the last line", "Content-Type: x; name=\"=?UTF-8?B?6LOH5paZ?=\"\r\n",
         false, "資料"},
        {"a thousand continuation lines of words", ContinuedWords(1000), false, ""},
        {"a thousand continuation lines of segments", ContinuedSegments(1000), true, ""},
        {"a raw value of more than 8192 bytes", LongRawValue(), false, ""},
        {"a thousand continuation lines of a raw value", ContinuedRawValue(1000), false, ""},
    };
    for (const BrokenRow& row : rows) {
        SCOPED_TRACE(row.name);
        HeaderFixture fixture(row.mail);
        std::u16string name;
        ::testing::internal::CaptureStderr(); // an overlong name reports ICU's overflow
        const int result = DecodeNameParameter(fixture.Reader(), name, row.extended).status;
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(name.empty());
        EXPECT_LE(name.size(), 255u);
        EXPECT_EQ(name.find(u'\uFFFD'), std::u16string::npos);
        if (!row.expected.empty()) {
            EXPECT_EQ(Utf8(name), row.expected);
        }
    }
}

TEST(BrokenNameParameter, LongNamesAreCutAt255Units) {
    struct Row {
        const char* name;
        std::string mail;
        bool extended;
    } rows[] = {
        {"words", ContinuedWords(1000), false},
        {"segments", ContinuedSegments(1000), true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        HeaderFixture fixture(row.mail);
        std::u16string name;
        ::testing::internal::CaptureStderr();
        ASSERT_EQ(DecodeNameParameter(fixture.Reader(), name, row.extended).status, 0);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(name, std::u16string(255, u'資'));
        EXPECT_EQ(fixture.NextLine(), kNextHeader);
    }
}

TEST(BrokenNameParameter, ALineLongerThanTheBufferIsNotReadAgain) {
    // The reader hands such a line over in pieces; giving back the piece that follows must not
    // rewind to the start of the header line, or the walk would meet the parameter forever.
    const std::string mail = "Content-Type: application/pdf; name=\"" + Repeat("A", 3000) + "\"\r\n" +
                             std::string(kNextHeader) + "\r\n";
    HeaderFixture fixture(mail);
    std::u16string name;
    ASSERT_EQ(DecodeNameParameter(fixture.Reader(), name, false).status, 0);
    EXPECT_EQ(name, std::u16string(255, u'A'));
    EXPECT_EQ(fixture.NextLine(), Repeat("A", 1023));
}

TEST(BrokenNameParameter, RandomHeaderTextNeverBreaksTheReaders) {
    static constexpr std::string_view kTokens[] = {
        "name=",     "filename=",   "filename*",
        "*0*=",      "*1=",         "=?",
        "?B?",       "?Q?",         "?=",
        "UTF-8",     "iso-2022-jp", "''",
        "'",         "%",           "%E3",
        "%8",        "\"",          ";",
        " ",         "\t",          "\r\n",
        "\r\n ",     "\n\t",        "\r",
        "=",         "_",           "\x1B$B",
        "\x1B(B",    "\xE3\x81",    "\x82",
        "\x8E\x91",  "\xFF",        std::string_view("\0", 1),
        "boundary=", "multipart/",  "charset=",
        ":",         "QUJD",
    };
    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> token(0, std::size(kTokens) - 1);
    std::uniform_int_distribution<int> length(1, 60);
    ::testing::internal::CaptureStderr();
    for (int round = 0; round < 3000; ++round) {
        std::string mail =
            round % 2 ? "Content-Type: multipart/mixed; " : "Content-Disposition: attachment; ";
        for (int n = length(random); n > 0; --n)
            mail += kTokens[token(random)];
        HeaderFixture fixture(mail);
        std::u16string name;
        const int result = DecodeNameParameter(fixture.Reader(), name, round % 3 == 0).status;
        ASSERT_TRUE(result == 0 || result == -1) << round;
        ASSERT_LE(name.size(), 255u) << round;

        HeaderFixture boundary(mail);
        const BoundaryParameters found = CollectBoundaryAndCharset(boundary.source);
        ASSERT_EQ(found.stored, !found.marker.empty()) << round;
        ASSERT_LE(found.marker.size(), 1023u) << round;
        ASSERT_LE(found.charset.size(), 23u) << round;
    }
    ::testing::internal::GetCapturedStderr();
}

} // namespace
} // namespace dornick

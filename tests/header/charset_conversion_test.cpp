#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <optional>

#include <unicode/utf16.h>

#include "console/header/charset_conversion.h"
#include "console/header/icu_retry.h"
#include "header_test_support.h"
#include "platform/console.h"

namespace dornick {
namespace {

using testing_support::Utf8;

struct ConvertRow {
    const char* name;
    std::string_view input;
    std::u16string_view charset;
    int detect;
    bool japanese_mail;
    std::string_view expected; // UTF-8
    int result;
};

void CheckConversions(std::initializer_list<ConvertRow> rows) {
    for (const ConvertRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::u16string output = u"stale";
        ::testing::internal::CaptureStderr();
        const int result = ConvertToUnicode(row.input, output, row.charset, row.detect, row.japanese_mail);
        const std::string messages = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(Utf8(output), row.expected);
        // Unknown names, detection and fallbacks are silent; only ICU failures speak.
        EXPECT_EQ(messages, "");
    }
}

constexpr std::string_view kSjisPlan =
    "\x8E\x96\x8B\xC6\x8C\x76\x89\xE6\x8F\x91\x81\x69\x91\xE6\x82\x51\x94\xC5\x81\x6A.pdf";

TEST(ConvertToUnicode, LabelledText) {
    CheckConversions({
        {"empty input", "", u"UTF-8", 1, false, "", 0},
        {"printable ASCII passes unconverted", "=?UTF-8?B?broken", u"ISO-2022-JP", 1, false,
         "=?UTF-8?B?broken", 0},
        {"UTF-8", "\xE8\xB3\x87\xE6\x96\x99.pdf", u"UTF-8", 1, false, "資料.pdf", 0},
        {"raw CharsetText with quote and following parameter", "\x1B$B;qNA\x1B(B.pdf",
         u"\"iso-2022-jp\"; format=f", 1, false, "資料.pdf", 0},
        {"blanks inside a label", "\x8E\x91\x97\xBF", u" shift_jis ;", 1, false, "資料", 0},
        {"ISO-2022-JP-2 label", "\x1B$B;qNA\x1B(B.pdf", u"iso-2022-jp-2", 1, false, "資料.pdf", 0},
        {"GB2312 read as GBK", "\x86\xAA.txt", u"gb2312", 1, false, "啰.txt", 0},
        {"EUC-KR", "\xB9\xAE\xBC\xAD.txt", u"EUC-KR", 1, false, "문서.txt", 0},
        {"CP code page from a TNEF container", "\x8E\x91\x97\xBF", u"CP932", 1, false, "資料", 0},
        {"unknown label: detection, no message", "\xE8\xB3\x87\xE6\x96\x99.pdf", u"x-no-such-charset", 1,
         false, "資料.pdf", 0},
        {"label too long for ICU: detection, no message", "\xE8\xB3\x87\xE6\x96\x99.pdf",
         u"x-a-charset-name-that-is-far-longer-than-any-name-icu-would-accept", 1, false, "資料.pdf", 0},
        {"label with characters no name has", "\xE8\xB3\x87\xE6\x96\x99.pdf", u"utf\u00e9-8", 1, false,
         "資料.pdf", 0},
        {"ISO-2022-JP with 8-bit half-width kana takes the Shift_JIS route", "\x1B$B;qNA\x1B(B\xB1\xB2.pdf",
         u"ISO-2022-JP", 1, false, "資料ｱｲ.pdf", 0},
        {"the route also after upper-casing the label", "\x1B$B;qNA\x1B(B\xB1\xB2.pdf", u"iso-2022-jp", 1,
         false, "資料ｱｲ.pdf", 0},
        {"input ends at a NUL byte", std::string_view("\xE8\xB3\x87\xE6\x96\x99\0xyz", 10), u"UTF-8", 1,
         false, "資料", 0},
        {"wrong label: U+FFFD leads to detection", "\xE8\xB3\x87\xE6\x96\x99.pdf", u"US-ASCII", 1, false,
         "資料.pdf", 0},
    });
}

TEST(ConvertToUnicode, UnlabelledText) {
    CheckConversions({
        {"detect 1: UTF-8 found", "\xE8\xA6\x8B\xE7\xA9\x8D\xE6\x9B\xB8.xls", u"", 1, false, "見積書.xls", 0},
        {"detect 1: Shift_JIS found", "\x8E\x91\x97\xBF.pdf", u"", 1, false, "資料.pdf", 0},
        {"detect 0: UTF-8 first", "\xE8\xB3\x87\xE6\x96\x99", u"", 0, false, "資料", 0},
        {"detect 0: the ANSI code page next (windows-1252 here)", "\xE9t\xE9.txt", u"", 0, false, "été.txt",
         0},
        {"a Western guess stands outside Japanese mail", kSjisPlan, u"", 1, false,
         "Ž–‹ÆŒv‰æ\u008F‘\u0081i‘æ‚Q”Å\u0081j.pdf", 0},
        {"JapaneseMailFlag turns a windows-1252 guess into 932", kSjisPlan, u"", 1, true,
         "事業計画書（第２版）.pdf", 0},
        {"JapaneseMailFlag turns a windows-1253 guess into 932", "\x8C\xA9\x90\xCF\x8F\x91.xls", u"", 1, true,
         "見積書.xls", 0},
        {"JapaneseMailFlag leaves a UTF-8 match alone", "\xE8\xA6\x8B\xE7\xA9\x8D\xE6\x9B\xB8.xls", u"", 1,
         true, "見積書.xls", 0},
        {"a text that no charset fits: the ANSI code page, -1", "\xE8", u"", 1, false, "è", -1},
        {"nothing reads it without U+FFFD: the ANSI code page, -1", "\xFF\xFF", u"UTF-8", 1, false, "ÿÿ", -1},
        {"control characters survive the retry that rejected them", "\x01\xE8\xB3\x87", u"UTF-8", 1, false,
         "\x01資", 0},
    });
}

TEST(ConvertToUnicode, DetectedUtf16IsSkipped) {
    // With its byte-order mark ICU is sure this is UTF-16LE ("あい"); a header name never is.
    std::u16string output;
    ConvertToUnicode("\xFF\xFE\x42\x30\x44\x30", output, u"", 1, false);
    EXPECT_EQ(output.find(u"あい"), std::u16string::npos) << Utf8(output);
    EXPECT_FALSE(output.empty());
}

TEST(ConvertToUnicode, AGuessIcuCannotConvertIsPassedOver) {
    // EBCDIC Hebrew: the detector's first guess is IBM424_ltr, for which ICU has no converter. The
    // conversion starts again in retry mode once, then passes over such guesses instead of retrying
    // the open for minutes.
    constexpr std::string_view kEbcdic = "\x5B\x45\x40\x55\x75\x56\x40\x58\x59\x40\x63\x56\x40\x45\x58\x40"
                                         "\x71\x71\x40\x58\x45\x58\x55\x75\x56\x63"
                                         "\x56\x40\x45\x55\x59\x58\x56\x40\x56\x63\x58\x40\xF1\xF9\xF9\xF8";
    std::u16string output;
    ::testing::internal::CaptureStderr();
    const auto started = std::chrono::steady_clock::now();
    const int result = ConvertToUnicode(kEbcdic, output, u"", 1, false);
    const auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(Utf8(output).substr(0, 7), "[E@UuV@");
    EXPECT_LT(took, std::chrono::milliseconds(250)); // not a single wait of the retry rule
}

std::string Repeat(std::string_view piece, int times) {
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

// A result longer than a name is no failure (nothing is said, the result is 0): it is cut to 255
// units by its stem, so that its extension stays, and never between the halves of a pair.
TEST(ConvertToUnicode, LongResultsAreCutKeepingTheirExtension) {
    const std::string a = "\xE3\x81\x82";         // あ in UTF-8
    const std::string smile = "\xF0\x9F\x98\x80"; // U+1F600, two units
    CheckConversions({
        {"ASCII without a dot", std::string(300, 'a'), u"", 1, false, std::string(255, 'a'), 0},
        {"ASCII with an extension", std::string(300, 'a') + ".pdf", u"", 1, false,
         std::string(251, 'a') + ".pdf", 0},
        {"a compound extension", std::string(300, 'x') + ".tar.gz", u"", 1, false,
         std::string(248, 'x') + ".tar.gz", 0},
        {"an extension with no room for a stem", "a." + std::string(300, 'b'), u"", 1, false,
         "a." + std::string(253, 'b'), 0},
        {"UTF-8 without a dot", Repeat(a, 300), u"UTF-8", 1, false, Repeat(a, 255), 0},
        {"UTF-8 with an extension", Repeat(a, 300) + ".pdf", u"UTF-8", 1, false, Repeat(a, 251) + ".pdf", 0},
        {"exactly 256 units", Repeat(a, 252) + ".pdf", u"UTF-8", 1, false, Repeat(a, 251) + ".pdf", 0},
        {"Shift_JIS with an extension", Repeat("\x82\xA0", 300) + ".doc", u"Shift_JIS", 1, false,
         Repeat(a, 251) + ".doc", 0},
        {"pairs without a dot", Repeat(smile, 200), u"UTF-8", 1, false, Repeat(smile, 127), 0},
        {"pairs with an extension", Repeat(smile, 200) + ".txt", u"UTF-8", 1, false,
         Repeat(smile, 125) + ".txt", 0},
        {"detected", Repeat(a, 300) + ".pdf", u"", 1, false, Repeat(a, 251) + ".pdf", 0},
    });
}

TEST(Utf8CutShortLength, OnlyUtf8CutInItsLastCharacter) {
    const struct {
        std::string_view bytes;
        size_t expected;
    } rows[] = {
        {"\xD0\x9E\xD1\x82\xD1", 4},     // two letters, then the first byte of a third
        {"\xE3\x81\x82\xE3\x81", 3},     // three-byte character cut after two
        {"\xE3\x81\x82\xF0\x9F\x98", 3}, // four-byte character cut after three
        {"a\xC3\xA9 b.txt\xE3", 9},      // a lead byte alone at the end
        {"\xD0\x9E\xD1\x82", 0},         // whole: nothing is cut
        {"abc\xD0", 0},                  // no whole character of several bytes
        {"", 0},
        {"\xD0\x9E\xFF\xD0", 0},         // invalid before the end
        {"\xD0\x9E\xE3\x81\x82\x81", 0}, // a stray trail byte at the end
        {"\xE3\x81\x82\xE0\x80", 0},     // E0 80 can never start a character
        {"\xE3\x81\x82\xED\xA0", 0},     // a surrogate's encoding
        {"\xE3\x81\x82\xF4\x90", 0},     // beyond U+10FFFF
        {"\xE3\x81\x82\xF5", 0},         // no lead byte
        {"\xE3\x81\x82\xC0", 0},         // overlong
        {"\xE3\x81\x82\xE3"
         "a",
         0},                                 // a lead byte followed by ASCII
        {"\x82\xA0\x82\xA2\x82\xA4\xE0", 0}, // Shift_JIS
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::string(row.bytes)));
        EXPECT_EQ(Utf8CutShortLength(row.bytes), row.expected);
    }
}

// Sets LC_ALL for one test and puts the old value back.
class ScopedLocale {
  public:
    explicit ScopedLocale(const char* value) {
        if (const char* old = std::getenv("LC_ALL")) old_ = old;
        setenv("LC_ALL", value, 1);
    }
    ~ScopedLocale() {
        if (old_)
            setenv("LC_ALL", old_->c_str(), 1);
        else
            unsetenv("LC_ALL");
    }

  private:
    std::optional<std::string> old_;
};

TEST(ConvertToUnicode, AnsiCodePageFollowsTheUsersLanguage) {
    ScopedLocale japanese("ja_JP.UTF-8");
    CheckConversions({
        {"detect 0: Shift_JIS through code page 932", "\x8C\xA9\x90\xCF\x8F\x91.xls", u"", 0, false,
         "見積書.xls", 0},
    });
}

TEST(LooksLikeJis, EscapesOrPlainBytes) {
    struct Row {
        const char* name;
        std::string_view bytes;
        bool expected;
    } rows[] = {
        {"ESC $ B", "\x1B$B;q\x1B(B", true},
        {"ESC $ @", "\x1B$@;q", true},
        {"ESC $ I", "\x1B$I1", true},
        {"ESC $ J", "\x1B$J", true},
        {"ESC $ ( D", "\x1B$(D", true},
        {"ESC $ ( O", "a\x1B$(O", true},
        {"ESC $ ( P", "\x1B$(P", true},
        {"ESC $ ( Q", "\x1B$(Q", true},
        {"only ESC ( B", "\x1B(Babc", false},
        {"a lone ESC", "\x1B", false},
        {"plain ASCII", "report.pdf", true},
        {"empty", "", true},
        {"half-width katakana", "\xB1\xB2\xA1\xDF", true},
        {"Shift_JIS lead byte", "\x8E\x91", false},
        {"byte A0", "\xA0", false},
        {"byte E0", "\xE0", false},
        {"control byte", "a\tb", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(LooksLikeJis(row.bytes), row.expected);
    }
}

TEST(JisToShiftJis, RewritesKanjiPairs) {
    struct Row {
        const char* name;
        std::string_view jis;
        std::string_view shift_jis;
    } rows[] = {
        {"kanji and ASCII", "\x1B$B;qNA\x1B(B.pdf", "\x8E\x91\x97\xBF.pdf"},
        {"hiragana, even first byte", "\x1B$B$\"\x1B(B!", "\x82\xA0!"},
        {"odd first byte, second above 5F", "\x1B$B%s\x1B(Bx", "\x83\x93x"},
        {"first byte past 9F moves up by 40", "\x1B$B`!\x1B(Bx", "\xE0\x9Fx"},
        {"ESC $ @ and ESC ( J", "\x1B$@;q\x1B(J.a", "\x8E\x91.a"},
        {"a closing escape at the very end is dropped", "\x1B$B;q\x1B(B", "\x8E\x91"},
        {"several escapes in a row", "\x1B(B\x1B$B;q\x1B(Bz", "\x8E\x91z"},
        {"ESC $ ( D", "\x1B$(D;qNA", "\x8E\x91\x97\xBF"},
        {"ESC & @ ESC $ B", "\x1B&@\x1B$B;qNA", "\x8E\x91\x97\xBF"},
        {"a pair outside 21..7E is dropped", "\x1B$B\x7F!;q\x1B(Bz", "\x8E\x91z"},
        {"half a pair at the end", "\x1B$B;q;", "\x8E\x91"},
        {"an unknown escape in one-byte mode is copied", "a\x1B(Ib", "a\x1B(Ib"},
        {"8-bit bytes in one-byte mode are copied", "\xB1\xB2", "\xB1\xB2"},
        {"empty", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes(row.jis);
        JisToShiftJis(bytes);
        EXPECT_EQ(bytes, row.shift_jis);
    }
}

// Charset labels a sender can invent (ISO-2022 with options, names with missing data, unknown
// names) fail at once: the retry rule, which reports every failure before its 250 ms wait, never
// starts, so no label can keep a name busy, and the name is still read.
TEST(ConvertToUnicode, CraftedLabelsFailAtOnce) {
    static int reports = 0;
    const IcuFailureReporter saved = CurrentIcuFailureReporter();
    CurrentIcuFailureReporter() = [](std::u16string_view, const char*) { ++reports; };
    const std::u16string_view labels[] = {
        u"iso-2022--",
        u"ISO-2022-JP-9",
        u"ISO_2022,locale=ja,version=9",
        u"ISO_2022,locale=xx,version=1",
        u"ISO-2022-KR,version=7",
        u"x-no-such",
        u"ibm-99999",
        u"UTF-7,version=1",
        u"\"\"",
        u"ISO-2022-JP--",
    };
    for (std::u16string_view label : labels) {
        SCOPED_TRACE(Utf8(std::u16string(label)));
        for (int again = 0; again < 3; ++again) {
            std::u16string output;
            (void)ConvertToUnicode("\x1B$B$3$s\x1B(B\xE9t\xE9.txt", output, label, 1, true);
            // A label that cannot be opened is as good as unknown: the detector reads the bytes.
            EXPECT_NE(output.find(u".txt"), std::u16string::npos) << Utf8(output);
        }
    }
    CurrentIcuFailureReporter() = saved;
    EXPECT_EQ(reports, 0);
}

} // namespace
} // namespace dornick

#include <gtest/gtest.h>

#include <iterator>
#include <random>

#include "console/header/header_search.h"

namespace dornick {
namespace {

struct FindRow {
    const char* name;
    std::u16string_view text;
    std::u16string_view needle;
    size_t expected;
};

TEST(FindNoCase, FindsTheFirstOccurrenceIgnoringCase) {
    const FindRow rows[] = {
        {"exact", u"name=a", u"name", 0},
        {"upper text", u"Content-Type: x; NAME=a", u"name", 17},
        {"mixed needle", u"content-type:", u"Content-Type:", 0},
        {"inside filename", u"filename=a", u"name", 4},
        {"inside filenamecharset", u"filenamecharset=x", u"charset", 8},
        {"first of two", u"name name", u"NAME", 0},
        {"absent", u"Content-Type: text/plain", u"boundary", kNotFound},
        {"needle longer than text", u"na", u"name", kNotFound},
        {"empty text", u"", u"name", kNotFound},
        {"match at the very end", u"xxname", u"name", 2},
        {"latin-1 unit folds", u"\u00e9t\u00e9", u"\u00c9T\u00c9", 0},
        {"widened byte is not ASCII", u"\u00ffname", u"NAME", 1},
        {"dotless i upper-cases to I", u"f\u0131lename", u"FILENAME", 0},
        {"long s first, past a block", u"Content-Type: text/plain; \u017Fet=1", u"SET", 26},
        {"dotless i first", u"0123456789abcdef\u0131d", u"id", 16},
        {"match across a block's end", u"0123456Boundary", u"boundary", 7},
        {"candidate at the last start", u"01234567890123456789na", u"NA", 20},
        {"non-ASCII needle", u"x\u00e9t\u00e9", u"\u00c9T", 1},
    };
    for (const FindRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FindNoCase(row.text, row.needle), row.expected);
    }
}

// The screened search against the plain one, unit by unit, on texts dense in near misses.
TEST(FindNoCase, AgreesWithTheUnitByUnitFold) {
    const char16_t units[] = {u'n',      u'N',      u'a',      u'A',      u'm',      u'E',
                              u'e',      u's',      u'S',      u'i',      u'I',      u'=',
                              u'\u0131', u'\u017F', u'\u00e9', u'\u00c9', u'\u30fc', u'\u00ff'};
    const std::u16string_view needles[] = {u"name", u"SET", u"i", u"ISs", u"\u00e9e", u"=N"};
    auto reference = [](std::u16string_view text, std::u16string_view needle) {
        for (size_t i = 0; i + needle.size() <= text.size(); ++i) {
            size_t k = 0;
            while (k < needle.size() && UpperUnit(text[i + k]) == UpperUnit(needle[k]))
                ++k;
            if (k == needle.size()) return i;
        }
        return kNotFound;
    };
    std::mt19937 random(7);
    for (int round = 0; round < 20000; ++round) {
        std::u16string text(random() % 40, u' ');
        for (char16_t& c : text)
            c = units[random() % std::size(units)];
        const std::u16string_view needle = needles[random() % std::size(needles)];
        ASSERT_EQ(FindNoCase(text, needle), reference(text, needle)) << round;
    }
}

TEST(FindNoCaseA, FindsBytesIgnoringAsciiCase) {
    struct Row {
        const char* name;
        std::string_view text;
        std::string_view needle;
        size_t expected;
    } rows[] = {
        {"lower needle", "Content-Disposition: attachment; FILENAME*0*=x", "filename", 33},
        {"encoded marker", "=?utf-8?b?QQ==?=", "?B?", 7},
        {"8-bit bytes do not fold", "\xe9", "\xc9", kNotFound},
        {"absent", "abc", "abcd", kNotFound},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FindNoCaseA(row.text, row.needle), row.expected);
    }
}

struct BetweenRow {
    const char* name;
    std::u16string_view text;
    std::u16string_view open;
    std::u16string_view close;
    int result;
    std::u16string_view out;
};

TEST(ExtractBetween, TakesTheTextBetweenTheDelimiters) {
    const BetweenRow rows[] = {
        {"charset of a word", u"=?UTF-8?B?QQ==?=", u"=?", u"?", 0, u"UTF-8"},
        {"quoted", u"-\"abc\";x", u"\"", u"\"", 0, u"abc"},
        {"case-insensitive delimiters", u"xOPENabcCLOSEy", u"open", u"close", 0, u"abc"},
        {"close only before open runs to the end", u"b]x[abc", u"[", u"]", 0, u"abc"},
        {"open missing", u"abc", u"[", u"]", -1, u""},
        {"close missing", u"[abc", u"[", u"]", -1, u""},
        // The close is looked for past the first open.size() units of the text, so a quote that is
        // both the opening one and the only close still counts when it is not the first unit.
        {"lone quote after the first unit", u"-\"abc", u"\"", u"\"", 0, u"abc"},
        {"lone quote as the first unit", u"\"abc", u"\"", u"\"", -1, u""},
        {"empty between", u"\"\"", u"\"", u"\"", 0, u""},
        {"empty text", u"", u"\"", u"\"", -1, u""},
    };
    for (const BetweenRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::u16string out = u"stale";
        EXPECT_EQ(ExtractBetween(row.text, out, row.open, row.close), row.result);
        EXPECT_EQ(out, row.out);
    }
}

TEST(ExtractBetweenA, TakesTheBytesBetweenTheDelimiters) {
    struct Row {
        const char* name;
        std::string_view text;
        int result;
        std::string_view out;
    } rows[] = {
        {"word charset", "=?iso-2022-jp?B?GyRC?=", 0, "iso-2022-jp"},
        {"no word", "abc", -1, ""},
        {"no closing question mark", "=?abc", -1, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string out = "stale";
        EXPECT_EQ(ExtractBetweenA(row.text, out, "=?", "?"), row.result);
        EXPECT_EQ(out, row.out);
    }
}

TEST(TextPredicates, PrintableAsciiAndControlUnits) {
    struct Row {
        const char* name;
        std::u16string_view text;
        bool printable_ascii;
        bool no_control;
    } rows[] = {
        {"empty", u"", true, true},
        {"ascii name", u"report 2.pdf", true, true},
        {"tilde is printable", u"~", true, true},
        {"delete", u"a\u007fb", false, false},
        {"tab", u"a\tb", false, false},
        {"unit 1 left by a retry", u"\u0001", false, false},
        {"japanese", u"資料.pdf", false, true},
        {"c1 control passes the control test", u"\u0085", false, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(IsPrintableAsciiW(row.text), row.printable_ascii);
        EXPECT_EQ(HasNoControlW(row.text), row.no_control);
    }
}

} // namespace
} // namespace dornick

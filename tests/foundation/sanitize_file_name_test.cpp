#include "console/header/sanitize_file_name.h"

#include <gtest/gtest.h>

namespace dornick {
namespace {

struct SanitizeRow {
    const char* name;
    std::u16string input;
    bool full_width;
    std::u16string expected;
};

const SanitizeRow kRows[] = {
    {"ControlsAndSpacesOnly", u"\x01\x02  \x1F\x7F", false, u"__  __"},
    {"Empty", u"", false, u"_"},
    {"HalfWidthForbidden", u"a:b?.txt", false, u"a_b_.txt"},
    {"FullWidthForbidden", u"a:b?.txt", true, u"a\uFF1Ab\uFF1F.txt"},
    {"AllNineHalf", u"\\/?:*\"><|", false, u"_________"},
    {"AllNineFull", u"\\/?:*\"><|", true, u"\uFFE5\uFF0F\uFF1F\uFF1A\uFF0A\u201D\uFF1E\uFF1C\uFF5C"},
    {"ControlsBecomeUnderscores", u"re\tport\r\n.pdf", false, u"re_port__.pdf"},
    {"EscapeSequence", u"\x1B[31mred\x1B[0m.txt", false, u"_[31mred_[0m.txt"},
    {"C1ControlsAndDel", u"a\u0085b\u009Bc\x7F.txt", false, u"a_b_c_.txt"},
    {"NulInside", std::u16string(u"abc\0def", 7), false, u"abc_def"},
    {"LeadingSpacesGoTrailingStay", u"   name. ", false, u"name. "},
    {"TabThenSpacesLeading", u"\t  x", false, u"_  x"},
    {"BidiOverrideReplaced", u"invoice\u202Efdp.exe", false, u"invoice_fdp.exe"},
    {"IsolatesReplaced", u"\u2066a\u2067b\u2068c\u2069", false, u"_a_b_c_"},
    {"LeftToRightMarkStays", u"\u05D0\u200E_(1)_.txt", false, u"\u05D0\u200E_(1)_.txt"},
    {"DotAlone", u".", false, u"_."},
    {"DotDot", u"..", false, u"_.."},
    {"DotDotAfterSpaces", u"  ..", false, u"_.."},
    {"TraversalFlattened", u"../../etc/passwd", false, u".._.._etc_passwd"},
    {"JapaneseKept", u"資料：一覧.xlsx", false, u"資料：一覧.xlsx"},
};

TEST(SanitizeFileName, Table) {
    for (const SanitizeRow& row : kRows) {
        SCOPED_TRACE(row.name);
        std::u16string name = row.input;
        SanitizeFileName(name, row.full_width);
        EXPECT_EQ(name, row.expected);
    }
}

TEST(SanitizeFileName, ResultNeverHoldsASeparatorOrControl) {
    std::u16string all;
    for (char16_t c = 0; c < 0x300; ++c)
        all.push_back(c);
    all += u"\u202A\u202B\u202C\u202D\u202E\u2066\u2067\u2068\u2069";
    for (bool full_width : {false, true}) {
        std::u16string name = all;
        SanitizeFileName(name, full_width);
        for (char16_t c : name) {
            EXPECT_NE(c, u'/');
            EXPECT_NE(c, u'\\');
            EXPECT_FALSE(c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x202A && c <= 0x202E) ||
                         (c >= 0x2066 && c <= 0x2069));
        }
    }
}

} // namespace
} // namespace dornick

#include <gtest/gtest.h>

#include "console/header/nfc.h"
#include "header_test_support.h"

namespace dornick {
namespace {

using testing_support::Utf8;

TEST(NormalizeNfc, ComposesButKeepsExcludedCharacters) {
    struct Row {
        const char* name;
        std::u16string_view text;
        std::u16string_view expected;
    } rows[] = {
        {"kana with a combining voiced mark", u"\u304B\u3099", u"\u304C"},
        {"Mac file name", u"\u30AB\u3099\u30A4\u30C8\u3099.pdf", u"ガイド.pdf"},
        {"semi-voiced mark", u"\u30CF\u309A", u"\u30D1"},
        {"latin accent", u"e\u0301t\u00E9", u"\u00E9t\u00E9"},
        {"hangul jamo", u"\u1100\u1161", u"\uAC00"},
        {"CJK compatibility ideograph survives", u"\uF900\uFA10.txt", u"\uF900\uFA10.txt"},
        {"ohm sign survives", u"10\u2126", u"10\u2126"},
        {"half-width katakana is not composed", u"\uFF76\uFF9E", u"\uFF76\uFF9E"},
        {"already composed", u"資料.pdf", u"資料.pdf"},
        {"empty", u"", u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::u16string text(row.text);
        EXPECT_LE(NormalizeNfc(text), 0);
        EXPECT_EQ(Utf8(text), Utf8(row.expected));
    }
}

TEST(NormalizeNfc, FullLengthName) {
    std::u16string text;
    for (int i = 0; i < 127; ++i)
        text += u"\u304B\u3099";
    text += u"x"; // 255 units
    NormalizeNfc(text);
    EXPECT_EQ(text, std::u16string(127, u'\u304C') + u"x");
}

} // namespace
} // namespace dornick

#include <gtest/gtest.h>

#include "console/header/encoded_words.h"
#include "console/header/rfc2231_segments.h"

namespace dornick {
namespace {

TEST(DecodeBWord, GroupsOfFourAndTheirPads) {
    struct Row {
        const char* name;
        std::string_view text;
        std::string_view bytes;
    } rows[] = {
        {"three bytes", "QUJD", "ABC"},
        {"one pad", "QUI=", "AB"},
        {"two pads", "QQ==", "A"},
        {"missing pads are added", "QUI", "AB"},
        {"missing double pad", "QQ", "A"},
        {"three pads: nothing", "Q===", ""},
        {"one character over a group: nothing", "QUJDQ", ""},
        {"pad inside the text: nothing", "QQ==QUJD", ""},
        {"pad at the start: nothing", "====", ""},
        {"two groups", "QUJDREVG", "ABCDEF"},
        {"foreign characters count as A", "QU.D", std::string_view("A@\x03", 3)},
        {"empty", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DecodeBWord(row.text), row.bytes);
    }
}

TEST(DecodeQWord, EscapesUnderscoresAndBadDigits) {
    struct Row {
        const char* name;
        std::string_view text;
        std::string_view sum_rule;
        std::string_view or_rule;
    } rows[] = {
        {"escapes", "=41=4a", "AJ", "AJ"},
        {"underscore is a space", "a_b", "a b", "a b"},
        {"escape cut after one digit", "ab=4", "ab", "ab"},
        {"escape cut at the equals sign", "ab=", "ab", "ab"},
        {"two bad digits", "=ZZ", "\x6F", "\xFF"},
        {"bad low digit", "=4G", "\xBF", "\x7F"},
        {"bad high digit", "=G4", "\xF4", "\xF4"},
        {"lower-case digits", "=e3=81=82", "\xE3\x81\x82", "\xE3\x81\x82"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DecodeQWord(row.text, QEscapeRule::Sum), row.sum_rule);
        EXPECT_EQ(DecodeQWord(row.text, QEscapeRule::Or), row.or_rule);
    }
}

TEST(PercentDecode, HexPairsUntilACutEscapeOrANonNumber) {
    struct Row {
        const char* name;
        std::string_view text;
        std::string_view bytes;
    } rows[] = {
        {"upper and lower case", "%E3%81%82%e3%81%84.txt", "\xE3\x81\x82\xE3\x81\x84.txt"},
        {"no escapes", "a.txt", "a.txt"},
        {"cut escape ends the text", "abc%4", "abc"},
        {"lone percent at the end", "abc%", "abc"},
        {"zero byte becomes an underscore", "ab%00cd", "ab_cd"},
        {"non-digits count as zero", "%4G%G4", "@\x04"},
        {"two non-digits make a zero byte", "a%GGb", "a"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(PercentDecode(row.text), row.bytes);
    }
}

TEST(AppendCollected, KeepsAtMost8191Bytes) {
    std::string collected(8190, 'a');
    AppendCollected(collected, "xyz");
    EXPECT_EQ(collected.size(), 8191u);
    EXPECT_EQ(collected.back(), 'x');
    AppendCollected(collected, "more");
    EXPECT_EQ(collected.size(), 8191u);
}

} // namespace
} // namespace dornick

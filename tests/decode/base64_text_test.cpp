#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "console/decode/base64_text.h"

namespace dornick {
namespace {

using Transform = void (*)(char*);

struct TransformRow {
    const char* name;
    Transform transform;
    const char* input;
    const char* expected;
};

std::string Applied(Transform transform, const char* input) {
    char buffer[64] = {};
    std::strcpy(buffer, input);
    transform(buffer);
    return buffer;
}

TEST(Base64Text, InPlaceCleanUps) {
    const TransformRow rows[] = {
        {"strip keeps the filter set", Base64StripForeign, "QU Jd+/=\t", "QU Jd+/=\t"},
        {"strip removes one stray kind everywhere", Base64StripForeign, "Q!UJ!D!", "QUJD"},
        {"strip empties on a second stray kind", Base64StripForeign, "QU!JD?", ""},
        {"strip keeps the first kind before a second appears", Base64StripForeign, "!!", ""},
        {"strip treats a high byte as stray", Base64StripForeign, "QU\xE3JD", "QUJD"},
        {"trim both ends", TrimBlanks, " \t QUJD \t", "QUJD"},
        {"trim keeps inner blanks", TrimBlanks, "QU JD", "QU JD"},
        {"trim all blanks", TrimBlanks, " \t ", ""},
        {"spaces become plus", SpacesToPlus, "a b  c", "a+b++c"},
        {"pad to a quad", Base64PadToQuad, "QQ", "QQ=="},
        {"pad nothing on a quad", Base64PadToQuad, "QUJD", "QUJD"},
        {"pad the empty string", Base64PadToQuad, "", ""},
    };
    for (const TransformRow& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(Applied(row.transform, row.input), row.expected);
    }
}

TEST(Base64Text, InnerPadAndPrintable) {
    struct Row {
        const char* line;
        bool no_inner_pad;
    } rows[] = {{"QUJD", true},   {"QQ==", true},   {"", true},        {"==", true},
                {"QU=JD", false}, {"QU=D=", false}, {"Q=JD==", false}, {"QUJD=", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(Base64HasInnerPad(row.line), row.no_inner_pad);
    }
    EXPECT_TRUE(IsPrintableAscii(" ~abc"));
    EXPECT_TRUE(IsPrintableAscii(""));
    EXPECT_FALSE(IsPrintableAscii("a\tb"));
    EXPECT_FALSE(IsPrintableAscii("a\x7F"));
    EXPECT_FALSE(IsPrintableAscii("caf\xC3\xA9"));
}

TEST(Base64Text, SplitCarryJoinsAndKeepsTheRemainder) {
    char carry[4] = "";
    char line[32] = "QUJDQ"; // 5 characters: one goes to the carry
    Base64SplitCarry(line, carry);
    EXPECT_STREQ(line, "QUJD");
    EXPECT_STREQ(carry, "Q");
    std::strcpy(line, "UJDQUJD"); // the carry in front makes 8
    Base64SplitCarry(line, carry);
    EXPECT_STREQ(line, "QUJDQUJD");
    EXPECT_STREQ(carry, "");
    std::strcpy(line, "QU");
    Base64SplitCarry(line, carry);
    EXPECT_STREQ(line, "");
    EXPECT_STREQ(carry, "QU");
}

TEST(Base64Text, DecodeBlock) {
    struct Row {
        const char* chars;
        int result;
        const char* bytes;
    } rows[] = {
        {"QUJD", 3, "ABC"},       {"QUI=", 2, "AB"},
        {"QQ==", 1, "A"},         {"Q===", -1, ""},
        {"====", -1, ""},         {"QUJDQQ==", 4, "ABCA"},
        {"QUI=QUJD", -1, ""},     {"QQ=x", 1, "A"},
        {"QUJ", -1, ""},          {"", -1, ""},
        {"!!!!", 3, "\0\0\0"},    {"Q!JD", 3, "@\x02\x43"},
        {"QUJDQUI=", 5, "ABCAB"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.chars);
        uint8_t out[16] = {};
        const int n = Base64DecodeBlock(row.chars, static_cast<int>(std::strlen(row.chars)), out);
        ASSERT_EQ(n, row.result);
        if (n > 0) {
            EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), std::string(row.bytes, n));
        }
    }
    EXPECT_EQ(Base64DecodeBlock("QUJD", 4, nullptr), -1);
}

TEST(Base64Text, QpDecode) {
    struct Row {
        const char* text;
        bool header;
        std::string expected;
    } rows[] = {
        {"=41=4a", false, "AJ"},
        {"=ZZ", false, "\xFF"},
        {"=4", false, ""},
        {"ab=", false, "ab"},
        {"a=3Db", false, "a=b"},
        {"a_b", false, "a_b"},
        {"a_b", true, "a b"},
        {"=e3=81=82", false, "\xE3\x81\x82"},
        {"x=G1", false, std::string(1, 'x') + "\xF1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        uint8_t out[32];
        const int n = QpDecode(row.text, out, row.header);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), n), row.expected);
    }
}

} // namespace
} // namespace dornick

// Manifest strings: any text becomes valid JSON and reads back unit for unit.

#include <gtest/gtest.h>

#include "console/run/record_json.h"

namespace dornick {
namespace {

struct EscapeRow {
    const char* name;
    std::u16string text;
    std::string json;
};

const EscapeRow kEscapeRows[] = {
    {"plain", u"report.pdf", R"("report.pdf")"},
    {"japanese", u"報告書.pdf", "\"\xE5\xA0\xB1\xE5\x91\x8A\xE6\x9B\xB8.pdf\""},
    {"quote and backslash", u"a\"b\\c", R"("a\"b\\c")"},
    {"nul", std::u16string(u"a\0b", 3), R"("a\u0000b")"},
    {"controls", u"\t\n\x1b[31m\x7f", "\"\\t\\n\\u001b[31m\x7f\""},
    {"byte that was not UTF-8", u"caf\xDCE9.txt", R"("caf\udce9.txt")"},
    {"lone lead surrogate", u"x\xD800y", R"("x\ud800y")"},
    {"surrogate pair stays one character", u"\xD83D\xDE00", "\"\xF0\x9F\x98\x80\""},
    {"empty", u"", R"("")"},
};

TEST(RecordJson, StringsAreEscapedLosslessly) {
    for (const EscapeRow& row : kEscapeRows) {
        SCOPED_TRACE(row.name);
        std::string json;
        AppendJsonString(json, row.text);
        EXPECT_EQ(json, row.json);
        const nlohmann::json record = ParseRecordLine("{\"v\":" + json + "}");
        ASSERT_FALSE(record.is_discarded());
        EXPECT_EQ(RecordText(record, "v"), row.text);
    }
}

struct BytesRow {
    const char* name;
    std::string bytes;
    std::string json;
};

const BytesRow kBytesRows[] = {
    {"ascii", "text/plain", R"("text/plain")"},
    {"utf-8", "\xC3\xA9", "\"\xC3\xA9\""},
    {"latin-1 byte", "caf\xE9", R"("caf\udce9")"},
    {"cut sequence", "\xE6\x97", R"("\udce6\udc97")"},
    {"overlong slash", "\xC0\xAF", R"("\udcc0\udcaf")"},
    {"encoded surrogate", "\xED\xA0\x80", R"("\udced\udca0\udc80")"},
    {"nul and escape", std::string("a\0\x1b", 3), R"("a\u0000\u001b")"},
};

TEST(RecordJson, BytesOfAnyEncodingAreEscaped) {
    for (const BytesRow& row : kBytesRows) {
        SCOPED_TRACE(row.name);
        std::string json;
        AppendJsonBytes(json, row.bytes);
        EXPECT_EQ(json, row.json);
        EXPECT_FALSE(ParseRecordLine("{\"v\":" + json + "}").is_discarded());
    }
}

TEST(RecordJson, LinesThatAreNoRecordAreDiscarded) {
    for (const char* line :
         {"", "hello", "{\"type\":\"mail\",\"source\":\"/a", "[1,2]", "\"text\"", "{\"a\":1}x"}) {
        SCOPED_TRACE(line);
        EXPECT_TRUE(ParseRecordLine(line).is_discarded());
        EXPECT_EQ(RecordBytes(ParseRecordLine(line), "type"), "");
    }
    // An escaped backslash before "udc" is text, not an escape.
    const nlohmann::json record = ParseRecordLine(R"({"v":"\\udc80"})");
    EXPECT_EQ(RecordText(record, "v"), u"\\udc80");
    EXPECT_EQ(RecordText(ParseRecordLine(R"({"v":1})"), "v"), u"");
}

} // namespace
} // namespace dornick

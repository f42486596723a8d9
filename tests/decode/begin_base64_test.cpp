#include <string>

#include <gtest/gtest.h>

#include "console/decode/base64_part.h"
#include "console/decode/begin_base64.h"
#include "test_support.h"

namespace dornick {
namespace {

struct Row {
    const char* name;
    std::string mail; // the header line first
    std::u16string boundary;
    bool found;
};

TEST(BeginBase64, Detect) {
    const Row rows[] = {
        {"complete block", "begin-base64 644 a.bin\r\nQUJD\r\n====\r\n", u"", true},
        {"LF lines", "begin-base64 644 a.bin\nQUJD\nQUI=\n====\n", u"", true},
        {"no pad line", "begin-base64 644 a.bin\r\nQUJD\r\n", u"", false},
        {"boundary first", "begin-base64 644 a.bin\r\nQUJD\r\n--b1\r\n====\r\n", u"-b1", false},
        {"another block first", "begin-base64 644 a.bin\r\nbegin-base64 644 b\r\n====\r\n", u"", false},
        {"mode not octal", "begin-base64 648 a.bin\r\n====\r\n", u"", false},
        {"too short", "begin-base64 644\r\n====\r\n", u"", false},
        {"shortest", "begin-base64 644 a\r\n====\r\n", u"", true},
        {"upper case marker", "BEGIN-BASE64 644 a.bin\r\n====\r\n", u"", false},
        {"pad line with more", "begin-base64 644 a.bin\r\n=====\r\n", u"", false},
        {"longest header", "begin-base64 644 " + std::string(260, 'n') + "\r\n====\r\n", u"", true},
        {"header too long", "begin-base64 644 " + std::string(261, 'n') + "\r\n====\r\n", u"", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LineCursor cursor =
            MakeLineCursor(reinterpret_cast<const unsigned char*>(row.mail.data()), row.mail.size());
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        const unsigned char* before = cursor.pos;
        EXPECT_EQ(DetectBeginBase64(line, cursor, PartBoundary(row.boundary)), row.found);
        EXPECT_EQ(cursor.pos, before);
        if (row.found) {
            EXPECT_EQ(std::u16string(BeginBase64Name(line)).substr(0, 1), std::u16string(1, row.mail[17]));
        }
    }
}

// The block's data decodes up to the "====" line, which ends it.
TEST(BeginBase64, DecodesUpToThePadLine) {
    const std::string original = "begin-base64 payload\n";
    const std::string mail = "begin-base64 644 a.bin\r\n" +
                             test::WrapLines(test::EncodeBase64(original), 8, "\r\n") +
                             "\r\n====\r\ntext after\r\n";
    LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
    char16_t line[kLineCapacity];
    ReadLineW(line, cursor);
    ASSERT_TRUE(DetectBeginBase64(line, cursor, PartBoundary()));
    EXPECT_EQ(std::u16string(BeginBase64Name(line)), u"a.bin");
    ReadLineW(line, cursor);
    test::MemorySink sink;
    Base64PartDecoder decoder;
    EXPECT_EQ(decoder.Run(line, cursor, PartBoundary(), sink, {}), DataEnd::PadLine);
    EXPECT_EQ(sink.bytes, original);
    EXPECT_EQ(std::u16string(line), u"====");
}

} // namespace
} // namespace dornick

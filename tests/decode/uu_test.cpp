#include <chrono>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "console/decode/uu_block.h"
#include "console/decode/uu_line.h"
#include "console/decode/uu_part.h"
#include "old_encodings_support.h"
#include "test_support.h"

namespace dornick {
namespace {

std::string AllByteValues() {
    std::string out;
    for (int i = 0; i < 256; ++i)
        out += static_cast<char>(i);
    return out;
}

struct Original {
    const char* name;
    std::string data;
};

std::vector<Original> Originals() {
    std::mt19937 random(7);
    return {
        {"empty", ""},
        {"one byte", "A"},
        {"44 bytes", test::RandomBytes(random, 44)},
        {"45 bytes (one full line)", test::RandomBytes(random, 45)},
        {"46 bytes", test::RandomBytes(random, 46)},
        {"89 bytes", test::RandomBytes(random, 89)},
        {"90 bytes", test::RandomBytes(random, 90)},
        {"all 256 byte values", AllByteValues()},
        {"zeros", std::string(200, '\0')},
        {"random 20000", test::RandomBytes(random, 20000)},
    };
}

// Detects the block at the mail's first line, then decodes from the line after it, as the walk
// does for a block in a text body.
test::BlockRun DetectAndDecode(const std::string& mail, UuCode expected) {
    LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
    char16_t line[kLineCapacity];
    ReadLineW(line, cursor);
    EXPECT_EQ(UuDetect(line, cursor, PartBoundary()), expected);
    const size_t header = mail.find_first_of("\r\n");
    return test::RunUuPart(std::string_view(mail).substr(mail[header] == '\r' ? header + 2 : header + 1),
                           expected);
}

TEST(UuRoundTrip, EncodedBlocksDecodeToTheOriginalBytes) {
    for (const Original& original : Originals()) {
        for (const test::LineEnds& ends : test::kLineEndings) {
            struct Code {
                const char* name;
                UuCode code;
                std::vector<std::string> lines;
            } codes[] = {
                {"uuencode", UuCode::Uuencode, test::UuEncodeBlock(original.data, "a.bin")},
                {"uuencode with spaces", UuCode::Uuencode, test::UuEncodeBlock(original.data, "a.bin", ' ')},
                {"xxencode", UuCode::Xxencode, test::XxEncodeBlock(original.data, "a.bin")},
            };
            for (const Code& code : codes) {
                SCOPED_TRACE(std::string(original.name) + ", " + ends.name + ", " + code.name);
                const std::string mail = test::JoinLines(code.lines, ends);
                const test::BlockRun run = DetectAndDecode(mail, code.code);
                EXPECT_EQ(run.output, original.data);
                EXPECT_EQ(run.end, DataEnd::BlockEnd);
                // The zero-length line ends the data; "end" is left for the walk.
                EXPECT_EQ(run.end_line, code.code == UuCode::Xxencode ? u"+" : u"`");
            }
        }
    }
}

// A whole MIME part in uuencode: the header line is passed over, the boundary ends the data.
TEST(UuRoundTrip, WholePartUpToTheBoundary) {
    std::mt19937 random(3);
    const std::string data = test::RandomBytes(random, 1000);
    std::vector<std::string> lines = test::UuEncodeBlock(data, "x.bin");
    lines.resize(lines.size() - 2); // no zero-length line, no "end": the boundary ends the part
    lines.push_back("------=_Part_77--");
    const test::BlockRun run =
        test::RunUuPart(test::JoinLines(lines, test::kLineEndings[0]), UuCode::Uuencode, u"------=_Part_77");
    EXPECT_EQ(run.output, data);
    EXPECT_EQ(run.end, DataEnd::Boundary);
    EXPECT_EQ(run.end_line, u"------=_Part_77--");
}

struct DetectRow {
    const char* name;
    std::string mail; // the header line first, CR LF lines
    std::u16string boundary;
    UuCode found;
};

TEST(UuDetect, AcceptsAndRejects) {
    const std::string data = "M86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7I!0D-$149'2$E*2TQ-3D]045)3";
    const DetectRow rows[] = {
        {"uuencode block", "begin 644 a.txt\r\n" + data + "\r\n`\r\nend\r\n", u"", UuCode::Uuencode},
        {"xxencode block", "begin 644 a.txt\r\nh" + data.substr(1) + "\r\n+\r\nend\r\n", u"",
         UuCode::Xxencode},
        {"LF lines", "begin 644 a.txt\n" + data + "\n`\nend", u"", UuCode::Uuencode},
        {"empty lines before end", "begin 644 a.txt\r\n" + data + "\r\n`\r\n\r\n\r\nend\r\n", u"",
         UuCode::Uuencode},
        {"grave and space", "begin 644 a\r\n` \r\nend\r\n", u"", UuCode::Uuencode},
        {"two graves", "begin 644 a\r\n``\r\nend\r\n", u"", UuCode::Uuencode},
        {"a space", "begin 644 a\r\n \r\nend\r\n", u"", UuCode::Uuencode},
        {"space and a letter", "begin 644 a\r\n x\r\nend\r\n", u"", UuCode::Uuencode},
        {"no end after the zero-length line", "begin 644 a.txt\r\n" + data + "\r\n`\r\n", u"", UuCode::None},
        {"other text after the zero-length line", "begin 644 a\r\n`\r\nhello\r\nend\r\n", u"", UuCode::None},
        {"no zero-length line", "begin 644 a.txt\r\n" + data + "\r\nend\r\n", u"", UuCode::None},
        {"data line of 63", "begin 644 a\r\n" + std::string(63, 'M') + "\r\n`\r\nend\r\n", u"", UuCode::None},
        {"data line of 62", "begin 644 a\r\n" + std::string(62, 'M') + "\r\n`\r\nend\r\n", u"",
         UuCode::Uuencode},
        {"boundary inside", "begin 644 a\r\n--b1\r\n`\r\nend\r\n", u"--b1", UuCode::None},
        {"another begin inside", "begin 644 a\r\nbegin 644 b\r\n`\r\nend\r\n", u"", UuCode::None},
        {"mode not octal", "begin 648 a\r\n`\r\nend\r\n", u"", UuCode::None},
        {"header of 10", "begin 644 \r\n`\r\nend\r\n", u"", UuCode::None},
        {"header of 11", "begin 644 a\r\n`\r\nend\r\n", u"", UuCode::Uuencode},
        {"header of 270", "begin 644 " + std::string(260, 'n') + "\r\n`\r\nend\r\n", u"", UuCode::Uuencode},
        {"header of 271", "begin 644 " + std::string(261, 'n') + "\r\n`\r\nend\r\n", u"", UuCode::None},
        {"upper case", "BEGIN 644 a\r\n`\r\nend\r\n", u"", UuCode::None},
        {"begin-base64", "begin-base64 644 a\r\n====\r\n", u"", UuCode::None},
        {"end in upper case", "begin 644 a\r\n`\r\nEND\r\n", u"", UuCode::None},
        {"the data ends", "begin 644 a\r\n", u"", UuCode::None},
    };
    for (const DetectRow& row : rows) {
        SCOPED_TRACE(row.name);
        LineCursor cursor =
            MakeLineCursor(reinterpret_cast<const unsigned char*>(row.mail.data()), row.mail.size());
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        const unsigned char* before = cursor.pos;
        EXPECT_EQ(UuDetect(line, cursor, PartBoundary(row.boundary)), row.found);
        EXPECT_EQ(cursor.pos, before);
    }
}

TEST(UuDetect, NameIsTheHeaderTextFromItsEleventhCharacterAsBytes) {
    const struct {
        const char* name;
        std::u16string header;
        std::string bytes;
    } rows[] = {
        {"plain", u"begin 644 a b.txt", "a b.txt"},
        {"parent path", u"begin 644 ../../x", "../../x"},
        {"absolute path", u"begin 600 /etc/passwd", "/etc/passwd"},
        {"control characters",
         u"begin 644 a\x01\x1f"
         u"b",
         "a\x01\x1f"
         "b"},
        {"a line shorter than the name's offset", u"begin", ""},
        {"Shift_JIS bytes", u"begin 644 \u0083\u0065\u0083\u0058\u0083\u0067.txt",
         "\x83\x65\x83\x58\x83\x67.txt"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        char bytes[kLineCapacity];
        EXPECT_EQ(UuBeginName(row.header.c_str(), bytes), row.bytes.size());
        EXPECT_EQ(std::string(bytes), row.bytes);
    }
}

TEST(UuPart, NameOfAPartWithoutOneComesFromItsHeaderLine) {
    const struct {
        const char* name;
        std::string mail; // from the part's first data line
        std::string bytes;
    } rows[] = {
        {"header line first", "begin 644 r.bin\r\n#86)C\r\n", "r.bin"},
        {"after empty lines", "\r\n\r\nbegin 600 r b.bin\r\n", "r b.bin"},
        {"data first", "#86)C\r\nbegin 644 r.bin\r\n", ""},
        {"no space as 10th character", "begin 6440 r.bin\r\n", ""},
        {"nothing but empty lines", "\r\n\r\n", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LineCursor cursor =
            MakeLineCursor(reinterpret_cast<const unsigned char*>(row.mail.data()), row.mail.size());
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        const unsigned char* before = cursor.pos;
        char bytes[kLineCapacity];
        EXPECT_EQ(UuPartName(line, cursor, bytes), row.bytes.size());
        EXPECT_EQ(std::string(bytes), row.bytes);
        EXPECT_EQ(cursor.pos, before);
    }
}

struct LineRow {
    const char* name;
    std::string line;
    UuLineResult result;
    std::string bytes;
};

TEST(UuLine, DesignedCasesOfOneLine) {
    const std::string sixty = "86)C9&5F9VAI:FML;6YO<'%R<W1U=G=X>7I!0D-$149'2$E*2TQ-3D]045)3";
    const std::string forty_five = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRS";
    const LineRow rows[] = {
        {"M and 60 characters give 45 bytes", "M" + sixty, UuLineResult::Bytes, forty_five},
        // The count promises 45 bytes (60 characters) but 40 follow: the whole line of 41
        // characters is decoded, count included, and gives 30 bytes.
        {"count promising more than the line holds", "M" + sixty.substr(0, 40), UuLineResult::Bytes,
         "\xb5\x85\x89\x8d\x91\x95\x99\x9d\xa1\xa5\xa9\xad\xb1\xb5\xb9\xbd\xc1\xc5\xc9\xcd\xd1\xd5\xd9\xdd"
         "\xe1"
         "\xe5\xe9\x05\t\r"},
        {"a short line", "#86)C", UuLineResult::Bytes, "abc"},
        {"grave accent is 0", "!``", UuLineResult::Bytes, std::string(1, '\0')},
        {"header line is passed over", "begin 644 name", UuLineResult::PassedOver, ""},
        {"empty line is passed over", "", UuLineResult::PassedOver, ""},
        {"control byte is passed over", "#86)C\x01", UuLineResult::PassedOver, ""},
        {"8-bit byte is passed over", "#86)C\xe3", UuLineResult::PassedOver, ""},
        {"end", "end", UuLineResult::End, ""},
        {"a line beginning with a space", " 86)C", UuLineResult::End, ""},
        {"grave accent line", "`", UuLineResult::End, ""},
        {"grave accent and 95 more", "`" + std::string(95, '!'), UuLineResult::End, ""},
    };
    for (const LineRow& row : rows) {
        SCOPED_TRACE(row.name);
        uint8_t out[kLineOutBytes];
        int count = -1;
        EXPECT_EQ(UuDecodeLine(row.line.data(), row.line.size(), out, &count), row.result);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(count)), row.bytes);
    }
}

TEST(UuLine, ValuesAboveTheRangeNeverOverrunTheLineBuffer) {
    // Lower-case letters stand for values of 65 and more, each taking 7 bits; a grave accent count
    // with 96 characters after it is a count of 64.
    const std::string lines[] = {"`" + std::string(96, 'z'), "~" + std::string(1022, '~'),
                                 std::string(1023, 'z')};
    for (const std::string& line : lines) {
        uint8_t out[kLineOutBytes + 16];
        std::fill(std::begin(out), std::end(out), 0xAA);
        int count = -1;
        EXPECT_EQ(UuDecodeLine(line.data(), line.size(), out, &count), UuLineResult::Bytes);
        EXPECT_LE(count, kUuLineBits / 8);
        EXPECT_EQ(out[kLineOutBytes], 0xAA);
    }
}

TEST(XxLine, DesignedCasesOfOneLine) {
    const LineRow rows[] = {
        {"three bytes", "1MK7X", UuLineResult::Bytes, "abc"},
        {"plus ends the data", "+", UuLineResult::End, ""},
        {"end", "end", UuLineResult::End, ""},
        // The count (h, 45) promises more than 0.75 of the 4 characters after it: the whole line
        // is decoded, for 3 bytes.
        {"count promising more than the line holds", "hMK7X", UuLineResult::Bytes, "\xb5\x85\x89"},
        {"header line is passed over", "begin 644 name", UuLineResult::PassedOver, ""},
        {"empty line is passed over", "", UuLineResult::PassedOver, ""},
        {"control byte is passed over", "1MK7X\t", UuLineResult::PassedOver, ""},
        {"characters outside the alphabet count as 0", "-!!!!", UuLineResult::Bytes, std::string(1, '\0')},
    };
    for (const LineRow& row : rows) {
        SCOPED_TRACE(row.name);
        uint8_t out[kLineOutBytes];
        int count = -1;
        EXPECT_EQ(XxDecodeLine(row.line.data(), row.line.size(), out, &count), row.result);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(out), static_cast<size_t>(count)), row.bytes);
    }
}

TEST(UuPart, BadInput) {
    const std::u16string boundary = u"------=_Part_9";
    {
        SCOPED_TRACE("a block cut off before its end: the data just runs out");
        std::mt19937 random(5);
        const std::string data = test::RandomBytes(random, 450);
        std::vector<std::string> lines = test::UuEncodeBlock(data, "a");
        lines.resize(6); // the header and five of ten data lines
        const test::BlockRun run =
            test::RunUuPart(test::JoinLines(lines, test::kLineEndings[0]), UuCode::Uuencode);
        EXPECT_EQ(run.end, DataEnd::EndOfData);
        EXPECT_EQ(run.output, data.substr(0, 225));
        EXPECT_EQ(run.cursor_offset, -1);
    }
    {
        SCOPED_TRACE("100,000 empty lines are passed over quickly");
        const std::string mail = "begin 644 a\r\n" + std::string(200000, '\n') + "#86)C\r\n`\r\nend\r\n";
        const auto start = std::chrono::steady_clock::now();
        const test::BlockRun run = test::RunUuPart(mail, UuCode::Uuencode);
        EXPECT_EQ(run.output, "abc");
        EXPECT_EQ(run.end, DataEnd::BlockEnd);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        EXPECT_EQ(UuDetect(line, cursor, PartBoundary()), UuCode::Uuencode);
    }
    {
        SCOPED_TRACE("100,000 zero-length lines: the first ends the data");
        std::string mail = "begin 644 a\r\n#86)C\r\n";
        for (int i = 0; i < 100000; ++i)
            mail += "`\r\n";
        const test::BlockRun run = test::RunUuPart(mail, UuCode::Uuencode);
        EXPECT_EQ(run.output, "abc");
        EXPECT_EQ(run.end, DataEnd::BlockEnd);
        const test::BlockRun xx = test::RunUuPart("+\r\n+\r\n+\r\n", UuCode::Xxencode);
        EXPECT_EQ(xx.end, DataEnd::BlockEnd);
        EXPECT_EQ(xx.output, "");
    }
    {
        SCOPED_TRACE("a line with NUL bytes gives the repair notice once");
        using namespace std::string_literals;
        const std::string mail = "#86)C\r\n#86\0)C\r\n#86)C\r\n#8\0"s + "6)C\r\n`\r\nend\r\n";
        const test::BlockRun run = test::RunUuPart(mail, UuCode::Uuencode);
        EXPECT_EQ(run.notices, 1);
        EXPECT_EQ(run.output, "abcabcabcabc");
    }
    {
        SCOPED_TRACE("a part that is only its boundary");
        const test::BlockRun run =
            test::RunUuPart("------=_Part_9--\r\nafter\r\n", UuCode::Xxencode, boundary);
        EXPECT_EQ(run.end, DataEnd::Boundary);
        EXPECT_EQ(run.output, "");
        EXPECT_EQ(run.cursor_offset, 18);
    }
}

} // namespace
} // namespace dornick

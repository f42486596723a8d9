#include "console/decode/line_cursor.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace dornick {
namespace {

struct Read {
    std::u16string line;
    int returned;
};

enum class Reader { W, A, CrLf };

// Reads every line of `bytes` with one reader, as the walk would, until the reader returns 0.
std::vector<Read> ReadAll(const std::string& bytes, Reader reader, int size = kLineCapacity) {
    LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    std::vector<Read> lines;
    for (int guard = 0; guard < 10000; ++guard) {
        char16_t wide[kLineCapacity + 8];
        char narrow[kLineCapacity + 8];
        int n = 0;
        std::u16string text;
        switch (reader) {
        case Reader::W:
            n = ReadLineW(wide, cursor);
            text = wide;
            break;
        case Reader::CrLf:
            n = ReadLineCrLfW(wide, size, cursor);
            text = wide;
            break;
        case Reader::A:
            n = ReadLineA(narrow, cursor);
            for (const char* p = narrow; *p; ++p)
                text.push_back(static_cast<unsigned char>(*p));
            break;
        }
        if (n == 0) break;
        lines.push_back({text, n});
    }
    return lines;
}

struct LineRow {
    const char* name;
    std::string bytes;
    Reader reader;
    std::vector<Read> expected;
};

void PrintTo(const LineRow& row, std::ostream* os) {
    *os << row.name;
}

class LineReaders : public testing::TestWithParam<LineRow> {};

TEST_P(LineReaders, GiveTheDesignedLinesAndLengths) {
    const LineRow& row = GetParam();
    std::vector<Read> got = ReadAll(row.bytes, row.reader);
    ASSERT_EQ(got.size(), row.expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].line, row.expected[i].line);
        EXPECT_EQ(got[i].returned, row.expected[i].returned);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LineReaders,
    testing::Values(
        LineRow{"CrLfThenLastLine", "abc\r\ndef", Reader::W, {{u"abc", 3}, {u"def", 3}}},
        LineRow{"EmptyLineCountsOne", "\r\n", Reader::W, {{u"", 1}}},
        LineRow{"NulDroppedButCounted", std::string("a\0b\r\n", 5), Reader::W, {{u"ab", 3}}},
        LineRow{"EveryLineEndKind", "a\rb\nc\r\nd", Reader::W, {{u"a", 1}, {u"b", 1}, {u"c", 1}, {u"d", 1}}},
        LineRow{"CrLfReaderKeepsLoneEnds", "a\rb\nc\r\nd", Reader::CrLf, {{u"a\rb\nc", 5}, {u"d", 1}}},
        LineRow{"FinalLfNeverStored", "a\rb\n", Reader::CrLf, {{u"a\rb", 3}}},
        LineRow{"FinalCrStoredByCrLfReader", "ab\r", Reader::CrLf, {{u"ab\r", 3}}},
        LineRow{"FinalCrDroppedByOthers", "ab\r", Reader::W, {{u"ab", 2}}},
        LineRow{"FinalNulCounted", std::string("ab\0", 3), Reader::W, {{u"ab", 3}}},
        LineRow{"EmptyLinesBetween",
                "a\n\n\r\n\rb",
                Reader::A,
                {{u"a", 1}, {u"", 1}, {u"", 1}, {u"", 1}, {u"b", 1}}},
        LineRow{"OnlyNuls", std::string("\0\0\r\n", 4), Reader::W, {{u"", 2}}},
        LineRow{"HighBytesWidenedByZeroExtension", "\xE3\x81\x82", Reader::W, {{u"\u00E3\u0081\u0082", 3}}}),
    [](const testing::TestParamInfo<LineRow>& info) { return std::string(info.param.name); });

// The readers, which store runs of ordinary bytes many at a time, against a byte-at-a-time
// reading of the same rules, over random text dense in CR, LF and NUL, with long lines.
std::vector<Read> ReadAllByteByByte(const std::string& bytes, Reader reader, int size = kLineCapacity) {
    const bool crlf_only = reader == Reader::CrLf;
    const int places = (reader == Reader::CrLf ? size : kLineCapacity) - 1;
    std::vector<Read> lines;
    size_t p = 0;
    bool more = !bytes.empty();
    while (more) {
        std::u16string line;
        int used = 0;
        for (;;) {
            if (used == places) break;
            const unsigned char b = static_cast<unsigned char>(bytes[p]);
            if (p + 1 == bytes.size()) {
                const bool end_byte = crlf_only ? b == '\n' : (b == '\r' || b == '\n');
                if (b == 0 || !end_byte) ++used;
                if (b != 0 && !end_byte) line.push_back(b);
                more = false;
                break;
            }
            if (b == '\r' && bytes[p + 1] == '\n') {
                p += 2;
                more = p < bytes.size();
                break;
            }
            if (!crlf_only && (b == '\r' || b == '\n')) {
                ++p;
                break;
            }
            if (b != 0) line.push_back(b);
            ++used;
            ++p;
        }
        lines.push_back({line, used == 0 ? 1 : used});
    }
    return lines;
}

TEST(LineCursor, ReadersAgreeWithByteByByteReading) {
    std::mt19937 random(11);
    const char specials[] = {'\r', '\n', '\0', '\xE3', 'a'};
    for (int round = 0; round < 600; ++round) {
        std::string bytes;
        const size_t length = random() % (round % 5 == 0 ? 3000 : 200);
        for (size_t i = 0; i < length; ++i)
            bytes.push_back(random() % 8 == 0 ? specials[random() % std::size(specials)]
                                              : static_cast<char>('A' + random() % 26));
        for (Reader reader : {Reader::W, Reader::A, Reader::CrLf}) {
            const int size = reader == Reader::CrLf ? 2 + static_cast<int>(random() % 40) : kLineCapacity;
            SCOPED_TRACE(testing::Message() << "round " << round << " reader " << static_cast<int>(reader));
            const std::vector<Read> got = ReadAll(bytes, reader, size);
            const std::vector<Read> expected = ReadAllByteByByte(bytes, reader, size);
            ASSERT_EQ(got.size(), expected.size());
            for (size_t i = 0; i < got.size(); ++i) {
                ASSERT_EQ(got[i].line, expected[i].line) << i;
                ASSERT_EQ(got[i].returned, expected[i].returned) << i;
            }
        }
    }
}

TEST(LineCursor, LongLineArrivesInPiecesWithoutLineEnds) {
    std::string bytes(1500, 'x');
    bytes += "\r\nz";
    std::vector<Read> got = ReadAll(bytes, Reader::A);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].returned, 1023);
    EXPECT_EQ(got[1].returned, 477);
    EXPECT_EQ(got[1].line.size(), 477u);
    EXPECT_EQ(got[2].line, u"z");
}

TEST(LineCursor, PieceEndingRightBeforeTheLineEndLeavesAnEmptyLine) {
    std::string bytes(1023, 'y');
    bytes += "\r\nz";
    std::vector<Read> got = ReadAll(bytes, Reader::W);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].returned, 1023);
    EXPECT_EQ(got[1].returned, 1);
    EXPECT_EQ(got[2].line, u"z");
}

TEST(LineCursor, CrLfReaderHonoursItsSize) {
    // The second piece fills the buffer right before the CR LF, which then ends an empty line.
    std::vector<Read> got = ReadAll("abcdef\r\n", Reader::CrLf, 4);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].line, u"abc");
    EXPECT_EQ(got[1].line, u"def");
    EXPECT_EQ(got[2].line, u"");
}

TEST(LineCursor, MegabyteLineWithoutLineEndNeverOverruns) {
    std::string bytes(3 * 1024 * 1024, 'q');
    std::vector<Read> got = ReadAll(bytes, Reader::W);
    size_t total = 0;
    for (const Read& r : got)
        total += r.line.size();
    EXPECT_EQ(total, bytes.size());
}

TEST(LineCursor, EndedWithCrLfTellsLineEndsFromPieces) {
    std::string bytes = "ab\r\n" + std::string(1100, 'c') + "\r\nd\ne";
    LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    char16_t line[kLineCapacity];
    ReadLineCrLfW(line, kLineCapacity, cursor);
    EXPECT_TRUE(EndedWithCrLf(cursor));
    ReadLineCrLfW(line, kLineCapacity, cursor); // first piece of the long line
    EXPECT_FALSE(EndedWithCrLf(cursor));
    ReadLineCrLfW(line, kLineCapacity, cursor);
    EXPECT_TRUE(EndedWithCrLf(cursor));
    ReadLineCrLfW(line, kLineCapacity, cursor); // "d\ne" reaches the end of the data
    EXPECT_FALSE(EndedWithCrLf(cursor));
}

class CursorOver : public testing::Test {
  protected:
    void Open(const std::string& text) {
        bytes = text;
        cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    }
    std::u16string Next() {
        char16_t line[kLineCapacity];
        if (ReadLineW(line, cursor) == 0) return u"<end>";
        return line;
    }
    std::string bytes;
    LineCursor cursor;
};

TEST_F(CursorOver, StepBackOneRereadsTheSameLine) {
    Open("one\r\ntwo\r\nthree\r\n");
    Next();
    EXPECT_EQ(Next(), u"two");
    StepBackLines(cursor, 1);
    EXPECT_EQ(Next(), u"two");
    StepBackLines(cursor, 2);
    EXPECT_EQ(Next(), u"one");
}

TEST_F(CursorOver, StepBackCountsEmptyLinesAndStopsAtTheStart) {
    Open("a\r\n\r\nb\nc");
    Next();
    Next();
    EXPECT_EQ(Next(), u"b");
    StepBackLines(cursor, 2);
    EXPECT_EQ(Next(), u"");
    StepBackLines(cursor, 50);
    EXPECT_EQ(cursor.pos, cursor.start);
    EXPECT_EQ(Next(), u"a");
}

TEST_F(CursorOver, StepBackFromTheEndGoesToTheLastLine) {
    Open("a\r\nlast\r\n");
    Next();
    Next();
    EXPECT_EQ(Next(), u"<end>");
    StepBackLines(cursor, 3);
    EXPECT_EQ(Next(), u"last");
}

TEST_F(CursorOver, UnreadCharsWithinALineAndAcrossEmptyLines) {
    Open("abcdef");
    char16_t line[4];
    ReadLineCrLfW(line, 4, cursor); // "abc", the cursor on "d"
    UnreadChars(cursor, 2);
    EXPECT_EQ(Next(), u"bcdef");

    Open("x\r\n\r\ny");
    Next();
    Next();                 // the cursor on "y"
    UnreadChars(cursor, 1); // the CR LF after an empty line counts as one character
    EXPECT_EQ(cursor.pos, cursor.start + 3);

    Open("xyz");
    Next(); // cursor null: the last byte counts as one
    UnreadChars(cursor, 1);
    EXPECT_EQ(Next(), u"z");
    UnreadChars(cursor, 0);
    EXPECT_EQ(Next(), u"<end>");
}

TEST_F(CursorOver, ReadBytesTakesTheLastByteAndThenNothing) {
    Open("0123456789");
    unsigned char buffer[16];
    int64_t count = -1;
    EXPECT_EQ(ReadBytes(buffer, 4, &count, cursor), 4);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(ReadBytes(nullptr, 3, &count, cursor), 3);
    EXPECT_EQ(ReadBytes(buffer, 16, &count, cursor), 3);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), 3), "789");
    EXPECT_EQ(cursor.pos, nullptr);
    EXPECT_EQ(ReadBytes(buffer, 16, &count, cursor), 0);
    EXPECT_EQ(count, 0);
}

TEST(LineCursor, NarrowAndWidenRoundTrip) {
    const char bytes[] = "\xE3\x81\x82 abc \xFF";
    char16_t wide[32];
    char back[32];
    WidenLine(bytes, wide);
    EXPECT_EQ(wide[0], 0xE3);
    NarrowLine(wide, back);
    EXPECT_STREQ(back, bytes);
}

TEST(LineCursor, DamagedLinesAreThoseThatHeldNuls) {
    std::string bytes("ab\0c\r\n\0\0\r\nok\r\nlast\0", 19);
    LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    char16_t line[kLineCapacity];
    int n = ReadLineW(line, cursor);
    EXPECT_TRUE(IsDamagedLine(cursor, line, n));
    n = ReadLineW(line, cursor);
    EXPECT_TRUE(IsDamagedLine(cursor, line, n)); // empty, but NULs were there
    n = ReadLineW(line, cursor);
    EXPECT_FALSE(IsDamagedLine(cursor, line, n));
    n = ReadLineW(line, cursor); // the last line: the cursor is null
    EXPECT_FALSE(IsDamagedLine(cursor, line, n));
}

} // namespace
} // namespace dornick

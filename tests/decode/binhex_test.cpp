#include <random>
#include <string>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "console/decode/binhex_block.h"
#include "console/decode/binhex_decode.h"
#include "old_encodings_support.h"
#include "test_support.h"

namespace dornick {
namespace {

using namespace std::string_literals;

struct Decoded {
    BinHexStatus status = BinHexStatus::Ok;
    BinHexFile file;
    long cursor_offset = -1;
    std::string DataFork() const {
        return std::string(reinterpret_cast<const char*>(file.expanded.data()) + file.data_offset,
                           file.data_length);
    }
};

// Runs the part loop's search for the ":" line from the mail's first line, then the decoder.
Decoded FindAndDecode(const std::string& mail, std::u16string_view boundary = {}) {
    const auto* data = reinterpret_cast<const unsigned char*>(mail.data());
    LineCursor cursor = MakeLineCursor(data, mail.size());
    char16_t line[kLineCapacity] = {};
    ReadLineW(line, cursor);
    Decoded result;
    EXPECT_EQ(FindBinHexStart(line, cursor, PartBoundary(boundary)), BinHexStart::Block);
    result.status = BinHexDecode(cursor, result.file);
    result.cursor_offset = cursor.pos ? static_cast<long>(cursor.pos - data) : -1;
    return result;
}

std::string Text(const std::string& stream) {
    return test::JoinLines(test::BinHexText(stream), test::kLineEndings[0]);
}

TEST(BinHexRoundTrip, EncodedFilesDecodeToTheirDataFork) {
    std::mt19937 random(11);
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const struct {
        const char* name;
        std::string data;
    } originals[] = {
        {"empty", ""},
        {"one byte", "x"},
        {"random 47", test::RandomBytes(random, 47)},
        {"random 48", test::RandomBytes(random, 48)},
        {"random 49", test::RandomBytes(random, 49)},
        {"all 256 byte values", all},
        {"0x90 bytes alone and in runs", "\x90\x41\x90\x90\x90\x90\x90\x90\x42\x90"s},
        {"a run of 255", std::string(255, 'r')},
        {"a run of 256", std::string(256, 'r')},
        {"a run of 509", std::string(509, '\0')},
        {"runs of 0x90 over 255", std::string(600, '\x90')},
        {"random 30000", test::RandomBytes(random, 30000)},
        {"a megabyte of zeros (far longer than its text)", std::string(1 << 20, '\0')},
    };
    for (const auto& original : originals) {
        for (const test::LineEnds& ends : test::kLineEndings) {
            SCOPED_TRACE(std::string(original.name) + ", " + ends.name);
            const std::vector<std::string> lines = test::BinHexBlock("Read Me", original.data);
            const std::string mail = test::JoinLines(lines, ends);
            // In a text body the detector finds the block at its header line.
            LineCursor cursor =
                MakeLineCursor(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
            char16_t line[kLineCapacity];
            ReadLineW(line, cursor);
            EXPECT_TRUE(BinHexDetect(line, cursor, PartBoundary()));
            const Decoded decoded = FindAndDecode(mail);
            ASSERT_EQ(decoded.status, BinHexStatus::Ok);
            EXPECT_EQ(decoded.DataFork(), original.data);
            EXPECT_EQ(decoded.file.name, "Read Me");
            EXPECT_EQ(decoded.file.data_offset, 7u + 22u);
            EXPECT_EQ(decoded.file.expanded.size(), 29 + original.data.size()); // no resource fork kept
            EXPECT_EQ(decoded.cursor_offset, -1);
        }
    }
}

TEST(BinHexRoundTrip, TextAfterTheBlockIsLeftForTheWalk) {
    const std::string mail = Text(test::BinHexStream("a", "data", 4)) + "after\r\n";
    const Decoded decoded = FindAndDecode(mail);
    ASSERT_EQ(decoded.status, BinHexStatus::Ok);
    EXPECT_EQ(decoded.DataFork(), "data");
    EXPECT_EQ(mail.substr(static_cast<size_t>(decoded.cursor_offset)), "after\r\n");
}

TEST(BinHexRunLength, DesignedExpansions) {
    const struct {
        const char* name;
        std::string in;
        std::string out;
        bool marker_at_end;
    } rows[] = {
        {"41 90 05 is five 0x41", "\x41\x90\x05"s, std::string(5, '\x41'), false},
        {"90 00 is one 0x90", "\x90\x00"s, "\x90"s, false},
        {"90 00 90 03 is three 0x90", "\x90\x00\x90\x03"s, std::string(3, '\x90'), false},
        {"a count of 1 adds nothing", "\x41\x90\x01\x42"s, "\x41\x42"s, false},
        {"chained markers repeat the same byte", "\x41\x90\xff\x90\x03"s, std::string(257, '\x41'), false},
        {"a run before any output ends the expansion", "\x90\x05\x41"s, "", false},
        {"a marker without its count at the end", "\x41\x90"s, "\x41"s, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string out(1024, '\0');
        const RunLengthResult got =
            ExpandRunLength(reinterpret_cast<const uint8_t*>(row.in.data()), row.in.size(),
                            reinterpret_cast<uint8_t*>(out.data()), out.size());
        EXPECT_EQ(out.substr(0, got.produced), row.out);
        EXPECT_EQ(got.marker_at_end, row.marker_at_end);
        EXPECT_EQ(ExpandRunLength(reinterpret_cast<const uint8_t*>(row.in.data()), row.in.size(), nullptr,
                                  UINT64_MAX)
                      .produced,
                  row.out.size());
    }
    const std::string in = "\x41\x90\xff"s;
    EXPECT_EQ(ExpandRunLength(reinterpret_cast<const uint8_t*>(in.data()), in.size(), nullptr, 10).produced,
              10u);
}

TEST(BinHexDetect, AcceptsAndRejects) {
    const std::string header = "(This file must be converted with BinHex 4.0)\r\n";
    const struct {
        const char* name;
        std::string mail;
        std::u16string boundary;
        bool found;
    } rows[] = {
        {"one-line text", header + "\r\n:abcdef:\r\n", u"", true},
        {"blanks inside the first line", header + " \t\r\n: abc def :\r\n", u"", true},
        {"text over lines", header + ":abcdef\r\nghijkl\r\nmn:\r\n", u"", true},
        {"short one-line text goes on", header + "::\r\nab\r\ncd:\r\n", u"", true},
        {"first line of 65", header + ":" + std::string(64, 'a') + "\r\nb:\r\n", u"", false},
        {"first line of 64", header + ":" + std::string(63, 'a') + "\r\nb:\r\n", u"", true},
        {"first line without colon", header + "abc:\r\n", u"", false},
        {"no closing colon", header + ":abcdef\r\nghijkl\r\n", u"", false},
        {"a line with a colon inside", header + ":abcdef\r\ngh:ij\r\n", u"", false},
        {"later line of 65", header + ":abc\r\n" + std::string(65, 'a') + "\r\n:\r\n", u"", false},
        {"boundary inside", header + ":abc\r\n--b7\r\n:\r\n", u"--b7", false},
        {"another header inside", header + ":abc\r\n" + header + ":\r\n", u"", false},
        {"no text at all", header, u"", false},
        {"header not at the start", " " + header + ":abc:\r\n", u"", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LineCursor cursor =
            MakeLineCursor(reinterpret_cast<const unsigned char*>(row.mail.data()), row.mail.size());
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        const unsigned char* before = cursor.pos;
        EXPECT_EQ(BinHexDetect(line, cursor, PartBoundary(row.boundary)), row.found);
        EXPECT_EQ(cursor.pos, before);
    }
}

TEST(BinHexPart, SearchForTheTextStopsAtTheBoundaryOrTheEnd) {
    const std::string mail = "some words\r\n------=_B--\r\n:abc:\r\n";
    LineCursor cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
    char16_t line[kLineCapacity];
    ReadLineW(line, cursor);
    EXPECT_EQ(FindBinHexStart(line, cursor, PartBoundary(u"------=_B")), BinHexStart::Boundary);
    EXPECT_EQ(std::u16string(line), u"------=_B--");
    EXPECT_EQ(FindBinHexStart(line, cursor, PartBoundary(u"------=_B")), BinHexStart::Boundary);
    ReadLineW(line, cursor);
    EXPECT_EQ(FindBinHexStart(line, cursor, PartBoundary(u"------=_B")), BinHexStart::Block);
    EXPECT_EQ(cursor.pos, reinterpret_cast<const unsigned char*>(mail.data()) + 25);

    const std::string none = "words\r\nmore words\r\n";
    cursor = MakeLineCursor(reinterpret_cast<const unsigned char*>(none.data()), none.size());
    ReadLineW(line, cursor);
    EXPECT_EQ(FindBinHexStart(line, cursor, PartBoundary()), BinHexStart::EndOfData);
    EXPECT_EQ(line[0], 0);
}

// The bytes of a stream as a block without run-length coding, so that a test can put in exactly
// the bytes it wants.
std::string RawBlock(const std::string& bytes) {
    return Text(bytes);
}

TEST(BinHexDecode, BadInput) {
    const std::string good = test::BinHexRunLength(test::BinHexStream("name5", "hello", 5));
    const struct {
        const char* name;
        std::string mail;
        BinHexStatus status;
    } rows[] = {
        {"the text runs out before the closing colon",
         test::JoinLines(test::BinHexText(good), test::kLineEndings[0]).substr(0, 40) + "\r\n",
         BinHexStatus::TextRanOut},
        {"a run marker first (RLE at the start)", RawBlock("\x90\x05" + good), BinHexStatus::BadRunLength},
        {"a run marker as the last byte", RawBlock(good + "\x90"), BinHexStatus::BadRunLength},
        {"data fork length 0xFFFFFFFF", RawBlock(test::BinHexStream("a", "abc", 0xFFFFFFFFu)),
         BinHexStatus::ForkTooLong},
        {"data fork length 0x80000000", RawBlock(test::BinHexStream("a", "abc", 0x80000000u)),
         BinHexStatus::ForkTooLong},
        {"resource fork with its top bit", RawBlock(test::BinHexStream("a", "abc", 3).replace(17, 1, "\x80")),
         BinHexStatus::ForkTooLong},
        {"a data fork longer than the text", RawBlock(test::BinHexStream("a", "abc", 100000)),
         BinHexStatus::Implausible},
        {"the bytes end inside the header", RawBlock("\x05na"), BinHexStatus::ShortHeader},
        {"an empty text", ":\r\n:\r\n", BinHexStatus::ShortHeader},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(FindAndDecode(row.mail).status, row.status);
    }
}

TEST(BinHexDecode, DesignedCases) {
    {
        SCOPED_TRACE("a header with name length 5 puts the data fork at 27");
        const Decoded decoded = FindAndDecode(RawBlock(test::BinHexStream("name5", "hello", 5)));
        ASSERT_EQ(decoded.status, BinHexStatus::Ok);
        EXPECT_EQ(decoded.file.data_offset, 27u);
        EXPECT_EQ(decoded.DataFork(), "hello");
        EXPECT_EQ(decoded.file.name, "name5");
    }
    {
        SCOPED_TRACE("a line with a control character is passed over whole");
        std::vector<std::string> lines =
            test::BinHexText(test::BinHexStream("n", std::string(200, 'z'), 200));
        lines.insert(lines.begin() + 2, "!!!!\x01!!!!");
        lines.insert(lines.begin() + 2, "");
        lines.insert(lines.begin() + 2, "\xe3\x81\x82");
        const Decoded decoded = FindAndDecode(test::JoinLines(lines, test::kLineEndings[1]));
        ASSERT_EQ(decoded.status, BinHexStatus::Ok);
        EXPECT_EQ(decoded.DataFork(), std::string(200, 'z'));
    }
    {
        SCOPED_TRACE("the data fork is held only as far as the bytes reach");
        // The header claims 1000 bytes, 900 are there, and the text is long enough to back them.
        std::string stream = test::BinHexStream("n", std::string(900, 'q'), 1000);
        const Decoded decoded = FindAndDecode(RawBlock(stream.substr(0, stream.size() - 4)));
        ASSERT_EQ(decoded.status, BinHexStatus::Ok);
        EXPECT_EQ(decoded.file.declared_data_length, 1000u);
        EXPECT_EQ(decoded.DataFork(), std::string(900, 'q'));
        EXPECT_EQ(decoded.file.expanded.size(), 23u + 900u);
    }
    {
        SCOPED_TRACE("hostile names come back as the bytes they are");
        for (const std::string& name : {"../../x"s, "/etc/passwd"s, "a\x01\x7f\0b"s, std::string(255, 'n')}) {
            const Decoded decoded = FindAndDecode(RawBlock(test::BinHexStream(name, "d", 1)));
            ASSERT_EQ(decoded.status, BinHexStatus::Ok);
            EXPECT_EQ(decoded.file.name, name);
            EXPECT_EQ(decoded.DataFork(), "d");
        }
    }
}

long PeakKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// One byte and `runs` markers of 255 after a header claiming `declared` bytes: each marker adds
// 254 copies of the byte.
std::string RunLengthBomb(uint32_t declared, int runs) {
    std::string stream = test::BinHexStream("bomb", "", declared);
    stream.resize(stream.size() - 4); // no CRCs: the runs are the data
    stream += 'A';
    for (int i = 0; i < runs; ++i)
        stream += "\x90\xff"s;
    return RawBlock(stream);
}

TEST(BinHexDecode, RunLengthBombKeepsMemoryBounded) {
    const struct {
        const char* name;
        uint32_t declared;
        int runs;
        BinHexStatus status;
    } rows[] = {
        // 2 MB of runs would expand to over 250 MB.
        {"length 0x7FFFFFFF", 0x7FFFFFFFu, 1 << 20, BinHexStatus::ForkTooLong},
        {"length 0xFFFFFFFF", 0xFFFFFFFFu, 1 << 20, BinHexStatus::ForkTooLong},
        {"length above the limit", 300u << 20, 1 << 20, BinHexStatus::ForkTooLong},
        // 1 MB of runs expand to 127 MiB, short of the 250 MiB claimed.
        {"length more than the runs make", 250u << 20, 1 << 19, BinHexStatus::Implausible},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const std::string mail = RunLengthBomb(row.declared, row.runs);
        const long before = PeakKib();
        const Decoded decoded = FindAndDecode(mail);
        EXPECT_EQ(decoded.status, row.status);
        EXPECT_TRUE(decoded.file.expanded.empty());
        // The decoded bytes (at most 2 MB) and nothing near the expansion.
        EXPECT_LT(PeakKib() - before, 32 * 1024);
    }
    // Runs that really make the length claimed are a file: it is expanded in full, and no
    // further than its data fork even where the runs go on.
    const uint32_t made = 1 + 254u * 4096;
    const Decoded decoded = FindAndDecode(RunLengthBomb(made - 1000, 4096 + 100));
    ASSERT_EQ(decoded.status, BinHexStatus::Ok);
    EXPECT_EQ(decoded.DataFork(), std::string(made - 1000, 'A'));
    EXPECT_EQ(decoded.file.expanded.size(), 26u + made - 1000);
}

} // namespace
} // namespace dornick

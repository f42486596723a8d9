#include <random>
#include <string>

#include <gtest/gtest.h>

#include "console/decode/ish_block.h"
#include "console/decode/yenc_block.h"
#include "console/decode/yenc_copy.h"
#include "old_encodings_support.h"
#include "test_support.h"

namespace dornick {
namespace {

using namespace std::string_literals;

constexpr std::u16string_view kBoundary = u"------=_Part_5_6.7";

LineCursor CursorOver(const std::string& mail) {
    return MakeLineCursor(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
}

struct Copied {
    DataEnd end = DataEnd::EndOfData;
    std::string stored;
    std::u16string end_line;
    long cursor_offset = -1;
    int notices = 0;
};

// As the walk does: the text before the block is read line by line, the detector accepts the
// header line, the cursor goes back one line, the header line is read again as the part's first
// data line, and the block is copied.
template <typename Detect>
Copied DetectAndCopy(const std::string& mail, std::u16string_view boundary, Detect detect) {
    LineCursor cursor = CursorOver(mail);
    char16_t line[kLineCapacity];
    const PartBoundary part_boundary(boundary);
    Copied copied;
    BlockLastLine last_line;
    std::string marker;
    while (ReadLineW(line, cursor)) {
        if (!detect(line, cursor, part_boundary, last_line, marker)) continue;
        StepBackLines(cursor, 1);
        ReadLineW(line, cursor);
        test::MemorySink sink;
        SinkResult result = SinkResult::Ok;
        copied.end = CopyUndecodedBlock(line, cursor, part_boundary, last_line, sink, result,
                                        [&copied] { ++copied.notices; });
        copied.stored = sink.bytes;
        copied.end_line = line;
        copied.cursor_offset =
            cursor.pos ? static_cast<long>(cursor.pos - reinterpret_cast<const unsigned char*>(mail.data()))
                       : -1;
        return copied;
    }
    ADD_FAILURE() << "no block found";
    return copied;
}

auto YencDetector(std::string* name = nullptr) {
    return [name](const char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                  BlockLastLine& last_line, std::string&) {
        YencBlock block;
        if (!YencDetect(line, cursor, boundary, block)) return false;
        if (name) *name = block.output_name;
        last_line = YencLastLine();
        return true;
    };
}

auto IshDetector(std::string* name = nullptr) {
    return [name](const char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                  BlockLastLine& last_line, std::string& marker) {
        IshBlock block;
        if (!IshDetect(line, cursor, boundary, block)) return false;
        if (name) *name = block.output_name;
        marker = block.end_marker;
        last_line = IshLastLine(marker);
        return true;
    };
}

TEST(YencCopy, StoredBlockIsTheBlockTextAndDecodesToTheOriginal) {
    std::mt19937 random(13);
    std::string all;
    for (int i = 0; i < 256; ++i)
        all += static_cast<char>(i);
    const struct {
        const char* name;
        std::string data;
    } originals[] = {
        {"empty", ""},
        {"all 256 byte values", all},
        {"one line's worth", test::RandomBytes(random, 128)},
        {"random 10000", test::RandomBytes(random, 10000)},
    };
    for (const auto& original : originals) {
        for (const test::LineEnds& ends : test::kLineEndings) {
            SCOPED_TRACE(std::string(original.name) + ", " + ends.name);
            const std::vector<std::string> block = test::YencBlockLines(original.data, "a b.bin");
            std::vector<std::string> lines{"Hello,", "the file:", ""};
            lines.insert(lines.end(), block.begin(), block.end());
            const std::string mail = test::JoinLines(lines, ends);
            std::string name;
            const Copied copied = DetectAndCopy(mail, {}, YencDetector(&name));
            EXPECT_EQ(name, "a b.bin.yenc");
            EXPECT_EQ(copied.end, DataEnd::BlockEnd);
            EXPECT_EQ(copied.stored, test::JoinLines(block, ends))
                << "the block's lines with their own line ends";
            EXPECT_EQ(test::YencDecodeText(copied.stored), original.data);
            EXPECT_EQ(copied.cursor_offset, -1);
        }
    }
}

TEST(YencCopy, BlockEnds) {
    const std::vector<std::string> block = test::YencBlockLines("payload", "p.bin");
    const std::string text = test::JoinLines(block, test::kLineEndings[0]);
    {
        SCOPED_TRACE("text after the trailer stays in the body");
        const std::string mail = "intro\r\n" + text + "after\r\n";
        const Copied copied = DetectAndCopy(mail, kBoundary, YencDetector());
        EXPECT_EQ(copied.end, DataEnd::BlockEnd);
        EXPECT_EQ(copied.stored, text);
        EXPECT_EQ(copied.end_line, u"=yend size=7");
        EXPECT_EQ(mail.substr(static_cast<size_t>(copied.cursor_offset)), "after\r\n");
    }
    {
        SCOPED_TRACE("a trailer right before the boundary: its line end belongs to the boundary");
        const std::string mail = "intro\r\n" + text + "------=_Part_5_6.7--\r\n";
        const Copied copied = DetectAndCopy(mail, kBoundary, YencDetector());
        EXPECT_EQ(copied.end, DataEnd::BlockEnd);
        EXPECT_EQ(copied.stored, text.substr(0, text.size() - 2));
        EXPECT_EQ(mail.substr(static_cast<size_t>(copied.cursor_offset)), "------=_Part_5_6.7--\r\n");
    }
    {
        SCOPED_TRACE(
            "a header line that holds the boundary is copied: the block never ends at its first line");
        const std::vector<std::string> named = test::YencBlockLines("payload", "x------=_Part_5_6.7--.bin");
        const std::string named_text = test::JoinLines(named, test::kLineEndings[0]);
        const std::string mail = "intro\r\n" + named_text + "after\r\n";
        const Copied copied = DetectAndCopy(mail, kBoundary, YencDetector());
        EXPECT_EQ(copied.end, DataEnd::BlockEnd);
        EXPECT_EQ(copied.stored, named_text);
        EXPECT_EQ(mail.substr(static_cast<size_t>(copied.cursor_offset)), "after\r\n");
    }
    {
        SCOPED_TRACE("a line with NUL bytes is stored without them, with one notice");
        std::vector<std::string> damaged = block;
        damaged[1].insert(2, "\0\0"s);
        damaged.insert(damaged.begin() + 1, "x\0y"s);
        const std::string mail = test::JoinLines(damaged, test::kLineEndings[1]);
        const Copied copied = DetectAndCopy(mail, {}, YencDetector());
        std::vector<std::string> clean = block;
        clean.insert(clean.begin() + 1, "xy");
        EXPECT_EQ(copied.stored, test::JoinLines(clean, test::kLineEndings[1]));
        EXPECT_EQ(copied.notices, 1);
    }
}

TEST(YencDetect, AcceptsAndRejects) {
    const std::string trailer = "=yend size=1000\r\n";
    const struct {
        const char* name;
        std::string mail;
        std::u16string boundary;
        std::string output_name; // empty: not found
    } rows[] = {
        {"single part", "=ybegin line=128 size=1000 name=a b.bin\r\ndata\r\n" + trailer, u"", "a b.bin.yenc"},
        {"part 3", "=ybegin part=3 line=128 size=500000 name=big.bin\r\n=ypart begin=1\r\n" + trailer, u"",
         "big.bin.yenc#003"},
        {"part 0 counts as none", "=ybegin part=0 line=128 size=5 name=z\r\n" + trailer, u"", "z.yenc"},
        {"part 1234", "=ybegin part=1234 line=128 size=5 name=z\r\n" + trailer, u"", "z.yenc#1234"},
        {"blanks around the name", "=ybegin line=128 size=5 name= \t n.bin \t\r\n" + trailer, u"",
         "n.bin.yenc"},
        {"name with its own name=", "=ybegin line=1 size=5 name=x name=y\r\n" + trailer, u"",
         "x name=y.yenc"},
        {"hostile name", "=ybegin line=1 size=5 name=../../etc/passwd\r\n" + trailer, u"",
         "../../etc/passwd.yenc"},
        {"LF lines, no line end at the end", "=ybegin line=128 size=5 name=z\n=yend size=5", u"", "z.yenc"},
        {"no trailer", "=ybegin line=128 size=1000 name=a\r\ndata\r\n", u"", ""},
        {"boundary first", "=ybegin line=128 size=5 name=a\r\n--b2\r\n" + trailer, u"--b2", ""},
        {"another block first",
         "=ybegin line=128 size=5 name=a\r\n=ybegin line=1 size=1 name=b\r\n" + trailer, u"", ""},
        {"no line=", "=ybegin size=5 name=a\r\n" + trailer, u"", ""},
        {"no size=", "=ybegin line=128 name=a\r\n" + trailer, u"", ""},
        {"no name=", "=ybegin line=128 size=5\r\n" + trailer, u"", ""},
        {"not at the start", " =ybegin line=128 size=5 name=a\r\n" + trailer, u"", ""},
        {"trailer not at the start", "=ybegin line=128 size=5 name=a\r\n =yend size=5\r\n", u"", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LineCursor cursor = CursorOver(row.mail);
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        const unsigned char* before = cursor.pos;
        YencBlock block;
        block.output_name = "left over";
        EXPECT_EQ(YencDetect(line, cursor, PartBoundary(row.boundary), block), !row.output_name.empty());
        EXPECT_EQ(block.output_name, row.output_name);
        EXPECT_EQ(cursor.pos, before);
    }
}

std::string IshHeader(const std::string& name, int lines) {
    return "<<< " + name + " for ish [ " + std::to_string(lines) + " lines ] >>>";
}

TEST(IshDetect, AcceptsAndRejects) {
    const std::string header = IshHeader("a.lzh", 120) + "\r\n";
    const struct {
        const char* name;
        std::string mail;
        std::u16string boundary;
        std::string output_name; // empty: not found
        std::string end_marker;
    } rows[] = {
        {"one volume", header + "data 1\r\ndata 2\r\na.lzh (120/120)\r\n", u"", "a.lzh.ish",
         "a.lzh (120/120)"},
        {"second volume", header + "\r\n<<< Part 2 [ 80 ] >>>\r\ndata\r\nend a.lzh (80/80) end\r\n", u"",
         "a.lzh.ish#002", "a.lzh (80/80)"},
        {"volume without its own count", header + "< Part 3 >\r\ndata\r\na.lzh (120/120)\r\n", u"",
         "a.lzh.ish#003", "a.lzh (120/120)"},
        {"volume 0", header + "< Part 0 [ 7 ]\r\na.lzh (7/7)\r\n", u"", "a.lzh.ish", "a.lzh (7/7)"},
        {"Shift_JIS name",
         IshHeader("\x83\x65\x83\x58\x83\x67.lzh", 3) +
             "\r\nd\r\nd\r\n\x83\x65\x83\x58\x83\x67.lzh (3/3)\r\n",
         u"", "\x83\x65\x83\x58\x83\x67.lzh.ish", "\x83\x65\x83\x58\x83\x67.lzh (3/3)"},
        {"hostile name", IshHeader("..\\..\\x", 2) + "\r\nd\r\n..\\..\\x (2/2)\r\n", u"", "..\\..\\x.ish",
         "..\\..\\x (2/2)"},
        {"a long name is not cut",
         IshHeader(std::string(300, 'n'), 2) + "\r\nd\r\n" + std::string(300, 'n') + " (2/2)\r\n", u"",
         std::string(300, 'n') + ".ish", std::string(300, 'n') + " (2/2)"},
        {"the marker on the volume line does not count", header + "a.lzh (120/120)\r\ndata\r\n", u"", "", ""},
        {"end marker with another count", header + "data\r\na.lzh (119/119)\r\n", u"", "", ""},
        {"boundary before the marker", header + "data\r\n--b3\r\na.lzh (120/120)\r\n", u"--b3", "", ""},
        {"next header before the marker", header + "data\r\n" + header + "a.lzh (120/120)\r\n", u"", "", ""},
        {"header text missing", "<<< a.lzh for ish [ 120 ] >>>\r\ndata\r\na.lzh (120/120)\r\n", u"", "", ""},
        {"the data ends", header + "data\r\n", u"", "", ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        LineCursor cursor = CursorOver(row.mail);
        char16_t line[kLineCapacity];
        ReadLineW(line, cursor);
        const unsigned char* before = cursor.pos;
        IshBlock block;
        block.output_name = "left over";
        EXPECT_EQ(IshDetect(line, cursor, PartBoundary(row.boundary), block), !row.output_name.empty());
        EXPECT_EQ(block.output_name, row.output_name);
        EXPECT_EQ(block.end_marker, row.end_marker);
        EXPECT_EQ(cursor.pos, before);
    }
}

TEST(IshCopy, StoredBlockEndsAtTheMarkerLine) {
    const std::vector<std::string> block = {
        IshHeader("a.lzh", 3), "", "<<< Part 2 [ 3 ] >>>", "line one", "line two", "--- a.lzh (3/3) ---"};
    for (const test::LineEnds& ends : test::kLineEndings) {
        SCOPED_TRACE(ends.name);
        std::vector<std::string> lines{"text before"};
        lines.insert(lines.end(), block.begin(), block.end());
        std::string name;
        const Copied copied = DetectAndCopy(test::JoinLines(lines, ends), {}, IshDetector(&name));
        EXPECT_EQ(name, "a.lzh.ish#002");
        EXPECT_EQ(copied.end, DataEnd::BlockEnd);
        EXPECT_EQ(copied.stored, test::JoinLines(block, ends));
        EXPECT_EQ(copied.end_line, u"--- a.lzh (3/3) ---");
    }
    SCOPED_TRACE("the marker line right before the boundary");
    std::vector<std::string> lines = block;
    lines.push_back("------=_Part_5_6.7");
    const Copied copied =
        DetectAndCopy(test::JoinLines(lines, test::kLineEndings[0]), kBoundary, IshDetector());
    EXPECT_EQ(copied.stored, test::JoinLines(block, test::kLineEndings[2]));
}

} // namespace
} // namespace dornick

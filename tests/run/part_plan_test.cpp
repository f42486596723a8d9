// The kinds of part and the plan of a part: which block a text line opens, and the name and kind
// a part is written under.

#include "console/run/part_plan.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace dornick {
namespace {

// The lines of `text`, its first line read.
struct TextAtLine {
    std::string text;
    LineSource source;
    explicit TextAtLine(std::string mail) : text(std::move(mail)) {
        source.Start(reinterpret_cast<const unsigned char*>(text.data()), text.size());
        source.ReadNext();
    }
};

TEST(PartKinds, TextLinesOpenTheBlocksOfTheirKind) {
    struct Row {
        const char* what;
        std::string text;
        EncodingMode mode;
        std::string name;
        std::string boundary;
    };
    const Row rows[] = {
        {"uuencode", "begin 644 a.txt\r\n\":&D`\r\n`\r\nend\r\n", EncodingMode::Uuencode, "a.txt", ""},
        {"xxencode", "begin 600 b c.txt\n0O4Y+\n+\nend\n", EncodingMode::Xxencode, "b c.txt", ""},
        {"begin-base64", "begin-base64 644 b.bin\r\naGk=\r\n====\r\n", EncodingMode::Base64, "b.bin", ""},
        {"yEnc", "=ybegin line=128 size=2 name= y.bin \r\n*+\r\n=yend size=2\r\n", EncodingMode::Yenc,
         "y.bin.yenc", ""},
        {"BinHex names itself", "(This file must be converted with BinHex 4.0)\r\n\r\n:abc:\r\n",
         EncodingMode::BinHex, "", ""},
        {"uuencode cut by a boundary", "begin 644 a.txt\r\n\":&D`\r\n--b1\r\n`\r\nend\r\n",
         EncodingMode::Unknown, "", "-b"},
        {"a begin line without end", "begin 644 a.txt\r\n\":&D`\r\n", EncodingMode::Unknown, "", ""},
        {"text", "Hello,\r\nbegin 644 a.txt\r\n", EncodingMode::Unknown, "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TextAtLine at(row.text);
        LineCursor cursor = at.source.Here();
        const InBodyBlock block =
            FindInBodyBlock(at.source.line, cursor, PartBoundary(platform::WidenBytes(row.boundary)));
        EXPECT_EQ(block.mode, row.mode);
        EXPECT_EQ(block.name, row.name);
        EXPECT_EQ(cursor.pos, at.source.Here().pos); // the detectors put the position back
    }
}

TEST(PartKinds, EveryModeHasItsOwnRow) {
    for (int mode = 1; mode <= static_cast<int>(EncodingMode::Yenc); ++mode) {
        SCOPED_TRACE(mode);
        const PartKind& kind = KindOf(static_cast<EncodingMode>(mode));
        EXPECT_EQ(static_cast<int>(kind.mode), mode);
        // Only a kind whose block names itself is decoded outside the one decoder shape.
        EXPECT_EQ(kind.decode == nullptr, kind.unnamed_part == NameSource::BlockHeader);
    }
    EXPECT_EQ(KindOf(EncodingMode::Unknown).mode, EncodingMode::PlainCopy);
    EXPECT_EQ(ModeOfContentType(u"Application/X-UUencode; name=a"), EncodingMode::Uuencode);
    EXPECT_EQ(ModeOfContentType(u"application/mac-binhex40"), EncodingMode::BinHex);
    EXPECT_EQ(ModeOfContentType(u"application/octet-stream"), EncodingMode::Unknown);
}

TEST(PartPlan, NameAndKindOfAPart) {
    struct Row {
        const char* what;
        std::u16string name;
        bool from_content_id;
        std::u16string content_type;
        std::u16string suffix;
        EncodingMode mode;
        std::u16string planned_name;
        EncodingMode planned_mode;
        bool tnef;
    };
    const Row rows[] = {
        {"content-id takes its type", u"logo", true, u"image/png", u"", EncodingMode::Base64, u"logo.png",
         EncodingMode::Base64, false},
        {"doubled extension folds", u"photo.jpg", true, u"image/jpeg", u"", EncodingMode::Base64,
         u"photo.jpg", EncodingMode::Base64, false},
        {"x- is dropped", u"app", true, u"application/x-javascript", u"", EncodingMode::Base64,
         u"app.javascript", EncodingMode::Base64, false},
        {"text/plain is .txt", u"note", true, u"text/plain", u"", EncodingMode::QuotedPrintable, u"note.txt",
         EncodingMode::QuotedPrintable, false},
        {"content-id is made a file name", u"a/b", true, u"image/gif", u"", EncodingMode::Base64, u"a_b.gif",
         EncodingMode::Base64, false},
        {"header names are kept", u"report", false, u"image/png", u"", EncodingMode::Base64, u"report",
         EncodingMode::Base64, false},
        {"unknown encoding", u"data", false, u"application/octet-stream", u".(x-foo).txt",
         EncodingMode::Unknown, u"data.(x-foo).txt", EncodingMode::PlainCopy, false},
        {"tnef by name", u"WINMAIL.DAT", false, u"application/octet-stream", u"", EncodingMode::Base64,
         u"WINMAIL.DAT", EncodingMode::Base64, true},
        {"tnef by type", u"x.bin", false, u"application/ms-tnef", u"", EncodingMode::Base64, u"x.bin",
         EncodingMode::Base64, true},
        {"tnef only in base64", u"winmail.dat", false, u"application/ms-tnef", u"",
         EncodingMode::QuotedPrintable, u"winmail.dat", EncodingMode::QuotedPrintable, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        PartFields part;
        part.part_name = row.name;
        part.name_found = row.from_content_id;
        part.content_type = row.content_type;
        part.sub_type = row.content_type.substr(row.content_type.find(u'/') + 1);
        part.name_suffix = row.suffix;
        part.mode = row.mode;
        const PartPlan plan = PlanPart(part, {});
        EXPECT_EQ(platform::U16ToUtf8(plan.name), platform::U16ToUtf8(row.planned_name));
        EXPECT_EQ(plan.mode, row.planned_mode);
        EXPECT_EQ(plan.kind->mode, row.planned_mode);
        EXPECT_EQ(plan.tnef, row.tnef);
    }
}

TEST(PartPlan, OnlyUnnamedBlocksTakeTheirBeginLine) {
    const std::string block = "begin 644 from begin.txt\r\n\":&D`\r\n`\r\nend\r\n";
    struct Row {
        const char* what;
        std::u16string name;
        EncodingMode mode;
        std::u16string planned_name;
    };
    const Row rows[] = {
        {"unnamed uuencode", u"", EncodingMode::Uuencode, u"from begin.txt"},
        {"unnamed xxencode", u"", EncodingMode::Xxencode, u"from begin.txt"},
        {"named by its header", u"header.txt", EncodingMode::Uuencode, u"header.txt"},
        {"base64 has no begin line", u"", EncodingMode::Base64, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TextAtLine at(block);
        PartFields part;
        part.part_name = row.name;
        part.mode = row.mode;
        PartPlan plan = PlanPart(part, {});
        NameFromBeginLine(plan, at.source, {});
        EXPECT_EQ(platform::U16ToUtf8(plan.name), platform::U16ToUtf8(row.planned_name));
    }
}

} // namespace
} // namespace dornick

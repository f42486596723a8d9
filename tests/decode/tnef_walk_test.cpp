// The attribute walk of a TNEF container, table-driven over containers the tests write: what it
// hands on, where it stops, and that hostile lengths and counts never make it read past the data.

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/decode/tnef_walk.h"
#include "tnef_writer.h"

namespace dornick {
namespace {

using tnef_test::PropertyList;
using tnef_test::TnefWriter;

// Everything the walk reported, as text, in order.
struct Recorder : TnefEvents {
    std::vector<std::string> events;
    void OnAttachment(std::string_view title, std::string_view data) override {
        events.push_back("file " + std::string(title) + " " + std::to_string(data.size()) + ":" +
                         std::string(data.substr(0, 16)));
    }
    void OnModifyDate(const platform::SystemTime& t) override {
        events.push_back("date " + std::to_string(t.wYear) + "-" + std::to_string(t.wMonth) + "-" +
                         std::to_string(t.wDay) + " " + std::to_string(t.wHour) + ":" +
                         std::to_string(t.wMinute) + ":" + std::to_string(t.wSecond));
    }
    void OnCodePage(int32_t code_page) override { events.push_back("cp " + std::to_string(code_page)); }
    void OnLongName(std::string_view name) override { events.push_back("long " + std::string(name)); }
    void OnUnicodeLongName(std::u16string_view name) override {
        std::string text;
        for (char16_t u : name)
            text += u < 0x80 ? std::string(1, static_cast<char>(u)) : "U+" + std::to_string(u);
        events.push_back("ulong " + text);
    }
};

struct Walked {
    TnefWalkResult result;
    std::vector<std::string> events;
};

// Walks a copy of the container in a buffer of exactly its size, so that any read past its end is
// a heap over-read that the sanitizer build reports.
Walked Walk(const std::string& container) {
    auto buffer = std::make_unique<unsigned char[]>(container.size());
    std::copy(container.begin(), container.end(), buffer.get());
    EXPECT_TRUE(HasTnefSignature(buffer.get(), container.size()));
    LineCursor cursor = MakeLineCursor(buffer.get(), container.size());
    ReadBytes(nullptr, 4, nullptr, cursor);
    Recorder recorder;
    Walked walked;
    walked.result = TnefWalkAttributes(cursor, recorder);
    walked.events = recorder.events;
    return walked;
}

std::string LongName(std::string_view name) {
    return PropertyList().Long(0x0E20, 5).String8(0x3707, name).Bytes();
}

struct Row {
    const char* name;
    std::string container;
    std::vector<std::string> events;
    int result;
    TnefStop stop;
};

TEST(TnefWalk, HandsOnWhatTheContainerHolds) {
    const std::string big(5000, 'x');
    const std::string long_title(3000, 'T');
    const std::string inner = TnefWriter().Title("inner").Data("x").Bytes();
    const Row rows[] = {
        {"signature and key alone", TnefWriter().Bytes(), {}, 0, TnefStop::EndOfData},
        {"signature alone, no key", std::string("\x78\x9F\x3E\x22", 4), {}, 0, TnefStop::EndOfData},
        {"title before data",
         TnefWriter().Header().RendData().Title("a.txt").Data("hello").Bytes(),
         {"cp 1252", "file a.txt 5:hello"},
         1,
         TnefStop::EndOfData},
        {"data before title",
         TnefWriter().Header(932).RendData().Data("hello").Title("b.txt").Bytes(),
         {"cp 932", "file b.txt 5:hello"},
         1,
         TnefStop::EndOfData},
        {"data without any title is not handed on",
         TnefWriter().Header().RendData().Data("orphan").Bytes(),
         {"cp 1252"},
         0,
         TnefStop::EndOfData},
        {"two attachments, dates in between",
         TnefWriter()
             .RendData()
             .Title("one")
             .ModifyDate(2020, 5, 4, 10, 20, 30)
             .Data("1")
             .RendData()
             .Title("two")
             .Data("22")
             .Bytes(),
         {"date 2020-5-4 10:20:30", "file one 1:1", "file two 2:22"},
         1,
         TnefStop::EndOfData},
        {"a long name equal to the title (NUL on one side only) is no move",
         TnefWriter()
             .Title("same.txt")
             .Data("d")
             .Attachment(PropertyList().String8(0x3707, "same.txt", false))
             .Title("x")
             .Data("e")
             .Attachment(PropertyList().String8(0x3707, "x"))
             .Bytes(),
         {"file same.txt 1:d", "file x 1:e"},
         1,
         TnefStop::EndOfData},
        {"a different long name is handed on",
         TnefWriter()
             .Title("REPORT~1.PDF")
             .Data("pdf")
             .Attachment(PropertyList().Long(0x0E20, 3).String8(0x3707, "report 2020.pdf"))
             .Bytes(),
         {"file REPORT~1.PDF 3:pdf", "long report 2020.pdf"},
         1,
         TnefStop::EndOfData},
        {"a Unicode long name of odd length loses its last byte",
         TnefWriter()
             .Title("a")
             .Data("d")
             .Attachment(PropertyList().Unicode(0x3707, tnef_test::Utf16Le("ab") + "c"))
             .Bytes(),
         {"file a 1:d", "ulong ab"},
         1,
         TnefStop::EndOfData},
        {"a type that does not match the long name's id is no name",
         TnefWriter().Title("a").Data("d").Attachment(PropertyList().Long(0x3707, 0x41414141)).Bytes(),
         {"file a 1:d"},
         1,
         TnefStop::EndOfData},
        {"a title attribute of the wrong type is skipped",
         TnefWriter()
             .Attribute(2, tnef_test::kIdTitle, tnef_test::kTypeByte, "evil")
             .Data("d")
             .Title("good")
             .Bytes(),
         {"file good 1:d"},
         1,
         TnefStop::EndOfData},
        {"a named property ends the list",
         TnefWriter()
             .Title("a")
             .Data("d")
             .Attachment(PropertyList().Raw(0x0003, 0x8001, "\1\0\0\0").String8(0x3707, "hidden"))
             .Bytes(),
         {"file a 1:d"},
         1,
         TnefStop::EndOfData},
        {"a property type of unknown size ends the whole walk",
         TnefWriter()
             .Title("a")
             .Data("d")
             .Attachment(PropertyList().Raw(0x0009, 0x0E20, "\1\0\0\0"))
             .Title("b")
             .Data("e")
             .Bytes(),
         {"file a 1:d"},
         1,
         TnefStop::UnknownProperty},
        {"a million properties in a short list end with the list's data",
         TnefWriter()
             .Title("a")
             .Data("d")
             .Attachment(PropertyList().Long(0x0E20, 1).Count(1000000))
             .Title("b")
             .Data("e")
             .Bytes(),
         {"file a 1:d", "file b 1:e"},
         1,
         TnefStop::EndOfData},
        {"a string value longer than the list ends the list",
         TnefWriter()
             .Title("a")
             .Data("d")
             .Attachment(PropertyList().Raw(0x001E, 0x3707, std::string("\1\0\0\0\xFF\xFF\0\0name", 12)))
             .Title("b")
             .Data("e")
             .Bytes(),
         {"file a 1:d", "file b 1:e"},
         1,
         TnefStop::EndOfData},
        {"a title longer than 2047 bytes is cut and the walk stays in step",
         TnefWriter().Title(long_title).Data("d").Bytes(),
         {"file " + long_title.substr(0, kTnefNameLimit) + " 1:d"},
         1,
         TnefStop::EndOfData},
        {"code page data longer than its area is cut and the walk stays in step",
         TnefWriter()
             .Attribute(1, tnef_test::kIdOemCodepage, tnef_test::kTypeByte,
                        std::string("\xA4\x03\0\0", 4) + std::string(40, '\x7F'))
             .Title("a")
             .Data("d")
             .Bytes(),
         {"cp 932", "file a 1:d"},
         1,
         TnefStop::EndOfData},
        {"a date record longer than 14 bytes is skipped",
         TnefWriter()
             .Attribute(2, tnef_test::kIdModifyDate, tnef_test::kTypeDate, std::string(16, '\1'))
             .Title("a")
             .Data("d")
             .Bytes(),
         {"file a 1:d"},
         1,
         TnefStop::EndOfData},
        {"a title of length 0 stops the walk",
         TnefWriter()
             .AttributeWithLength(2, tnef_test::kIdTitle, tnef_test::kTypeString, 0, "")
             .Title("a")
             .Data("d")
             .Bytes(),
         {},
         0,
         TnefStop::ZeroLength},
        {"another attribute of length 0 stops the walk",
         TnefWriter()
             .Title("a")
             .Data("d")
             .Attribute(1, 0x8004, tnef_test::kTypeString, "")
             .Title("b")
             .Data("e")
             .Bytes(),
         {"file a 1:d"},
         1,
         TnefStop::ZeroLength},
        {"data whose length runs past the end gives the bytes that are there",
         TnefWriter()
             .Title("a")
             .AttributeWithLength(2, tnef_test::kIdData, tnef_test::kTypeByte, 0xFFFFFFFF, big, false)
             .Bytes(),
         {"file a 5000:xxxxxxxxxxxxxxxx"},
         1,
         TnefStop::EndOfData},
        {"a title whose length runs past the end",
         TnefWriter()
             .Data("d")
             .AttributeWithLength(2, tnef_test::kIdTitle, tnef_test::kTypeString, 0xFFFFFFFF, "ab", false)
             .Bytes(),
         {"file ab 1:d"},
         1,
         TnefStop::EndOfData},
        {"a property list whose length runs past the end",
         TnefWriter()
             .Title("a")
             .Data("d")
             .AttributeWithLength(2, tnef_test::kIdAttachment, tnef_test::kTypeByte, 0xFFFFFFFF,
                                  LongName("long"), false)
             .Bytes(),
         {"file a 1:d", "long long"},
         1,
         TnefStop::EndOfData},
        {"garbage after the last attribute",
         TnefWriter().Title("a").Data("d").Raw("\x01\x02\x03\x04\x05").Bytes(),
         {"file a 1:d"},
         1,
         TnefStop::EndOfData},
        {"a container inside a container is one attachment",
         TnefWriter().Title("winmail.dat").Data(inner).Bytes(),
         {"file winmail.dat " + std::to_string(inner.size()) + ":" + inner.substr(0, 16)},
         1,
         TnefStop::EndOfData},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Walked walked = Walk(row.container);
        EXPECT_EQ(walked.events, row.events);
        EXPECT_EQ(walked.result.result, row.result);
        EXPECT_EQ(walked.result.stop, row.stop);
    }
}

TEST(TnefWalk, SignatureIsTheFirstFourBytes) {
    const unsigned char png[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const unsigned char tnef[] = {0x78, 0x9F, 0x3E, 0x22};
    EXPECT_FALSE(HasTnefSignature(png, sizeof png));
    EXPECT_TRUE(HasTnefSignature(tnef, sizeof tnef));
    EXPECT_FALSE(HasTnefSignature(tnef, 3));
}

} // namespace
} // namespace dornick

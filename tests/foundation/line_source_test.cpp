// The line source: its operations are the only way the reading position moves, so each must
// leave it exactly where the walk expects, with every kind of line end.

#include "console/decode/line_source.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text.h"

namespace dornick {
namespace {

std::string Utf8(const char16_t* line) {
    return platform::U16ToUtf8(line);
}

class LineSourceTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        const std::string end = GetParam();
        text = "first" + end + "second" + end + end + "fourth";
        source.Start(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    }
    std::string Next() { return source.ReadNext() ? Utf8(source.line) : "<end>"; }
    std::string text;
    LineSource source;
};

TEST_P(LineSourceTest, TakeUnreadAndTheEnd) {
    ASSERT_TRUE(source.Take());
    EXPECT_EQ(Utf8(source.line), "first");
    source.Unread();
    EXPECT_TRUE(source.LinePending());
    const LineCursor here = source.Here();
    ASSERT_TRUE(source.Take()); // the same line again, nothing read
    EXPECT_FALSE(source.LinePending());
    EXPECT_EQ(Utf8(source.line), "first");
    EXPECT_EQ(source.Here().pos, here.pos);
    EXPECT_EQ(Next(), "second");
    EXPECT_EQ(Next(), "");
    EXPECT_FALSE(source.Ended());
    EXPECT_EQ(Next(), "fourth");
    EXPECT_TRUE(source.Ended());
    EXPECT_FALSE(source.Take());
}

TEST_P(LineSourceTest, StepsBackAndReadsBackwards) {
    Next();
    Next(); // "second"
    char16_t before[kLineCapacity];
    source.PeekLineBefore(before);
    EXPECT_EQ(Utf8(before), "first");
    EXPECT_EQ(Utf8(source.line), "second");
    const unsigned char* second = source.StepBack(1);
    EXPECT_EQ(second,
              reinterpret_cast<const unsigned char*>(text.data()) + 5 + std::string(GetParam()).size());
    EXPECT_EQ(Next(), "second");
    // From the start of "second": the line that ends there is "first", and the next read follows it.
    char16_t line[kLineCapacity];
    EXPECT_EQ(source.ReadLineEndingAt(second, line), source.FileStart());
    EXPECT_EQ(Utf8(line), "first");
    EXPECT_EQ(Next(), "second");
}

TEST_P(LineSourceTest, AMarkPutsBackThePositionAndTheLine) {
    Next();
    {
        LineMark mark(source);
        EXPECT_EQ(Next(), "second");
        EXPECT_EQ(Next(), "");
    }
    EXPECT_EQ(Utf8(source.line), "first");
    EXPECT_EQ(Next(), "second");
}

TEST_P(LineSourceTest, ALentReaderMovesThePosition) {
    const int length =
        source.ReadOn([](char16_t* line, LineCursor& cursor) { return ReadLineW(line, cursor); });
    EXPECT_GT(length, 0);
    EXPECT_EQ(Utf8(source.line), "first");
    EXPECT_EQ(Next(), "second");
}

INSTANTIATE_TEST_SUITE_P(LineEnds, LineSourceTest, ::testing::Values("\r\n", "\n", "\r"));

} // namespace
} // namespace dornick

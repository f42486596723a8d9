#include "console/decode/part_boundary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace dornick {
namespace {

// The boundary test runs on every data line: each row is checked against a plain substring search.
TEST(PartBoundary, HoldsIsASubstringTest) {
    struct Row {
        const char16_t* boundary;
        std::string line;
    };
    const Row rows[] = {
        {u"-abc", "--abc"},
        {u"-abc", "--abc--"},
        {u"-abc", "-abc"},
        {u"-abc", "-ab"},
        {u"-abc", "x-a-ab-abc"},
        {u"-abc", "-a-b-c"},
        {u"-abc", "abc"},
        {u"-abc", ""},
        {u"--", "a-b-"},
        {u"--", "a-b--"},
        {u"-", "-"},
        {u"-abc", "ABC--abcx"},
        {u"-----=_Part_", "------=_Part_1_2"},
        {u"-x", std::string("\0-x", 3)},
        {u"-aaa", "-aa-aaa"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        PartBoundary boundary(row.boundary);
        const std::u16string_view wide(row.boundary);
        const std::string needle(wide.begin(), wide.end());
        const bool expected = row.line.find(needle) != std::string::npos;
        EXPECT_EQ(boundary.Holds(row.line.data(), row.line.size()), expected);
    }
    EXPECT_FALSE(PartBoundary(u"").Holds("anything", 8));
    EXPECT_FALSE(PartBoundary(u"-\u3042").Holds("-\x42", 2)); // a unit above U+00FF never matches
}

// A part ends at its own boundary or at one of the enclosing multiparts', whichever comes first.
TEST(PartBoundary, EnclosingBoundariesEndTheDataToo) {
    PartBoundary boundary(u"-inner");
    boundary.Add(u"");        // an unlearnt slot adds nothing
    boundary.Add(u"-\u3042"); // neither does one no line can hold
    boundary.Add(u"-outer");
    EXPECT_EQ(boundary.count, 2);
    EXPECT_TRUE(boundary.HoldsText("--inner"));
    EXPECT_TRUE(boundary.HoldsText("--outer--"));
    EXPECT_TRUE(boundary.HoldsWide(u"\u3042--outer"));
    EXPECT_FALSE(boundary.HoldsText("--inne"));
    EXPECT_FALSE(boundary.CouldHideInBase64());
    boundary.Add(u"abc"); // a marker of base64 letters only could hide in a data line
    EXPECT_TRUE(boundary.CouldHideInBase64());

    PartBoundary none;
    none.Add(u"-only");
    EXPECT_TRUE(none.matchable);
    EXPECT_TRUE(none.HoldsText("x-only"));
}

// A mail may have any number of multiparts: markers beyond those held in place end the data too.
TEST(PartBoundary, AnyNumberOfBoundaries) {
    PartBoundary boundary;
    std::vector<std::string> lines;
    for (int i = 0; i < 3 * PartBoundary::kInlineMarkers; ++i) {
        const std::string marker = "-group" + std::to_string(i) + "x";
        boundary.Add(std::u16string(marker.begin(), marker.end()));
        lines.push_back("-" + marker + "--");
    }
    ASSERT_EQ(boundary.count, 3 * PartBoundary::kInlineMarkers);
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        EXPECT_TRUE(boundary.HoldsText(line.c_str()));
        EXPECT_FALSE(boundary.HoldsText(line.substr(0, line.size() - 3).c_str()));
    }
    EXPECT_FALSE(boundary.HoldsText("--group99x"));
    EXPECT_EQ(boundary.CommonFirstByte(), '-');
    EXPECT_FALSE(boundary.CouldHideInBase64());
    boundary.Add(u"+late"); // the last marker, held apart, decides both
    EXPECT_EQ(boundary.CommonFirstByte(), -1);
    EXPECT_TRUE(boundary.CouldHideInBase64());
    EXPECT_TRUE(boundary.HoldsWide(u"\u3042+late"));
}

} // namespace
} // namespace dornick

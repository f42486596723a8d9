#include "console/decode/part_boundary.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

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
        const std::string needle(boundary.bytes, boundary.length);
        const bool expected = row.line.find(needle) != std::string::npos;
        EXPECT_EQ(boundary.Holds(row.line.data(), row.line.size()), expected);
    }
    EXPECT_FALSE(PartBoundary(u"").Holds("anything", 8));
    EXPECT_FALSE(PartBoundary(u"-\u3042").Holds("-\x42", 2)); // a unit above U+00FF never matches
}

} // namespace
} // namespace dornick

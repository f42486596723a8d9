// File lists as "find" and "find -print0" write them: split however the reads cut them, names kept
// byte for byte.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/name_list.h"
#include "platform/text.h"

namespace platform {
namespace {

struct ListRow {
    const char* name;
    std::string bytes;
    bool nul;
    std::vector<std::string> names; // as bytes
};

const ListRow kLists[] = {
    {"lines", "a.eml\nb/c.eml\n", false, {"a.eml", "b/c.eml"}},
    {"last line without its end", "a.eml\nb.eml", false, {"a.eml", "b.eml"}},
    {"empty lines name nothing", "\n\na.eml\n\n\nb.eml\n\n", false, {"a.eml", "b.eml"}},
    {"spaces and a carriage return are part of a name",
     " a b.eml \nc.eml\r\n",
     false,
     {" a b.eml ", "c.eml\r"}},
    {"NUL-separated", std::string("a.eml\0b.eml\0", 12), true, {"a.eml", "b.eml"}},
    {"a line feed inside a NUL-separated name",
     std::string("x\ny.eml\0z.eml", 13),
     true,
     {"x\ny.eml", "z.eml"}},
    {"empty NUL names", std::string("\0\0a\0\0", 5), true, {"a"}},
    {"lines hold no NUL separator", std::string("a\0b\nc\n", 6), false, {std::string("a\0b", 3), "c"}},
    {"Shift_JIS and Latin-1 bytes",
     "\x83\x65\x83\x58\x83\x67.eml\ncaf\xe9.eml\n\xe6\x97\xa5.eml\n",
     false,
     {"\x83\x65\x83\x58\x83\x67.eml", "caf\xe9.eml", "\xe6\x97\xa5.eml"}},
    {"nothing", "", false, {}},
};

std::vector<std::string> AsBytes(const std::vector<std::u16string>& names) {
    std::vector<std::string> bytes;
    for (const std::u16string& name : names)
        bytes.push_back(NativeFromPath(name));
    return bytes;
}

TEST(NameList, SplitsAtEveryPieceSize) {
    for (const ListRow& row : kLists) {
        // Pieces of every size from one byte: a separator and a UTF-8 sequence may be cut anywhere.
        for (size_t piece = 1; piece <= row.bytes.size() + 1; ++piece) {
            SCOPED_TRACE(std::string(row.name) + ", pieces of " + std::to_string(piece));
            NameListSplitter splitter;
            splitter.separator = row.nul ? '\0' : '\n';
            std::vector<std::u16string> names;
            for (size_t at = 0; at < row.bytes.size(); at += piece)
                SplitNames(splitter, std::string_view(row.bytes).substr(at, piece), names);
            FinishNames(splitter, names);
            EXPECT_EQ(AsBytes(names), row.names);
        }
    }
}

} // namespace
} // namespace platform

// Names of the files in a TNEF container: the code page from the charset name, the reading in that
// code page with its fallback, composition and sanitising.

#include <string>

#include <gtest/gtest.h>

#include "console/run/tnef_attachment.h"

namespace dornick {
namespace {

TEST(TnefNames, CodePageFollowsTheFirstTwoCharacters) {
    struct Row {
        std::u16string charset;
        int code_page;
    } const rows[] = {{u"CP932", 932}, {u"CP1252", 1252}, {u"", 0},        {u"C", 0},
                      {u"UTF-8", 0},   {u"CP-5", -5},     {u"CP12ab", 12}, {u"CP99999999999", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.charset.begin(), row.charset.end()));
        EXPECT_EQ(TnefCodePage(row.charset), row.code_page);
    }
}

TEST(TnefNames, TitleBecomesASafeUnicodeName) {
    const std::optional<std::time_t> dated = 1588555230, undated;
    struct Row {
        const char* name;
        std::u16string charset;
        std::string title;
        bool full_width;
        std::u16string expected;
    } const rows[] = {
        {"code page 932", u"CP932", "\x95\xF1\x8D\x90\x8F\x91.pdf", false, u"報告書.pdf"},
        {"code page 1252", u"CP1252", "\xE9t\xE9.txt", false, u"été.txt"},
        {"UTF-8 by its code page", u"CP65001", "\xE5\xA0\xB1.txt", false, u"報.txt"},
        {"no code page: the system's (1252 here)", u"", "caf\xE9", false, u"café"},
        {"an unknown code page reads as the system's", u"CP12345", "caf\xE9", false, u"café"},
        {"bytes the code page cannot read go to the conversion's fallbacks", u"CP932",
         "\xE5\xA0\xB1\xE5\x91\x8A.txt", false, u"報告.txt"},
        {"up to the first NUL", u"CP1252", std::string("a.txt\0hidden", 12), false, u"a.txt"},
        {"forbidden characters", u"CP1252", "a/b\\c:d.txt", false, u"a_b_c_d.txt"},
        {"forbidden characters with /CW", u"CP1252", "a/b:c.txt", true, u"a／b：c.txt"},
        {"an empty title", u"CP1252", "", false, u"_"},
        {"decomposed text is composed", u"CP65001", "e\xCC\x81.txt", false, u"é.txt"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TnefNaming naming;
        naming.charset = row.charset;
        naming.time = &dated;
        naming.full_width = row.full_width;
        EXPECT_EQ(TnefSafeName(row.title, naming), row.expected);
        naming.time = &undated;
        EXPECT_EQ(TnefSafeName(row.title, naming), row.expected);
    }
}

TEST(TnefNames, LongTitleIsCutToANameWithoutSplittingAPair) {
    TnefNaming naming;
    naming.charset = u"CP65001";
    std::string title;
    for (int i = 0; i < 200; ++i)
        title += "\xF0\x9F\x98\x80"; // U+1F600, two units each
    const std::u16string name = TnefSafeName(title, naming);
    EXPECT_EQ(name.size(), 254u);
    EXPECT_EQ(name.substr(0, 2), u"\U0001F600");
    EXPECT_EQ(name.substr(252), u"\U0001F600");
}

} // namespace
} // namespace dornick

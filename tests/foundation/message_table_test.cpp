// The two languages of the messages: every row has both texts with the same directives, the channel
// speaks the language of the locale, and every Japanese text in the program's source has a row.

#include "console/run/message_table.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "console/run/log.h"
#include "console/run/messages.h"
#include "platform/text.h"

namespace dornick {
namespace {

namespace fs = std::filesystem;

bool HasJapanese(std::u16string_view text) {
    for (char16_t unit : text)
        if (unit >= 0x3000) return true;
    return false;
}

// The directives of a format in order ("%s", "%hs", "%02d" ...), and its line ends.
std::vector<std::u16string> Shape(std::u16string_view text) {
    std::vector<std::u16string> shape;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'%') {
            size_t end = i + 1;
            while (end < text.size() && !(text[end] == u's' || text[end] == u'd' || text[end] == u'u' ||
                                          text[end] == u'c' || text[end] == u'%'))
                ++end;
            shape.emplace_back(text.substr(i, end - i + 1));
            i = end;
        } else if (text[i] == u'\n' || text[i] == u'\r') {
            shape.emplace_back(1, text[i]);
        }
    }
    return shape;
}

TEST(MessageTable, BothColumnsAreCompleteAndAgree) {
    std::set<std::u16string_view> seen;
    for (const MessageRow& row : MessageTable()) {
        SCOPED_TRACE(platform::U16ToUtf8(row.japanese));
        EXPECT_TRUE(seen.insert(row.japanese).second) << "listed twice";
        EXPECT_TRUE(HasJapanese(row.japanese));
        EXPECT_FALSE(row.english.empty());
        EXPECT_FALSE(HasJapanese(row.english));
        // The same arguments fill both forms, and the lines end alike (screen "\n", log "\r\n").
        EXPECT_EQ(Shape(row.japanese), Shape(row.english));
        EXPECT_EQ(EnglishFor(row.japanese), row.english);
    }
    EXPECT_TRUE(EnglishFor(u"no such message").empty());
}

TEST(MessageTable, TheLanguageFollowsTheLocale) {
    struct Row {
        const char *forced, *lc_all, *lc_messages, *lang;
        Language expected;
    };
    const Row rows[] = {
        {nullptr, nullptr, nullptr, nullptr, Language::English},
        {nullptr, nullptr, nullptr, "ja_JP.UTF-8", Language::Japanese},
        {nullptr, "", "", "ja", Language::Japanese},
        {nullptr, nullptr, "en_US.UTF-8", "ja_JP.UTF-8", Language::English},
        {nullptr, "ja_JP.eucJP", "en_US.UTF-8", "C", Language::Japanese},
        {nullptr, "C", "ja_JP.UTF-8", "ja_JP.UTF-8", Language::English},
        {nullptr, "jam_JM", nullptr, nullptr, Language::English},
        {"en", "ja_JP.UTF-8", nullptr, nullptr, Language::English},
        {"ja", "C", nullptr, nullptr, Language::Japanese},
    };
    for (const Row& row : rows)
        EXPECT_EQ(LanguageFromEnvironment(row.forced, row.lc_all, row.lc_messages, row.lang), row.expected)
            << (row.lc_all ? row.lc_all : "-") << " " << (row.lc_messages ? row.lc_messages : "-") << " "
            << (row.lang ? row.lang : "-");
}

TEST(MessageTable, TheLogSpeaksTheChannelsLanguage) {
    LogBuffer log;
    SetMessageLanguage(Language::English);
    LogAppendFormat(log, u"フォルダを作成しました。\r\n->%s\r\n\r\n", {u"/x"});
    LogAppend(log, u"\t-> Base64で再デコードしています...\r\n");
    LogAppend(log, u"\t-> \"a.bin\"\r\n");
    SetMessageLanguage(Language::Japanese);
    LogAppendFormat(log, u"フォルダを作成しました。\r\n->%s\r\n\r\n", {u"/y"});
    EXPECT_EQ(log.text, u"Created the folder.\r\n->/x\r\n\r\n\t-> Decoding again as Base64...\r\n\t-> "
                        u"\"a.bin\"\r\nフォルダを作成しました。\r\n->/y\r\n\r\n");
}

// The string literals of a C++ source, adjacent pieces joined, escapes resolved, with the line of
// their first piece.
struct Literal {
    std::u16string text;
    int line;
};

std::vector<Literal> Literals(const std::string& source) {
    std::vector<Literal> found;
    std::string current;
    int line = 1, start_line = 0;
    bool open = false; // a literal was read and may continue with the next piece
    for (size_t i = 0; i < source.size(); ++i) {
        char c = source[i];
        if (c == '\n') ++line;
        if (c == '/' && i + 1 < source.size() && source[i + 1] == '/') {
            while (i < source.size() && source[i] != '\n')
                ++i;
            ++line;
            continue;
        }
        bool prefixed = c == 'u' && i + 1 < source.size() && source[i + 1] == '"';
        if (c == '"' || prefixed) {
            if (prefixed) ++i;
            if (!open) {
                current.clear();
                start_line = line;
            }
            for (++i; i < source.size() && source[i] != '"'; ++i) {
                if (source[i] != '\\') {
                    current.push_back(source[i]);
                    continue;
                }
                char e = source[++i];
                current.push_back(e == 'n' ? '\n' : e == 'r' ? '\r' : e == 't' ? '\t' : e);
            }
            open = true;
            continue;
        }
        if (c == '\'') { // a character literal, which may be '"'
            i += source[i + 1] == '\\' ? 3 : 2;
            continue;
        }
        if (open && !(c == ' ' || c == '\t' || c == '\n' || c == '\r')) {
            found.push_back({platform::Utf8ToU16(current), start_line});
            open = false;
        }
    }
    return found;
}

TEST(MessageTable, EveryJapaneseTextOfTheProgramHasARow) {
    const fs::path tree = fs::path(DORNICK_SOURCE_DIR) / "console";
    size_t checked = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(tree)) {
        const std::string extension = entry.path().extension().string();
        if (extension != ".cpp" && extension != ".h") continue;
        if (entry.path().filename() == "message_table.cpp" || entry.path().filename() == "usage_text.h")
            continue;
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string source((std::istreambuf_iterator<char>(in)), {});
        for (const Literal& literal : Literals(source)) {
            if (!HasJapanese(literal.text)) continue;
            // Single characters (full-width replacements and the like) are names, not messages.
            if (literal.text.size() < 4) continue;
            ++checked;
            EXPECT_FALSE(EnglishFor(literal.text).empty())
                << entry.path().string() << ":" << literal.line << ": no English row for \""
                << platform::U16ToUtf8(literal.text) << "\"";
        }
    }
    EXPECT_GT(checked, 30u); // the scan found the program's messages at all
}

} // namespace
} // namespace dornick

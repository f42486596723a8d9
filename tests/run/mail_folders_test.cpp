// The names of a mail's sender and date folders, worked out from what its header said.

#include "console/run/mail_folders.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace dornick {
namespace {

TEST(MailFolderNames, FromTheFactsOfTheHeader) {
    struct Row {
        const char* what;
        bool from_found;
        bool date_found;
        std::string sender;       // as the header rules left it (bytes widened)
        std::string from_address; // likewise
        std::string return_path;
        std::string apparently_from;
        std::u16string date_text;
        std::string folder_sender; // UTF-8
        std::string folder_date;
        std::string shown_from; // UTF-8
        bool dated;
    };
    const Row rows[] = {
        {"no header", false, false, "a@b", "", "a@b", "", u"", "[UNKNOWN-SENDER]", "[UNKNOWN-DATE]", "",
         false},
        {"From after a Return-Path", true, true, "rp@x.jp", "taro@x.jp", "rp@x.jp", "",
         u"Date: Tue, 3 Jan 2017 10:05:00 +0900", "taro@x.jp", "2017-01-03", "taro@x.jp", true},
        {"the Return-Path alone", true, false, "rp@x.jp", "", "rp@x.jp", "", u"", "rp@x.jp", "[UNKNOWN-DATE]",
         "rp@x.jp", false},
        {"X-Apparently-From", false, true, "", "", "", "ap@x.jp", u"Date: Wed, 4 Jan 2017 01:00:00 +0000",
         "ap@x.jp", "2017-01-04", "ap@x.jp", true},
        {"no sender at all", false, true, "", "", "", "", u"Date: Wed, 4 Jan 2017 01:00:00 +0000",
         "[UNKNOWN-SENDER]", "2017-01-04", "[UNKNOWN-SENDER]", true},
        {"UTF-8 bytes are converted", true, false, "", "\xE5\xA4\xAA\xE9\x83\x8E@x.jp", "", "", u"",
         "太郎@x.jp", "[UNKNOWN-DATE]", "太郎@x.jp", false},
        {"a folder name holds no separator", true, false, "", "a/b@x.jp", "", "", u"", "a_b@x.jp",
         "[UNKNOWN-DATE]", "a/b@x.jp", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MailFacts facts;
        facts.from_found = row.from_found;
        facts.return_path_found = row.from_found;
        facts.date_found = row.date_found;
        facts.sender = platform::WidenBytes(row.sender);
        facts.from_address = platform::WidenBytes(row.from_address);
        facts.return_path = platform::WidenBytes(row.return_path);
        facts.apparently_from = platform::WidenBytes(row.apparently_from);
        facts.date_text = row.date_text;
        const MailFolderNames names = NameMailFolders(facts, false);
        EXPECT_EQ(platform::U16ToUtf8(names.sender), row.folder_sender);
        EXPECT_EQ(platform::U16ToUtf8(names.date), row.folder_date);
        if (row.from_found || row.date_found) {
            EXPECT_EQ(platform::U16ToUtf8(names.from_address), row.shown_from);
            EXPECT_EQ(platform::U16ToUtf8(names.return_path), row.return_path);
        }
        EXPECT_EQ(!names.mail_time.IsZero(), row.dated);
    }
}

} // namespace
} // namespace dornick

#include "console/run/header_rules.h"

#include <gtest/gtest.h>

#include "platform/text.h"

namespace dornick {
namespace {

// A mail state over `text`, with its first line read, as the walk has it when a rule runs.
struct MailOver {
    explicit MailOver(const std::string& text) : bytes(text) {
        mail.options = &options;
        mail.source.Start(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        mail.source.ReadNext();
    }
    std::u16string Line() const { return mail.source.line; }
    std::string bytes;
    RunOptions options;
    MailState mail;
};

TEST(HeaderRules, ReturnPath) {
    struct Row {
        const char* text;
        const char16_t* address;
    } rows[] = {
        {"Return-Path: <a@b.jp>\r\n", u"a@b.jp"},  {"return-path:   <  a@b.jp  >  \r\n", u"a@b.jp"},
        {"Return-Path: \ta@b.jp \r\n", u"a@b.jp"}, {"Return-Path: <>\r\n", u""},
        {"Return-Path: <a@b.jp\r\n", u"<a@b.jp"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        MailOver m(row.text);
        TakeReturnPath(m.mail.source.line, m.mail.facts, true);
        EXPECT_EQ(m.mail.facts.return_path, row.address);
        EXPECT_EQ(m.mail.facts.sender, row.address);
        EXPECT_EQ(m.mail.facts.return_path_found, !std::u16string(row.address).empty());
    }
    MailOver unflagged("Return-Path: <x@y>\r\n");
    TakeReturnPath(unflagged.mail.source.line, unflagged.mail.facts, false);
    EXPECT_EQ(unflagged.mail.facts.sender, u"x@y");
    EXPECT_FALSE(unflagged.mail.facts.return_path_found);
}

TEST(HeaderRules, FromAsSender) {
    struct Row {
        const char* text;
        const char16_t* sender;
        const char16_t* line_after; // the line the walk sees next
        bool pending;
    } rows[] = {
        {"From: Taro <taro@example.jp>\r\nTo: x\r\n", u"taro@example.jp", u"From: Taro <taro@example.jp>",
         false},
        {"From: \"a <b>\" <real@example.jp>\r\n", u"real@example.jp", u"From: \"a <b>\" <real@example.jp>",
         false},
        {"From: taro@example.jp (Taro)\r\nTo: x\r\n", u"taro@example.jp", u"To: x", true},
        {"From: =?ISO-2022-JP?B?GyRCOzMFRBsoQg==?=\r\n <taro@example.jp>\r\nTo: x\r\n", u"taro@example.jp",
         u" <taro@example.jp>", false},
        {"From: Taro\r\n\tYamada\r\n <t@e.jp>\r\n", u"t@e.jp", u" <t@e.jp>", false},
        {"From:x\r\n", u"", u"From:x", false},
        {"From: x\r\n", u"x", u"From: x", false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        MailOver m(row.text);
        EXPECT_TRUE(TakeFromAsSender(m.mail.source, m.mail.facts) || m.mail.source.Ended());
        EXPECT_EQ(m.mail.facts.sender, row.sender);
        EXPECT_EQ(m.Line(), row.line_after);
        EXPECT_EQ(m.mail.source.LinePending(), row.pending);
        EXPECT_TRUE(m.mail.facts.return_path_found);
        EXPECT_TRUE(m.mail.facts.from_found);
    }
}

TEST(HeaderRules, FromWhoseContinuationEndsTheData) {
    MailOver m("From: Taro\r\n Yamada");
    EXPECT_FALSE(TakeFromAddress(m.mail.source, m.mail.facts));
    EXPECT_EQ(m.mail.facts.from_address, u"Taro");
    EXPECT_TRUE(m.mail.facts.from_found);
}

TEST(HeaderRules, ApparentlyFrom) {
    MailOver m("X-Apparently-From: < someone@example.com >\r\n");
    TakeApparentlyFrom(m.mail.source.line, m.mail.facts);
    EXPECT_EQ(m.mail.facts.apparently_from, u"someone@example.com");
}

TEST(HeaderRules, Dates) {
    struct Row {
        const char* name;
        const char* text;
        const char16_t* date_text;
        bool found;
        bool japanese;
    } rows[] = {
        {"DateLine", "Date: Tue, 3 Jan 2017 10:05:00 +0900\r\n", u"Date: Tue, 3 Jan 2017 10:05:00 +0900",
         true, false},
        {"ReceivedOneLine", "Received: from a by b; Tue, 3 Jan 2017 10:05:00 +0900\r\n",
         u"Date:  Tue, 3 Jan 2017 10:05:00 +0900", true, true},
        {"ReceivedJoined",
         "Received: from a\r\n\tby b with SMTP;\r\n\tTue, 3 Jan 2017 10:05:00 jst\r\nX: y\r\n",
         u"Date: \tTue, 3 Jan 2017 10:05:00 jst", true, true},
        {"ReceivedDateOnNextLine",
         "Received: by 10.0.0.1 with SMTP id x;\r\n        Tue, 3 Jan 2017 01:05:00 -0800\r\nX: y\r\n",
         u"Date:         Tue, 3 Jan 2017 01:05:00 -0800", true, false},
        {"ReceivedSoftBreaks", "Received: from a by b=\r\n; Tue, 3 Jan 2017=\r\n 10:05:00 +0000\r\n",
         u"Date:  Tue, 3 Jan 2017 10:05:00 +0000", true, false},
        {"ReceivedWithoutDate", "Received: from a by b; garbage\r\n", u"Date:  garbage", false, false},
        {"ReceivedNoSemicolon", "Received: from a by b\r\nSubject: x\r\n", u"", false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        MailOver m(row.text);
        EXPECT_TRUE(TakeDate(m.mail.source, m.mail.facts));
        EXPECT_EQ(m.mail.facts.date_text, row.date_text);
        EXPECT_EQ(m.mail.facts.date_found, row.found);
        EXPECT_EQ(m.mail.facts.japanese_mail, row.japanese);
    }
}

TEST(HeaderRules, ReceivedThatDidNotParseIsReplacedByALaterDate) {
    MailOver m("Received: from a by b; garbage\r\nDate: Tue, 3 Jan 2017 10:05:00 +0900\r\n");
    ASSERT_TRUE(TakeDate(m.mail.source, m.mail.facts));
    ASSERT_TRUE(m.mail.source.ReadNext());
    ASSERT_TRUE(TakeDate(m.mail.source, m.mail.facts));
    EXPECT_EQ(m.mail.facts.date_text, u"Date: Tue, 3 Jan 2017 10:05:00 +0900");
    EXPECT_TRUE(m.mail.facts.date_found);
    ASSERT_FALSE(m.mail.source.ReadNext());
}

TEST(HeaderRules, FirstDateWins) {
    MailOver m("Date: Tue, 3 Jan 2017 10:05:00 +0900\r\nReceived: x; Wed, 4 Jan 2017 10:05:00 +0900\r\n");
    TakeDate(m.mail.source, m.mail.facts);
    m.mail.source.ReadNext();
    TakeDate(m.mail.source, m.mail.facts);
    EXPECT_EQ(m.mail.facts.date_text, u"Date: Tue, 3 Jan 2017 10:05:00 +0900");
    EXPECT_FALSE(m.mail.facts.japanese_mail);
}

TEST(HeaderRules, ReceivedJoinStopsAtTheLineLimit) {
    std::string text = "Received: from a\r\n";
    for (int i = 0; i < 1000; ++i)
        text += " by relay" + std::to_string(i) + ".example.jp\r\n";
    MailOver m(text);
    EXPECT_TRUE(TakeDate(m.mail.source, m.mail.facts));
    EXPECT_TRUE(m.mail.facts.date_text.empty());
}

TEST(HeaderRules, Charset) {
    struct Row {
        const char* text;
        const char16_t* charset;
    } rows[] = {
        {"Content-Type: text/plain; charset=\"ISO-2022-JP\"\r\n", u"\"ISO-2022-JP\""},
        {"Content-Type: text/plain; CHARSET = utf-8\r\n", u" utf-8"},
        {"Content-Type: text/plain; charset=abcdefghijklmnopqrstuvwxyz\r\n", u"abcdefghijklmnopqrstuvw"},
        {"Content-Type: text/plain; charset\r\n", u""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        MailOver m(row.text);
        TakeCharset(m.mail.source.line, m.mail.facts);
        EXPECT_EQ(m.mail.facts.charset, row.charset);
    }
}

} // namespace
} // namespace dornick

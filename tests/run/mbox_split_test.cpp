// The mbox splitter: each rule as rows, every row fed with LF, CR LF and mixed line ends.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "console/run/mbox_split.h"

namespace dornick {
namespace {

struct SplitRow {
    const char* name;
    std::string archive;               ///< with LF line ends
    std::vector<std::string> messages; ///< each message as the run gets it, LF line ends
    bool lf_only = false;              ///< a Content-Length counts bytes, which other line ends change
};

const std::string kHash = "0123456789abcdef0123456789abcdef01234567";

std::vector<SplitRow> SplitRows() {
    return {
        {"two messages",
         "From a@x Wed Dec  9 10:00:00 2026\nSubject: one\n\nbody one\n\nFrom b@x Wed Dec  9 10:00:01 "
         "2026\nSubject: two\n\nbody two\n",
         {"Subject: one\n\nbody one\n", "Subject: two\n\nbody two\n"}},
        {"empty line at the end is the separator's",
         "From a\nS: 1\n\nx\n\nFrom b\nS: 2\n\ny\n\n",
         {"S: 1\n\nx\n", "S: 2\n\ny\n"}},
        {"last line without line end",
         "From a\nS: 1\n\nx\n\nFrom b\nS: 2\n\ny",
         {"S: 1\n\nx\n", "S: 2\n\ny"}},
        {"envelopes that do not parse",
         "From - Wed Dec  9\nS: 1\n\nx\n\nFrom MAILER-DAEMON Thu\nS: 2\n\ny\n",
         {"S: 1\n\nx\n", "S: 2\n\ny\n"}},
        {"From line without empty line before is text",
         "From a\nS: 1\n\nx\nFrom b\nS: 2\n",
         {"S: 1\n\nx\nFrom b\nS: 2\n"}},
        {"From line without a field after is text",
         "From a\nS: 1\n\nx\n\nFrom here on, plain text\nmore\n",
         {"S: 1\n\nx\n\nFrom here on, plain text\nmore\n"}},
        {"field name with a space is no field",
         "From a\nS: 1\n\nx\n\nFrom b\nNot a field: y\n",
         {"S: 1\n\nx\n\nFrom b\nNot a field: y\n"}},
        {"inline patch is text",
         "From a\nS: 1\n\nx\n\nFrom " + kHash +
             " Mon Sep 17 00:00:00 2001\nFrom: p@x\nDate: d\nSubject: z\n\ndiff\n",
         {"S: 1\n\nx\n\nFrom " + kHash +
          " Mon Sep 17 00:00:00 2001\nFrom: p@x\nDate: d\nSubject: z\n\ndiff\n"}},
        {"folded header after separator",
         "From a\nS: 1\n\nx\n\nFrom b\nSubject: two\n words\n\ny\n",
         {"S: 1\n\nx\n", "Subject: two\n words\n\ny\n"}},
        {"quoted lines lose one quote",
         "From a\nS: 1\n\n>From here\n>>From there\nx>From not\n> From not\n\n--b\n\n>From part\n",
         {"S: 1\n\nFrom here\n>From there\nx>From not\n> From not\n\n--b\n\nFrom part\n"}},
        {"empty message between separators", "From a\n\nFrom b\nS: 2\n\ny\n", {"", "S: 2\n\ny\n"}},
        {"header only messages", "From a\nS: 1\n\nFrom b\nS: 2\n", {"S: 1\n", "S: 2\n"}},
        {"content length landing on a separator",
         "From a\nContent-Length: 19\n\nx\n\nFrom b\nS: inner\n\nFrom c\nS: 3\n\nz\n",
         {"Content-Length: 19\n\nx\n\nFrom b\nS: inner\n", "S: 3\n\nz\n"},
         true},
        {"content length landing directly on a separator",
         "From a\nContent-Length: 20\n\nx\n\nFrom b\nS: inner\n\nFrom c\nS: 3\n",
         {"Content-Length: 20\n\nx\n\nFrom b\nS: inner\n\n", "S: 3\n"},
         true},
        {"content length landing on the end",
         "From a\nContent-Length: 19\n\nx\n\nFrom b\nS: inner\n",
         {"Content-Length: 19\n\nx\n\nFrom b\nS: inner\n"},
         true},
        {"content length landing elsewhere is ignored",
         "From a\nContent-Length: 7\n\nx\n\nFrom b\nS: 2\n\ny\n",
         {"Content-Length: 7\n\nx\n", "S: 2\n\ny\n"}},
        {"content length inside a line end is ignored",
         "From a\r\nContent-Length: 4\r\n\r\nx\r\n\r\nFrom b\r\nS: 2\r\n",
         {"Content-Length: 4\n\nx\n", "S: 2\n"},
         true},
        {"content length of 2^63 is ignored",
         "From a\nContent-Length: 9223372036854775808\n\nx\n\nFrom b\nS: 2\n",
         {"Content-Length: 9223372036854775808\n\nx\n", "S: 2\n"}},
        {"content length beyond 64 bits is ignored",
         "From a\nContent-Length: 99999999999999999999999\n\nx\n\nFrom b\nS: 2\n",
         {"Content-Length: 99999999999999999999999\n\nx\n", "S: 2\n"}},
        {"binary body",
         "From a\nS: 1\n\n" + std::string("\0\xff\x01\n\0", 5) + "From \n\nFrom b\nS: 2\n",
         {"S: 1\n\n" + std::string("\0\xff\x01\n\0", 5) + "From \n", "S: 2\n"}},
        {"envelope only", "From a", {""}},
    };
}

enum class Ends { Lf, CrLf, Mixed };

// CR LF for every line, or for every second line.
std::string WithEnds(const std::string& text, Ends ends) {
    if (ends == Ends::Lf) return text;
    std::string out;
    size_t line = 0;
    for (char c : text) {
        if (c == '\n' && (ends == Ends::CrLf || line++ % 2 == 0)) out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

std::string Lf(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out.push_back(text[i]);
    return out;
}

ArchiveReader ReaderOf(const std::string& bytes) {
    return [&bytes](uint64_t offset, unsigned char* into, size_t count) -> size_t {
        if (offset >= bytes.size()) return 0;
        const size_t n = std::min<size_t>(count, bytes.size() - offset);
        std::memcpy(into, bytes.data() + offset, n);
        return n;
    };
}

std::vector<std::string> Split(const std::string& archive, uint64_t size,
                               std::vector<MboxMessage>* found = nullptr) {
    MboxSplitter splitter;
    StartMboxSplit(splitter, ReaderOf(archive), size);
    std::vector<std::string> messages;
    MboxMessage message;
    MessageBytes bytes;
    while (NextMboxMessage(splitter, message)) {
        EXPECT_TRUE(ReadMboxMessage(splitter, message, bytes));
        messages.emplace_back(bytes.begin(), bytes.end());
        if (found) found->push_back(message);
    }
    return messages;
}

TEST(MboxSplit, RowsInEveryLineEnd) {
    for (const SplitRow& row : SplitRows()) {
        for (Ends ends : {Ends::Lf, Ends::CrLf, Ends::Mixed}) {
            SCOPED_TRACE(std::string(row.name) + (ends == Ends::Lf     ? " LF"
                                                  : ends == Ends::CrLf ? " CRLF"
                                                                       : " mixed"));
            if (ends != Ends::Lf && row.lf_only) continue;
            const std::string archive = WithEnds(row.archive, ends);
            std::vector<std::string> got = Split(archive, archive.size());
            ASSERT_EQ(got.size(), row.messages.size());
            for (size_t i = 0; i < got.size(); ++i) {
                if (ends == Ends::CrLf) {
                    EXPECT_EQ(got[i], WithEnds(row.messages[i], Ends::CrLf)) << "message " << i;
                }
                EXPECT_EQ(Lf(got[i]), row.messages[i]) << "message " << i;
                // No half line end is left behind where the separator's empty line was taken off.
                EXPECT_FALSE(!got[i].empty() && got[i].back() == '\r') << "message " << i;
            }
        }
    }
}

TEST(MboxSplit, ContentLengthInCrLfCountsBytes) {
    const std::string archive =
        "From a\r\nContent-Length: 23\r\n\r\nx\r\n\r\nFrom b\r\nS: inner\r\n\r\nFrom c\r\nS: 3\r\n";
    std::vector<MboxMessage> found;
    std::vector<std::string> got = Split(archive, archive.size(), &found);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0], "Content-Length: 23\r\n\r\nx\r\n\r\nFrom b\r\nS: inner\r\n");
    EXPECT_TRUE(found[0].length_used);
    EXPECT_EQ(got[1], "S: 3\r\n");
}

TEST(MboxSplit, NumbersOffsetsAndEnvelopes) {
    const std::string archive =
        "From a@x Wed Dec  9 10:00:00 2026\nS: 1\n\nx\n\nFrom b@x Thu Dec 10 11:00:00 2026\nS: 2\n";
    std::vector<MboxMessage> found;
    Split(archive, archive.size(), &found);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].number, 1u);
    EXPECT_EQ(found[0].offset, 0u);
    EXPECT_EQ(found[1].number, 2u);
    EXPECT_EQ(found[1].offset, archive.find("From b"));
    EXPECT_EQ(found[1].envelope, "From b@x Thu Dec 10 11:00:00 2026");
    EXPECT_EQ(EnvelopeDate(found[1].envelope), "Thu Dec 10 11:00:00 2026");
}

// Mail delivered while the archive is read lies beyond the size it had when opened.
TEST(MboxSplit, ReadsOnlyWhatWasThereWhenOpened) {
    const std::string first = "From a\nS: 1\n\nx\n";
    const std::string archive = first + "\nFrom b\nS: 2\n\ny\n";
    EXPECT_EQ(Split(archive, first.size()), std::vector<std::string>{"S: 1\n\nx\n"});
}

TEST(MboxSplit, ArchiveCutShortWhileRead) {
    const std::string archive = "From a\nS: 1\n\nx\n\nFrom b\nS: 2\n";
    MboxSplitter splitter;
    StartMboxSplit(splitter, ReaderOf(archive), archive.size() + 100);
    MboxMessage message;
    MessageBytes bytes;
    int messages = 0;
    while (NextMboxMessage(splitter, message))
        ++messages;
    EXPECT_EQ(messages, 2);
    EXPECT_TRUE(splitter.shrank);
    EXPECT_EQ(splitter.size, archive.size());
}

// Lines and messages longer than a window, separators across a window's edge.
TEST(MboxSplit, CrossesWindows) {
    for (size_t filler : {size_t{4} << 20, (size_t{4} << 20) - 9, (size_t{9} << 20) + 3}) {
        SCOPED_TRACE(filler);
        const std::string long_line(filler, 'a');
        const std::string archive = "From a\nS: 1\n\n" + long_line + "\n\nFrom b\nS: 2\n\n" + long_line;
        std::vector<std::string> got = Split(archive, archive.size());
        ASSERT_EQ(got.size(), 2u);
        EXPECT_EQ(got[0], "S: 1\n\n" + long_line + "\n");
        EXPECT_EQ(got[1], "S: 2\n\n" + long_line);
    }
}

// An archive past 4 GiB, made up on the fly: the second message's offset needs 64 bits, and a
// Content-Length that lands on it is used without the body being read.
TEST(MboxSplit, OffsetsPastFourGiB) {
    const uint64_t body = uint64_t{5} << 30;
    const std::string head = "From a\nContent-Length: " + std::to_string(body) + "\n\n";
    const std::string tail = "From b\nS: 2\n\ny\n";
    const uint64_t size = head.size() + body + tail.size();
    uint64_t largest_read = 0;
    ArchiveReader read = [&](uint64_t offset, unsigned char* into, size_t count) -> size_t {
        largest_read = std::max<uint64_t>(largest_read, count);
        for (size_t i = 0; i < count; ++i) {
            const uint64_t at = offset + i;
            if (at >= size) return i;
            if (at < head.size())
                into[i] = static_cast<unsigned char>(head[at]);
            else if (at < head.size() + body)
                into[i] = at == head.size() + body - 1 ? '\n' : 'z';
            else
                into[i] = static_cast<unsigned char>(tail[at - head.size() - body]);
        }
        return count;
    };
    MboxSplitter splitter;
    StartMboxSplit(splitter, read, size);
    MboxMessage first, second, none;
    ASSERT_TRUE(NextMboxMessage(splitter, first));
    ASSERT_TRUE(NextMboxMessage(splitter, second));
    EXPECT_FALSE(NextMboxMessage(splitter, none));
    EXPECT_TRUE(first.length_used);
    EXPECT_EQ(second.offset, head.size() + body);
    EXPECT_LE(largest_read, uint64_t{4} << 20);
    MessageBytes bytes;
    ASSERT_TRUE(ReadMboxMessage(splitter, second, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "S: 2\n\ny\n");
}

// A message longer than the memory allowed for one is refused; the next one is read as usual.
TEST(MboxSplit, MessageLongerThanAllowedIsRefused) {
    const std::string archive = "From a\nS: 1\n\n" + std::string(5000, 'x') + "\n\nFrom b\nS: 2\n";
    MboxSplitter splitter;
    StartMboxSplit(splitter, ReaderOf(archive), archive.size());
    splitter.largest_message = 4096;
    MboxMessage message;
    MessageBytes bytes = {'?'};
    ASSERT_TRUE(NextMboxMessage(splitter, message));
    EXPECT_FALSE(ReadMboxMessage(splitter, message, bytes));
    EXPECT_TRUE(bytes.empty());
    ASSERT_TRUE(NextMboxMessage(splitter, message));
    EXPECT_TRUE(ReadMboxMessage(splitter, message, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "S: 2\n");
}

TEST(MboxSplit, ManyEmptyMessages) {
    std::string archive;
    constexpr int kMessages = 100000;
    for (int i = 0; i < kMessages; ++i)
        archive += "From x\nS: " + std::to_string(i) + "\n\n";
    std::vector<MboxMessage> found;
    std::vector<std::string> got = Split(archive, archive.size(), &found);
    ASSERT_EQ(got.size(), static_cast<size_t>(kMessages));
    EXPECT_EQ(got.back(), "S: " + std::to_string(kMessages - 1) + "\n");
    EXPECT_EQ(found.back().number, static_cast<uint64_t>(kMessages));
}

// The next separator from any offset, as pieces of an archive are cut: the first accepted one
// whose empty line begins there or later.
TEST(MboxSplit, NextSeparatorFromAnOffset) {
    const std::string archive = "From a\nS: 1\n\nx\nFrom text\nS: t\n\nFrom " + kHash +
                                " Mon Sep 17 00:00:00 2001\nS: p\n\nFrom b\nS: 2\n\r\nFrom c\r\nS: 3\r\n";
    const uint64_t b = archive.find("From b");
    const uint64_t c = archive.find("From c");
    struct Row {
        const char* name;
        uint64_t from;
        bool found;
        uint64_t end;
        uint64_t separator;
    } rows[] = {
        {"from the start: no empty line, then a patch, are passed over", 0, true, b - 1, b},
        {"from the empty line itself", b - 1, true, b - 1, b},
        {"from inside the separator: the next, after a CR LF empty line", b, true, c - 2, c},
        {"from the CR LF empty line", c - 2, true, c - 2, c},
        {"from inside that empty line", c - 1, false, 0, 0},
        {"from the end", archive.size(), false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MboxSplitter splitter;
        StartMboxSplit(splitter, ReaderOf(archive), archive.size());
        uint64_t end = 0;
        uint64_t separator = 0;
        ASSERT_EQ(FindNextSeparator(splitter, row.from, end, separator), row.found);
        if (!row.found) continue;
        EXPECT_EQ(end, row.end);
        EXPECT_EQ(separator, row.separator);
    }
}

// Quoted lines in every place a ">" can stand: at the start, alone, in runs, at the very end.
TEST(MboxSplit, UnquotesOnlyWholeQuotedFromLines) {
    struct Row {
        std::string text;
        std::string unquoted;
    } rows[] = {
        {">From a", "From a"},
        {">>>From a\n>From b\n", ">>From a\nFrom b\n"},
        {"a > b\n>\n>>\n> From x\n", "a > b\n>\n>>\n> From x\n"},
        {"x>From a\n>Fro", "x>From a\n>Fro"},
        {">From", ">From"},
        {">", ">"},
        {"", ""},
        {"\n>From a\r\n>From b>From c", "\nFrom a\r\nFrom b>From c"},
    };
    for (const Row& row : rows) {
        std::string text = row.text;
        text.resize(UnquoteFromLines(reinterpret_cast<unsigned char*>(text.data()), text.size()));
        EXPECT_EQ(text, row.unquoted) << row.text;
    }
}

TEST(MboxClassifiers, HeaderFieldLines) {
    struct Row {
        const char* line;
        bool field;
    } rows[] = {
        {"Subject: x", true},  {"X-Mailer:", true}, {"Subject:x", true}, {"Subject : x", false},
        {": x", false},        {"no colon", false}, {"", false},         {" folded: x", false},
        {"N\xe4me: x", false}, {"a\tb: x", false},  {"From: a", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsHeaderFieldLine(row.line), row.field) << row.line;
}

TEST(MboxClassifiers, PatchEnvelopeLines) {
    struct Row {
        std::string line;
        bool patch;
    } rows[] = {
        {"From " + kHash + " Mon Sep 17 00:00:00 2001", true},
        {"From " + kHash.substr(1) + " Mon Sep 17 00:00:00 2001", false},
        {"From " + kHash + "0 Mon Sep 17 00:00:00 2001", false},
        {"From " + std::string(40, 'G') + " Mon Sep 17 00:00:00 2001", false},
        {"From " + kHash + " Mon Sep 17 00:00:00 2002", false},
        {"From a@x Mon Sep 17 00:00:00 2001", false},
    };
    for (const Row& row : rows)
        EXPECT_EQ(IsPatchEnvelopeLine(row.line), row.patch) << row.line;
}

TEST(MboxClassifiers, EnvelopeDates) {
    struct Row {
        const char* envelope;
        const char* date;
    } rows[] = {
        {"From a@x Wed Dec  9 10:00:00 2026", "Wed Dec  9 10:00:00 2026"},
        {"From -  Wed Dec  9", "Wed Dec  9"},
        {"From a@x", ""},
        {"From a@x   ", ""},
        {"Subject: x", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(EnvelopeDate(row.envelope), row.date) << row.envelope;
}

} // namespace
} // namespace dornick

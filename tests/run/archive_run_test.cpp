// Archives handed on message by message: names, bytes, envelope dates, empty and failed messages.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "console/run/archive_run.h"
#include "console/run/messages.h"
#include "platform/console.h"
#include "platform/text.h"

namespace dornick {
namespace {

struct Seen {
    std::string name;
    std::string bytes;
    std::string date;
};

class ArchiveRun : public testing::Test {
  protected:
    void SetUp() override {
        platform::InitConsole(); // UTF-8 on the captured stream
        SetMessageLanguage(Language::English);
        path = testing::TempDir() + "archive_run_" + std::to_string(::getpid());
    }
    void TearDown() override {
        ::unlink(path.c_str());
        SetMessageLanguage(Language::Japanese);
    }
    void Write(const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    // Every message handed on; the handler fails the numbers in `failing`.
    std::vector<Seen> Run(bool emlx, ArchiveTally& tally, bool& ok, std::vector<size_t> failing = {}) {
        std::vector<Seen> seen;
        ArchiveMailHandler handler = [&](const ArchiveMail& mail) {
            seen.push_back({platform::U16ToUtf8(mail.shown), std::string(mail.data, mail.data + mail.size),
                            std::string(mail.envelope_date)});
            return std::find(failing.begin(), failing.end(), seen.size()) == failing.end();
        };
        const std::u16string file = platform::Utf8ToU16(path);
        ok = emlx ? RunEmlxFile(file, u"box", handler, tally) : RunMboxArchive(file, u"box", handler, tally);
        return seen;
    }
    std::string path;
};

TEST_F(ArchiveRun, MboxMessagesNamedByNumberAndOffset) {
    const std::string archive = "From a\n\nFrom b Wed Dec  9 10:00:00 2026\nS: 1\n\n>From x\n\n"
                                "From c Thu Dec 10 11:00:00 2026\nS: 3\n";
    Write(archive);
    ArchiveTally tally;
    bool ok = false;
    testing::internal::CaptureStderr();
    std::vector<Seen> seen = Run(false, tally, ok, {2});
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].name, "box (message 2, byte 8)");
    EXPECT_EQ(seen[0].bytes, "S: 1\n\nFrom x\n");
    EXPECT_EQ(seen[0].date, "Wed Dec  9 10:00:00 2026");
    EXPECT_EQ(seen[1].name, "box (message 3, byte " + std::to_string(archive.find("From c")) + ")");
    EXPECT_EQ(seen[1].bytes, "S: 3\n");
    // The empty first message is told and passed over; the failed third one makes the archive fail.
    EXPECT_NE(said.find("Skipped an empty message.\n->box (message 1, byte 0)"), std::string::npos) << said;
    EXPECT_EQ(tally.messages, 2u);
    EXPECT_EQ(tally.failed, 1u);
    EXPECT_FALSE(ok);
}

TEST_F(ArchiveRun, EmlxGivesTheMessageAlone) {
    struct Row {
        const char* name;
        std::string file;
        bool ok;
        std::string message;
    } rows[] = {
        {"count, message, property list", "12\nSubject: x\n\n<?xml version=\"1.0\"?>\n<plist/>\n", true,
         "Subject: x\n\n"},
        {"count past the end", "99\r\nSubject: x\n", true, "Subject: x\n"},
        {"no count", "Subject: x\n\nbody\n", false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Write(row.file);
        ArchiveTally tally;
        bool ok = false;
        testing::internal::CaptureStderr();
        std::vector<Seen> seen = Run(true, tally, ok);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_EQ(ok, row.ok);
        EXPECT_EQ(tally.failed, row.ok ? 0u : 1u);
        if (!row.ok) {
            EXPECT_TRUE(seen.empty());
            EXPECT_NE(said.find("not well formed"), std::string::npos) << said;
            continue;
        }
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].bytes, row.message);
        EXPECT_EQ(seen[0].name, "box");
    }
}

TEST_F(ArchiveRun, UnreadableArchivesFailWithAMessage) {
    for (const char* target : {"/nonexistent/archive", "/"}) {
        SCOPED_TRACE(target);
        ArchiveTally tally;
        testing::internal::CaptureStderr();
        const bool ok = RunMboxArchive(
            platform::Utf8ToU16(target), u"box", [](const ArchiveMail&) { return true; }, tally);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(ok);
        EXPECT_NE(said.find("Could not open the mail file.\n->box"), std::string::npos) << said;
    }
}

TEST(EnvelopeLine, LengthOfALeadingEnvelope) {
    struct Row {
        std::string mail;
        uint64_t length;
    } rows[] = {
        {"From a@x Wed Dec  9\nSubject: x\n", 20},
        {"From a\r\nS: x\r\n", 8},
        {"From a", 6},
        {"From: a@x\n", 0},
        {"Subject: x\n", 0},
        {"Fro", 0},
    };
    for (const Row& row : rows)
        EXPECT_EQ(
            EnvelopeLineLength(reinterpret_cast<const unsigned char*>(row.mail.data()), row.mail.size()),
            row.length)
            << row.mail;
}

} // namespace
} // namespace dornick

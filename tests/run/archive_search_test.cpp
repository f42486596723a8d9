// The search of a folder argument for mail archives: a tree of every kind, made here.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "console/run/archive_search.h"
#include "platform/text.h"

namespace dornick {
namespace {

class ArchiveTree : public testing::Test {
  protected:
    platform::FolderSearch search;
    void SetUp() override {
        char name[] = "/tmp/dornick_archives_XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        root = name;
    }
    void TearDown() override { ASSERT_EQ(std::system(("rm -rf '" + root + "'").c_str()), 0); }

    void Folder(const std::string& path) { ASSERT_EQ(::mkdir((root + "/" + path).c_str(), 0755), 0) << path; }
    void File(const std::string& path, const std::string& text = "Subject: x\n\nbody\n") {
        std::ofstream(root + "/" + path, std::ios::binary) << text;
    }
    // The found paths below the root, each with a letter for its kind.
    std::vector<std::string> Found() {
        std::vector<FoundFile> found;
        EXPECT_TRUE(FindArchiveFiles(platform::Utf8ToU16(root), found, search));
        std::vector<std::string> listed;
        for (const FoundFile& file : found) {
            const char kind = "MCBX"[static_cast<int>(file.kind)];
            listed.push_back(std::string(1, kind) + " " +
                             platform::U16ToUtf8(file.path).substr(root.size() + 1));
        }
        return listed;
    }

    std::string root;
};

TEST_F(ArchiveTree, FindsEveryKindInOrder) {
    // A Maildir++ tree with a subfolder, the server's files, a FIFO and a link to / in cur/.
    for (const char* folder : {"Mail", "Mail/cur", "Mail/new", "Mail/tmp", "Mail/.Sent", "Mail/.Sent/cur",
                               "Mail/.Sent/new", "Mail/.Sent/tmp", "Mail/courierimapkeywords"})
        Folder(folder);
    File("Mail/cur/1700000002.M2.host:2,S");
    File("Mail/new/1700000001.M1.host");
    File("Mail/new/1700000003.M3.host");
    File("Mail/tmp/1700000004.M4.host");
    File("Mail/dovecot-uidlist", "3 V1 N4\n");
    File("Mail/dovecot.index", "From x\n");
    File("Mail/maildirfolder", "");
    File("Mail/.Sent/cur/1700000005.M5.host:2,S");
    File("Mail/.Sent/maildirfolder", "");
    ASSERT_EQ(::mkfifo((root + "/Mail/cur/fifo").c_str(), 0644), 0);
    ASSERT_EQ(::symlink("/", (root + "/Mail/cur/root").c_str()), 0);
    // An MH folder: numbered files by number, its other files passed over.
    Folder("mh");
    for (const char* name : {"1", "2", "10", ",3", "01"})
        File(std::string("mh/") + name);
    File("mh/.mh_sequences", "unseen: 1-2\n");
    // A Thunderbird folder: mbox files beside their indexes and subfolders.
    Folder("tb");
    Folder("tb/Inbox.sbd");
    File("tb/Inbox", "From - Wed Dec  9 10:00:00 2026\nS: 1\n\nx\n");
    File("tb/Inbox.msf", "// <!-- <mdb:mork:z v=\"1.4\"/> -->\n");
    File("tb/Inbox.sbd/Lists", "From - Wed Dec  9 10:00:00 2026\nS: 2\n\nx\n");
    File("tb/Inbox.sbd/Lists.msf", "From the look of it an index\n");
    File("tb/Trash", ""); // an empty folder holds no mail
    // Loose files: an ".eml", a container, an ".emlx", a text that is no mail, a link to an mbox.
    File("a.eml");
    File("winmail.dat", "x");
    File("b.emlx", "20\nSubject: x\n\nbody\n\n<?xml?>");
    File("notes.txt", "Frome is a town\n");
    ASSERT_EQ(::symlink((root + "/tb/Inbox").c_str(), (root + "/link").c_str()), 0);

    const std::vector<std::string> expected = {
        "M Mail/new/1700000001.M1.host",
        "M Mail/cur/1700000002.M2.host:2,S",
        "M Mail/new/1700000003.M3.host",
        "M Mail/.Sent/cur/1700000005.M5.host:2,S",
        "M a.eml",
        "X b.emlx",
        "M mh/1",
        "M mh/2",
        "M mh/10",
        "B tb/Inbox",
        "B tb/Inbox.sbd/Lists",
        "C winmail.dat",
    };
    EXPECT_EQ(Found(), expected);
}

TEST_F(ArchiveTree, UnreadableRootFails) {
    std::vector<FoundFile> found;
    EXPECT_FALSE(FindArchiveFiles(platform::Utf8ToU16(root + "/missing"), found, search));
    EXPECT_TRUE(found.empty());
}

TEST(ArchiveNames, ServerFilesAndMhNumbers) {
    struct Row {
        const char* name;
        bool server;
        bool mh;
    } rows[] = {
        {"dovecot-uidlist", true, false},
        {"dovecot.index.log", true, false},
        {"courierimapuiddb", true, false},
        {"maildirfolder", true, false},
        {"1", false, true},
        {"123", false, true},
        {"0", false, false},
        {"012", false, false},
        {",12", false, false},
        {"12a", false, false},
        {"", false, false},
        {"Inbox", false, false},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(IsMailServerFile(row.name), row.server) << row.name;
        EXPECT_EQ(IsMhMessageName(row.name), row.mh) << row.name;
    }
}

TEST(ArchiveNames, EmlxSpans) {
    struct Row {
        const char* name;
        std::string start;
        uint64_t file_size;
        bool ok;
        uint64_t offset;
        uint64_t length;
    } rows[] = {
        {"count then message", "20\nSubject", 100, true, 3, 20},
        {"count with spaces and CR", "  20 \r\nSubject", 100, true, 7, 20},
        {"count past the end", "200\nSubject", 50, true, 4, 46},
        {"huge count", "99999999999999999999999\nx", 30, false, 0, 0},
        {"no count", "Subject: x\n", 100, false, 0, 0},
        {"count without line end", "20", 100, false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        uint64_t offset = 0, length = 0;
        ASSERT_EQ(EmlxMessageSpan(row.start, row.file_size, offset, length), row.ok);
        if (!row.ok) continue;
        EXPECT_EQ(offset, row.offset);
        EXPECT_EQ(length, row.length);
    }
}

} // namespace
} // namespace dornick

// Faults of the system around the program: special files and links planted where mail and log files
// go, a full disk, a file size limit, a read-only output folder, a log held locked by another process,
// and several runs at once. Every case: the designed message, the run goes on with the next mail, and
// nothing that could be written is lost.

#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <fcntl.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "mail_builder.h"
#include "platform/text.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// A run that would block for ever is cut off here and shows as a failed exit status.
constexpr const char* kTimeLimit = "60";

std::string Mail(const std::string& name, const std::string& data,
                 std::string_view from = "taro@example.jp") {
    return MultipartMail(TopHeader(from), "b",
                         {{{"Content-Type: text/plain"}, "t\r\n"}, Base64Part("text/plain", name, data)});
}

// The log's text without its byte-order mark, line ends as they are.
std::u16string LogText(const std::string& bytes) {
    std::u16string text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2)
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             static_cast<unsigned char>(bytes[i + 1]) << 8));
    return text;
}

size_t Count(std::u16string_view text, std::u16string_view piece) {
    size_t count = 0;
    for (size_t at = text.find(piece); at != std::u16string_view::npos; at = text.find(piece, at + 1))
        ++count;
    return count;
}

class Faults : public TempDir {
  protected:
    void TearDown() override {
        for (const std::string& mount : mounts_)
            ::umount2(mount.c_str(), MNT_DETACH);
        TempDir::TearDown();
    }
    RunResult Run(std::vector<std::string> args, const std::vector<std::string>& limits = {}) {
        std::vector<std::string> full = {"--kill-after=5", kTimeLimit, "/usr/bin/prlimit"};
        full.insert(full.end(), limits.begin(), limits.end());
        full.push_back(DORNICK_PATH);
        full.insert(full.end(), args.begin(), args.end());
        return RunProgram("/usr/bin/timeout", full);
    }
    // Mounts a file system for the test (root only); false when the system does not allow it.
    bool Mount(const std::string& source, const std::string& target, const char* type, unsigned long flags,
               const char* data) {
        fs::create_directories(target);
        if (::mount(source.c_str(), target.c_str(), type, flags, data) != 0) return false;
        mounts_.push_back(target);
        return true;
    }
    std::string Shown(const std::string& relative) const { return root + "/" + relative; }

  private:
    std::vector<std::string> mounts_;
};

// A FIFO given as a mail is no regular file: it gets the open failure at once, and the next mail
// is extracted.
TEST_F(Faults, FifoGivenAsAMailFailsAtOnce) {
    ASSERT_EQ(::mkfifo(Path("fifo.eml").c_str(), 0666), 0);
    WriteFile(Path("mail.eml"), Mail("a.txt", "after the fifo"));
    const RunResult r = Run({"/O", Path("out"), Path("fifo.eml"), Path("mail.eml")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.Err(), U("メールファイルを開けませんでした。\n->" + Shown("fifo.eml") + "\n"));
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/a.txt")), "after the fifo");
}

// Planted in the log's place: a FIFO, a symbolic link to a file outside the root, a folder. None
// takes the text, each is reported, and the attachments are written.
TEST_F(Faults, PlantedLogFilesAreNotWrittenThrough) {
    struct Row {
        const char* name;
        std::function<void()> plant;
    };
    const Row rows[] = {
        {"FIFO", [&] { ASSERT_EQ(::mkfifo(Path("out/dornick.txt").c_str(), 0666), 0); }},
        {"link to a file outside", [&] { fs::create_symlink(Path("outside.txt"), Path("out/dornick.txt")); }},
        {"dangling link", [&] { fs::create_symlink(Path("nowhere/x.txt"), Path("out/dornick.txt")); }},
        {"folder", [&] { fs::create_directories(Path("out/dornick.txt")); }},
    };
    WriteFile(Path("mail.eml"), Mail("a.txt", "data"));
    WriteFile(Path("mail2.eml"), Mail("b.txt", "more"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Path("out"));
        fs::create_directories(Path("out"));
        WriteFile(Path("outside.txt"), "keep");
        row.plant();
        const RunResult r = Run({"/L", "/O", Path("out"), Path("mail.eml"), Path("mail2.eml")});
        EXPECT_EQ(r.exit_code, 1);
        const std::u16string message =
            U("ログファイルを作成出来ませんでした。\n->" + Shown("out/dornick.txt") + "\n");
        EXPECT_EQ(r.Err(), message + message);
        EXPECT_EQ(ReadFile(Path("outside.txt")), "keep");
        EXPECT_FALSE(fs::exists(Path("nowhere")));
        EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/a.txt")), "data");
        EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/b.txt")), "more");
    }
}

// A file or a link where the sender folder goes: the folder is reported like any folder that
// cannot be made, nothing goes through the link, and the attachment is still written (in the
// folder above).
TEST_F(Faults, PlantedSenderFoldersAreReported) {
    struct Row {
        const char* name;
        std::function<void()> plant;
    };
    const Row rows[] = {
        {"file", [&] { WriteFile(Path("out/taro@example.jp"), "a file"); }},
        {"link to a folder outside",
         [&] { fs::create_directory_symlink(Path("elsewhere"), Path("out/taro@example.jp")); }},
    };
    WriteFile(Path("mail.eml"), Mail("a.txt", "data"));
    WriteFile(Path("mail2.eml"), Mail("b.txt", "other sender", "jiro@example.jp"));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Path("out"));
        fs::remove_all(Path("elsewhere"));
        fs::create_directories(Path("out"));
        fs::create_directories(Path("elsewhere"));
        row.plant();
        const RunResult r = Run({"/O", Path("out"), Path("mail.eml"), Path("mail2.eml")});
        EXPECT_EQ(r.exit_code, 1);
        EXPECT_EQ(r.Err(),
                  U("指定されたフォルダが作成出来ませんでした。\n->" + Shown("out/taro@example.jp") + "\n"));
        EXPECT_TRUE(fs::is_empty(Path("elsewhere")));
        EXPECT_EQ(ReadFile(Path("out/2017-01-03/a.txt")), "data");
        EXPECT_EQ(ReadFile(Path("out/jiro@example.jp/2017-01-03/b.txt")), "other sender");
    }
}

// Out of descriptors the output folders are there but cannot be opened: the message says so, not
// that a folder could not be created.
TEST_F(Faults, RunningOutOfDescriptorsIsNamed) {
#ifdef DORNICK_SANITIZED
    GTEST_SKIP() << "the sanitizers' own checks need descriptors: out of them they report false faults";
#endif
    // The run may use descriptors 0 to 3 only: none of this process's own may reach it.
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd"))
        if (const int fd = std::stoi(entry.path().filename().string()); fd > 2)
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    WriteFile(Path("mail.eml"), Mail("a.txt", "data"));
    const RunResult r = Run({"/O", Path("out"), Path("mail.eml")}, {"--nofile=4"});
    EXPECT_EQ(r.exit_code, 1);
    const std::u16string err = r.Err();
    EXPECT_EQ(
        err.rfind(u"開いているファイルが多すぎるため、フォルダを開けませんでした。\n->" + U(Shown("out")), 0),
        0u)
        << platform::U16ToUtf8(err);
    EXPECT_EQ(err.find(u"作成出来ませんでした"), std::u16string::npos);
}

// Under a file size limit the log text of a mail cannot be appended: the failure is reported, the
// log keeps its earlier records whole (nothing of the failed one), and the attachment is written.
TEST_F(Faults, LogWriteOverTheFileSizeLimitIsReported) {
    fs::create_directories(Path("out"));
    const std::string earlier = "\xFF\xFE" + PipeBytes(std::u16string(1990, u'x'));
    WriteFile(Path("out/dornick.txt"), earlier);
    WriteFile(Path("mail.eml"), Mail("a.txt", "small"));
    const RunResult r = Run({"/L", "/O", Path("out"), Path("mail.eml")}, {"--fsize=4096"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.Err(), U("ログファイルに書き込めませんでした。\n->" + Shown("out/dornick.txt") + "\n"));
    EXPECT_EQ(ReadFile(Path("out/dornick.txt")), earlier);
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/a.txt")), "small");
}

// An attachment that outgrows the file size limit: the write failure is reported with the file's
// name, none of its bytes stay under that name, the mail's later attachment and the next mail are
// extracted whole.
TEST_F(Faults, AttachmentOverTheFileSizeLimitIsReportedAndTheRunGoesOn) {
    const std::string big = NoiseBytes(10000, 7);
    WriteFile(Path("big.eml"), MultipartMail(TopHeader(), "b",
                                             {{{"Content-Type: text/plain"}, "t\r\n"},
                                              Base64Part("application/octet-stream", "big.bin", big),
                                              Base64Part("text/plain", "later.txt", "after the failure")}));
    WriteFile(Path("next.eml"), Mail("next.txt", "fits", "hanako@example.jp"));
    const RunResult r = Run({"/O", Path("out"), Path("big.eml"), Path("next.eml")}, {"--fsize=4096"});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.Err(), U("ファイルを書き込み中にエラーが発生しました。\n->big.bin\n"));
    EXPECT_FALSE(fs::exists(Path("out/taro@example.jp/2017-01-03/big.bin")));
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/later.txt")), "after the failure");
    EXPECT_EQ(ReadFile(Path("out/hanako@example.jp/2017-01-03/next.txt")), "fits");
}

// A full disk (a small tmpfs, filled up): the attachment and the log fail with their messages, the
// next mail is still tried, and once there is room again the run writes everything.
TEST_F(Faults, FullDiskIsReportedAndTheRunGoesOn) {
    if (!Mount("tmpfs", Path("out"), "tmpfs", 0, "size=256k")) GTEST_SKIP() << "no tmpfs mount allowed here";
    {
        // Fill the file system to its last block.
        const int fd = ::open(Path("out/filler").c_str(), O_WRONLY | O_CREAT, 0666);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    WriteFile(Path("mail.eml"), Mail("a.txt", "no room"));
    WriteFile(Path("mail2.eml"), Mail("b.txt", "no room either"));
    const RunResult r = Run({"/L", "/O", Path("out"), Path("mail.eml"), Path("mail2.eml")});
    EXPECT_EQ(r.exit_code, 1);
    const std::u16string err = r.Err();
    EXPECT_EQ(Count(err, U("ログファイルに書き込めませんでした。\n->" + Shown("out/dornick.txt") + "\n")), 2u)
        << ::testing::PrintToString(err);
    // No half record stays in the log.
    EXPECT_EQ(fs::file_size(Path("out/dornick.txt")), 0u);
    fs::remove(Path("out/filler"));
    const RunResult again = Run({"/L", "/O", Path("out"), Path("mail.eml"), Path("mail2.eml")});
    EXPECT_EQ(again.exit_code, 0);
    EXPECT_EQ(Count(LogText(ReadFile(Path("out/dornick.txt"))), u"からファイルを抽出中です。"), 2u);
}

// A read-only output folder (a read-only bind mount: root ignores file modes): each mail reports
// what it cannot make, and a later mail into a writable root is extracted.
TEST_F(Faults, ReadOnlyOutputFolderIsReportedPerMail) {
    fs::create_directories(Path("ro"));
    if (!Mount(Path("ro"), Path("ro"), nullptr, MS_BIND, nullptr) ||
        ::mount(nullptr, Path("ro").c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
        GTEST_SKIP() << "no read-only bind mount allowed here";
    WriteFile(Path("mail.eml"), Mail("a.txt", "data"));
    const RunResult r = Run({"/L", "/O", Path("ro"), Path("mail.eml"), Path("mail.eml")});
    EXPECT_EQ(r.exit_code, 1);
    const std::u16string folder =
        U("指定されたフォルダが作成出来ませんでした。\n->" + Shown("ro/taro@example.jp") + "\n");
    EXPECT_EQ(Count(r.Err(), folder), 2u) << ::testing::PrintToString(r.Err());
    EXPECT_TRUE(fs::is_empty(Path("ro")));
    const RunResult w = Run({"/O", Path("out"), Path("mail.eml")});
    EXPECT_EQ(w.exit_code, 0);
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/a.txt")), "data");
}

// Another process holds the log locked for a while: the run waits for it and then writes every
// record.
TEST_F(Faults, LockedLogIsWaitedFor) {
    fs::create_directories(Path("out"));
    const int fd = ::open(Path("out/dornick.txt").c_str(), O_WRONLY | O_CREAT, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::thread holder([fd] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        ::flock(fd, LOCK_UN);
        ::close(fd);
    });
    WriteFile(Path("mail.eml"), Mail("a.txt", "one"));
    WriteFile(Path("mail2.eml"), Mail("b.txt", "two"));
    const auto start = std::chrono::steady_clock::now();
    const RunResult r = Run({"/L", "/O", Path("out"), Path("mail.eml"), Path("mail2.eml")});
    const auto waited = std::chrono::steady_clock::now() - start;
    holder.join();
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.Err(), u"");
    EXPECT_GE(waited, std::chrono::milliseconds(1000)); // the lock was in force while the run ran
    const std::string log = ReadFile(Path("out/dornick.txt"));
    EXPECT_EQ(log.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(Count(LogText(log), u"からファイルを抽出中です。"), 2u);
}

// A mail cut short by another process while it is read: the run never dies of SIGBUS; when the cut
// came while the mail was mapped it says so and fails that mail, and the next mail is extracted.
TEST_F(Faults, MailCutShortWhileReadEndsOnlyThatMail) {
    const std::string big =
        MultipartMail(TopHeader(), "b",
                      {{{"Content-Type: text/plain"}, "t\r\n"},
                       Base64Part("application/octet-stream", "big.bin", NoiseBytes(48 << 20, 3))});
    WriteFile(Path("after.eml"), Mail("after.txt", "after", "jiro@example.jp"));
    int reported = 0;
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        fs::remove_all(Path("out"));
        WriteFile(Path("big.eml"), big);
        std::thread cutter([&, round] {
            std::this_thread::sleep_for(std::chrono::milliseconds(20 + 40 * round));
            ::truncate(Path("big.eml").c_str(), 4096);
        });
        const RunResult r = Run({"/O", Path("out"), Path("big.eml"), Path("after.eml")});
        cutter.join();
        const std::u16string shrunk =
            U("メールファイルが読み込み中に短くなりました。\n->" + Shown("big.eml") + "\n");
        if (r.Err().find(shrunk) != std::u16string::npos) {
            ++reported;
            EXPECT_EQ(r.exit_code, 1);
        } else {
            EXPECT_NE(r.exit_code, 128 + SIGBUS);
            EXPECT_NE(r.exit_code, -1);
        }
        EXPECT_EQ(ReadFile(Path("out/jiro@example.jp/2017-01-03/after.txt")), "after");
    }
    RecordProperty("cuts_while_mapped", reported);
}

// Runs `count` copies of dornick at once with the same arguments.
std::vector<RunResult> RunAtOnce(int count, const std::vector<std::string>& args) {
    std::vector<RunResult> results(static_cast<size_t>(count));
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i)
        threads.emplace_back([&, i] { results[static_cast<size_t>(i)] = RunDornick(args); });
    for (std::thread& t : threads)
        t.join();
    return results;
}

// Eight runs started at once with an output root that does not exist yet: whoever loses the race to
// make it finds it made and goes on.
TEST_F(Faults, RacingRunsAllMakeTheOutputRoot) {
    WriteFile(Path("mail.eml"), Mail("a.txt", "data"));
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE(round);
        const std::string out = Path("out" + std::to_string(round) + "/a/b/c/d");
        for (const RunResult& r : RunAtOnce(8, {"/O", out, Path("mail.eml")})) {
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_EQ(r.Err(), u"");
        }
        EXPECT_EQ(fs::directory_entry(out + "/taro@example.jp/2017-01-03").is_directory(), true);
        size_t files = 0;
        for (const auto& entry : fs::directory_iterator(out + "/taro@example.jp/2017-01-03")) {
            EXPECT_EQ(ReadFile(entry.path().string()), "data");
            ++files;
        }
        EXPECT_EQ(files, 8u);
    }
}

// Eight runs over the same mails into one tree and one log: every attachment is there under its own
// name with its bytes, every log record is whole, and the log has one byte-order mark.
TEST_F(Faults, EightRunsShareOneTreeAndOneLog) {
    constexpr int kMails = 100;
    constexpr int kRuns = 8;
    std::vector<std::string> args = {"/L", "/O", Path("out")};
    for (int i = 0; i < kMails; ++i) {
        const std::string path = Path("m" + std::to_string(i) + ".eml");
        WriteFile(path,
                  MultipartMail(TopHeader(), "b",
                                {{{"Content-Type: text/plain"}, "t\r\n"},
                                 Base64Part("image/png", "image001.png", "png of mail " + std::to_string(i)),
                                 Base64Part("text/plain", "own" + std::to_string(i) + ".txt",
                                            NoiseBytes(3000, i + 1))}));
        args.push_back(path);
    }
    for (const RunResult& r : RunAtOnce(kRuns, args)) {
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.Err(), u"");
    }
    std::map<std::string, int> copies;
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(Path("out/taro@example.jp/2017-01-03"))) {
        ++copies[ReadFile(entry.path().string())];
        ++files;
    }
    EXPECT_EQ(files, static_cast<size_t>(2 * kMails * kRuns));
    for (int i = 0; i < kMails; ++i) {
        EXPECT_EQ(copies["png of mail " + std::to_string(i)], kRuns) << i;
        EXPECT_EQ(copies[NoiseBytes(3000, i + 1)], kRuns) << i;
    }
    const std::string log = ReadFile(Path("out/dornick.txt"));
    ASSERT_EQ(log.substr(0, 2), "\xFF\xFE");
    const std::u16string text = LogText(log);
    EXPECT_EQ(text.find(u'\uFEFF'), std::u16string::npos);
    // Every record is one mail's text: its progress line, its two files and the blank line that
    // ends it, never cut by another record.
    size_t records = 0;
    for (size_t at = 0; at < text.size();) {
        const size_t end = text.find(u"\r\n\r\n", at);
        ASSERT_NE(end, std::u16string::npos) << "a record without its end at " << at;
        const std::u16string_view record(text.data() + at, end - at);
        if (record.find(u"フォルダを作成しました") == std::u16string_view::npos) {
            EXPECT_EQ(Count(record, u"からファイルを抽出中です。"), 1u);
            EXPECT_EQ(Count(record, u"\r\n"), 2u) << ::testing::PrintToString(std::u16string(record));
            ++records;
        }
        at = end + 4;
    }
    EXPECT_EQ(records, static_cast<size_t>(kMails * kRuns));
}

} // namespace
} // namespace e2e

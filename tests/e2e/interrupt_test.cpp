// A run stopped by SIGINT or SIGTERM: the file being written is given up and nothing of it stays,
// files finished before the signal are whole with their times, later mails are not begun, and the
// exit status is that of the signal.

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

constexpr time_t kMailTime = 1483405500; // Tue, 3 Jan 2017 10:05:00 +0900
const std::string kFolder = "out/taro@example.jp/2017-01-03/";

class Interrupt : public TempDir {
  protected:
    void SetUp() override {
        TempDir::SetUp();
        // Far more than one piece of the writer, so that the stop comes in the middle of the file.
        big_ = NoiseBytes(12 * 1024 * 1024, 3);
        WriteFile(Path("stop.eml"),
                  MultipartMail(TopHeader(), "b",
                                {{{"Content-Type: text/plain"}, "t\r\n"},
                                 Base64Part("text/plain", "first.txt", "finished before the signal"),
                                 Base64Part("application/octet-stream", "big.bin", big_),
                                 Base64Part("text/plain", "after.txt", "never begun")}));
        WriteFile(Path("next.eml"), MultipartMail(TopHeader("hanako@example.jp"), "b",
                                                  {Base64Part("text/plain", "next.txt", "never begun")}));
    }
    std::string big_;
};

struct StopCase {
    const char* hook; // DORNICK_TEST_SIGNAL: the signal and the piece after which it comes
    int exit_code;
    std::vector<std::string> args;
};

TEST_F(Interrupt, StoppedRunLeavesOnlyWholeFiles) {
    const StopCase cases[] = {
        {"TERM:2", 143, {"/L"}},
        {"INT:2", 130, {"/L"}},
        {"TERM:1", 143, {"/P"}},
        {"INT:10", 130, {"/L", "/P"}},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.hook);
        std::filesystem::remove_all(Path("out"));
        std::vector<std::string> args = c.args;
        for (const std::string& more : {std::string("/O"), Path("out"), Path("stop.eml"), Path("next.eml")})
            args.push_back(more);
        const RunResult r = RunDornick(args, {std::string("DORNICK_TEST_SIGNAL=") + c.hook});
        EXPECT_EQ(r.exit_code, c.exit_code);
        // No error message: a stop is not a failure of the file.
        EXPECT_EQ(r.Err().find(u"エラー"), std::u16string::npos) << r.err_bytes;
        const bool logged = c.args[0] == "/L";
        // Nothing of big.bin, no hidden temporary file, nothing of the later part or mail.
        std::vector<std::string> expected = {"next.eml",
                                             "out/",
                                             "out/taro@example.jp/",
                                             "out/taro@example.jp/2017-01-03/",
                                             "out/taro@example.jp/2017-01-03/first.txt",
                                             "stop.eml"};
        if (logged) expected.insert(expected.begin() + 2, "out/dornick.txt");
        EXPECT_EQ(ListTree(root), expected);
        EXPECT_EQ(ReadFile(Path(kFolder + "first.txt")), "finished before the signal");
        struct stat info;
        ASSERT_EQ(::stat(Path(kFolder + "first.txt").c_str(), &info), 0);
        EXPECT_EQ(info.st_mtime, kMailTime);
        if (logged) {
            // The stopped mail's log text is written as far as it went.
            const std::string log = ReadFile(Path("out/dornick.txt"));
            std::u16string text;
            for (size_t i = 2; i + 1 < log.size(); i += 2)
                text.push_back(static_cast<char16_t>(static_cast<unsigned char>(log[i]) |
                                                     static_cast<unsigned char>(log[i + 1]) << 8));
            EXPECT_NE(text.find(u"\t-> \"first.txt\"\r\n"), std::u16string::npos);
            EXPECT_EQ(text.find(u"next.txt"), std::u16string::npos);
        }
    }
}

// Without a stop the same mail is written whole, big file included.
TEST_F(Interrupt, UnstoppedRunWritesTheLargeFileWhole) {
    const RunResult r = RunDornick({"/O", Path("out"), Path("stop.eml")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(ReadFile(Path(kFolder + "big.bin")), big_);
    EXPECT_EQ(ReadFile(Path(kFolder + "after.txt")), "never begun");
    struct stat info;
    ASSERT_EQ(::stat(Path(kFolder + "big.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kMailTime);
}

// True once the process catches SIGINT and SIGTERM (its handlers are installed).
bool CatchesStopSignals(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long mask = std::stoull(line.substr(7), nullptr, 16);
        const unsigned long long wanted = (1ull << (SIGINT - 1)) | (1ull << (SIGTERM - 1));
        return (mask & wanted) == wanted;
    }
    return false;
}

// A run waiting for standard input that never ends stops at a signal from outside, the way a
// front end or a shell stops it.
TEST_F(Interrupt, RunWaitingForItsInputStops) {
    for (int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal);
        int input[2];
        ASSERT_EQ(::pipe(input), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::dup2(input[0], STDIN_FILENO);
            ::close(input[0]);
            ::close(input[1]);
            const std::string out = Path("out");
            ::execl(DORNICK_PATH, "dornick", "/O", out.c_str(), "-", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(input[0]);
        // Some input, never its end.
        const std::string part = "From: taro@example.jp\r\nSubject: open\r\n";
        ASSERT_EQ(::write(input[1], part.data(), part.size()), static_cast<ssize_t>(part.size()));
        while (!CatchesStopSignals(child))
            ::usleep(1000);
        ASSERT_EQ(::kill(child, signal), 0);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ::close(input[1]);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 128 + signal);
    }
    EXPECT_FALSE(std::filesystem::exists(Path("out")));
}

} // namespace
} // namespace e2e

// Runs inside one process: two runs side by side, folders swapped under a mail, relative arguments
// taken against the folder the run started in.

#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "console/run/entry.h"
#include "console/run/mail_file.h"
#include "console/run/mail_state.h"
#include "console/run/mime_walk.h"
#include "console/run/part_output.h"
#include "console/run/run_context.h"
#include "mail_builder.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using dornick::RunContext;
using dornick::RunOptions;

// A tree as a run leaves it: every file's bytes and modification time, by relative name.
std::map<std::string, std::pair<std::string, int64_t>> Snapshot(const std::string& root) {
    std::map<std::string, std::pair<std::string, int64_t>> files;
    for (const std::string& name : ListTree(root)) {
        struct stat info;
        if (::lstat((root + "/" + name).c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        files[name] = {ReadFile(root + "/" + name), static_cast<int64_t>(info.st_mtime)};
    }
    return files;
}

// Back to the folder the test started in, whatever a test did.
class InProcess : public TempDir {
  protected:
    void SetUp() override {
        TempDir::SetUp();
        previous_ = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(previous_);
        TempDir::TearDown();
    }
    std::u16string U16(const std::string& path) const { return platform::Utf8ToU16(path); }

    fs::path previous_;
};

// Mails that share senders, days and attachment names, so that folders are met again and names
// collide across mails; one bare block goes to the root itself.
std::vector<std::string> SomeMails() {
    std::vector<std::string> mails;
    for (const char* from : {"taro@example.jp", "hanako@example.jp", "taro@example.jp"})
        mails.push_back(
            MultipartMail(TopHeader(from), "b1",
                          {{{"Content-Type: text/plain"}, "body\r\n"},
                           Base64Part("image/png", "image001.png", NoiseBytes(3000, mails.size())),
                           Base64Part("application/pdf", "report.pdf", "pdf")}));
    mails.push_back("no header, one block\r\n\r\nbegin 644 bare.bin\r\n#86)C\r\n`\r\nend\r\n");
    return mails;
}

TEST_F(InProcess, TwoRunsInterleavedMailByMailGiveTheTreesOfTwoSeparateRuns) {
    std::vector<std::string> paths;
    for (const std::string& mail : SomeMails()) {
        paths.push_back(Path("m" + std::to_string(paths.size()) + ".eml"));
        WriteFile(paths.back(), mail);
    }
    struct Side {
        std::vector<std::string> flags;
        dornick::Language language;
        std::string together, apart;
    } sides[] = {
        {{"/L"}, dornick::Language::Japanese, Path("a-together"), Path("a-apart")},
        {{"/L", "/RF", "/CW"}, dornick::Language::English, Path("b-together"), Path("b-apart")},
    };
    RunContext first(U16(root)), second(U16(root));
    RunContext* runs[] = {&first, &second};
    RunOptions options[2];
    for (int side = 0; side < 2; ++side) {
        runs[side]->messages.language = sides[side].language;
        options[side].log = true;
        options[side].date_then_sender = side == 1;
        options[side].full_width = side == 1;
        options[side].output_folder = U16(sides[side].together);
    }
    for (const std::string& path : paths)
        for (int side = 0; side < 2; ++side)
            EXPECT_EQ(dornick::ProcessMailFile(*runs[side], U16(path), options[side]),
                      dornick::MailResult::Done);

    for (const Side& side : sides) {
        std::vector<std::string> args = side.flags;
        args.insert(args.end(), {"/O", side.apart});
        args.insert(args.end(), paths.begin(), paths.end());
        const bool english = side.language == dornick::Language::English;
        const RunResult r = RunDornick(args, {english ? "DORNICK_MESSAGES=en" : "DORNICK_MESSAGES=ja"});
        ASSERT_EQ(r.exit_code, 0);
        const auto together = Snapshot(side.together), apart = Snapshot(side.apart);
        // The log names the root it was written for: the same text under the other root's name.
        std::string log = together.at("dornick.txt").first;
        const std::string from = std::string(PipeBytes(U(side.together))),
                          to = std::string(PipeBytes(U(side.apart)));
        for (size_t at; (at = log.find(from)) != std::string::npos;)
            log.replace(at, from.size(), to);
        EXPECT_EQ(log, apart.at("dornick.txt").first);
        // The bare block's mail has no date, so its file takes the time it was written: that
        // time differs between the runs whenever they straddle a second.
        auto without_log = [](auto files) {
            files.erase("dornick.txt");
            files.at("bare.bin").second = 0;
            return files;
        };
        EXPECT_EQ(without_log(together), without_log(apart));
        EXPECT_GE(together.size(), 8u);
    }
}

// Writes one mail's parts through the real writer, and between its first and its second file puts
// a link to another folder where the mail's folder was.
class SwappingWriter final : public dornick::PartWriter {
  public:
    SwappingWriter(std::string folder, std::string elsewhere)
        : folder_(std::move(folder)), elsewhere_(std::move(elsewhere)) {}
    dornick::PartEnd Write(dornick::MailState& mail) override {
        const dornick::PartEnd end = dornick::FilePartWriter().Write(mail);
        if (++written_ == 1) {
            fs::rename(folder_, folder_ + ".moved");
            fs::create_directory_symlink(elsewhere_, folder_);
        }
        return end;
    }

  private:
    std::string folder_, elsewhere_;
    int written_ = 0;
};

TEST_F(InProcess, AFolderSwappedForALinkBetweenTwoFilesOfAMailIsNotFollowed) {
    const std::string mail =
        MultipartMail(TopHeader(), "b1",
                      {Base64Part("text/plain", "one.txt", "1"), Base64Part("text/plain", "two.txt", "2"),
                       Base64Part("text/plain", "three.txt", "3")});
    fs::create_directory(Path("elsewhere"));
    RunContext run(U16(root));
    RunOptions options;
    options.output_folder = U16(Path("out"));
    fs::create_directory(Path("out"));
    dornick::MailState state;
    state.run = &run;
    state.options = &options;
    state.output.root = platform::OpenFolder(options.output_folder);
    ASSERT_TRUE(state.output.root);
    state.source.Start(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
    const std::string day = Path("out/taro@example.jp/2017-01-03");
    SwappingWriter writer(day, Path("elsewhere"));
    dornick::MimeWalk(state, writer);

    EXPECT_TRUE(ListTree(Path("elsewhere")).empty());
    EXPECT_EQ(ListTree(day + ".moved"), (std::vector<std::string>{"one.txt", "three.txt", "two.txt"}));
    EXPECT_EQ(ReadFile(day + ".moved/three.txt"), "3");
    EXPECT_TRUE(fs::is_symlink(day));
}

// The run keeps its output folders open from mail to mail; a folder moved, removed or made a link
// between two mails is met as a first mail would meet it.
TEST_F(InProcess, FoldersChangedBetweenTheMailsOfARunAreMetAsByAFirstMail) {
    const std::string day = Path("out/taro@example.jp/2017-01-03");
    struct Row {
        const char* what;
        std::function<void()> change;
        std::string landed; // where the row's file is found
        dornick::MailResult result;
    };
    const Row rows[] = {
        {"nothing changed", [] {}, day, dornick::MailResult::Done},
        {"the sender folder moved away", [&] { fs::rename(Path("out/taro@example.jp"), Path("out/moved")); },
         day, dornick::MailResult::Done},
        {"the output root moved away", [&] { fs::rename(Path("out"), Path("out.moved")); }, day,
         dornick::MailResult::Done},
        {"the date folder removed", [&] { fs::remove_all(day); }, day, dornick::MailResult::Done},
        {"the date folder made a link",
         [&] {
             fs::rename(day, day + ".moved");
             fs::create_directory_symlink(Path("elsewhere"), day);
         },
         Path("out/taro@example.jp"), dornick::MailResult::Failed},
    };
    fs::create_directory(Path("elsewhere"));
    RunContext run(U16(root));
    RunOptions options;
    options.output_folder = U16(Path("out"));
    int n = 0;
    auto process = [&](const std::string& name) {
        const std::string path = Path("m" + std::to_string(n++) + ".eml");
        WriteFile(path, MultipartMail(TopHeader(), "b1", {Base64Part("text/plain", name, name)}));
        return dornick::ProcessMailFile(run, U16(path), options);
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        // Twice, so that the folders are kept.
        for (int i = 0; i < 2; ++i)
            ASSERT_EQ(process("warm" + std::to_string(n) + ".txt"), dornick::MailResult::Done);
        row.change();
        const std::string name = "row" + std::to_string(n) + ".txt";
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(process(name), row.result);
        ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(ReadFile(row.landed + "/" + name), name);
    }
    EXPECT_TRUE(ListTree(Path("elsewhere")).empty());
}

TEST_F(InProcess, RelativeArgumentsAreTakenWhereTheRunStarted) {
    fs::create_directories(Path("start/mails/deep"));
    WriteFile(Path("start/mails/deep/a.eml"),
              MultipartMail(TopHeader(), "b1", {Base64Part("text/plain", "a.txt", "from a folder")}));
    WriteFile(Path("start/b.eml"), MultipartMail(TopHeader("jiro@example.jp"), "b1",
                                                 {Base64Part("text/plain", "b.txt", "named alone")}));
    fs::current_path(Path("start"));
    RunContext run; // the start folder is read here, once
    fs::create_directory(Path("elsewhere"));
    fs::current_path(Path("elsewhere"));

    const dornick::ExitStatus status =
        dornick::RunCommand(run, dornick::ParseCommand({u"/O", u"out", u"mails", u"b.eml", u"/O", u"../other",
                                                        u"./mails/deep/../deep/a.eml"}));
    EXPECT_EQ(status, dornick::ExitStatus::Processed);
    EXPECT_EQ(ReadFile(Path("start/out/taro@example.jp/2017-01-03/a.txt")), "from a folder");
    EXPECT_EQ(ReadFile(Path("start/out/jiro@example.jp/2017-01-03/b.txt")), "named alone");
    EXPECT_EQ(ReadFile(Path("other/taro@example.jp/2017-01-03/a.txt")), "from a folder");
    EXPECT_TRUE(ListTree(Path("elsewhere")).empty());
    EXPECT_EQ(fs::current_path(), fs::path(Path("elsewhere")));
}

// A mail another process holds locked: the wait is said once when it begins; a lock that outlasts
// the retries fails the mail saying the file was locked, and one released during them is waited
// out and the mail extracted. (The run's retries are made short here.)
TEST_F(InProcess, ALockedMailSaysItIsWaitedForAndWhyItFailed) {
    const std::string mail = Path("locked.eml");
    WriteFile(mail, MultipartMail(TopHeader(), "b1", {Base64Part("text/plain", "a.txt", "locked")}));
    const int holder = ::open(mail.c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    const std::u16string waiting =
        u"メールファイルのロックが解除されるのを待っています。\n->" + U16(mail) + u"\n";
    struct Row {
        const char* name;
        int attempts;
        bool released_meanwhile;
        std::u16string err;
        dornick::MailResult result;
    };
    const Row rows[] = {
        {"held throughout", 4, false,
         waiting + u"メールファイルが他のプロセスにロックされているため開けませんでした。\n->" + U16(mail) +
             u"\n",
         dornick::MailResult::Failed},
        {"released meanwhile", 400, true, waiting, dornick::MailResult::Done},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunContext run(U16(root));
        run.mail_lock_retry = {row.attempts, std::chrono::milliseconds(5)};
        RunOptions options;
        options.output_folder = U16(Path("out"));
        std::thread releaser;
        if (row.released_meanwhile)
            releaser = std::thread([holder] {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                ::flock(holder, LOCK_UN);
            });
        ::testing::internal::CaptureStderr();
        const dornick::MailResult result = dornick::ProcessMailFile(run, U16(mail), options);
        platform::ConsoleFlush();
        const std::string err = ::testing::internal::GetCapturedStderr();
        if (releaser.joinable()) releaser.join();
        EXPECT_EQ(err, platform::EncodeForPipe(row.err));
        EXPECT_EQ(result, row.result);
        EXPECT_EQ(fs::exists(Path("out/taro@example.jp/2017-01-03/a.txt")), row.released_meanwhile);
    }
    ::close(holder);
}

} // namespace
} // namespace e2e

// The output root: "/O" or "output" in the current folder, made when missing, with its messages and
// the log file.

#include <filesystem>
#include <unistd.h>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const char kPlainMail[] = "From: a@b.jp\r\nDate: Tue, 3 Jan 2017 10:05:00 +0900\r\n\r\nno attachment\r\n";

class OutputRoot : public TempDir {};

TEST_F(OutputRoot, NamedFolderChainIsMadeOnceAndLogged) {
    WriteFile(Path("a.eml"), kPlainMail);
    const std::string out = Path("x/y/out");
    RunResult r = RunDornick({"/L", "/O", out, Path("a.eml")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.Out(), u"フォルダを作成しました。\n->" + U(out) + u"\n\n");
    EXPECT_EQ(r.err_bytes, "");
    // The log holds the log form of the message, after a byte-order mark.
    const std::string log = ReadFile(out + "/dornick.txt");
    EXPECT_EQ(log, "\xFF\xFE" + PipeBytes(u"フォルダを作成しました。\n->" + U(out) + u"\n\n"));

    // The second time the folder exists: nothing is said, and a mail that writes nothing leaves the
    // log as it was.
    r = RunDornick({"/P", "/L", "/O", out + "/", Path("a.eml")});
    EXPECT_EQ(r.out_bytes + r.err_bytes, "");
    EXPECT_EQ(ListTree(out), std::vector<std::string>{"dornick.txt"});
    EXPECT_EQ(ReadFile(out + "/dornick.txt"), log);
}

TEST_F(OutputRoot, WithoutLogNothingIsWrittenButTheFolder) {
    WriteFile(Path("a.eml"), kPlainMail);
    RunResult r = RunDornick({"/O", Path("out"), Path("a.eml")});
    EXPECT_EQ(r.Out(), u"フォルダを作成しました。\n->" + U(Path("out")) + u"\n\n");
    EXPECT_TRUE(ListTree(Path("out")).empty());
}

TEST_F(OutputRoot, RelativePathsAreTakenInTheCurrentFolder) {
    // The program lives elsewhere (an installed one in a folder nobody may write to): the mail
    // and the output root are found from where it was started.
    fs::create_directory(Path("bin"));
    fs::copy_file(DORNICK_PATH, Path("bin/dornick"));
    fs::create_directory(Path("work"));
    WriteFile(Path("work/a.eml"), kPlainMail);
    RunResult r = RunProgram(Path("bin/dornick"), {"/O", "rel", "a.eml"}, {}, Path("work"));
    EXPECT_EQ(r.err_bytes, "");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.Out(), u"フォルダを作成しました。\n->" + U(Path("work/rel")) + u"\n\n");
    EXPECT_TRUE(fs::is_directory(Path("work/rel")));
    EXPECT_EQ(ListTree(Path("bin")), std::vector<std::string>{"dornick"});
}

TEST_F(OutputRoot, DefaultFolderIsOutputInTheCurrentFolder) {
    fs::create_directory(Path("bin"));
    fs::copy_file(DORNICK_PATH, Path("bin/dornick"));
    fs::create_directory(Path("work"));
    WriteFile(Path("a.eml"), kPlainMail);
    RunResult r = RunProgram(Path("bin/dornick"), {"/L", "../a.eml", Path("a.eml")}, {}, Path("work"));
    EXPECT_EQ(r.err_bytes, "");
    EXPECT_EQ(r.Out(), u"outputフォルダを作成しました。\n->" + U(Path("work/output")) + u"\n\n");
    EXPECT_EQ(ReadFile(Path("work/output/dornick.txt")),
              "\xFF\xFE" +
                  PipeBytes(u"outputフォルダを作成しました。\n->" + U(Path("work/output")) + u"\n\n"));
    EXPECT_EQ(ListTree(Path("bin")), std::vector<std::string>{"dornick"});
}

TEST_F(OutputRoot, DefaultFolderThatCannotBeMadeStopsEachMail) {
    WriteFile(Path("output"), "a file where the folder should be");
    WriteFile(Path("a.eml"), kPlainMail);
    RunResult r = RunDornick({"a.eml", "a.eml"}, {}, root);
    const std::u16string message =
        u"outputフォルダが作成出来ません。終了します。\n->" + U(Path("output")) + u"\n";
    EXPECT_EQ(r.Err(), message + message);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"a.eml", "output"}));
}

TEST_F(OutputRoot, NamedFolderThatIsAFileIsRefused) {
    WriteFile(Path("a.eml"), kPlainMail);
    WriteFile(Path("taken"), "x");
    RunResult r = RunDornick({"/L", "/O", Path("taken"), Path("a.eml")});
    EXPECT_EQ(r.Err(), u"指定されたフォルダが作成出来ませんでした。\n->" + U(Path("taken")) + u"\n");
    r = RunDornick({"/O", Path("taken/sub"), Path("a.eml")});
    EXPECT_EQ(r.Err(), u"指定されたフォルダが作成出来ませんでした。\n->" + U(Path("taken/sub")) + u"\n");
    EXPECT_EQ(ReadFile(Path("taken")), "x");
}

TEST_F(OutputRoot, OverlongFolderIsRefused) {
    WriteFile(Path("a.eml"), kPlainMail);
    std::string longest = "/" + std::string(32763, 'f');
    RunResult r = RunDornick({"/O", longest, Path("a.eml")});
    EXPECT_EQ(r.Err(), u"フォルダパスが長すぎます。\n->" + U(longest) + u"\n");
}

// In the output root the log's name is the log's: an attachment or a sender folder that would take
// it gets the counted name, and the log stays whole (its byte-order mark first) run after run.
TEST_F(OutputRoot, TheLogsNameIsNeverTakenByMailData) {
    struct Row {
        const char* name;
        std::vector<std::string> options;
        std::string from, attachment, written;
    };
    const Row rows[] = {
        {"attachment", {"/NN", "/ND"}, "taro@example.jp", "dornick.txt", "dornick_(1)_.txt"},
        {"attachment, second mail", {"/NN", "/ND"}, "taro@example.jp", "dornick.txt", "dornick_(2)_.txt"},
        // The counted names of the first two rows are files: the folder passes over them.
        {"sender folder", {"/ND"}, "dornick.txt", "a.txt", "dornick_(3)_.txt/a.txt"},
        {"sender folder, second mail", {"/ND"}, "dornick.txt", "a.txt", "dornick_(3)_.txt/a_(1)_.txt"},
        {"date then sender", {"/RF"}, "dornick.txt", "a.txt", "2017-01-03/dornick.txt/a.txt"},
    };
    int records = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(Path("m.eml"), MultipartMail(TopHeader(row.from), "b",
                                               {{{"Content-Type: text/plain"}, "t\r\n"},
                                                Base64Part("text/plain", row.attachment, row.name)}));
        std::vector<std::string> args = row.options;
        args.insert(args.end(), {"/L", "/O", Path("out"), Path("m.eml")});
        const RunResult r = RunDornick(args);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err_bytes, "");
        EXPECT_EQ(ReadFile(Path("out/" + row.written)), row.name);
        const std::string log = ReadFile(Path("out/dornick.txt"));
        ASSERT_EQ(log.substr(0, 2), "\xFF\xFE");
        ++records;
        size_t found = 0;
        for (size_t at = 0;
             (at = log.find(PipeBytes(u"からファイルを抽出中です。"), at)) != std::string::npos; ++at)
            ++found;
        EXPECT_EQ(found, static_cast<size_t>(records));
    }
}

} // namespace
} // namespace e2e

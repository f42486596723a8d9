// dornick as a Linux user meets it: the help, GNU options, exit status, UTF-8 streams, the user's
// language, paths against the current folder, folder arguments, standard input, a terminal's
// progress line and summary, and file times that are the mail's moment in every time zone.

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "mail_builder.h"
#include "platform/text.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr time_t kMailTime = 1483405500; // Tue, 3 Jan 2017 10:05:00 in Japan
const Part kTextBody{{"Content-Type: text/plain; charset=UTF-8"}, "Hello.\r\n"};
const std::vector<std::string> kUtf8 = {"DORNICK_OUTPUT_ENCODING="};
const std::vector<std::string> kEnglish = {"LC_ALL=C", "DORNICK_OUTPUT_ENCODING="};

std::string MailWith(const std::string& name, const std::string& data,
                     const std::string& from = "taro@example.jp") {
    return MultipartMail(TopHeader(from), "b1",
                         {kTextBody, Base64Part("application/octet-stream", name, data)});
}

// A terminal turns every LF into CR LF.
std::string OnTerminal(std::string text) {
    std::string out;
    for (char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

size_t Count(const std::string& text, const std::string& piece) {
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
        ++n;
    return n;
}

class LinuxUser : public TempDir {
  protected:
    std::string Progress(const std::string& mail,
                         const char* format = "\"%s\" からファイルを抽出中です。<%s>\n",
                         const std::string& folders = "taro@example.jp/2017-01-03") const {
        std::string line = format;
        line.replace(line.find("%s"), 2, Path(mail));
        line.replace(line.find("%s"), 2, folders);
        return line;
    }
};

TEST_F(LinuxUser, HelpAndVersionGoToStandardOutput) {
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> env;
        const char* begins;
    };
    const Row rows[] = {
        {{"--help"}, {"LC_ALL=ja_JP.UTF-8"}, "利用方法:\n\n\tdornick [/DM][/P]"},
        {{"-h"}, {"LC_ALL=", "LC_MESSAGES=", "LANG=ja_JP.UTF-8"}, "利用方法:\n\n\tdornick [/DM][/P]"},
        {{"/P", "--help", "a.eml"}, {"LC_ALL=C"}, "Usage:\n\n\tdornick [/DM][/P]"},
        {{"-h"}, {"LC_ALL=", "LC_MESSAGES=en_GB.UTF-8", "LANG=ja_JP.UTF-8"}, "Usage:\n"},
        {{"--version"}, {}, "dornick 1."},
        {{"-V"}, {}, "dornick 1."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + (row.env.empty() ? "" : row.env[0]));
        std::vector<std::string> env = row.env;
        env.push_back("DORNICK_OUTPUT_ENCODING=");
        RunResult r = RunDornick(row.args, env, root);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err_bytes, "");
        EXPECT_EQ(r.out_bytes.compare(0, std::string(row.begins).size(), row.begins), 0) << r.out_bytes;
        EXPECT_EQ(r.out_bytes.find('\r'), std::string::npos);
        EXPECT_EQ(r.out_bytes.back(), '\n');
    }
    EXPECT_TRUE(ListTree(root).empty()); // nothing was processed
}

TEST_F(LinuxUser, UnknownOptionsAreUsageErrors) {
    WriteFile(Path("a.eml"), MailWith("a.bin", "data"));
    struct Row {
        std::vector<std::string> args;
        const char* japanese;
        const char* english;
    };
    const Row rows[] = {
        {{"-x", "a.eml"}, "dornick: 不明なオプションです: -x\n", "dornick: unknown option: -x\n"},
        {{"a.eml", "--bogus"},
         "dornick: 不明なオプションです: --bogus\n",
         "dornick: unknown option: --bogus\n"},
        {{"-P", "a.eml"}, "dornick: 不明なオプションです: -P\n", "dornick: unknown option: -P\n"},
        {{"--print=yes", "a.eml"},
         "dornick: 不明なオプションです: --print=yes\n",
         "dornick: unknown option: --print=yes\n"},
        {{"--no", "a.eml"}, "dornick: 不明なオプションです: --no\n", "dornick: unknown option: --no\n"},
        {{"-pz", "a.eml"}, "dornick: 不明なオプションです: -pz\n", "dornick: unknown option: -pz\n"},
        {{"a.eml", "-o"},
         "dornick: オプション -o には値が必要です。\n",
         "dornick: option -o needs a value.\n"},
        {{"a.eml", "--output"},
         "dornick: オプション --output には値が必要です。\n",
         "dornick: option --output needs a value.\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        RunResult r = RunDornick(row.args, kUtf8, root);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.out_bytes, "");
        EXPECT_EQ(r.err_bytes,
                  std::string(row.japanese) + "詳しくは \"dornick --help\" を実行してください。\n");
        r = RunDornick(row.args, kEnglish, root);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err_bytes, std::string(row.english) + "Try \"dornick --help\" for more information.\n");
    }
    // Not even the files before the bad option were processed.
    EXPECT_EQ(ListTree(root), std::vector<std::string>{"a.eml"});
}

TEST_F(LinuxUser, LongAndShortFormsActLikeTheDesignedOptions) {
    const std::string data = NoiseBytes(3000);
    WriteFile(Path("a.eml"), MailWith("a.bin", data));
    struct Row {
        std::vector<std::string> designed;
        std::vector<std::string> gnu;
    };
    const Row rows[] = {
        {{"/P", "/L"}, {"-p", "-l"}},
        {{"/P", "/L"}, {"-pl"}},
        {{"/P", "/L"}, {"--print", "--log"}},
        {{"/P", "/L"}, {"--pr", "--lo"}}, // an abbreviation that names one option
        {{"/P", "/NN"}, {"-pS"}},
        {{"/P", "/ND"}, {"-p", "--no-date-folders"}},
        {{"/P", "/NN", "/ND"}, {"--print", "--no-sender-folders", "-D"}},
        {{"/P", "/RF"}, {"-p", "--date-first"}},
        {{"/P", "/RF"}, {"-pr"}},
        {{"/P", "/CW", "/CO", "/NI"}, {"-p", "--full-width", "-c", "--no-inline"}},
        {{"/P", "/FW", "fwd"}, {"-p", "--forward-name=fwd"}},
        {{"/P", "/FW", "fwd"}, {"-pf", "fwd"}},
    };
    int run = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.gnu[0]);
        std::vector<std::string> designed = row.designed, gnu = row.gnu;
        const std::string first = "o" + std::to_string(run++), second = "o" + std::to_string(run++);
        designed.insert(designed.end(), {"/O", first, "a.eml"});
        gnu.insert(gnu.end(), {"--output", second, "a.eml"});
        RunResult a = RunDornick(designed, kUtf8, root);
        RunResult b = RunDornick(gnu, kUtf8, root);
        EXPECT_EQ(a.exit_code, 0);
        EXPECT_EQ(b.exit_code, 0);
        EXPECT_EQ(b.err_bytes, "");
        EXPECT_EQ(ListTree(Path(first)), ListTree(Path(second)));
        std::string expected = a.out_bytes;
        expected.replace(expected.find(Path(first)), Path(first).size(), Path(second));
        EXPECT_EQ(b.out_bytes, expected);
    }
    // "-oDIR" and "--output=DIR" name the folder in the same argument.
    for (const std::string& form : {std::string("-o") + Path("x1"), "--output=" + Path("x2")}) {
        RunResult r = RunDornick({form, "a.eml"}, kUtf8, root);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(ReadFile(Path(form[1] == 'o' ? "x1" : "x2") + "/taro@example.jp/2017-01-03/a.bin"), data);
    }
}

TEST_F(LinuxUser, OptionsAfterTheLastFileAreNamedInAWarning) {
    WriteFile(Path("a.eml"), MailWith("a.bin", "x"));
    RunResult r = RunDornick({"-o", "out", "a.eml", "/P", "-l"}, kUtf8, root);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "dornick: 警告: 最後のファイルの後のオプションは使われません: /P -l\n");
    EXPECT_EQ(r.out_bytes, "フォルダを作成しました。\n->" + Path("out") + "\n\n"); // "/P" did not apply
    EXPECT_FALSE(fs::exists(Path("out/dornick.txt")));
    r = RunDornick({"a.eml", "--output", "elsewhere"}, kEnglish, root);
    EXPECT_EQ(r.err_bytes,
              "dornick: warning: options after the last file are not used: --output elsewhere\n");
}

TEST_F(LinuxUser, DoubleDashEndsTheOptionsAndADashReadsStandardInput) {
    const std::string data = NoiseBytes(2000, 7);
    WriteFile(Path("-p.eml"), MailWith("dash.bin", "d"));
    RunResult r = RunDornick({"-o", "out", "--", "-p.eml", "--help"}, kUtf8, root);
    EXPECT_EQ(r.exit_code, 1);
    // "--help" after "--" is a file; without ".eml" the container reader is tried first.
    EXPECT_EQ(r.err_bytes, "ファイルを開けませんでした。\n->" + Path("--help") + "\n");
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/dash.bin")), "d");

    r = RunProgram(DORNICK_PATH, {"-p", "-o", "in", "-"}, kUtf8, root, MailWith("stdin.bin", data));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "");
    EXPECT_EQ(r.out_bytes,
              "フォルダを作成しました。\n->" + Path("in") +
                  "\n\n\"-\" からファイルを抽出中です。<taro@example.jp/2017-01-03>\n\t-> \"stdin.bin\"\n\n");
    EXPECT_EQ(ReadFile(Path("in/taro@example.jp/2017-01-03/stdin.bin")), data);
    // Date mode has no file to stamp on standard input.
    r = RunProgram(DORNICK_PATH, {"-d", "-"}, kEnglish, root, MailWith("x", "y"));
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err_bytes, "Could not open the mail file.\n->-\n");
}

// Started with standard input, output and error closed (as a daemon may start it), the program's
// own messages must not land in the first attachment, which would take descriptor 1.
TEST_F(LinuxUser, ClosedStandardDescriptorsNeverReceiveMessages) {
    WriteFile(Path("mail.eml"), MailWith("ten.bin", "0123456789"));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(0);
        ::close(1);
        ::close(2);
        ::execl(DORNICK_PATH, DORNICK_PATH, "/P", "/O", Path("out").c_str(), Path("mail.eml").c_str(),
                nullptr);
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/ten.bin")), "0123456789");
}

// Standard input is copied where nobody can see it: the copy has no name in TMPDIR while the run
// waits for more input, and nothing stays there when the run is interrupted.
TEST_F(LinuxUser, InterruptedStandardInputLeavesNoCopy) {
    fs::create_directories(Path("tmp"));
    int input[2];
    ASSERT_EQ(::pipe(input), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::dup2(input[0], 0);
        ::close(input[0]);
        ::close(input[1]);
        ::setenv("TMPDIR", Path("tmp").c_str(), 1);
        ::execl(DORNICK_PATH, DORNICK_PATH, "-o", Path("out").c_str(), "-", nullptr);
        ::_exit(127);
    }
    ::close(input[0]);
    const std::string mail = MailWith("part.bin", std::string(100000, 'p'));
    ASSERT_EQ(::write(input[1], mail.data(), mail.size() / 2), static_cast<ssize_t>(mail.size() / 2));
    // The child has the first half by now and waits for the rest.
    for (int wait = 0; wait < 50 && ::waitpid(child, nullptr, WNOHANG) == 0; ++wait)
        ::usleep(10000);
    EXPECT_EQ(ListTree(Path("tmp")), std::vector<std::string>{});
    ::kill(child, SIGTERM);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::close(input[1]);
    // The run ends itself, with the exit status of the signal.
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
    EXPECT_EQ(ListTree(Path("tmp")), std::vector<std::string>{});
}

TEST_F(LinuxUser, PipesCarryUtf8UnlessTheDesignedFormIsAskedFor) {
    WriteFile(Path("週次.eml"), MailWith("週次報告.txt", "report"));
    const std::string text =
        "フォルダを作成しました。\n->" + Path("out") + "\n\n\"" + Path("週次.eml") +
        "\" からファイルを抽出中です。<taro@example.jp/2017-01-03>\n\t-> \"週次報告.txt\"\n\n";
    RunResult r = RunDornick({"/P", "/L", "/O", "out", "週次.eml"}, kUtf8, root);
    EXPECT_EQ(r.out_bytes, text);
    // The log file keeps its designed form: UTF-16LE after a byte-order mark, CR LF.
    EXPECT_EQ(ReadFile(Path("out/dornick.txt")), "\xFF\xFE" + PipeBytes(U(text)));

    // The variable asks for UTF-16LE with CR LF, in any letter case; any other value is UTF-8.
    fs::remove_all(Path("out"));
    r = RunDornick({"/P", "/O", "out", "週次.eml"}, {"DORNICK_OUTPUT_ENCODING=utf-16le"}, root);
    EXPECT_EQ(r.out_bytes, PipeBytes(U(text)));
    fs::remove_all(Path("out"));
    r = RunDornick({"/P", "/O", "out", "週次.eml"}, {"DORNICK_OUTPUT_ENCODING=UTF-16"}, root);
    EXPECT_EQ(r.out_bytes, text);
}

TEST_F(LinuxUser, EveryMessageSpeaksTheUsersLanguage) {
    WriteFile(Path("a.eml"),
              MultipartMail({"Return-Path: <bounce@example.jp>", "From: Taro <taro@example.jp>",
                             "Date: Tue, 3 Jan 2017 10:05:00 +0900"},
                            "b1", {kTextBody, Base64Part("application/octet-stream", "a.bin", "x")}));
    RunResult r = RunDornick({"-p", "-l", "a.eml", "missing.eml"}, kEnglish, root);
    EXPECT_EQ(r.exit_code, 1);
    const std::string out =
        "Created the output folder.\n->" + root + "/output\n\nExtracting files from \"" + Path("a.eml") +
        "\". <taro@example.jp/2017-01-03>\nThe Return-Path and the From of this mail "
        "differ.\nReturn-Path: bounce@example.jp\n-> From: taro@example.jp\n\t-> \"a.bin\"\n\n";
    EXPECT_EQ(r.out_bytes, out);
    EXPECT_EQ(r.err_bytes, "Could not open the mail file.\n->" + Path("missing.eml") + "\n");
    EXPECT_EQ(ReadFile(Path("output/dornick.txt")), "\xFF\xFE" + PipeBytes(U(out)));

    // LC_MESSAGES counts when LC_ALL is not set; LANG last.
    fs::remove_all(Path("output"));
    r = RunDornick({"-p", "missing.eml"},
                   {"LC_ALL=", "LC_MESSAGES=ja_JP.UTF-8", "LANG=C", "DORNICK_OUTPUT_ENCODING="}, root);
    EXPECT_EQ(r.err_bytes, "メールファイルを開けませんでした。\n->" + Path("missing.eml") + "\n");
    r = RunDornick({"missing.eml"},
                   {"LC_ALL=", "LC_MESSAGES=", "LANG=de_DE.UTF-8", "DORNICK_OUTPUT_ENCODING="}, root);
    EXPECT_EQ(r.err_bytes, "Could not open the mail file.\n->" + Path("missing.eml") + "\n");
}

TEST_F(LinuxUser, ExitStatusTellsWhetherEveryFileWasProcessed) {
    WriteFile(Path("a.eml"), MailWith("a.bin", "x"));
    WriteFile(Path("empty.eml"), "");
    WriteFile(Path("taken"), "a file where the output folder should be");
    struct Row {
        const char* name;
        std::vector<std::string> args;
        int status;
    };
    const Row rows[] = {
        {"all processed", {"-o", "out", "a.eml", "empty.eml"}, 0},
        {"one missing", {"-o", "out", "a.eml", "missing.eml", "a.eml"}, 1},
        {"every one missing", {"missing.eml", "gone.eml"}, 1},
        {"output root refused", {"-o", "taken", "a.eml"}, 1},
        {"unknown option", {"--nope"}, 2},
        {"no arguments: the usage", {}, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(RunDornick(row.args, kUtf8, root).exit_code, row.status);
    }
}

TEST_F(LinuxUser, AFolderIsSearchedForMailsInSortedOrder) {
    const std::string data = "payload";
    for (const char* name : {"mails/b.eml", "mails/a/z.eml", "mails/a/c/d.eml", "mails/0.eml"})
        WriteFile(Path(name), MailWith(fs::path(name).stem().string() + ".bin", data));
    WriteFile(Path("mails/notes.txt"), MailWith("notes.bin", data));
    WriteFile(Path("mails/upper.EML"), MailWith("upper.bin", data)); // the front end's rule: ".eml" only
    WriteFile(Path("elsewhere/e.eml"), MailWith("e.bin", data));
    fs::create_directory_symlink(Path("elsewhere"), Path("mails/link")); // not followed
    RunResult r = RunDornick({"-p", "-S", "-D", "-o", "out", "mails"}, kUtf8, root);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "");
    std::string expected = "フォルダを作成しました。\n->" + Path("out") + "\n\n";
    for (const char* name : {"0", "a/c/d", "a/z", "b"})
        expected += "\"" + Path(std::string("mails/") + name + ".eml") +
                    "\" からファイルを抽出中です。<taro@example.jp/2017-01-03>\n\t-> \"" +
                    fs::path(name).filename().string() + ".bin\"\n\n";
    EXPECT_EQ(r.out_bytes, expected);
    EXPECT_EQ(ListTree(Path("out")), (std::vector<std::string>{"0.bin", "b.bin", "d.bin", "z.bin"}));
}

// An output root inside the folder searched is never searched itself, however it is named: every
// run finds the one mail, never the mails (an attached ".eml") that the runs before it wrote.
TEST_F(LinuxUser, AFolderSearchNeverReadsItsOwnOutput) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
    };
    const Row rows[] = {
        {"named output inside", {"-o", "mails/out", "mails"}},
        {"the same output by another path", {"-o", "mails/../mails/./out", "mails"}},
        {"default output under the folder searched", {"."}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Path("mails"));
        fs::remove_all(Path("output"));
        WriteFile(Path("mails/a.eml"), MailWith("forwarded.eml", MailWith("inner.bin", "x")));
        for (int run = 0; run < 3; ++run) {
            std::vector<std::string> args = {"-p"};
            args.insert(args.end(), row.args.begin(), row.args.end());
            const RunResult r = RunDornick(args, kUtf8, root);
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_EQ(Count(r.out_bytes, "からファイルを抽出中です。"), 1u) << run << r.out_bytes;
        }
    }
}

// A folder below the one searched that the user may not read is named, the search goes on with the
// rest, and the exit status says that not everything was found. (The tests run as root, who reads
// everything: the run is made as an unprivileged user.)
TEST_F(LinuxUser, AnUnreadableFolderInASearchIsNamed) {
    const std::vector<std::string> as_nobody = {"--reuid=65534", "--regid=65534", "--clear-groups"};
    std::vector<std::string> probe = as_nobody;
    probe.push_back("/bin/true");
    if (RunProgram("/usr/bin/setpriv", probe).exit_code != 0) GTEST_SKIP() << "cannot drop privileges here";
    fs::permissions(root, fs::perms::all);
    for (const char* name : {"mails/a/one.eml", "mails/b/two.eml", "mails/c/three.eml"})
        WriteFile(Path(name), MailWith(fs::path(name).stem().string() + ".bin", "x"));
    fs::permissions(Path("mails/b"), fs::perms::owner_all);
    fs::create_directory(Path("out"));
    fs::permissions(Path("out"), fs::perms::all);
    std::vector<std::string> args = as_nobody;
    args.insert(args.end(), {DORNICK_PATH, "-o", Path("out"), "-S", "-D", Path("mails")});
    const RunResult r = RunProgram("/usr/bin/setpriv", args, kUtf8, root);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err_bytes, "フォルダを読み込めませんでした。\n->" + Path("mails/b") + "\n");
    EXPECT_EQ(ListTree(Path("out")), (std::vector<std::string>{"one.bin", "three.bin"}));
}

// Started in a folder that was removed: every argument that needs the current folder (a relative
// mail, a relative output root, the default "output") is refused with its message and nothing is
// made anywhere; absolute paths work as ever.
TEST_F(LinuxUser, ARemovedCurrentFolderRefusesRelativePaths) {
    WriteFile(Path("a.eml"), MailWith("a.bin", "x"));
    const std::string refused = "開始時のフォルダが存在しないため、相対パスを使えません。\n->";
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string err;
        int status;
    };
    const Row rows[] = {
        {"relative mail", {"-S", "-D", "-o", Path("out"), "a.eml"}, refused + "a.eml\n", 1},
        {"default output", {"-S", "-D", Path("a.eml")}, refused + "output\n", 1},
        {"relative output root", {"-S", "-D", "-o", "rel", Path("a.eml")}, refused + "rel\n", 1},
        {"all absolute", {"-S", "-D", "-o", Path("out"), Path("a.eml")}, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Path("out"));
        fs::create_directory(Path("gone"));
        std::vector<std::string> args = {"-c", "cd \"$0\" && rmdir \"$0\" && exec \"$@\"", Path("gone"),
                                         DORNICK_PATH};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunResult r = RunProgram("/bin/sh", args, kUtf8);
        EXPECT_EQ(r.exit_code, row.status);
        EXPECT_EQ(r.err_bytes, row.err);
        EXPECT_EQ(fs::exists(Path("out/a.bin")), row.status == 0);
        EXPECT_EQ(ListTree(root), (std::vector<std::string>(
                                      row.status == 0 ? std::vector<std::string>{"a.eml", "out/", "out/a.bin"}
                                                      : std::vector<std::string>{"a.eml"})));
    }
    EXPECT_FALSE(fs::exists("/output"));
    EXPECT_FALSE(fs::exists("/rel"));
}

// Names that are not UTF-8 (old archives copied from Windows) are opened by their own bytes: a
// Latin-1 name beside the UTF-8 name its bytes would be replaced by, a Shift_JIS folder and mail
// named on the command line, a Latin-1 current folder. Messages show such bytes as "\xe9".
TEST_F(LinuxUser, PathsThatAreNotUtf8AreKeptByteForByte) {
    struct Row {
        const char* name;
        std::vector<std::string> mails; ///< relative to the folder the run starts in
        std::vector<std::string> args;
        std::string start;              ///< relative to the test's folder
        std::vector<std::string> shown; ///< the mails as the progress lines show them
    };
    const Row rows[] = {
        {"Latin-1 beside its replacement",
         {"m/caf\xE9.eml", "m/caf\xEF\xBF\xBD.eml"},
         {"m"},
         "",
         {"m/caf\\xe9.eml", "m/caf\xEF\xBF\xBD.eml"}},
        {"Shift_JIS folder and mail",
         {"\x93\xFA\x96\x7B/\x83\x81\x81\x5B\x83\x8B.eml"},
         {"\x93\xFA\x96\x7B/\x83\x81\x81\x5B\x83\x8B.eml"},
         "",
         {"\\x93\\xfa\\x96{/\\x83\\x81\\x81[\\x83\\x8b.eml"}},
        {"Latin-1 current folder", {"a.eml"}, {"a.eml"}, "d\xE9j\xE0", {"a.eml"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Path("run"));
        const std::string start = Path("run/" + row.start);
        fs::create_directories(start);
        for (size_t i = 0; i < row.mails.size(); ++i) {
            fs::create_directories(fs::path(start + "/" + row.mails[i]).parent_path());
            WriteFile(start + "/" + row.mails[i],
                      MailWith("file" + std::to_string(i) + ".bin", row.mails[i]));
        }
        std::vector<std::string> args = {"-p", "-S", "-D"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunResult r = RunDornick(args, kUtf8, start);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err_bytes, "");
        std::string shown_start = Path("run");
        if (!row.start.empty()) shown_start += "/d\\xe9j\\xe0";
        for (size_t i = 0; i < row.mails.size(); ++i) {
            EXPECT_EQ(ReadFile(start + "/output/file" + std::to_string(i) + ".bin"), row.mails[i]);
            EXPECT_EQ(
                Count(r.out_bytes, "\"" + shown_start + "/" + row.shown[i] + "\" からファイルを抽出中です。"),
                1u)
                << r.out_bytes;
        }
    }
}

TEST_F(LinuxUser, WrittenFilesCarryTheMailsMomentInEveryTimeZone) {
    WriteFile(Path("a.eml"), MailWith("a.bin", "x"));
    for (const char* zone : {"TZ=Asia/Tokyo", "TZ=UTC", "TZ=America/Los_Angeles", "TZ=Australia/Sydney"}) {
        SCOPED_TRACE(zone);
        fs::remove_all(Path("out"));
        RunResult r = RunDornick({"-o", "out", "a.eml"}, {zone}, root);
        EXPECT_EQ(r.exit_code, 0);
        struct stat info {};
        ASSERT_EQ(::stat(Path("out/taro@example.jp/2017-01-03/a.bin").c_str(), &info), 0);
        EXPECT_EQ(info.st_mtime, kMailTime);
        EXPECT_EQ(info.st_atime, kMailTime);
    }
}

TEST_F(LinuxUser, ATerminalShowsProgressAndASummary) {
    for (const char* name : {"m1.eml", "m2.eml", "m3.eml"})
        WriteFile(Path(name), MailWith(std::string(name) + ".bin", NoiseBytes(1000)));
    RunResult r = RunOnTerminal({"-o", "out", "m1.eml", "m2.eml", "m3.eml"}, {}, root);
    EXPECT_EQ(r.exit_code, 0);
    const std::string& screen = r.out_bytes;
    EXPECT_EQ(screen.find('\0'), std::string::npos); // UTF-8, not UTF-16
    // The progress line of the first mail, erased before the next text; nothing else is left of it.
    const std::string first = "\r0/3 通  0.0 MB/s  残り -:--  m1.eml\x1b[K";
    EXPECT_EQ(screen.compare(0, first.size(), first), 0) << screen;
    // After the message took its place, the line is drawn again for the next mail.
    EXPECT_NE(screen.find("\r1/3 通  "), std::string::npos) << screen;
    EXPECT_NE(screen.find("  m2.eml\x1b[K"), std::string::npos) << screen;
    const size_t created = screen.find("\r\x1b[Kフォルダを作成しました。\r\n->" + Path("out") + "\r\n\r\n");
    EXPECT_NE(created, std::string::npos) << screen;
    // The summary is the last line: three mails, three files of 1000 bytes, no failure.
    const std::string summary = "3 通、3 ファイル (3000 バイト) を書き出しました。失敗 0 件、";
    const size_t at = screen.rfind("\r\x1b[K" + summary);
    ASSERT_NE(at, std::string::npos) << screen;
    EXPECT_EQ(screen.compare(screen.size() - 9, 9, " 秒。\r\n"), 0) << screen;
    EXPECT_EQ(Count(screen.substr(at), "\r\n"), 1u);

    // In English, with a failure among them and a file written in several pieces.
    WriteFile(Path("big.eml"), MailWith("big.bin", NoiseBytes(700000, 3)));
    r = RunOnTerminal({"-o", "out2", "m1.eml", "big.eml", "missing.eml"}, {"LC_ALL=C"}, root);
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_NE(r.out_bytes.find("\r\x1b[KCould not open the mail file.\r\n->" + Path("missing.eml") + "\r\n"),
              std::string::npos)
        << r.out_bytes;
    // No line was shown after the message: the summary simply follows it.
    EXPECT_NE(r.out_bytes.find("missing.eml\r\n3 mails, 2 files (701000 bytes) written, 1 failed, "),
              std::string::npos)
        << r.out_bytes;
}

TEST_F(LinuxUser, NoProgressWithPrintingOrOnAPipeOrForOneFile) {
    for (const char* name : {"m1.eml", "m2.eml"})
        WriteFile(Path(name), MailWith(std::string(name) + ".bin", "x"));
    // "/P" prints the designed lines instead, as UTF-8 on the terminal.
    RunResult r = RunOnTerminal({"-p", "-o", "out", "m1.eml", "m2.eml"}, {}, root);
    std::string expected = "フォルダを作成しました。\n->" + Path("out") + "\n\n";
    for (const char* name : {"m1.eml", "m2.eml"})
        expected += "\"" + Path(name) + "\" からファイルを抽出中です。<taro@example.jp/2017-01-03>\n\t-> \"" +
                    name + ".bin\"\n\n";
    EXPECT_EQ(r.out_bytes, OnTerminal(expected));
    // One file: no progress line and no summary.
    r = RunOnTerminal({"-o", "out1", "m1.eml"}, {}, root);
    EXPECT_EQ(r.out_bytes, OnTerminal("フォルダを作成しました。\n->" + Path("out1") + "\n\n"));
    // A pipe never gets either.
    r = RunDornick({"-o", "out2", "m1.eml", "m2.eml"}, kUtf8, root);
    EXPECT_EQ(r.err_bytes, "");
    EXPECT_EQ(r.out_bytes, "フォルダを作成しました。\n->" + Path("out2") + "\n\n");
}

TEST_F(LinuxUser, ATerminalGetsUtf8InBothLanguagesWhateverIsAsked) {
    struct Row {
        std::vector<std::string> args;
        std::vector<std::string> env;
        int status;
        std::string begins;
    };
    const Row rows[] = {
        {{"--help"}, {}, 0, "利用方法:\r\n\r\n\tdornick [/DM][/P]"},
        {{"--help"}, {"LC_ALL=C"}, 0, "Usage:\r\n\r\n\tdornick [/DM][/P]"},
        // The designed UTF-16LE form is for pipes and files: a terminal shows text.
        {{"--help"}, {"DORNICK_OUTPUT_ENCODING=UTF-16LE"}, 0, "利用方法:\r\n"},
        {{"-x"}, {}, 2, "dornick: 不明なオプションです: -x\r\n"},
        {{"-x"}, {"LANG=en_US.UTF-8", "LC_ALL="}, 2, "dornick: unknown option: -x\r\n"},
        {{"missing.eml"}, {}, 1, "メールファイルを開けませんでした。\r\n->"},
        {{"missing.eml"}, {"LC_ALL=C"}, 1, "Could not open the mail file.\r\n->"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.begins);
        RunResult r = RunOnTerminal(row.args, row.env, root);
        EXPECT_EQ(r.exit_code, row.status);
        EXPECT_EQ(r.out_bytes.compare(0, row.begins.size(), row.begins), 0) << r.out_bytes;
        EXPECT_EQ(r.out_bytes.find('\0'), std::string::npos);
    }
}

TEST_F(LinuxUser, AMailCannotDriveTheTerminal) {
    WriteFile(Path("a.eml"),
              MultipartMail({"Return-Path: <x\x1b]0;owned\x07@example.jp>", "From: <taro@example.jp>",
                             "Date: Tue, 3 Jan 2017 10:05:00 +0900"},
                            "b1", {kTextBody, Base64Part("application/octet-stream", "a.bin", "x")}));
    RunResult r = RunOnTerminal({"-p", "-o", "out", "a.eml"}, {}, root);
    EXPECT_EQ(r.out_bytes.find('\x1b'), std::string::npos);
    EXPECT_NE(r.out_bytes.find("Return-Path: x?]0;owned?@example.jp\r\n"), std::string::npos) << r.out_bytes;
}

} // namespace
} // namespace e2e

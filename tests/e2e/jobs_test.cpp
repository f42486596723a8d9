// Several workers ("-j N"): the output tree (names, bytes, file times), both streams with and
// without /P, the log file and the exit status are those of "-j 1"; a stopped run leaves only whole
// files; bad values are usage errors.

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// Everything a run left below a folder: each entry with its kind, bytes and modification time.
// `times`: false where files stand undated (a mail without a date keeps the time of writing).
std::map<std::string, std::string> Snapshot(const std::string& root, bool times = true) {
    std::map<std::string, std::string> entries;
    for (const std::string& relative : ListTree(root)) {
        const std::string path = root + "/" + relative;
        struct stat info;
        if (::lstat(path.c_str(), &info) != 0) continue;
        // The log file is dated by its last write, like any log: only its bytes are compared.
        const bool log =
            relative.size() >= 11 && relative.compare(relative.size() - 11, 11, "dornick.txt") == 0;
        std::string what =
            (log || !times ? "" : std::to_string(info.st_mtime)) + " " + std::to_string(info.st_mode) + " ";
        if (S_ISREG(info.st_mode)) what += ReadFile(path);
        entries[relative] = relative.back() == '/' ? std::to_string(info.st_mode) : what;
    }
    return entries;
}

// The same entries with the same kinds, times and bytes; a difference is named by its path only.
void ExpectSameTree(const std::map<std::string, std::string>& many,
                    const std::map<std::string, std::string>& one) {
    for (const auto& [name, entry] : one) {
        auto found = many.find(name);
        EXPECT_TRUE(found != many.end() && found->second == entry) << "differs: " << name;
    }
    for (const auto& [name, entry] : many)
        EXPECT_TRUE(one.count(name)) << "only with workers: " << name;
}

struct Outcome {
    RunResult run;
    std::map<std::string, std::string> tree;
};

class Jobs : public TempDir {
  protected:
    // One run into "out" in the test's folder, which is then kept aside: every run names the same
    // output paths in its messages.
    Outcome RunInto(const std::string& jobs, std::vector<std::string> args,
                    const std::vector<std::string>& env = {}) {
        fs::remove_all(Path("out"));
        args.insert(args.begin(), {"-j", jobs, "/O", Path("out")});
        Outcome outcome{RunDornick(args, env, root), {}};
        outcome.tree = Snapshot(Path("out"));
        return outcome;
    }

    void ExpectSameAsOneAtATime(const std::vector<std::string>& args,
                                const std::vector<std::string>& env = {}) {
        const Outcome one = RunInto("1", args, env);
        EXPECT_FALSE(one.tree.empty());
        for (const char* jobs : {"2", "4"}) {
            SCOPED_TRACE(std::string("-j ") + jobs);
            const Outcome many = RunInto(jobs, args, env);
            EXPECT_EQ(many.run.exit_code, one.run.exit_code);
            EXPECT_EQ(many.run.out_bytes, one.run.out_bytes);
            EXPECT_EQ(many.run.err_bytes, one.run.err_bytes);
            ExpectSameTree(many.tree, one.tree);
        }
    }
};

const std::vector<std::vector<std::string>> kOptionSets = {
    {}, {"/P"}, {"/P", "/L"}, {"/L", "/NN", "/ND"}, {"/RF", "/P", "-R"}, {"/NI", "/FW", "fwd", "/P"},
};

TEST_F(Jobs, FixturesAreWrittenAsOneAtATimeWritesThem) {
    std::vector<std::string> mails;
    for (const fs::directory_entry& entry : fs::directory_iterator(DORNICK_MAIL_FIXTURES))
        if (entry.path().extension() == ".eml") mails.push_back(entry.path().string());
    std::sort(mails.begin(), mails.end());
    ASSERT_GT(mails.size(), 10u);
    for (const std::vector<std::string>& options : kOptionSets) {
        SCOPED_TRACE(options.empty() ? std::string("(none)") : options[0]);
        std::vector<std::string> args = options;
        args.insert(args.end(), mails.begin(), mails.end());
        ExpectSameAsOneAtATime(args);
    }
}

// Forty mails from two senders, each with one to four files named alike.
std::vector<std::string> SameNamedMails() {
    std::vector<std::string> mails;
    for (int i = 0; i < 40; ++i) {
        const std::string from = i % 3 == 0 ? "hanako@example.jp" : "taro@example.jp";
        std::vector<Part> parts = {{{"Content-Type: text/plain"}, "t\r\n"}};
        for (int k = 0; k < 1 + i % 4; ++k)
            parts.push_back(
                Base64Part("application/octet-stream", k % 2 ? "report.pdf" : "scan.pdf",
                           NoiseBytes(100 + static_cast<size_t>(i * 37 + k), static_cast<unsigned>(i))));
        mails.push_back(MultipartMail(TopHeader(from), "b" + std::to_string(i), parts));
    }
    return mails;
}

// Many mails with the same names into the same folders: the counters depend only on the order of
// the command line, whichever worker finishes first.
TEST_F(Jobs, SameNamedFilesGetTheCountersOfOneAtATime) {
    std::vector<std::string> args = {"/P", "/L"};
    const std::vector<std::string> mails = SameNamedMails();
    for (size_t i = 0; i < mails.size(); ++i) {
        const std::string name = "m" + std::to_string(100 + i) + ".eml";
        WriteFile(Path(name), mails[i]);
        args.push_back(Path(name));
    }
    // A folder given whole, a mail twice, and every file into one folder.
    args.push_back(Path("m100.eml"));
    ExpectSameAsOneAtATime(args);
    args.insert(args.begin(), {"/NN", "/ND"});
    ExpectSameAsOneAtATime(args, {"LC_ALL=C", "DORNICK_OUTPUT_ENCODING="});
}

// A mail that cannot be read, an mbox and a mail with a large file between mails handed to workers
// keep their place in the order.
TEST_F(Jobs, FailuresAndArchivesKeepTheirPlace) {
    WriteFile(Path("a.eml"), MultipartMail(TopHeader(), "b", {Base64Part("text/plain", "a.txt", "first")}));
    WriteFile(Path("big.eml"),
              MultipartMail(TopHeader(), "b",
                            {Base64Part("application/octet-stream", "a.txt", NoiseBytes(3 << 20))}));
    const std::string message =
        MultipartMail(TopHeader("jiro@example.jp"), "b", {Base64Part("text/plain", "a.txt", "m")});
    WriteFile(Path("box.mbox"), "From x Tue Jan  3 10:05:00 2017\n" + message +
                                    "\nFrom y Tue Jan  3 10:05:00 2017\n" + message);
    ExpectSameAsOneAtATime({"/P", Path("a.eml"), Path("missing.eml"), Path("big.eml"), Path("box.mbox"),
                            Path("a.eml"), Path("big.eml")});
}

// A bare block of text (no header) with its file in the output root.
std::string UuencodedBlock(const std::string& name, const std::string& data) {
    std::string text = "begin 644 " + name + "\n";
    auto sextet = [](unsigned v) { return static_cast<char>(v ? v + 32 : '`'); };
    for (size_t at = 0; at < data.size(); at += 45) {
        const std::string line = data.substr(at, 45);
        text.push_back(sextet(static_cast<unsigned>(line.size())));
        for (size_t i = 0; i < line.size(); i += 3) {
            unsigned v = 0;
            for (size_t k = 0; k < 3; ++k)
                v = v << 8 | (i + k < line.size() ? static_cast<unsigned char>(line[i + k]) : 0u);
            for (int shift = 18; shift >= 0; shift -= 6)
                text.push_back(sextet(v >> shift & 63));
        }
        text.push_back('\n');
    }
    return text + "`\nend\n";
}

// A file of an earlier mail takes the name that a later mail, worked on first, wants for its
// sender folder: the later mail's folder is taken away again, and both end as one at a time.
TEST_F(Jobs, AFolderMadeAheadYieldsToAnEarlierFile) {
    WriteFile(Path("bare.eml"), UuencodedBlock("big.bin", NoiseBytes(8 << 20, 9)) + "\n" +
                                    UuencodedBlock("taro@example.jp", "a file\n"));
    WriteFile(Path("m.eml"), MultipartMail(TopHeader(), "b", {Base64Part("text/plain", "a.txt", "x")}));
    fs::create_directory(Path("out"));
    for (int round = 0; round < 3; ++round) {
        const std::vector<std::string> args = {
            "-j", "", "/O", Path("out"), Path("bare.eml"), Path("m.eml"), Path("bare.eml"), Path("m.eml")};
        auto run = [&](const char* jobs) {
            fs::remove_all(Path("out"));
            fs::create_directory(Path("out"));
            std::vector<std::string> with = args;
            with[1] = jobs;
            return Outcome{RunDornick(with, {}, root), Snapshot(Path("out"), false)};
        };
        const Outcome one = run("1");
        const Outcome two = run("2");
        EXPECT_EQ(one.run.exit_code, 1);
        EXPECT_EQ(two.run.exit_code, one.run.exit_code);
        EXPECT_EQ(two.run.err_bytes, one.run.err_bytes);
        ExpectSameTree(two.tree, one.tree);
        EXPECT_EQ(one.tree.count("taro@example.jp"), 1u);
    }
}

// The messages of one mbox, each after its envelope line and with an empty line after it.
std::string AsMbox(const std::vector<std::string>& messages) {
    std::string box;
    for (const std::string& message : messages)
        box += "From sender@example.jp Tue Jan  3 10:05:00 2017\n" + message + "\n";
    return box;
}

// The messages of an mbox shared out among the workers keep the counters, words and failures of
// one message at a time: same-named files, a quoted "From " line, an empty message, a message too
// large to be handed on (done at its turn), and a bare message whose file takes the name a later
// message wants for its sender folder.
TEST_F(Jobs, MboxMessagesAreCommittedInTheArchivesOrder) {
    std::vector<std::string> messages = SameNamedMails();
    messages.insert(messages.begin() + 5, "");
    messages.insert(messages.begin() + 9, MultipartMail(TopHeader(), "q",
                                                        {{{"Content-Type: text/plain"}, ">From here on\r\n"},
                                                         Base64Part("text/plain", "scan.pdf", ">From x\n")}));
    messages.insert(messages.begin() + 12, MultipartMail(TopHeader("taro@example.jp"), "large",
                                                         {Base64Part("application/octet-stream", "scan.pdf",
                                                                     NoiseBytes(13 << 20, 3))}));
    messages.insert(messages.begin() + 20, UuencodedBlock("taro@example.jp", "a file\n"));
    WriteFile(Path("box"), AsMbox(messages));
    WriteFile(Path("a.eml"), messages[0]);
    const std::vector<std::vector<std::string>> runs = {
        {Path("box")},
        {"/P", "/L", Path("a.eml"), Path("box"), Path("a.eml")},
        {"/NN", "/ND", "/P", Path("box"), Path("box")},
    };
    for (const std::vector<std::string>& args : runs) {
        SCOPED_TRACE(args[0]);
        ExpectSameAsOneAtATime(args);
    }
}

// A run stopped by SIGTERM while workers have mails ahead, as files and as the messages of an
// mbox: only whole files stand under their names, and the run ends before its last mail.
TEST_F(Jobs, StoppedRunLeavesOnlyWholeFiles) {
    const std::string big = NoiseBytes(6 * 1024 * 1024, 5);
    const std::string mail = MultipartMail(TopHeader(), "b",
                                           {Base64Part("text/plain", "small.txt", "whole"),
                                            Base64Part("application/octet-stream", "big.bin", big)});
    std::vector<std::string> files_args = {"-j", "4", "/O", Path("out")};
    for (int i = 0; i < 6; ++i) {
        const std::string name = "s" + std::to_string(i) + ".eml";
        WriteFile(Path(name), mail);
        files_args.push_back(Path(name));
    }
    WriteFile(Path("box"), AsMbox(std::vector<std::string>(6, mail)));
    for (const std::vector<std::string>& args : {files_args, {"-j", "4", "/O", Path("out"), Path("box")}}) {
        SCOPED_TRACE(args.back());
        fs::remove_all(Path("out"));
        const RunResult r = RunDornick(args, {"DORNICK_TEST_SIGNAL=TERM:3"});
        EXPECT_EQ(r.exit_code, 143);
        size_t files = 0;
        for (const auto& [name, entry] : Snapshot(Path("out"))) {
            if (name.back() == '/') continue;
            ++files;
            const std::string bytes = ReadFile(Path("out/" + name));
            EXPECT_TRUE(bytes == "whole" || bytes == big) << name << " holds " << bytes.size() << " bytes";
            EXPECT_EQ(name.find(".dornick-"), std::string::npos) << name;
        }
        EXPECT_LT(files, 12u); // the run stopped before the end
    }
}

TEST_F(Jobs, BadValuesAreUsageErrors) {
    WriteFile(Path("a.eml"), MultipartMail(TopHeader(), "b", {Base64Part("text/plain", "a.txt", "x")}));
    const std::string tail = "\n詳しくは \"dornick --help\" を実行してください。\n";
    const std::pair<std::vector<std::string>, std::string> rows[] = {
        {{"-j", "0", "a.eml"}, "dornick: オプション -j の値が正しくありません: 0" + tail},
        {{"-j", "100000", "a.eml"}, "dornick: オプション -j の値が正しくありません: 100000" + tail},
        {{"-jx", "a.eml"}, "dornick: オプション -jx の値が正しくありません: x" + tail},
        {{"--jobs=", "a.eml"}, "dornick: オプション --jobs の値が正しくありません: " + tail},
        {{"a.eml", "--jobs", "-2"}, "dornick: オプション --jobs の値が正しくありません: -2" + tail},
        {{"a.eml", "--jobs"}, "dornick: オプション --jobs には値が必要です。" + tail},
    };
    for (const auto& [args, err] : rows) {
        SCOPED_TRACE(args[0]);
        const RunResult r = RunDornick(args, {"DORNICK_OUTPUT_ENCODING="}, root);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err_bytes, err);
    }
    EXPECT_EQ(ListTree(root), std::vector<std::string>{"a.eml"});
    // A value in range after the last file is no option left over.
    const RunResult r = RunDornick({"a.eml", "-j", "3"}, {"DORNICK_OUTPUT_ENCODING="}, root);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "");
}

} // namespace
} // namespace e2e

// The input of a run named in a list (--files-from, -0) and cut in parts (--shard K/N): bad values
// are usage errors, every name of a list is taken byte for byte, and the parts of a run together
// hold exactly the files of the whole run.

#include <filesystem>
#include <map>
#include <regex>
#include <set>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kUtf8 = {"DORNICK_OUTPUT_ENCODING="};
const std::vector<std::string> kEnglish = {"LC_ALL=C", "DORNICK_OUTPUT_ENCODING="};
const char kTry[] = "詳しくは \"dornick --help\" を実行してください。\n";
const char kTryEnglish[] = "Try \"dornick --help\" for more information.\n";

std::string MailWith(const std::string& name, const std::string& data,
                     const std::string& from = "taro@example.jp") {
    const Part text{{"Content-Type: text/plain; charset=UTF-8"}, "Hello.\r\n"};
    return MultipartMail(TopHeader(from), "b1", {text, Base64Part("application/octet-stream", name, data)});
}

class InputList : public TempDir {};

TEST_F(InputList, BadValuesAreUsageErrors) {
    WriteFile(Path("a.eml"), MailWith("a.bin", "data"));
    struct Row {
        std::vector<std::string> args;
        std::string japanese, english; // whole standard error
    };
    const std::string invalid = "dornick: オプション --shard の値が正しくありません: ";
    const std::string invalid_english = "dornick: invalid value for option --shard: ";
    const Row rows[] = {
        {{"a.eml", "--shard", "3/2"}, invalid + "3/2\n" + kTry, invalid_english + "3/2\n" + kTryEnglish},
        {{"--shard", "0/0", "a.eml"}, invalid + "0/0\n" + kTry, invalid_english + "0/0\n" + kTryEnglish},
        {{"--shard=x", "a.eml"}, invalid + "x\n" + kTry, invalid_english + "x\n" + kTryEnglish},
        {{"--sha=", "a.eml"}, invalid + "\n" + kTry, invalid_english + "\n" + kTryEnglish},
        {{"a.eml", "--shard"},
         std::string("dornick: オプション --shard には値が必要です。\n") + kTry,
         std::string("dornick: option --shard needs a value.\n") + kTryEnglish},
        {{"--null=1", "a.eml"},
         std::string("dornick: 不明なオプションです: --null=1\n") + kTry,
         std::string("dornick: unknown option: --null=1\n") + kTryEnglish},
        {{"--files-from", "-", "-"},
         std::string("dornick: 標準入力は一度しか読めません: -\n") + kTry,
         std::string("dornick: standard input can be read only once: -\n") + kTryEnglish},
        {{"-", "--files-from=-"},
         std::string("dornick: 標準入力は一度しか読めません: --files-from\n") + kTry,
         std::string("dornick: standard input can be read only once: --files-from\n") + kTryEnglish},
        {{"a.eml", "--files-from", "missing.lst"},
         "dornick: ファイル一覧を読み込めませんでした: " + Path("missing.lst") + "\n",
         "dornick: could not read the file list: " + Path("missing.lst") + "\n"},
        {{"--files-from", ""},
         "dornick: ファイル一覧を読み込めませんでした: " + root + "\n",
         "dornick: could not read the file list: " + root + "\n"},
        {{"--files-from", "."},
         "dornick: ファイル一覧を読み込めませんでした: " + root + "\n",
         "dornick: could not read the file list: " + root + "\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args[0] + " " + row.args[1]);
        RunResult r = RunDornick(row.args, kUtf8, root);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.out_bytes, "");
        EXPECT_EQ(r.err_bytes, row.japanese);
        r = RunDornick(row.args, kEnglish, root);
        EXPECT_EQ(r.exit_code, 2);
        EXPECT_EQ(r.err_bytes, row.english);
    }
    // Nothing of any of these runs began.
    EXPECT_EQ(ListTree(root), std::vector<std::string>{"a.eml"});
}

TEST_F(InputList, EveryNameOfAListIsTakenByteForByte) {
    // Names that a shell would break, a line feed (only a NUL-separated list can hold it), Latin-1
    // and Shift_JIS bytes, a folder that is searched.
    const std::vector<std::string> names = {
        "plain.eml", "two words.eml", "caf\xE9.eml", "\x83\x81\x81\x5B\x83\x8B.eml", "box", "line\nfeed.eml"};
    fs::create_directories(Path("box/inner"));
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string mail = names[i] == "box" ? "box/inner/found.eml" : names[i];
        WriteFile(Path(mail), MailWith("f" + std::to_string(i) + ".bin", mail));
    }
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string list; // written to list.txt, or standard input for "-"
        size_t taken;     // names whose attachment was written
    };
    std::string lines, nul;
    for (const std::string& name : names) {
        if (name.find('\n') == std::string::npos) lines += name + "\n";
        nul += name + '\0';
    }
    const Row rows[] = {
        {"lines from a file", {"--files-from", "list.txt"}, lines, names.size() - 1},
        {"lines on standard input", {"--files-from", "-"}, lines, names.size() - 1},
        {"NUL-separated from a file", {"--files-from=list.txt", "-0"}, nul, names.size()},
        {"NUL-separated on standard input", {"--null", "--files-from", "-"}, nul, names.size()},
        {"an abbreviated option", {"--files", "-", "--nu"}, nul, names.size()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Path("out"));
        WriteFile(Path("list.txt"), row.list);
        std::vector<std::string> args = {"-S", "-D", "-o", "out"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        const RunResult r = RunProgram(DORNICK_PATH, args, kUtf8, root, row.list);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err_bytes, ""); // "-0" after the list is no option left unused
        for (size_t i = 0; i < row.taken; ++i) {
            const std::string mail = names[i] == "box" ? "box/inner/found.eml" : names[i];
            EXPECT_EQ(ReadFile(Path("out/f" + std::to_string(i) + ".bin")), mail);
        }
        EXPECT_EQ(ListTree(Path("out")).size(), row.taken);
    }
}

TEST_F(InputList, AListStandsWhereItIsMetAmongTheOptions) {
    WriteFile(Path("a.eml"), MailWith("a.bin", "A"));
    WriteFile(Path("b.eml"), MailWith("b.bin", "B"));
    WriteFile(Path("list.txt"), "a.eml\n");
    const RunResult r =
        RunDornick({"-S", "-D", "-o", "one", "--files-from", "list.txt", "-o", "two", "b.eml"}, kUtf8, root);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(ListTree(Path("one")), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(ListTree(Path("two")), std::vector<std::string>{"b.bin"});
}

// A file's bytes in short, for readable differences.
std::string Digest(const fs::path& file) {
    const std::string bytes = ReadFile(file.string());
    return std::to_string(bytes.size()) + "#" + std::to_string(std::hash<std::string>{}(bytes));
}

// What the roots of the parts must hold together: per folder, each file's name without its
// "_(n)_" counter (same-named files of one folder may fall in different parts) and its bytes.
std::multiset<std::string> Holdings(const std::string& root) {
    static const std::regex counter("(\xE2\x80\x8E)?_\\(\\d+\\)_(?=(\\.[^.]*)?$)");
    std::multiset<std::string> held;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), root);
        held.insert(relative.parent_path().string() + "|" +
                    std::regex_replace(relative.filename().string(), counter, "") + "|" +
                    Digest(entry.path()));
    }
    return held;
}

class ShardedRun : public TempDir {
  protected:
    // Mails from three senders on two dates, most with attachments named alike (some alike in
    // their bytes too), and an mbox of them. (Folders and lists in parts: parallel_recipe.sh.)
    void SetUp() override {
        TempDir::SetUp();
        fs::create_directories(Path("mails/sub"));
        std::string mbox;
        for (int i = 0; i < 40; ++i) {
            const std::string from = "user" + std::to_string(i % 3) + "@example.jp";
            const std::string name = i % 4 == 0 ? "report.pdf" : "image001.png";
            const std::string data = i % 5 == 0 ? std::string("same bytes") : NoiseBytes(500 + 40 * i, i);
            std::string mail = MailWith(name, data, from);
            if (i % 7 == 0) mail.replace(mail.find("2017"), 4, "2018"); // a second date folder
            const std::string file = (i % 2 ? "mails/sub/m" : "mails/m") + std::to_string(i) + ".eml";
            WriteFile(Path(file), mail);
            mbox += "From " + from + " Tue Jan  3 10:05:00 2017\n" + mail + "\n";
        }
        WriteFile(Path("archive.mbox"), mbox);
    }
    // Runs the whole and its parts with `args`; the parts must be more than one, and together
    // hold the whole.
    void ExpectPartsHoldTheWhole(const std::vector<std::string>& args, int parts,
                                 const std::string& input = {}) {
        fs::remove_all(Path("whole"));
        std::vector<std::string> whole_args = {"-o", "whole"};
        whole_args.insert(whole_args.end(), args.begin(), args.end());
        ASSERT_EQ(RunProgram(DORNICK_PATH, whole_args, kUtf8, root, input).exit_code, 0);
        const std::multiset<std::string> whole = Holdings(Path("whole"));
        ASSERT_GE(whole.size(), 40u); // an attachment of each mail at least
        std::multiset<std::string> together;
        for (int k = 1; k <= parts; ++k) {
            const std::string out = "part" + std::to_string(k);
            std::vector<std::string> part_args = {"--shard", std::to_string(k) + "/" + std::to_string(parts),
                                                  "-o", out};
            part_args.insert(part_args.end(), args.begin(), args.end());
            const RunResult r = RunProgram(DORNICK_PATH, part_args, kUtf8, root, input);
            EXPECT_EQ(r.exit_code, 0) << r.err_bytes;
            const std::multiset<std::string> held = Holdings(Path(out));
            EXPECT_LT(held.size(), whole.size()); // each part did only its share
            together.insert(held.begin(), held.end());
            fs::remove_all(Path(out));
        }
        EXPECT_EQ(together, whole);
    }
};

TEST_F(ShardedRun, PartsOfAnMboxAndOfMixedArgumentsHoldTheWholeRun) {
    ExpectPartsHoldTheWhole({"archive.mbox"}, 3);
    ExpectPartsHoldTheWhole({"-"}, 4, ReadFile(Path("archive.mbox")));
    ExpectPartsHoldTheWhole({"mails/m0.eml", "archive.mbox", "mails/sub/m1.eml"}, 5);
}

} // namespace
} // namespace e2e

// The command line: the usage text, options matched whole and in order, bad file arguments.

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/text.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

// The designed usage text (naming the program "dornick"); the long and short forms follow it.
const char16_t kUsage[] =
    u"利用方法:\n\n\tdornick [/DM][/P] | [/NN][/ND][/RF][/NI][/FW "
    u"[n]][/CO][/CW]\n\t\t\t\t\t\t[/P][/L][/O [dir]] "
    u"EMLfiles...\n\n\t/NN\t送信者ごとのフォルダを作成しません。\n\t/"
    u"ND\t日付ごとのフォルダを作成しません。\n\t/RF\t"
    u"フォルダ構成を <日付/送信者> "
    u"の形にします。\n\t/NI\tインライン表示されるファイルを抽出しません。\n\t/FW "
    u"[n]\tインライン表示される転送メールを [n].eml として抽出します。\n\t/CO\t"
    u"特殊な方法で送信されたコンテンツのみのEメールも対象とします。\n\t/CW\t"
    u"ファイル名に利用出来ない半角文字を全角文字にします。\n\t/DM\t"
    u"EMLファイルの作成日時を送受信日に変更し、抽出を行いません。\n\t/P\tログを画面出力します。\n\t/"
    u"L\t出力先に UTF-16 "
    u"形式のログファイル(dornick.txt)を作成します。\n\t/O [dir]\t出力先フォルダを指定します。\n\t\n\t"
    u"添付ファイルが各フォルダ内で重複する場合、\n\n\tファイル名_(1)_.ext\n\n\tという風に保護されます。\n";

const char kDatedMail[] = "Return-Path: <taro@example.jp>\r\nDate: Tue, 3 Jan 2017 10:05:00 +0900\r\nFrom: "
                          "Taro <taro@example.jp>\r\n"
                          "Subject: test\r\n\r\nbody\r\n";

TEST(CommandLine, NoArgumentsPrintsTheUsageTextOnStandardError) {
    RunResult r = RunDornick({});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out_bytes, "");
    const std::u16string usage = r.Err();
    EXPECT_EQ(usage.substr(0, std::size(kUsage) - 1), kUsage);
    for (const char16_t* form :
         {u"\t-o, --output dir\t/O [dir]\n", u"\t-p, --print\t/P\n", u"\t-h, --help\t"})
        EXPECT_NE(usage.find(form), std::u16string::npos) << platform::U16ToUtf8(form);
}

class Arguments : public TempDir {};

TEST_F(Arguments, OptionsApplyOnlyToTheFilesAfterThem) {
    WriteFile(Path("a.eml"), kDatedMail);
    // "/P" after the file: the report is not printed, but the date is still set.
    RunResult r = RunDornick({"/DM", Path("a.eml"), "/P"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out_bytes, "");
    struct stat info;
    ASSERT_EQ(::stat(Path("a.eml").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, 1483405500);

    // A lower-case option is the option; "/P:" is a file name, and so is "-P" after "--".
    r = RunDornick({"/dm", "/p", Path("a.eml"), "/P:", "--", "-P"}, {}, root);
    EXPECT_NE(r.Out().find(u"作成日時を"), std::u16string::npos);
    // Names without ".eml" go to the TNEF reader first, whose open failure ends the argument; a
    // relative path is taken against the current folder.
    EXPECT_EQ(r.Err(),
              u"ファイルを開けませんでした。\n->/P:\nファイルを開けませんでした。\n->" + U(root) + u"/-P\n");
    EXPECT_EQ(r.exit_code, 1);
}

TEST_F(Arguments, ForwardNameConsumesTheNextArgumentWhateverItIs) {
    WriteFile(Path("a.eml"), kDatedMail);
    RunResult r = RunDornick({"/DM", "/FW", "/P", Path("a.eml")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out_bytes, ""); // "/P" became the forward name
    EXPECT_EQ(r.err_bytes, "");
}

TEST_F(Arguments, ValueOptionStandingLastChangesNothingButIsNamed) {
    RunResult r = RunDornick({"/O"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out_bytes, "");
    EXPECT_EQ(r.Err(), u"dornick: 警告: 最後のファイルの後のオプションは使われません: /O\n");
    r = RunDornick({"/P", "/FW"});
    EXPECT_EQ(r.out_bytes, "");
    EXPECT_EQ(r.Err(), u"dornick: 警告: 最後のファイルの後のオプションは使われません: /P /FW\n");
}

TEST_F(Arguments, BadFileArgumentsAreReportedAndTheRunGoesOn) {
    WriteFile(Path("a.eml"), kDatedMail);
    WriteFile(Path("empty.eml"), "");
    // A folder is searched (this one holds no mail); "*" is not expanded.
    fs::create_directory(Path("folder.eml"));
    RunResult r = RunDornick({"/P", "/DM", Path("missing.eml"), Path("folder.eml"), Path("*.eml"),
                              Path("empty.eml"), Path("a.eml")},
                             {"LC_ALL=en_US.UTF-8", "DORNICK_MESSAGES=ja"});
    EXPECT_EQ(r.exit_code, 1);
    const std::u16string root = U(this->root);
    EXPECT_EQ(r.Err(), u"メールファイルを開けませんでした。\n->" + root + u"/missing.eml\n" +
                           u"メールファイルを開けませんでした。\n->" + root + u"/*.eml\n");
    // The run went on to the last file.
    EXPECT_EQ(r.Out(),
              u"作成日時を 2017年1月3日 Tuesday 10時5分0秒 に変更しました。\n->\"" + root + u"/a.eml\"\n\n");
}

TEST_F(Arguments, UnreadableMailIsReported) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
    WriteFile(Path("secret.eml"), kDatedMail);
    ::chmod(Path("secret.eml").c_str(), 0);
    RunResult r = RunDornick({"/DM", Path("secret.eml")});
    EXPECT_EQ(r.Err(), u"メールファイルを開けませんでした。\n->" + U(Path("secret.eml")) + u"\n");
}

TEST_F(Arguments, BrokenDataNeverCrashes) {
    struct Row {
        const char* name;
        std::string bytes;
    };
    std::string nul_mail("Date: Tue, 3 Jan\0 2017 10:05:00 +0900\r\n\0\0\r\nbody", 48);
    std::string binary;
    for (unsigned i = 0; i < 1u << 20; ++i)
        binary.push_back(static_cast<char>((i * 7919u) >> 3));
    const Row rows[] = {
        {"nul.eml", nul_mail},
        {"binary.eml", binary},
        {"longline.eml", "Subject: " + std::string(5 << 20, 'x')},
        {"noend.eml", "From: a@b\r\nDate: Tue, 3 Jan 2017 10:05:00 +0900"},
        {"crs.eml", std::string(100000, '\r')},
        {"lfs.eml", std::string(100000, '\n')},
        {"continuations.eml", "From: x\r\n" +
                                  [] {
                                      std::string s;
                                      for (int i = 0; i < 100000; ++i)
                                          s += " y\r\n";
                                      return s;
                                  }()},
        {"received.eml", "Received: from a\r\n" +
                             [] {
                                 std::string s;
                                 for (int i = 0; i < 100000; ++i)
                                     s += "\tby b\r\n";
                                 return s;
                             }()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        WriteFile(Path(row.name), row.bytes);
        for (std::vector<std::string> args : {std::vector<std::string>{"/P", "/L", "/O", Path("out")},
                                              std::vector<std::string>{"/P", "/DM"}}) {
            args.push_back(Path(row.name));
            RunResult r = RunDornick(args);
            EXPECT_EQ(r.exit_code, 0);
            EXPECT_EQ(r.err_bytes, "");
        }
    }
}

} // namespace
} // namespace e2e

// Attached messages opened with "--recurse": the files inside them land in the outer mail's
// folders with its time, by the same naming rules; nesting is cut at 32 levels with one notice.

#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "mail_builder.h"
#include "run_program.h"
#include "tnef_writer.h"

namespace e2e {
namespace {

constexpr time_t kMailTime = 1483405500; // the outer mail's Date, Tue, 3 Jan 2017 10:05:00 +0900
const Part kTextBody{{"Content-Type: text/plain; charset=UTF-8"}, "Hello.\r\n"};
const std::string kFolder = "taro@example.jp/2017-01-03/";
const std::u16string kTooDeep =
    u"添付されたメールの入れ子が深すぎるため、32 段より深いものは開きませんでした。\n->";

// A mail as another carries it, dated a day earlier from another sender: its text, then `parts`.
// Boundaries of different levels must differ, also without their last character.
std::string InnerMail(const std::vector<Part>& parts, const std::string& boundary = "inner-b") {
    std::vector<Part> all{kTextBody};
    all.insert(all.end(), parts.begin(), parts.end());
    return MultipartMail({"From: hanako@example.com", "Subject: fwd", "Date: Mon, 2 Jan 2017 09:00:00 +0900"},
                         boundary, all);
}

Part MessagePart(const std::string& mail, const std::string& encoding = "7bit") {
    return Part{{"Content-Type: message/rfc822", "Content-Transfer-Encoding: " + encoding},
                encoding == "base64" ? Base64Lines(mail) : mail};
}

// `depth` messages, each the only attachment of the one above, level k also carrying "k.txt".
std::string NestedMail(int depth) {
    std::string mail = InnerMail({Base64Part("text/plain", std::to_string(depth) + ".txt", "deepest")},
                                 "n" + std::to_string(depth) + "zz");
    for (int level = depth - 1; level >= 1; --level)
        mail =
            InnerMail({Base64Part("text/plain", std::to_string(level) + ".txt", "level"), MessagePart(mail)},
                      "n" + std::to_string(level) + "zz");
    return MultipartMail(TopHeader(), "top", {kTextBody, MessagePart(mail)});
}

class Recurse : public TempDir {
  protected:
    RunResult Extract(const std::string& mail, std::vector<std::string> options) {
        WriteFile(Path("mail.eml"), mail);
        std::vector<std::string> args = {"--as=1500000000", DORNICK_PATH};
#ifdef DORNICK_SANITIZED
        args[0] = "--as=unlimited";
#else
        // A small stack: every level that is walked must fit in it.
        args.insert(args.begin(), "--stack=1048576");
#endif
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"/O", Path("out"), Path("mail.eml")});
        return RunProgram("/usr/bin/prlimit", args);
    }
    // The output files, relative to the sender and date folder, with their bytes.
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const std::string& entry : ListTree(Path("out")))
            if (entry.back() != '/')
                files[entry.substr(entry.rfind(kFolder) == 0 ? kFolder.size() : 0)] =
                    ReadFile(Path("out/" + entry));
        return files;
    }
    time_t ModifiedAt(const std::string& name) const {
        struct stat info {};
        ::stat(Path("out/" + kFolder + name).c_str(), &info);
        return info.st_mtime;
    }
};

TEST_F(Recurse, AttachedMessagesGiveTheirFilesIntoTheOuterMailsFolder) {
    const std::string pdf = NoiseBytes(3000, 2);
    const std::string inner = InnerMail({Base64Part("application/pdf", "a.pdf", pdf)});
    const std::string not_a_mail = "Key: value\r\n\r\nno mail field here\r\n";
    const std::string tnef = tnef_test::TnefWriter().Header().Title("in.txt").Data("TNEF").Bytes();
    const std::string with_tnef = InnerMail({Base64Part("application/ms-tnef", "winmail.dat", tnef)});
    struct Case {
        const char* what;
        std::vector<Part> parts;
        std::vector<std::string> options;
        std::map<std::string, std::string> files;
    };
    const Case cases[] = {
        {"unsaved message/rfc822", {MessagePart(inner)}, {"-R"}, {{"a.pdf", pdf}}},
        {"without the option nothing", {MessagePart(inner)}, {}, {}},
        {"saved with /FW, opened too",
         {MessagePart(inner)},
         {"--recurse", "/FW", "fwd"},
         {{"fwd.eml", inner.substr(0, inner.size() - 2)}, {"a.pdf", pdf}}},
        {"message/rfc822 in base64", {MessagePart(inner, "base64")}, {"-R"}, {{"a.pdf", pdf}}},
        {".eml attachment in base64",
         {Base64Part("application/octet-stream", "old.eml", inner)},
         {"-R"},
         {{"old.eml", inner}, {"a.pdf", pdf}}},
        {"octet-stream that is a mail",
         {Base64Part("application/octet-stream", "data.bin", "From mbox Tue Jan  3 10:00:00 2017\n" + inner)},
         {"-R"},
         {{"data.bin", "From mbox Tue Jan  3 10:00:00 2017\n" + inner}, {"a.pdf", pdf}}},
        {"octet-stream that is not",
         {Base64Part("application/octet-stream", "data.bin", not_a_mail),
          Base64Part("application/octet-stream", "noise.bin", pdf)},
         {"-R"},
         {{"data.bin", not_a_mail}, {"noise.bin", pdf}}},
        {"same names are counted",
         {Base64Part("application/pdf", "a.pdf", "outer"), MessagePart(inner)},
         {"-R"},
         {{"a.pdf", "outer"}, {"a_(1)_.pdf", pdf}}},
        {"container inside",
         {MessagePart(with_tnef)},
         {"-R"},
         {{"winmail.dat", tnef}, {"winmail.dat(expand)/in.txt", "TNEF"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunResult r = Extract(MultipartMail(TopHeader(), "outer-b",
                                            [&] {
                                                std::vector<Part> parts{kTextBody};
                                                parts.insert(parts.end(), c.parts.begin(), c.parts.end());
                                                return parts;
                                            }()),
                              c.options);
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(Files(), c.files);
        for (const auto& [name, bytes] : c.files)
            EXPECT_EQ(ModifiedAt(name), kMailTime) << name;
        std::filesystem::remove_all(Path("out"));
    }
}

TEST_F(Recurse, OnlyItsOwnFormsTurnItOn) {
    const std::string mail =
        MultipartMail(TopHeader(), "outer-b",
                      {kTextBody, MessagePart(InnerMail({Base64Part("text/plain", "a.txt", "A")}))});
    // An empty argument is a file (that cannot be read), "/R" too, and "-r" puts the date first.
    for (const char* option : {"", "/R", "-r", "--recurse"}) {
        SCOPED_TRACE(option);
        Extract(mail, {option});
        size_t opened = 0;
        for (const auto& [name, bytes] : Files())
            opened += name.size() >= 5 && name.compare(name.size() - 5, 5, "a.txt") == 0;
        EXPECT_EQ(opened, std::string(option) == "--recurse" ? 1u : 0u);
        std::filesystem::remove_all(Path("out"));
    }
}

TEST_F(Recurse, MessagesAndLogNameTheOuterMailOnce) {
    const std::string inner = InnerMail({Base64Part("text/plain", "b.txt", "B")});
    RunResult r =
        Extract(MultipartMail(TopHeader(), "outer-b",
                              {kTextBody, MessagePart(inner), Base64Part("text/plain", "c.txt", "C")}),
                {"-R", "/P", "/L"});
    const std::u16string listing =
        u"\"" + U(Path("mail.eml")) +
        u"\" からファイルを抽出中です。<taro@example.jp/2017-01-03>\n\t-> \"b.txt\"\n"
        u"\t-> \"c.txt\"\n\n";
    EXPECT_EQ(r.Out(), u"フォルダを作成しました。\n->" + U(Path("out")) + u"\n\n" + listing);
    EXPECT_EQ(r.Err(), u"");
    EXPECT_EQ(ReadFile(Path("out/dornick.txt")),
              "\xFF\xFE" + PipeBytes(u"フォルダを作成しました。\n->" + U(Path("out")) + u"\n\n" + listing));
}

TEST_F(Recurse, NestingIsCutAtThirtyTwoLevelsWithOneNotice) {
    for (int depth : {32, 33, 1000}) {
        SCOPED_TRACE(depth);
        RunResult r = Extract(NestedMail(depth), {"-R"});
        EXPECT_EQ(r.exit_code, 0);
        std::map<std::string, std::string> files = Files();
        EXPECT_EQ(files.size(), 32u);
        EXPECT_EQ(files["32.txt"], depth == 32 ? "deepest" : "level");
        EXPECT_EQ(r.Err(), depth == 32 ? u"" : kTooDeep + U(Path("mail.eml")) + u"\n");
        std::filesystem::remove_all(Path("out"));
    }
}

TEST_F(Recurse, MailAttachedToItselfTwentyTimesOver) {
    std::string mail =
        MultipartMail(TopHeader(), "self0zz", {kTextBody, Base64Part("text/plain", "note.txt", "0")});
    std::vector<std::string> copies{mail};
    for (int i = 1; i <= 20; ++i) {
        mail = MultipartMail(TopHeader(), "self" + std::to_string(i) + "zz",
                             {kTextBody, Base64Part("text/plain", "note.txt", std::to_string(i)),
                              Base64Part("message/rfc822", "self.eml", mail)});
        copies.push_back(mail);
    }
    RunResult r = Extract(mail, {"-R"});
    EXPECT_EQ(r.exit_code, 0);
    std::map<std::string, std::string> files = Files();
    EXPECT_EQ(files.size(), 41u);
    // Outermost first: the level-20 mail's own note, its saved copy of level 19, and so on down.
    EXPECT_EQ(files["note.txt"], "20");
    EXPECT_EQ(files["self.eml"], copies[19]);
    EXPECT_EQ(files["note_(20)_.txt"], "0");
    EXPECT_EQ(files["self_(19)_.eml"], copies[0]);
}

TEST_F(Recurse, HundredThousandAttachedMessages) {
    std::string mail = MultipartMail(TopHeader(), "many-b", {kTextBody}) + "";
    mail.erase(mail.rfind("--many-b--"));
    const std::string small = "From: a@example.com\r\nSubject: s\r\n\r\nbody\r\n";
    for (int i = 0; i < 100000; ++i)
        mail += "--many-b\r\nContent-Type: message/rfc822\r\n\r\n" + small;
    mail += "--many-b\r\n"
            "Content-Type: message/rfc822\r\n\r\n" +
            InnerMail({Base64Part("text/plain", "last.txt", "L")}) + "--many-b--\r\n";
    RunResult r = Extract(mail, {"-R"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(Files(), (std::map<std::string, std::string>{{"last.txt", "L"}}));
}

} // namespace
} // namespace e2e

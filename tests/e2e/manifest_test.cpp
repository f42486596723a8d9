// The manifest, --dedupe and --resume end to end: records against the tree, links, passed-over
// mails, refused manifests.

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "mail_builder.h"
#include "manifest_records.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

const Part kBody{{"Content-Type: text/plain"}, "body\r\n"};

std::string MailWith(const std::vector<Part>& parts, const std::string& subject = "test") {
    std::vector<std::string> header = TopHeader();
    header.back() = "Subject: " + subject;
    return MultipartMail(header, "b1", parts);
}

class Manifest : public TempDir {
  protected:
    std::string Out() const { return root + "/out"; }
    std::string ManifestPath() const { return root + "/m.jsonl"; }
    RunResult Run(std::vector<std::string> options, const std::vector<std::string>& mails) {
        options.insert(options.end(), {"--manifest", ManifestPath(), "-o", Out()});
        for (const std::string& mail : mails)
            options.push_back(Path(mail));
        return RunDornick(options);
    }
};

TEST_F(Manifest, EveryFileOfTheFixturesHasOneRecordWithItsSizeAndHash) {
    std::vector<std::string> args = {"--manifest", ManifestPath(), "-o", Out()};
    size_t mails = 0;
    for (const fs::directory_entry& entry : fs::directory_iterator(DORNICK_MAIL_FIXTURES))
        if (entry.path().extension() == ".eml") {
            args.push_back(entry.path().string());
            ++mails;
        }
    RunResult r = RunDornick(args);
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const std::vector<nlohmann::json> records = Records(ManifestPath());
    for (const nlohmann::json& record : OfType(records, "file"))
        EXPECT_EQ(record["root"], Out());
    const size_t files = RecordsMatchTree(Out(), OfType(records, "file")).size();
    EXPECT_GT(files, 10u);
    const std::vector<nlohmann::json> mail_records = OfType(records, "mail");
    EXPECT_EQ(mail_records.size(), mails);
    size_t counted = 0;
    for (const nlohmann::json& mail : mail_records) {
        EXPECT_EQ(mail["status"], "done");
        counted += mail["files"].get<size_t>();
    }
    EXPECT_EQ(counted, files);
    ASSERT_EQ(OfType(records, "run").size(), 1u);
    EXPECT_EQ(records.back()["type"], "run");
    EXPECT_EQ(records.back()["files"], files);
}

TEST_F(Manifest, MailFieldsAndPartPaths) {
    const std::string data = NoiseBytes(3000);
    std::vector<std::string> header = TopHeader();
    header.back() = "Subject: =?UTF-8?B?5aCx5ZGK?= \x1b[2J\t=?ISO-2022-JP?B?GyRCJUYlOSVIGyhC?=";
    header.push_back("Message-ID: <abc@example.jp>");
    // A page with its logo, then the document: the logo is part 1.2.
    const Part page{{"Content-Type: multipart/related; boundary=\"b2\""},
                    "--b2\r\nContent-Type: text/html\r\n\r\n<img src=\"cid:logo\">\r\n--b2\r\n"
                    "Content-Type: image/png\r\nContent-ID: <logo>\r\n"
                    "Content-Transfer-Encoding: base64\r\n\r\n" +
                        Base64Lines("inner") + "--b2--\r\n"};
    WriteFile(Path("a.eml"),
              MultipartMail(header, "b1", {page, Base64Part("application/pdf", "x.pdf", data)}));
    RunResult r = Run({}, {"a.eml"});
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const std::vector<nlohmann::json> records = Records(ManifestPath());
    const std::vector<nlohmann::json> files = OfType(records, "file");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[0]["part"], "1.2");
    EXPECT_EQ(files[0]["name"], "logo.png");
    EXPECT_EQ(files[0]["size"], 5);
    EXPECT_EQ(files[1]["part"], "2");
    EXPECT_EQ(files[1]["content_type"], "application/pdf");
    EXPECT_EQ(files[1]["encoding"], "base64");
    EXPECT_EQ(files[1]["path"], "taro@example.jp/2017-01-03/x.pdf");
    EXPECT_EQ(files[1]["duplicate_of"], nullptr);
    const nlohmann::json mail = OfType(records, "mail").at(0);
    EXPECT_EQ(mail["source"], Path("a.eml"));
    EXPECT_EQ(mail["message"], 1);
    EXPECT_EQ(mail["offset"], 0);
    EXPECT_EQ(mail["message_id"], "<abc@example.jp>");
    EXPECT_EQ(mail["from"], "taro@example.jp");
    EXPECT_EQ(mail["date"], "2017-01-03T10:05:00+09:00");
    EXPECT_EQ(mail["subject"], "報告 \x1b[2J\tテスト");
    EXPECT_EQ(mail["files"], 2);
}

TEST_F(Manifest, FilesOfAttachedMailsAreRecordedBelowTheirMessagesPart) {
    // The same inner mail twice: unsaved as message/rfc822 (part 2), and saved as an .eml
    // attachment (part 3); with --recurse their files are parts 2.2 and 3.2 of the mail file.
    const std::string inner =
        MultipartMail(TopHeader(), "c1", {kBody, Base64Part("application/pdf", "in.pdf", "inner pdf")});
    const Part unsaved{{"Content-Type: message/rfc822"}, inner};
    WriteFile(Path("a.eml"), MailWith({kBody, unsaved, Base64Part("message/rfc822", "fwd.eml", inner)}));
    RunResult r = Run({"--recurse"}, {"a.eml"});
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const std::vector<nlohmann::json> records = Records(ManifestPath());
    std::vector<std::string> parts;
    for (const nlohmann::json& file : OfType(records, "file"))
        parts.push_back(file["part"].get<std::string>() + " " + file["name"].get<std::string>());
    EXPECT_EQ(parts, (std::vector<std::string>{"2.2 in.pdf", "3 fwd.eml", "3.2 in.pdf"}));
    const nlohmann::json mail = OfType(records, "mail").at(0);
    EXPECT_EQ(mail["files"], 3);
    EXPECT_EQ(mail["source"], Path("a.eml"));
}

TEST_F(Manifest, HostileNamesAndSubjectsStayValidJson) {
    std::vector<std::string> header = TopHeader();
    header.back() = std::string("Subject: caf\xE9 \x01", 15);
    const std::string source = "caf\xE9.eml"; // a path that is not UTF-8
    WriteFile(Path(source),
              MultipartMail(
                  header, "b1",
                  {kBody, Base64Part("application/octet-stream", "r\xE9sum\xE9\x1b.txt", "one"),
                   Base64Part("application/octet-stream", EncodedWord(std::string("n\0l.txt", 7)), "two")}));
    RunResult r = Run({}, {source});
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const std::string text = ReadFile(ManifestPath());
    // The byte E9 of the path is kept as the escape of U+DCE9; the control character is escaped.
    EXPECT_NE(text.find("\"source\":\"" + root + "/caf\\udce9.eml\""), std::string::npos) << text;
    EXPECT_NE(text.find("\\u0001"), std::string::npos);
    EXPECT_EQ(text.find('\x01'), std::string::npos);
    EXPECT_EQ(text.find('\x1b'), std::string::npos);
    const std::vector<nlohmann::json> records = Records(ManifestPath());
    EXPECT_EQ(OfType(records, "file").size(), 2u);
    for (const nlohmann::json& file : OfType(records, "file"))
        EXPECT_TRUE(fs::exists(Out() + "/" + file["path"].get<std::string>())) << file["path"];
    EXPECT_EQ(OfType(records, "mail").size(), 1u);
}

TEST_F(Manifest, DedupeLinkAndSkip) {
    const std::string same = NoiseBytes(5000, 7);
    const std::string other = NoiseBytes(100, 8);
    const std::string mail =
        MailWith({Base64Part("image/png", "a.png", same), Base64Part("image/png", "b.png", same),
                  Base64Part("image/png", "c.png", other)});
    WriteFile(Path("one.eml"), mail);
    WriteFile(Path("two.eml"), mail);
    const std::string folder = Out() + "/taro@example.jp/2017-01-03/";
    struct Row {
        const char* mode;
        bool kept;
    };
    for (const Row& row : {Row{"link", true}, Row{"skip", false}}) {
        SCOPED_TRACE(row.mode);
        fs::remove_all(Out());
        fs::remove(ManifestPath());
        RunResult r = Run({"--dedupe", row.mode}, {"one.eml", "two.eml"});
        ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
        EXPECT_EQ(ReadFile(folder + "a.png"), same);
        EXPECT_EQ(fs::exists(folder + "b.png"), row.kept);
        EXPECT_EQ(fs::exists(folder + "a_(1)_.png"), row.kept);
        if (row.kept) {
            EXPECT_EQ(Inode(folder + "b.png"), Inode(folder + "a.png"));
            EXPECT_EQ(Inode(folder + "a_(1)_.png"), Inode(folder + "a.png"));
            EXPECT_EQ(Inode(folder + "c_(1)_.png"), Inode(folder + "c.png"));
            EXPECT_NE(Inode(folder + "c.png"), Inode(folder + "a.png"));
        }
        const std::vector<nlohmann::json> files = OfType(Records(ManifestPath()), "file");
        ASSERT_EQ(files.size(), 6u);
        // b of the first mail, then a and b of the second, point at a.png; c of the second at c.png.
        const char* const first_copies[] = {nullptr, "a.png", nullptr, "a.png", "a.png", "c.png"};
        for (size_t i = 0; i < files.size(); ++i) {
            SCOPED_TRACE(i);
            const nlohmann::json& file = files[i];
            EXPECT_EQ(file["path"].is_null(), !row.kept && first_copies[i]);
            if (!first_copies[i]) {
                EXPECT_TRUE(file["duplicate_of"].is_null());
                continue;
            }
            EXPECT_EQ(file["duplicate_of"], "taro@example.jp/2017-01-03/" + std::string(first_copies[i]));
            const std::string& bytes = first_copies[i][0] == 'a' ? same : other;
            EXPECT_EQ(file["sha256"], Sha256Of(bytes));
            EXPECT_EQ(file["size"], bytes.size());
        }
    }
    // A later run into the same root finds the first copies in the manifest.
    RunResult again = Run({"--dedupe", "link"}, {"one.eml"});
    ASSERT_EQ(again.exit_code, 0);
    // (the skip run left only a.png and c.png)
    EXPECT_EQ(Inode(folder + "a_(1)_.png"), Inode(folder + "a.png"));
    EXPECT_EQ(Inode(folder + "b.png"), Inode(folder + "a.png"));
}

TEST_F(Manifest, ResumePassesOverDoneMailsAndRedoesTheRest) {
    for (const char* name : {"one", "two", "three"})
        WriteFile(Path(std::string(name) + ".eml"),
                  MailWith({Base64Part("text/plain", std::string(name) + ".txt", name)}));
    ASSERT_EQ(Run({}, {"one.eml", "two.eml", "three.eml"}).exit_code, 0);
    // "two" failed, and the run that wrote "three" was killed in the middle of its record.
    std::string text;
    std::istringstream lines(ReadFile(ManifestPath()));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("{\"type\":\"mail\"") == 0 && line.find(Path("two.eml")) != std::string::npos) {
            const size_t status = line.find("\"status\":\"done\"");
            ASSERT_NE(status, std::string::npos);
            line.replace(status, 15, "\"status\":\"failed\",\"error\":\"output\"");
        }
        if (line.find("{\"type\":\"mail\"") == 0 && line.find(Path("three.eml")) != std::string::npos) {
            text += line.substr(0, line.size() / 2);
            break;
        }
        text += line + "\n";
    }
    WriteFile(ManifestPath(), text);
    fs::remove_all(Out());

    RunResult r = Run({"--resume", "-p"}, {"one.eml", "two.eml", "three.eml"});
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    EXPECT_NE(r.Out().find(U("記録により完了済みのメール 1 通を処理しませんでした。\n")),
              std::u16string::npos);
    const std::string folder = Out() + "/taro@example.jp/2017-01-03/";
    EXPECT_FALSE(fs::exists(folder + "one.txt"));
    EXPECT_EQ(ReadFile(folder + "two.txt"), "two");
    EXPECT_EQ(ReadFile(folder + "three.txt"), "three");
    size_t cut = 0;
    const std::vector<nlohmann::json> records = Records(ManifestPath(), &cut);
    EXPECT_EQ(cut, 1u); // the cut line stays, on a line of its own
    EXPECT_EQ(records.back()["passed_over"], 1);
    EXPECT_EQ(records.back()["mails_done"], 2);
    // A third run finds all three done.
    RunResult last = Run({"--resume"}, {"one.eml", "two.eml", "three.eml"});
    EXPECT_NE(last.Out().find(U("記録により完了済みのメール 3 通を処理しませんでした。\n")),
              std::u16string::npos);
}

TEST_F(Manifest, ArchiveMessagesAreRecordedByNumberAndOffset) {
    const std::string first = "From a@example.jp Tue Jan  3 10:05:00 2017\n" +
                              MailWith({kBody, Base64Part("text/plain", "one.txt", "one")}) + "\n";
    const std::string second = "From a@example.jp Tue Jan  3 10:06:00 2017\n" +
                               MailWith({kBody, Base64Part("text/plain", "two.txt", "two")});
    WriteFile(Path("box"), first + second);
    ASSERT_EQ(Run({}, {"box"}).exit_code, 0);
    std::vector<nlohmann::json> mails = OfType(Records(ManifestPath()), "mail");
    ASSERT_EQ(mails.size(), 2u);
    EXPECT_EQ(mails[0]["source"], Path("box"));
    EXPECT_EQ(mails[0]["message"], 1);
    EXPECT_EQ(mails[0]["offset"], 0);
    EXPECT_EQ(mails[1]["message"], 2);
    EXPECT_EQ(mails[1]["offset"], first.size());
    const std::vector<nlohmann::json> files = OfType(Records(ManifestPath()), "file");
    ASSERT_EQ(files.size(), 2u);
    EXPECT_EQ(files[1]["message"], 2);
    EXPECT_EQ(files[1]["offset"], first.size());

    // Resumed: both messages are passed over, one by one.
    RunResult again = Run({"--resume"}, {"box"});
    EXPECT_NE(again.Out().find(U("記録により完了済みのメール 2 通を処理しませんでした。\n")),
              std::u16string::npos);
    EXPECT_EQ(OfType(Records(ManifestPath()), "file").size(), 2u);
}

TEST_F(Manifest, ProgressAndSummaryCountDuplicatesAndPassedOverMails) {
    const std::string same = NoiseBytes(1000, 4);
    for (const char* name : {"m1.eml", "m2.eml", "m3.eml"})
        WriteFile(Path(name), MailWith({kBody, Base64Part("image/png", "a.png", same)}));
    RunResult r =
        RunOnTerminal({"-m", "m.jsonl", "--dedupe=link", "-o", "out", "m1.eml", "m2.eml"}, {}, root);
    ASSERT_EQ(r.exit_code, 0) << r.out_bytes;
    EXPECT_NE(r.out_bytes.find("\r1/2 通  "), std::string::npos) << r.out_bytes;
    EXPECT_NE(r.out_bytes.find("  重複 0  済 0  m2.eml"), std::string::npos) << r.out_bytes;
    EXPECT_NE(r.out_bytes.find("重複 1 ファイル、記録により飛ばしたメール 0 通。\r\n"), std::string::npos)
        << r.out_bytes;

    r = RunOnTerminal(
        {"--manifest", "m.jsonl", "--resume", "--dedupe", "skip", "-o", "out", "m1.eml", "m2.eml", "m3.eml"},
        {"LC_ALL=C"}, root);
    ASSERT_EQ(r.exit_code, 0) << r.out_bytes;
    EXPECT_NE(r.out_bytes.find("\r0/3 mails  0.0 MB/s  -:-- left  0 duplicates  0 passed over  m1.eml"),
              std::string::npos)
        << r.out_bytes;
    EXPECT_NE(r.out_bytes.find("1 duplicate files, 2 mails passed over as recorded done.\r\n"),
              std::string::npos)
        << r.out_bytes;
    EXPECT_NE(r.out_bytes.find("Passed over 2 mails that the manifest records as done.\r\n"),
              std::string::npos);
}

TEST_F(Manifest, RefusedManifests) {
    WriteFile(Path("a.eml"), MailWith({Base64Part("text/plain", "a.txt", "a")}));
    ASSERT_EQ(Run({}, {"a.eml"}).exit_code, 0);
    const std::string before = ReadFile(ManifestPath());
    RunResult other =
        RunDornick({"--manifest", ManifestPath(), "--resume", "-o", Path("elsewhere"), Path("a.eml")});
    EXPECT_EQ(other.exit_code, 2);
    EXPECT_EQ(other.Err(),
              U("マニフェストは別の出力先のものです。\n->" + ManifestPath() + "\n->" + Out() + "\n"));
    EXPECT_EQ(ReadFile(ManifestPath()), before);
    EXPECT_FALSE(fs::exists(Path("elsewhere")));

    WriteFile(Path("notes.txt"), "shopping list\nmilk\n");
    RunResult not_json = RunDornick({"-m", Path("notes.txt"), "-o", Out(), Path("a.eml")});
    EXPECT_EQ(not_json.exit_code, 2);
    EXPECT_EQ(not_json.Err(), U("マニフェストの形式ではありません。\n->" + Path("notes.txt") + "\n"));
    EXPECT_EQ(ReadFile(Path("notes.txt")), "shopping list\nmilk\n");

    RunResult alone = RunDornick({"--resume", Path("a.eml")});
    EXPECT_EQ(alone.exit_code, 2);
    RunResult bad_mode = RunDornick({"--dedupe", "hard", Path("a.eml")});
    EXPECT_EQ(bad_mode.exit_code, 2);
}

// 100,000 parts with DORNICK_LONG_TESTS set, a tenth of them otherwise; the output goes to memory
// where it can, since the time is the file system's.
TEST_F(Manifest, HundredThousandAttachmentsInOneMail) {
    const int kParts = std::getenv("DORNICK_LONG_TESTS") ? 100000 : 10000;
    const std::string out =
        fs::is_directory("/dev/shm") ? "/dev/shm/dornick-manifest-" + std::to_string(::getpid()) : Out();
    struct Removed {
        std::string path;
        ~Removed() { fs::remove_all(path); }
    } removed{out};
    std::string mail = "From: a@example.jp\r\nDate: Tue, 3 Jan 2017 10:05:00 +0900\r\n"
                       "Content-Type: multipart/mixed; boundary=z\r\n\r\n";
    for (int i = 0; i < kParts; ++i)
        mail += "--z\r\nContent-Type: application/octet-stream; name=f.bin\r\n"
                "Content-Transfer-Encoding: base64\r\n\r\nAAAA\r\n";
    mail += "--z--\r\n";
    WriteFile(Path("big.eml"), mail);
    RunResult r = RunDornick({"--dedupe", "link", "-m", ManifestPath(), "-o", out, Path("big.eml")});
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const std::vector<nlohmann::json> records = Records(ManifestPath());
    // The first part of a mail is its body text, and is not written.
    const int files = kParts - 1;
    ASSERT_EQ(records.size(), files + 2u);
    EXPECT_EQ(fs::hard_link_count(out + "/a@example.jp/2017-01-03/f.bin"), static_cast<uintmax_t>(files));
    EXPECT_EQ(records[0]["part"], "2");
    EXPECT_EQ(records[files - 1]["part"], std::to_string(kParts));
    EXPECT_EQ(records[files - 1]["duplicate_of"], "a@example.jp/2017-01-03/f.bin");
    EXPECT_EQ(records[files]["files"], files);
    EXPECT_EQ(records[files + 1]["duplicates"], files - 1);
}

} // namespace
} // namespace e2e

// The records of files taken out of containers (a winmail.dat or a message file stored in a mail,
// or given on its own), and --dedupe on them: the manifest against the tree, part paths one level
// below the container's, the mail's fields on every file, links and dropped duplicates.

#include <filesystem>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "mail_builder.h"
#include "manifest_records.h"
#include "msg_writer.h"
#include "run_program.h"
#include "tnef_writer.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using RecordList = std::vector<nlohmann::json>;

// "part name" of each file record, in order.
std::vector<std::string> PartsAndNames(const RecordList& files) {
    std::vector<std::string> parts;
    for (const nlohmann::json& file : files)
        parts.push_back(file["part"].get<std::string>() + " " + file["name"].get<std::string>());
    return parts;
}

const std::string kPdf = NoiseBytes(6000, 11);
const std::string kNotes = NoiseBytes(300, 12);
const std::string kSheet = NoiseBytes(2500, 13);
const std::string kText = NoiseBytes(40, 14);
constexpr int64_t kSubmitTime = 1714964400; // 2024-05-06 12:00:00 in Japan

// Two attachments; the first is renamed to its long name after it was written.
std::string Winmail(const std::string& first = kPdf) {
    return tnef_test::TnefWriter()
        .Header(1252)
        .RendData()
        .Title("REPORT~1.PDF")
        .Data(first)
        .Attachment(tnef_test::PropertyList().String8(0x3707, "report 2020.pdf"))
        .RendData()
        .Title("notes.txt")
        .Data(kNotes)
        .Bytes();
}

// Three attachments, the second without a name (it gives no file but takes its number).
std::string MessageFile(const std::string& first = kSheet) {
    msg_test::MsgLayout layout;
    layout.smtp_sender = u"hanako@example.jp";
    layout.submit_time = kSubmitTime;
    layout.attachments.push_back({u"見積.xlsx", "", u"", "", 1, first});
    layout.attachments.push_back({u"", "", u"", "", 1, "nameless"});
    layout.attachments.push_back({u"b.txt", "", u"", "", 1, kText});
    return msg_test::WriteMsg(layout);
}

const Part kBody{{"Content-Type: text/plain"}, "body\r\n"};
const char kMailFolder[] = "taro@example.jp/2017-01-03/";

std::string MailWithContainers(const std::vector<Part>& before = {}, const std::vector<Part>& after = {}) {
    std::vector<std::string> header = TopHeader();
    header.back() = "Subject: containers";
    header.push_back("Message-ID: <c@example.jp>");
    std::vector<Part> parts = {kBody};
    parts.insert(parts.end(), before.begin(), before.end());
    parts.push_back(Base64Part("application/ms-tnef", "winmail.dat", Winmail()));
    parts.push_back(Base64Part("application/vnd.ms-outlook", "m.msg", MessageFile()));
    parts.insert(parts.end(), after.begin(), after.end());
    return MultipartMail(header, "b1", parts);
}

class ContainerRecords : public TempDir {
  protected:
    std::string Out() const { return root + "/out"; }
    std::string ManifestPath() const { return root + "/m.jsonl"; }
    RunResult Run(std::vector<std::string> options, const std::vector<std::string>& inputs) {
        options.insert(options.end(), {"--manifest", ManifestPath(), "-o", Out()});
        for (const std::string& input : inputs)
            options.push_back(Path(input));
        return RunDornick(options);
    }
    std::map<std::string, nlohmann::json> CheckAgainstTree(const RecordList& files) const {
        return RecordsMatchTree(Out(), files);
    }
};

TEST_F(ContainerRecords, FilesOfStoredContainersAreRecordedBelowTheContainersPart) {
    WriteFile(Path("a.eml"), MailWithContainers());
    RunResult r = Run({}, {"a.eml"});
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const RecordList records = Records(ManifestPath());
    const RecordList files = OfType(records, "file");
    EXPECT_EQ(PartsAndNames(files),
              (std::vector<std::string>{"2 winmail.dat", "2.1 report 2020.pdf", "2.2 notes.txt", "3 m.msg",
                                        "3.1 見積.xlsx", "3.3 b.txt"}));
    std::map<std::string, nlohmann::json> by_path = CheckAgainstTree(files);
    const std::string folder = kMailFolder;
    EXPECT_EQ(by_path.count(folder + "winmail.dat(expand)/report 2020.pdf"), 1u);
    EXPECT_EQ(by_path.count(folder + "m.msg(expand)/見積.xlsx"), 1u);
    EXPECT_EQ(by_path[folder + "m.msg(expand)/b.txt"]["sha256"], Sha256Of(kText));
    const nlohmann::json mail = OfType(records, "mail").at(0);
    EXPECT_EQ(mail["files"], 6);
    // Every file carries the fields of its mail; a container's file has no type or encoding.
    for (const nlohmann::json& file : files) {
        SCOPED_TRACE(file["part"]);
        for (const char* key : {"source", "message", "offset", "message_id", "from", "date", "subject"})
            EXPECT_EQ(file[key], mail[key]) << key;
        EXPECT_EQ(file["message_id"], "<c@example.jp>");
        EXPECT_EQ(file["subject"], "containers");
        EXPECT_EQ(file["duplicate_of"], nullptr);
        EXPECT_EQ(file["content_type"].is_null(),
                  file["part"].get<std::string>().find('.') != std::string::npos);
    }
}

// Records are made on the writer thread behind the decoding: over many mails of small, shared and
// multi-piece files, with a mail of containers among them, each mail's file records still come in
// its part order, before its own record, and mails in the order given; a file shared by every mail
// is linked to its first copy each time.
TEST_F(ContainerRecords, RecordsKeepTheirOrderWhileTheWriterIsBehind) {
    const std::string shared = NoiseBytes(5000, 40);
    std::vector<std::string> inputs;
    std::vector<std::vector<std::string>> expected; // each mail's parts and names
    for (int i = 0; i < 40; ++i) {
        const std::string n = std::to_string(i);
        inputs.push_back("m" + std::string(i < 10 ? "0" : "") + n + ".eml");
        if (i == 17) {
            WriteFile(Path(inputs.back()), MailWithContainers());
            expected.push_back({"2 winmail.dat", "2.1 report 2020.pdf", "2.2 notes.txt", "3 m.msg",
                                "3.1 見積.xlsx", "3.3 b.txt"});
            continue;
        }
        std::vector<Part> parts = {
            kBody, Base64Part("application/octet-stream", "u" + n + ".bin", NoiseBytes(1000 + i, 100 + i)),
            Base64Part("application/octet-stream", "shared.bin", shared)};
        expected.push_back({"2 u" + n + ".bin", "3 shared.bin"});
        // Every third mail has a file of more than one piece.
        if (i % 3 == 0) {
            parts.push_back(
                Base64Part("application/octet-stream", "big" + n + ".bin", NoiseBytes(300000, 200 + i)));
            expected.back().push_back("4 big" + n + ".bin");
        }
        std::vector<std::string> header = TopHeader();
        header.back() = "Subject: mail " + n;
        WriteFile(Path(inputs.back()), MultipartMail(header, "b1", parts));
    }
    RunResult r = Run({"--dedupe", "link"}, inputs);
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const RecordList records = Records(ManifestPath());
    size_t at = 0;
    std::string first_shared;
    for (size_t mail = 0; mail < inputs.size(); ++mail) {
        SCOPED_TRACE(inputs[mail]);
        RecordList files;
        while (at < records.size() && records[at]["type"] == "file")
            files.push_back(records[at++]);
        EXPECT_EQ(PartsAndNames(files), expected[mail]);
        ASSERT_LT(at, records.size());
        const nlohmann::json& own = records[at++];
        EXPECT_EQ(own["type"], "mail");
        EXPECT_EQ(own["source"], Path(inputs[mail]));
        EXPECT_EQ(own["files"], files.size());
        for (const nlohmann::json& file : files) {
            EXPECT_EQ(file["source"], own["source"]);
            if (file["name"] != "shared.bin") continue;
            if (first_shared.empty()) {
                first_shared = file["path"];
                EXPECT_TRUE(file["duplicate_of"].is_null());
            } else {
                EXPECT_EQ(file["duplicate_of"], first_shared);
                EXPECT_EQ(Inode(Out() + "/" + file["path"].get<std::string>()),
                          Inode(Out() + "/" + first_shared));
            }
        }
    }
    ASSERT_LT(at, records.size());
    EXPECT_EQ(records[at]["type"], "run");
    CheckAgainstTree(OfType(records, "file"));
}

TEST_F(ContainerRecords, ContainerInsideAnAttachedMailIsOneLevelBelowItsPart) {
    const std::string inner = MultipartMail(
        TopHeader(), "c1", {kBody, Base64Part("application/ms-tnef", "winmail.dat", Winmail())});
    WriteFile(Path("a.eml"),
              MultipartMail(TopHeader(), "b1", {kBody, Part{{"Content-Type: message/rfc822"}, inner}}));
    RunResult r = Run({"--recurse"}, {"a.eml"});
    ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
    const RecordList records = Records(ManifestPath());
    const RecordList files = OfType(records, "file");
    EXPECT_EQ(PartsAndNames(files),
              (std::vector<std::string>{"2.2 winmail.dat", "2.2.1 report 2020.pdf", "2.2.2 notes.txt"}));
    CheckAgainstTree(files);
    EXPECT_EQ(OfType(records, "mail").at(0)["files"], 3);
}

TEST_F(ContainerRecords, ContainersGivenOnTheirOwnAreMailsOfTheirOwn) {
    struct Row {
        const char* name;
        std::string bytes;
        std::vector<std::string> parts;
        nlohmann::json from;
        std::string folder; ///< where the files go below the root
    };
    const Row rows[] = {
        {"winmail.dat", Winmail(), {"1.1 report 2020.pdf", "1.2 notes.txt"}, nullptr, ""},
        {"m.msg", MessageFile(), {"1.1 見積.xlsx", "1.3 b.txt"}, "hanako@example.jp", "hanako@example.jp/"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::remove_all(Out());
        fs::remove(ManifestPath());
        WriteFile(Path(row.name), row.bytes);
        RunResult r = Run({}, {row.name});
        ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
        const RecordList records = Records(ManifestPath());
        const RecordList files = OfType(records, "file");
        EXPECT_EQ(PartsAndNames(files), row.parts);
        CheckAgainstTree(files);
        for (const nlohmann::json& file : files) {
            EXPECT_EQ(file["source"], Path(row.name));
            EXPECT_EQ(file["message"], 1);
            EXPECT_EQ(file["offset"], 0);
            EXPECT_EQ(file["from"], row.from);
            EXPECT_EQ(file["path"].get<std::string>().rfind(row.folder, 0), 0u) << file["path"];
        }
        const RecordList mails = OfType(records, "mail");
        ASSERT_EQ(mails.size(), 1u);
        EXPECT_EQ(mails[0]["source"], Path(row.name));
        EXPECT_EQ(mails[0]["files"], 2);
        EXPECT_EQ(mails[0]["status"], "done");
        EXPECT_EQ(mails[0]["from"], row.from);

        // Resumed, the container is passed over and the tree stays as it is.
        const std::vector<std::string> tree = ListTree(Out());
        RunResult again = Run({"--resume"}, {row.name});
        ASSERT_EQ(again.exit_code, 0) << again.err_bytes;
        EXPECT_NE(again.Out().find(U("記録により完了済みのメール 1 通を処理しませんでした。\n")),
                  std::u16string::npos);
        EXPECT_EQ(ListTree(Out()), tree);
        EXPECT_EQ(OfType(Records(ManifestPath()), "file").size(), 2u);
    }
}

TEST_F(ContainerRecords, DedupeLinksOrDropsContainerFiles) {
    // The mail holds the winmail.dat's first file and the message file's first file as plain
    // attachments too, and (part 7) another container holding only the first; a second mail is the
    // same.
    const std::string other = tnef_test::TnefWriter().Header().RendData().Title("a.pdf").Data(kPdf).Bytes();
    const std::string mail = MailWithContainers(
        {Base64Part("application/pdf", "x.pdf", kPdf), Base64Part("text/plain", "s.xlsx", kSheet)},
        {Base64Part("application/ms-tnef", "w2.dat", other)});
    WriteFile(Path("one.eml"), mail);
    WriteFile(Path("two.eml"), mail);
    const std::string folder = Out() + "/" + kMailFolder;
    std::map<std::string, std::string> linked_paths; // "message part" -> path, from the link run
    for (const char* mode : {"link", "skip"}) {
        SCOPED_TRACE(mode);
        const bool link = std::string(mode) == "link";
        fs::remove_all(Out());
        fs::remove(ManifestPath());
        RunResult r = Run({"--dedupe", mode}, {"one.eml", "two.eml"});
        ASSERT_EQ(r.exit_code, 0) << r.err_bytes;
        const RecordList files = OfType(Records(ManifestPath()), "file");
        CheckAgainstTree(files);
        std::map<std::string, nlohmann::json> by_part; // "mail part"
        for (const nlohmann::json& file : files)
            by_part[file["source"].get<std::string>() + " " + file["part"].get<std::string>()] = file;
        const std::string one = Path("one.eml") + " ", two = Path("two.eml") + " ";
        // Within the first mail the containers' first files repeat the plain attachments.
        EXPECT_EQ(by_part[one + "4.1"]["duplicate_of"], std::string(kMailFolder) + "x.pdf");
        EXPECT_EQ(by_part[one + "5.1"]["duplicate_of"], std::string(kMailFolder) + "s.xlsx");
        EXPECT_EQ(by_part[one + "4.2"]["duplicate_of"], nullptr);
        if (link) {
            EXPECT_EQ(Inode(folder + "winmail.dat(expand)/report 2020.pdf"), Inode(folder + "x.pdf"));
            EXPECT_EQ(Inode(folder + "m.msg(expand)/見積.xlsx"), Inode(folder + "s.xlsx"));
            // The second mail's containers are links too, and so are the files taken out of them.
            EXPECT_EQ(by_part[two + "4.2"]["duplicate_of"],
                      std::string(kMailFolder) + "winmail.dat(expand)/notes.txt");
            EXPECT_EQ(Inode(folder + "w2.dat(expand)/a.pdf"), Inode(folder + "x.pdf"));
            EXPECT_EQ(by_part.size(), 20u); // ten files a mail
            for (const auto& [key, file] : by_part)
                linked_paths[key] = file["path"];
            continue;
        }
        EXPECT_EQ(by_part[one + "4.1"]["path"], nullptr);
        EXPECT_FALSE(fs::exists(folder + "winmail.dat(expand)/report 2020.pdf"));
        EXPECT_TRUE(fs::exists(folder + "winmail.dat(expand)/notes.txt"));
        // The second mail's containers are dropped whole: their files are the first copies'.
        EXPECT_EQ(by_part[two + "4"]["path"], nullptr);
        EXPECT_EQ(by_part.count(two + "4.1"), 0u);
        EXPECT_EQ(by_part.size(), 15u);
        // A container all of whose files are dropped leaves no folder.
        EXPECT_EQ(by_part[one + "7.1"]["path"], nullptr);
        EXPECT_FALSE(fs::exists(folder + "w2.dat(expand)"));
        // No bytes stand twice, and every file kept has the name it has when duplicates are kept.
        std::set<std::string> hashes;
        for (const auto& [key, file] : by_part) {
            if (file["path"].is_null()) continue;
            EXPECT_TRUE(hashes.insert(file["sha256"].get<std::string>()).second) << key;
            EXPECT_EQ(file["path"], linked_paths[key]) << key;
        }
    }
}

} // namespace
} // namespace e2e

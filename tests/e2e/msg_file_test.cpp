// Message files (".msg") end to end: on their own (sender and date folders from their properties
// or transport headers, names in Unicode and in code page 932, embedded messages), attached to a
// mail (expanded beside the stored file), hostile files, and the real message files of the corpus.

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <sys/stat.h>

#include "mail_builder.h"
#include "msg_writer.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using msg_test::AttachmentSpec;
using msg_test::MsgLayout;
using msg_test::Utf16;

constexpr int64_t kSubmitTime = 1714964400;                         // 2024-05-06 12:00:00 in Japan
const std::string kEstimateCp932 = "\x8C\xA9\x90\xCF\x8F\x91.xlsx"; // 見積書.xlsx
const Part kTextBody{{"Content-Type: text/plain; charset=UTF-8"}, "see the attachment.\r\n"};

class MsgFile : public TempDir {
  protected:
    RunResult Run(const std::vector<std::string>& files, std::vector<std::string> options = {}) {
        options.push_back("/O");
        options.push_back(Out(""));
        for (const std::string& file : files)
            options.push_back(Path(file));
        return RunDornick(options);
    }
    std::string Out(const std::string& relative) const {
        return root + "/out" + (relative.empty() ? "" : "/" + relative);
    }
    // The files of the output tree, without its folders.
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const std::string& path : ListTree(Out("")))
            if (!path.ends_with("/")) files.push_back(path);
        return files;
    }
    static time_t ModifiedAt(const std::string& path) {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mtime;
    }
};

TEST_F(MsgFile, StandAloneMessageGivesItsAttachmentsInSenderAndDateFolders) {
    auto forwarded = std::make_shared<MsgLayout>();
    forwarded->code_page = 932;
    forwarded->attachments.push_back({u"", kEstimateCp932, u"", "", 1, NoiseBytes(5000, 4)});
    MsgLayout layout;
    layout.smtp_sender = u"taro@example.jp";
    layout.submit_time = kSubmitTime;
    layout.delivery_time = kSubmitTime + 86400 * 3; // not used: the submit time comes first
    layout.code_page = 932;
    layout.attachments.push_back(
        {Utf16("議事録 2024.docx"), "", u"GIJIRO~1.DOC", "", 1, NoiseBytes(7000, 1)});
    layout.attachments.push_back({u"", "\x95\xF1\x8D\x90\x8F\x91.pdf", u"", "", 1, NoiseBytes(300, 2)});
    layout.attachments.push_back({u"../../x", "", u"", "", 1, "escape"});
    layout.attachments.push_back({u"a\x01\x1F"
                                  u"b.txt",
                                  "", u"", "", 1, "controls"});
    AttachmentSpec embedded;
    embedded.method = 5;
    embedded.embedded = forwarded;
    layout.attachments.push_back(embedded);
    WriteFile(Path("見積.msg"), msg_test::WriteMsg(layout));

    const RunResult r = Run({"見積.msg"}, {"/P"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string folder = "taro@example.jp/2024-05-06/";
    EXPECT_EQ(Files(),
              (std::vector<std::string>{folder + ".._.._x", folder + "a__b.txt", folder + "報告書.pdf",
                                        folder + "見積書.xlsx", folder + "議事録 2024.docx"}));
    EXPECT_EQ(ReadFile(Out(folder + "議事録 2024.docx")), NoiseBytes(7000, 1));
    EXPECT_EQ(ReadFile(Out(folder + "報告書.pdf")), NoiseBytes(300, 2));
    EXPECT_EQ(ReadFile(Out(folder + "見積書.xlsx")), NoiseBytes(5000, 4));
    EXPECT_EQ(ModifiedAt(Out(folder + "見積書.xlsx")), kSubmitTime);
    EXPECT_NE(r.Out().find(u"\t-> \"議事録 2024.docx\"\n"), std::u16string::npos);
}

TEST_F(MsgFile, SenderAndDateFallBackToTheTransportHeadersThenToUnknown) {
    struct Row {
        const char* what;
        std::string headers;
        std::optional<int64_t> delivery;
        std::string folder;
    };
    const std::vector<Row> rows = {
        {"headers",
         "Return-Path: <hanako@example.jp>\r\nFrom: Hanako <hanako@example.jp>\r\n"
         "Date: Tue, 7 May 2024 09:30:00 +0900\r\nSubject: x\r\n\r\n",
         std::nullopt, "hanako@example.jp/2024-05-07/"},
        {"delivery time over the header's date",
         "From: jiro@example.jp\r\nDate: Tue, 7 May 2024 09:30:00 +0900\r\n\r\n", kSubmitTime,
         "jiro@example.jp/2024-05-06/"},
        {"nothing", "", std::nullopt, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        fs::remove_all(Out(""));
        MsgLayout layout;
        layout.transport_headers = row.headers;
        layout.delivery_time = row.delivery;
        layout.attachments.push_back({u"a.txt", "", u"", "", 1, "a"});
        WriteFile(Path("m.msg"), msg_test::WriteMsg(layout));
        const RunResult r = Run({"m.msg"});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(Files(), std::vector<std::string>{row.folder + "a.txt"});
    }
}

TEST_F(MsgFile, MessageAttachedToAMailIsExpandedBesideIt) {
    MsgLayout layout;
    layout.code_page = 932;
    layout.attachments.push_back({u"", kEstimateCp932, u"", "", 1, NoiseBytes(900, 7)});
    layout.attachments.push_back({Utf16("図面.png"), "", u"", "", 1, NoiseBytes(400, 8)});
    const std::string message = msg_test::WriteMsg(layout);
    WriteFile(Path("mail.eml"),
              MultipartMail(TopHeader(), "b1",
                            {kTextBody, Base64Part("application/vnd.ms-outlook", "転送.msg", message),
                             Base64Part("application/octet-stream", "fw.MSG", message),
                             Base64Part("application/octet-stream", "plain.msg", "not a compound file")}));
    const RunResult r = Run({"mail.eml"});
    EXPECT_EQ(r.exit_code, 0);
    const std::string folder = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(Files(), (std::vector<std::string>{folder + "fw.MSG", folder + "fw.MSG(expand)/図面.png",
                                                 folder + "fw.MSG(expand)/見積書.xlsx", folder + "plain.msg",
                                                 folder + "転送.msg", folder + "転送.msg(expand)/図面.png",
                                                 folder + "転送.msg(expand)/見積書.xlsx"}));
    for (const std::string stored : {"転送.msg", "fw.MSG"}) {
        SCOPED_TRACE(stored);
        EXPECT_EQ(ReadFile(Out(folder + stored)), message);
        EXPECT_EQ(ReadFile(Out(folder + stored + "(expand)/見積書.xlsx")), NoiseBytes(900, 7));
        EXPECT_EQ(ReadFile(Out(folder + stored + "(expand)/図面.png")), NoiseBytes(400, 8));
    }
    EXPECT_NE(r.Err().find(u"フォルダを作成しました。(msg)\n"), std::u16string::npos);
}

TEST_F(MsgFile, HostileFilesGiveAMessageAndTheRunGoesOn) {
    MsgLayout good;
    good.smtp_sender = u"taro@example.jp";
    good.submit_time = kSubmitTime;
    good.attachments.push_back({u"kept.txt", "", u"", "", 1, std::string(30000, 'k')});
    const std::string file = msg_test::WriteMsg(good);
    std::string huge = file;
    ASSERT_TRUE(msg_test::SetDeclaredSize(huge, "__properties_version1.0", 0xFFFFFFF0u));
    WriteFile(Path("truncated.msg"), file.substr(0, 700));
    WriteFile(Path("huge.msg"), huge);
    WriteFile(Path("nested.msg"), msg_test::WriteMsg(*msg_test::NestedMessage(40)));
    WriteFile(Path("mail.msg"),
              MultipartMail(TopHeader(), "b1", {kTextBody, Base64Part("image/png", "p.png", "PNG")}));
    WriteFile(Path("good.msg"), file);
    WriteFile(Path("wide.msg"), msg_test::WriteBareStorages(100000, msg_test::StorageShape::Chain));

    const RunResult r = Run({"truncated.msg", "huge.msg", "nested.msg", "mail.msg", "wide.msg", "good.msg"});
    const std::u16string err = r.Err();
    EXPECT_NE(
        err.find(u"メッセージファイルが壊れているため読み込めませんでした。\n->" + U(Path("truncated.msg"))),
        std::u16string::npos)
        << std::string(err.begin(), err.end());
    EXPECT_NE(err.find(u"メッセージファイルの一部が壊れていて読めませんでした。"), std::u16string::npos);
    EXPECT_NE(
        err.find(u"埋め込みメッセージの入れ子が深すぎるため、32 段より深いものは開きませんでした。\n->" +
                 U(Path("nested.msg"))),
        std::u16string::npos);
    EXPECT_NE(err.find(u"メッセージファイルの添付ファイルが多すぎるため、100000 個を読み飛ばしました。\n->" +
                       U(Path("wide.msg"))),
              std::u16string::npos);
    const std::vector<std::string> tree = Files();
    // The mail named ".msg" is read as a mail; the good file after the bad ones is extracted.
    EXPECT_NE(std::find(tree.begin(), tree.end(), "taro@example.jp/2024-05-06/kept.txt"), tree.end());
    EXPECT_TRUE(
        std::any_of(tree.begin(), tree.end(), [](const std::string& p) { return p.ends_with("/p.png"); }));
    EXPECT_TRUE(std::any_of(tree.begin(), tree.end(),
                            [](const std::string& p) { return p.ends_with("level32.txt"); }));
    EXPECT_FALSE(std::any_of(tree.begin(), tree.end(),
                             [](const std::string& p) { return p.ends_with("level33.txt"); }));
}

// The real message files: every one runs to its end in bounded time, and what it writes has a
// plain name and is no larger than the file it came from.
TEST_F(MsgFile, CorpusMessagesRunWithoutACrash) {
    const fs::path corpus = "/work/shared/corpus/msg";
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    size_t files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        SCOPED_TRACE(entry.path().string());
        fs::remove_all(Out(""));
        const auto start = std::chrono::steady_clock::now();
        const RunResult r = RunDornick({"/O", Out(""), entry.path().string()});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
        EXPECT_TRUE(r.exit_code == 0 || r.exit_code == 1) << r.exit_code;
        if (!fs::exists(Out(""))) continue;
        for (const auto& written : fs::recursive_directory_iterator(Out(""))) {
            if (!written.is_regular_file()) continue;
            const std::string name = written.path().filename().string();
            EXPECT_FALSE(name.empty() || name == "." || name == "..");
            EXPECT_LE(written.file_size(), entry.file_size()) << name;
        }
    }
    EXPECT_GE(files, 70u);
}

} // namespace
} // namespace e2e

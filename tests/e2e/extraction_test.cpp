// Extraction end to end: the output tree, the bytes, the names, the file times and the messages.

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;

constexpr time_t kMailTime = 1483405500; // Tue, 3 Jan 2017 10:05:00 in Japan
const Part kTextBody{{"Content-Type: text/plain; charset=UTF-8"}, "Hello,\r\nsee the attachment.\r\n"};

class Extraction : public TempDir {
  protected:
    // Writes the mail, runs dornick on it into <root>/out with the options, returns the result.
    RunResult Extract(const std::string& mail, std::vector<std::string> options = {"/P"},
                      const std::string& name = "mail.eml") {
        WriteFile(Path(name), mail);
        options.push_back("/O");
        options.push_back(Out(""));
        options.push_back(Path(name));
        return RunDornick(options);
    }
    std::string Out(const std::string& relative) const {
        return root + "/out" + (relative.empty() ? "" : "/" + relative);
    }
    std::vector<std::string> Tree() const { return ListTree(Out("")); }
    time_t ModifiedAt(const std::string& relative) const {
        struct stat info {};
        ::stat(Out(relative).c_str(), &info);
        return info.st_mtime;
    }
    std::u16string Progress(const std::string& sender = "taro@example.jp",
                            const std::string& date = "2017-01-03",
                            const std::string& name = "mail.eml") const {
        return u"\"" + U(Path(name)) + u"\" からファイルを抽出中です。<" + U(sender) + u"/" + U(date) +
               u">\n";
    }
    static std::u16string Created(const std::string& folder) {
        return u"フォルダを作成しました。\n->" + U(folder) + u"\n\n";
    }
};

TEST_F(Extraction, TypicalMailGivesOnlyItsAttachment) {
    const std::string data = NoiseBytes(5000);
    const std::string name = "報告書.pdf";
    std::string mail =
        MultipartMail(TopHeader(), "b1", {kTextBody, Base64Part("application/pdf", EncodedWord(name), data)});
    RunResult r = Extract(mail, {"/P", "/L"});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "");
    EXPECT_EQ(Tree(),
              (std::vector<std::string>{"dornick.txt", "taro@example.jp/", "taro@example.jp/2017-01-03/",
                                        "taro@example.jp/2017-01-03/" + name}));
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/" + name)), data);
    EXPECT_EQ(ModifiedAt("taro@example.jp/2017-01-03/" + name), kMailTime);
    const std::u16string listing = Progress() + u"\t-> \"" + U(name) + u"\"\n";
    EXPECT_EQ(r.Out(), Created(Out("")) + listing + u"\n");
    EXPECT_EQ(ReadFile(Out("dornick.txt")), "\xFF\xFE" + PipeBytes(Created(Out("")) + listing + u"\n"));
}

TEST_F(Extraction, ContentOnlyOptionWritesTheNamedBodyToo) {
    Part body{
        {"Content-Type: text/plain; charset=UTF-8; name=\"body.txt\"", "Content-Transfer-Encoding: 7bit"},
        "body text\r\n"};
    std::string mail = MultipartMail(TopHeader(), "b1", {body, Base64Part("image/png", "a.png", "PNG")});
    Extract(mail, {"/CO"});
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/body.txt")), "body text");
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/a.png")), "PNG");
    fs::remove_all(Out(""));
    Extract(mail, {});
    EXPECT_FALSE(fs::exists(Out("taro@example.jp/2017-01-03/body.txt")));
    EXPECT_TRUE(fs::exists(Out("taro@example.jp/2017-01-03/a.png")));
}

TEST_F(Extraction, AlternativeMailWithNoInlineOptionMakesNothing) {
    Part html{{"Content-Type: text/html; charset=UTF-8"}, "<p>hi</p>\r\n"};
    std::string mail = MultipartMail(TopHeader(), "alt", {kTextBody, html}, "multipart/alternative");
    RunResult r = Extract(mail, {"/P", "/NI"});
    EXPECT_EQ(Tree(), std::vector<std::string>{});
    EXPECT_EQ(r.Out(), Created(Out("")));
}

TEST_F(Extraction, InlineImagesAreNamedByTheirContentId) {
    Part html{{"Content-Type: text/html; charset=UTF-8"},
              "<img src=\"cid:logo\"><img src=\"cid:photo.jpg\">\r\n"};
    Part logo{{"Content-Type: image/png", "Content-Transfer-Encoding: base64", "Content-ID: <logo>"},
              Base64Lines("LOGO")};
    Part photo{{"Content-Type: image/jpeg", "Content-Transfer-Encoding: base64", "Content-ID: <photo.jpg>"},
               Base64Lines("PHOTO")};
    std::string mail = MultipartMail(TopHeader(), "rel", {html, logo, photo}, "multipart/related");
    Extract(mail, {});
    // Each part keeps the name of its own Content-ID; ".jpg.jpeg" folds to ".jpg".
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/logo.png")), "LOGO");
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/photo.jpg")), "PHOTO");
    EXPECT_EQ(Tree().size(), 4u);
    fs::remove_all(Out(""));
    Extract(mail, {"/NI"});
    EXPECT_EQ(Tree(), std::vector<std::string>{});
}

TEST_F(Extraction, PartsAreNamedByTheirOwnHeadersOnly) {
    std::string mail =
        MultipartMail(TopHeader(), "b1",
                      {kTextBody, Base64Part("application/octet-stream", "long-name.bin", "first"),
                       Base64Part("application/octet-stream", "b.bin", "second"),
                       Base64Part("application/octet-stream", "b.bin", "third")});
    Extract(mail, {});
    const std::string folder = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(ReadFile(Out(folder + "long-name.bin")), "first");
    EXPECT_EQ(ReadFile(Out(folder + "b.bin")), "second");
    EXPECT_EQ(ReadFile(Out(folder + "b_(1)_.bin")), "third");
}

TEST_F(Extraction, TransferEncodingsOutsideTheTable) {
    Part foo{{"Content-Type: application/octet-stream; name=\"a.bin\"", "Content-Transfer-Encoding: x-foo"},
             "raw line one\r\nraw line two\r\n"};
    Part unnamed_octets{{"Content-Type: application/octet-stream; name=\"skip.bin\""}, "not extracted\r\n"};
    Part named_text{{"Content-Type: text/plain; name=\"note.txt\""}, "plain copy\r\nsecond line\r\n"};
    std::string mail = MultipartMail(TopHeader(), "b1", {kTextBody, foo, unnamed_octets, named_text});
    Extract(mail, {});
    const std::string folder = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(ReadFile(Out(folder + "a.bin.(x-foo).txt")), "raw line one\r\nraw line two");
    EXPECT_EQ(ReadFile(Out(folder + "note.txt")), "plain copy\r\nsecond line");
    EXPECT_FALSE(fs::exists(Out(folder + "skip.bin")));
}

TEST_F(Extraction, ForwardedMailNeedsAForwardName) {
    Part forwarded{{"Content-Type: message/rfc822"}, "From: x@example.com\r\nSubject: fwd\r\n\r\ninner\r\n"};
    std::string mail = MultipartMail(TopHeader(), "b1", {kTextBody, forwarded});
    Extract(mail, {"/FW", "C:\\dir/fwd"});
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/fwd.eml")),
              "From: x@example.com\r\nSubject: fwd\r\n\r\ninner");
    fs::remove_all(Out(""));
    Extract(mail, {});
    EXPECT_EQ(Tree(), std::vector<std::string>{});
}

TEST_F(Extraction, MislabelledQuotedPrintableIsDecodedAgainAsBase64) {
    const std::string data = NoiseBytes(1800);
    Part part{{"Content-Type: application/octet-stream; name=\"data.bin\"",
               "Content-Transfer-Encoding: quoted-printable"},
              Base64Lines(data)};
    std::string mail = MultipartMail(TopHeader(), "b1", {kTextBody, part});
    RunResult r = Extract(mail, {"/P"});
    const std::string folder = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(ReadFile(Out(folder + "data_(1)_.bin")), data);
    EXPECT_EQ(ReadFile(Out(folder + "data.bin")).size(), Base64Lines(data).size() - 2);
    EXPECT_EQ(r.Out(), Created(Out("")) + Progress() +
                           u"\t-> \"data.bin\"\n\t-> Base64で再デコードしています...\n" +
                           u"\t-> \"data_(1)_.bin\"\n\n");
}

TEST_F(Extraction, Gzip64IsInflated) {
    const std::string data = std::string(3000, 'z') + NoiseBytes(100);
    Part part{{"Content-Type: application/octet-stream; name=\"z.txt\"", "Content-Transfer-Encoding: gzip64"},
              Base64Lines(Gzip(data))};
    Part broken{
        {"Content-Type: application/octet-stream; name=\"broken.txt\"", "Content-Transfer-Encoding: gzip64"},
        Base64Lines(Gzip(data).substr(0, 40))};
    Extract(MultipartMail(TopHeader(), "b1", {kTextBody, part}), {});
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/z.txt")), data);
    RunResult r = Extract(MultipartMail(TopHeader(), "b1", {kTextBody, broken}), {});
    EXPECT_EQ(r.Err(), u"gzipinflate内でエラーが発生しました。\n->broken.txt\n");
}

TEST_F(Extraction, FolderOptions) {
    std::string mail = MultipartMail(TopHeader(), "b1", {kTextBody, Base64Part("text/plain", "a.txt", "A")});
    RunResult r = Extract(mail, {"/P", "/RF"});
    EXPECT_EQ(ReadFile(Out("2017-01-03/taro@example.jp/a.txt")), "A");
    EXPECT_NE(r.Out().find(u"<2017-01-03/taro@example.jp>"), std::u16string::npos);
    fs::remove_all(Out(""));
    r = Extract(mail, {"/P", "/NN", "/ND"});
    EXPECT_EQ(Tree(), std::vector<std::string>{"a.txt"});
    EXPECT_NE(r.Out().find(u"<taro@example.jp/2017-01-03>"), std::u16string::npos);
    fs::remove_all(Out(""));
    Extract(mail, {"/ND"});
    EXPECT_EQ(Tree(), (std::vector<std::string>{"taro@example.jp/", "taro@example.jp/a.txt"}));
}

// The date folder and the files' time always name the same day: a date read whole gives both, a
// text that is no whole date gives neither (the folder keeps the text, the files keep the time
// they were written at).
TEST_F(Extraction, DateFolderAndFileTimeAgree) {
    struct Row {
        const char* date;
        const char* folder;
        time_t time; // 0: not the mail's, the moment of writing
    };
    const Row rows[] = {
        {"Tue, 3 Jan 2017 10:05:00 +0900", "2017-01-03", kMailTime},
        {"2026-12-07T10:00:00+09:00", "2026-12-07", 1796605200},
        {"2026/12/07 10:00 +0900", "2026-12-07", 1796605200},
        {"Mon, 7 Dec 2026 1:15:30 +0000", "2026-12-07", 1796606130},
        {"Mon, 30 Feb 2026 10:00:00 +0900", "Date_ Mon, 30 Feb 2026 10_00_00 +0900", 0},
        {"Dec 2026", "Date_ Dec 2026", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.date);
        fs::remove_all(Out(""));
        std::vector<std::string> header = TopHeader();
        header[3] = std::string("Date: ") + row.date;
        const time_t before = ::time(nullptr);
        Extract(MultipartMail(header, "b1", {kTextBody, Base64Part("text/plain", "a.txt", "A")}), {});
        const std::string file = std::string("taro@example.jp/") + row.folder + "/a.txt";
        EXPECT_EQ(ReadFile(Out(file)), "A");
        if (row.time)
            EXPECT_EQ(ModifiedAt(file), row.time);
        else
            EXPECT_GE(ModifiedAt(file), before);
    }
}

TEST_F(Extraction, ReturnPathAndFromThatDiffer) {
    std::vector<std::string> header = {"Return-Path: <bounce@example.net>", "From: Taro <taro@example.jp>",
                                       "Date: Tue, 3 Jan 2017 10:05:00 +0900"};
    RunResult r =
        Extract(MultipartMail(header, "b1", {kTextBody, Base64Part("text/plain", "a.txt", "A")}), {"/P"});
    EXPECT_EQ(
        r.Out(),
        Created(Out("")) + Progress() +
            u"このメールは Return-Path と From の内容が異なります。\nReturn-Path: bounce@example.net\n-> "
            u"From: taro@example.jp\n\t-> \"a.txt\"\n\n");
    EXPECT_TRUE(fs::exists(Out("taro@example.jp/2017-01-03/a.txt")));

    header = {"From: Taro <taro@example.jp>", "Date: Tue, 3 Jan 2017 10:05:00 +0900"};
    r = Extract(MultipartMail(header, "b1", {kTextBody, Base64Part("text/plain", "b.txt", "B")}), {"/P"});
    EXPECT_EQ(r.Out(), Progress() +
                           u"このメールは Return-Path と From の内容が異なります。\nReturn-Path: \n-> From: "
                           u"taro@example.jp\n\t-> \"b.txt\"\n\n");
}

TEST_F(Extraction, BeginBase64BlockInAPlainMailWithoutHeaders) {
    const std::string data = NoiseBytes(300);
    std::string mail =
        "some text\r\nbegin-base64 644 block.bin\r\n" + Base64Lines(data) + "====\r\nafter\r\n";
    RunResult r = Extract(mail, {"/P"});
    EXPECT_EQ(Tree(), std::vector<std::string>{"block.bin"});
    EXPECT_EQ(ReadFile(Out("block.bin")), data);
    EXPECT_EQ(r.Out(),
              Created(Out("")) + Progress("[UNKNOWN-SENDER]", "[UNKNOWN-DATE]") + u"\t-> \"block.bin\"\n\n");
}

TEST_F(Extraction, NamesNeverLeaveTheOutputFolder) {
    const std::string long_name = std::string(1000, 'n') + ".txt";
    std::string mail = MultipartMail(
        TopHeader("../../evil"), "b1",
        {kTextBody, Base64Part("text/plain", "../x.txt", "1"), Base64Part("text/plain", "/etc/passwd", "2"),
         Base64Part("text/plain", "..", "3"), Base64Part("text/plain", long_name, "4"),
         Base64Part("text/plain", EncodedWord("..\\..\\y.txt"), "5")});
    RunResult r = Extract(mail, {});
    EXPECT_EQ(r.err_bytes, "");
    std::vector<std::string> tree = Tree();
    for (const std::string& entry : ListTree(root)) {
        bool inside = entry.rfind("out/", 0) == 0 || entry == "out/" || entry == "mail.eml";
        EXPECT_TRUE(inside) << entry;
    }
    const std::string folder = ".._.._evil/2017-01-03/";
    EXPECT_EQ(ReadFile(Out(folder + ".._x.txt")), "1");
    EXPECT_EQ(ReadFile(Out(folder + "_etc_passwd")), "2");
    EXPECT_EQ(ReadFile(Out(folder + "_..")), "3");
    EXPECT_EQ(ReadFile(Out(folder + ".._.._y.txt")), "5");
    // A name holds at most 255 characters: the long one is cut, not lost.
    EXPECT_EQ(ReadFile(Out(folder + std::string(255, 'n'))), "4");
    EXPECT_EQ(tree.size(), 7u); // two folders and five files
}

TEST_F(Extraction, ManyPartsAndDeepNesting) {
    std::vector<Part> parts = {kTextBody};
    for (int i = 0; i < 10000; ++i)
        parts.push_back(Base64Part("text/plain", "p.txt", std::to_string(i)));
    RunResult r = Extract(MultipartMail(TopHeader(), "b1", parts), {});
    EXPECT_EQ(r.err_bytes, "");
    const std::string folder = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(ReadFile(Out(folder + "p.txt")), "0");
    EXPECT_EQ(ReadFile(Out(folder + "p_(9999)_.txt")), "9999");
    EXPECT_EQ(Tree().size(), 10002u);

    // Ten levels of nested mixed multiparts around one attachment.
    std::string inner =
        "Content-Type: text/plain; name=\"deep.txt\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        Base64Lines("deep");
    for (int level = 9; level >= 0; --level) {
        std::string b = "level" + std::to_string(level);
        inner = "Content-Type: multipart/mixed; boundary=\"" + b + "\"\r\n\r\n--" + b + "\r\n" +
                "Content-Type: text/plain\r\n\r\ntext\r\n--" + b + "\r\n" + inner + "--" + b + "--\r\n";
    }
    std::string mail;
    for (const std::string& line : TopHeader())
        mail += line + "\r\n";
    mail += inner;
    r = Extract(mail, {}, "deep.eml");
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "");
}

TEST_F(Extraction, AttachmentThatIsTheFirstPartIsFoundAgain) {
    // Some mail programs send a lone file as the first part, with no text before it: its boundary
    // line is passed as the body's, and the Content-Disposition line leads the walk back to it.
    std::string mail;
    for (const std::string& line : TopHeader())
        mail += line + "\r\n";
    mail += "Content-Type: multipart/mixed; boundary=\"apple\"\r\n\r\n\r\n--apple\r\n"
            "Content-Disposition: inline;\r\n\tfilename=first.jpg\r\nContent-Type: "
            "image/jpeg;\r\n\tname=first.jpg\r\n"
            "Content-Transfer-Encoding: base64\r\n\r\n" +
            Base64Lines("JPEGDATA") + "--apple--\r\n";
    Extract(mail, {});
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/first.jpg")), "JPEGDATA");
}

TEST_F(Extraction, ContentOnlyOptionTakesAMailThatIsItselfAFile) {
    std::string mail;
    for (const std::string& line : TopHeader())
        mail += line + "\r\n";
    mail +=
        "Content-Type: application/pdf;\r\n name=\"whole.pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
        Base64Lines("%PDF-1.4 whole");
    Extract(mail, {});
    EXPECT_EQ(Tree(), std::vector<std::string>{});
    Extract(mail, {"/CO"});
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/whole.pdf")), "%PDF-1.4 whole");
}

TEST_F(Extraction, RawJapaneseNamesFollowTheCharsetOfTheMail) {
    // A Shift_JIS name written raw, with the charset named only by the body part.
    const std::string sjis_name = "\x8E\x91\x97\xBF.txt"; // 資料.txt
    Part body{{"Content-Type: text/plain; charset=Shift_JIS"}, "text\r\n"};
    Part file{{"Content-Type: text/plain; name=\"" + sjis_name + "\"", "Content-Transfer-Encoding: base64"},
              Base64Lines("sjis")};
    std::vector<std::string> header = TopHeader();
    header.push_back("Received: from a by b; Tue, 3 Jan 2017 10:05:00 +0900");
    Extract(MultipartMail(header, "b1", {body, file}), {});
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/資料.txt")), "sjis");
}

TEST_F(Extraction, UnlabelledRawNameGoesThroughDetection) {
    // No charset anywhere: the raw UTF-8 name is recognised by the detector (and the detector is
    // released properly at exit: a sanitizer build would report it otherwise).
    Part body{{"Content-Type: text/plain"}, "text\r\n"};
    Part file{{"Content-Type: application/octet-stream; name=\"blåbærsyltetøy あいう.txt\"",
               "Content-Transfer-Encoding: base64"},
              Base64Lines("jam")};
    std::vector<std::string> header = {"From: arnt@example.com", "Date: Thu, 20 May 2004 10:00:00 +0000"};
    RunResult r = Extract(MultipartMail(header, "b1", {body, file}), {});
    EXPECT_EQ(r.err_bytes, "");
    EXPECT_EQ(ReadFile(Out("arnt@example.com/2004-05-20/blåbærsyltetøy あいう.txt")), "jam");
}

TEST_F(Extraction, BrokenStructuresEndQuietly) {
    struct Row {
        const char* name;
        std::string mail;
    };
    std::string header;
    for (const std::string& line : TopHeader())
        header += line + "\r\n";
    const Row rows[] = {
        {"header_never_ends",
         header + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\nx\r\n--b\r\n"
                  "Content-Type: text/plain;\r\n name=\"h.bin\"\r\n X-Other: 1"},
        {"boundary_never_closes",
         header + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\nx\r\n--b\r\n"
                  "Content-Type: text/plain; name=\"open.txt\"\r\n\r\nline\r\n"},
        {"name_on_last_line",
         header + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\nx\r\n--b\r\n"
                  "Content-Disposition: attachment; filename=\"last.txt\""},
        {"content_id_without_brackets",
         header + "Content-Type: multipart/related; boundary=\"b\"\r\n\r\n--b\r\n\r\nx\r\n"
                  "--b\r\nContent-Type: image/png\r\nContent-ID: none\r\n\r\nx\r\n--b--\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RunResult r = Extract(row.mail, {"/P", "/L"}, std::string(row.name) + ".eml");
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.err_bytes, "");
    }
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/open.txt")), "line\r\n");
}

TEST_F(Extraction, TruncatedBase64KeepsItsRemainderAndIsReportedRepaired) {
    std::string header;
    for (const std::string& line : TopHeader())
        header += line + "\r\n";
    RunResult r = Extract(
        header + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n\r\nx\r\n--b\r\n"
                 "Content-Type: text/plain; name=\"t.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\n"
                 "QUJDRE",
        {"/L"});
    const std::string path = Out("taro@example.jp/2017-01-03/t.bin");
    EXPECT_EQ(ReadFile(path), "ABCD");
    const std::u16string notice =
        u"<<<<<<<<ファイル \"" + U(path) + u"\" に修復処理を行いましたが、破損している可能性があります。\n";
    EXPECT_EQ(r.Err(), notice);
    EXPECT_NE(ReadFile(Out("dornick.txt")).find(PipeBytes(notice)), std::string::npos);
}

TEST_F(Extraction, FullDiskEndsTheMailAndTheRunGoesOn) {
    std::string big =
        MultipartMail(TopHeader(), "b1",
                      {kTextBody, Base64Part("application/octet-stream", "big.bin", NoiseBytes(2 << 20))});
    std::string small = MultipartMail(TopHeader("hanako@example.jp"), "b1",
                                      {kTextBody, Base64Part("text/plain", "small.txt", "ok")});
    WriteFile(Path("big.eml"), big);
    WriteFile(Path("small.eml"), small);
    fs::create_directory(Out(""));
    // A file size limit of 1 MiB stands for a full disk.
    RunResult r = RunProgram("/bin/sh", {"-c", "ulimit -f 1024; exec \"$0\" \"$@\"", DORNICK_PATH, "/L", "/O",
                                         Out(""), Path("big.eml"), Path("small.eml")});
    EXPECT_EQ(r.Err(), u"ファイルを書き込み中にエラーが発生しました。\n->big.bin\n");
    EXPECT_EQ(ReadFile(Out("hanako@example.jp/2017-01-03/small.txt")), "ok");
    EXPECT_NE(ReadFile(Out("dornick.txt"))
                  .find(PipeBytes(u"\t-> ファイルを書き込み中にエラーが発生しました。\n\n")),
              std::string::npos);
}

TEST_F(Extraction, ReadOnlyOutputFolderIsReportedPerMail) {
    if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
    fs::create_directories(Out("taro@example.jp/2017-01-03"));
    fs::permissions(Out("taro@example.jp/2017-01-03"), fs::perms::owner_read | fs::perms::owner_exec);
    RunResult r =
        Extract(MultipartMail(TopHeader(), "b1", {kTextBody, Base64Part("text/plain", "a.txt", "A")}), {});
    EXPECT_EQ(r.Err(), u"ファイルを作成出来ませんでした。\n->a.txt\n");
    fs::permissions(Out("taro@example.jp/2017-01-03"), fs::perms::owner_all);
}

TEST_F(Extraction, LargeAttachmentComesBackWhole) {
    const std::string data = NoiseBytes(100 << 20, 7);
    Extract(MultipartMail(TopHeader(), "b1", {kTextBody, Base64Part("application/zip", "big.zip", data)}),
            {});
    EXPECT_TRUE(ReadFile(Out("taro@example.jp/2017-01-03/big.zip")) == data);
}

} // namespace
} // namespace e2e

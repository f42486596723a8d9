// TNEF containers end to end: stand-alone winmail.dat files and containers carried by mails, with
// the output tree, bytes, names, file times and messages; hostile containers; the real containers
// of the shared corpus.

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "mail_builder.h"
#include "run_program.h"
#include "tnef_writer.h"

namespace e2e {
namespace {

namespace fs = std::filesystem;
using tnef_test::PropertyList;
using tnef_test::TnefWriter;

constexpr time_t kMailTime = 1483405500;                         // Tue, 3 Jan 2017 10:05:00 in Japan
constexpr time_t kModifyTime = 1588555230;                       // 2020-05-04 10:20:30 in Japan
const std::string kReportCp932 = "\x95\xF1\x8D\x90\x8F\x91.pdf"; // 報告書.pdf
const Part kTextBody{{"Content-Type: text/plain; charset=UTF-8"}, "see the attachment.\r\n"};

class TnefExpand : public TempDir {
  protected:
    RunResult Expand(const std::string& container, const std::string& name = "winmail.dat",
                     std::vector<std::string> options = {}) {
        WriteFile(Path(name), container);
        options.push_back("/O");
        options.push_back(Out(""));
        options.push_back(Path(name));
        return RunDornick(options);
    }
    std::string Out(const std::string& relative) const {
        return root + "/out" + (relative.empty() ? "" : "/" + relative);
    }
    time_t ModifiedAt(const std::string& path) const {
        struct stat info {};
        ::stat(path.c_str(), &info);
        return info.st_mtime;
    }
    static std::u16string Created(const std::string& folder) {
        return u"フォルダを作成しました。(winmail.dat)\n->" + U(folder) + u"\n\n";
    }
    static std::u16string Removed(const std::string& folder) {
        return u"添付ファイルが見つからないため、出力用のフォルダを削除しています...(winmail.dat)\n->" +
               U(folder) + u"\n\n";
    }
};

TEST_F(TnefExpand, StandAloneContainerGivesItsFilesNamedAndDated) {
    const std::string first = NoiseBytes(7000, 1), second = NoiseBytes(300, 2), third = NoiseBytes(90, 3);
    const std::string container =
        TnefWriter()
            .Header(932)
            .RendData()
            .Title(kReportCp932)
            .ModifyDate(2020, 5, 4, 10, 20, 30)
            .Data(first)
            .Attachment(PropertyList().Long(0x0E20, 7000).String8(0x3707, kReportCp932))
            .RendData()
            .Data(second) // data before its title
            .Title("REPORT~1.TXT")
            .Attachment(PropertyList().Unicode(0x3707, tnef_test::Utf16Le("年次報告 2020.txt")))
            .RendData()
            .Title("a/b?.bin")
            .Data(third)
            .Bytes();
    RunResult r = Expand(container);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.out_bytes, "");
    EXPECT_EQ(r.Err(), Created(Out("")));
    EXPECT_EQ(ListTree(Out("")), (std::vector<std::string>{"a_b_.bin", "報告書.pdf", "年次報告 2020.txt"}));
    EXPECT_EQ(ReadFile(Out("報告書.pdf")), first);
    EXPECT_EQ(ReadFile(Out("年次報告 2020.txt")), second);
    EXPECT_EQ(ReadFile(Out("a_b_.bin")), third);
    for (const char* name : {"報告書.pdf", "年次報告 2020.txt", "a_b_.bin"})
        EXPECT_EQ(ModifiedAt(Out(name)), kModifyTime) << name;

    // The second time every name is taken: the files get counted names, the folder says nothing.
    r = Expand(container, "winmail.dat", {"/CW"});
    EXPECT_EQ(r.out_bytes + r.err_bytes, "");
    EXPECT_EQ(ListTree(Out("")),
              (std::vector<std::string>{"a_b_.bin", "a／b？.bin", "報告書.pdf", "報告書_(1)_.pdf",
                                        "年次報告 2020.txt", "年次報告 2020_(1)_.txt"}));
    EXPECT_EQ(ReadFile(Out("年次報告 2020_(1)_.txt")), second);
}

TEST_F(TnefExpand, LongNameOfTheTitlesOwnNameKeepsACountedName) {
    const std::string container =
        TnefWriter()
            .Title("same.txt")
            .Data("1")
            .Attachment(PropertyList().Unicode(0x3707, tnef_test::Utf16Le("same.txt")))
            .Title("a?b")
            .Data("2")
            .Attachment(PropertyList().String8(0x3707, "a_b"))
            .Bytes();
    Expand(container);
    RunResult r = Expand(container);
    EXPECT_EQ(r.out_bytes + r.err_bytes, "");
    EXPECT_EQ(ListTree(Out("")), (std::vector<std::string>{"a_b", "a_b_(1)_", "same.txt", "same_(1)_.txt"}));
    EXPECT_EQ(ReadFile(Out("same_(1)_.txt")), "1");
    EXPECT_EQ(ReadFile(Out("a_b_(1)_")), "2");
}

TEST_F(TnefExpand, CodePageAndDateCarryOverToTheNextContainer) {
    WriteFile(Path("first.dat"),
              TnefWriter().Header(932).Title("a").ModifyDate(2020, 5, 4, 10, 20, 30).Data("1").Bytes());
    WriteFile(Path("second.dat"), TnefWriter().Title(kReportCp932).Data("2").Bytes());
    RunResult r = RunDornick({"/O", Out(""), Path("first.dat"), Path("second.dat")});
    EXPECT_EQ(r.Err(), Created(Out("")));
    EXPECT_EQ(ListTree(Out("")), (std::vector<std::string>{"a", "報告書.pdf"}));
    EXPECT_EQ(ModifiedAt(Out("報告書.pdf")), kModifyTime);
}

TEST_F(TnefExpand, NotAContainerIsReadAsAMail) {
    // A PNG under the container's name, and a mail with another extension.
    RunResult r = Expand(std::string("\x89PNG\r\n\x1A\n", 8) + NoiseBytes(100), "winmail.dat", {"/P"});
    EXPECT_EQ(r.err_bytes, "");
    EXPECT_TRUE(ListTree(Out("")).empty());
    const std::string mail =
        MultipartMail(TopHeader(), "b1", {kTextBody, Base64Part("image/png", "p.png", "PNG")});
    r = Expand(mail, "mail.txt");
    EXPECT_EQ(ReadFile(Out("taro@example.jp/2017-01-03/p.png")), "PNG");
}

TEST_F(TnefExpand, ContainerWithoutFilesIsReadAsAMail) {
    RunResult r = Expand(TnefWriter().Header().RendData().Data("no title").Bytes());
    EXPECT_EQ(r.Err(), Created(Out("")));
    EXPECT_TRUE(ListTree(Out("")).empty());
}

TEST_F(TnefExpand, MissingContainerIsReportedAndNotReadAsAMail) {
    RunResult r = RunDornick({"/O", Out(""), Path("gone.dat")});
    EXPECT_EQ(r.Err(), u"ファイルを開けませんでした。\n->" + U(Path("gone.dat")) + u"\n");
    EXPECT_EQ(r.out_bytes, "");
    EXPECT_FALSE(fs::exists(Out("")));
}

TEST_F(TnefExpand, RelativePathsAreTakenAgainstTheCurrentFolder) {
    fs::create_directory(Path("work"));
    WriteFile(Path("work/winmail.dat"), TnefWriter().Title("a.txt").Data("A").Bytes());
    RunResult r = RunProgram(DORNICK_PATH, {"winmail.dat"}, {}, Path("work"));
    EXPECT_EQ(r.Err(), Created(Path("work/output")));
    EXPECT_EQ(ReadFile(Path("work/output/a.txt")), "A");
}

TEST_F(TnefExpand, HostileContainersStayInsideTheOutputFolder) {
    const std::string inner = TnefWriter().Title("inner.txt").Data("inner").Bytes();
    const std::string tail = NoiseBytes(4000, 9);
    const std::string container =
        TnefWriter()
            .Title("../../.ssh/authorized_keys")
            .Data("ssh-rsa AAAA")
            .Attachment(PropertyList().String8(0x3707, "../../../etc/passwd"))
            .Title("winmail.dat")
            .Data(inner)
            .Attachment(PropertyList().Long(0x0E20, 1).Count(1000000))
            .Attachment(PropertyList().Unicode(0x3707, std::string("\x41\x00\x42", 3))) // odd length: "A"
            .Attribute(2, tnef_test::kIdTitle, tnef_test::kTypeByte, "wrong type")
            .Title("big.bin")
            .AttributeWithLength(2, tnef_test::kIdData, tnef_test::kTypeByte, 0xFFFFFFFF, tail, false)
            .Bytes();
    RunResult r = Expand(container);
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.Err(), Created(Out("")));
    // The first file went to its sanitised long name; the nested container was renamed "A" by the
    // Unicode long name and is not expanded; the endless data holds what the file holds.
    EXPECT_EQ(ListTree(Out("")), (std::vector<std::string>{".._.._.._etc_passwd", "A", "big.bin"}));
    EXPECT_EQ(ReadFile(Out("A")), inner);
    EXPECT_EQ(ReadFile(Out("big.bin")), tail);
    EXPECT_EQ(ListTree(root), (std::vector<std::string>{"out/", "out/.._.._.._etc_passwd", "out/A",
                                                        "out/big.bin", "winmail.dat"}));
}

TEST_F(TnefExpand, SignatureAloneWritesNothing) {
    RunResult r = Expand(std::string("\x78\x9F\x3E\x22", 4));
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_TRUE(ListTree(Out("")).empty());
}

class TnefInMail : public TnefExpand {
  protected:
    RunResult ExtractMail(const std::vector<Part>& parts) {
        WriteFile(Path("mail.eml"), MultipartMail(TopHeader(), "b1", parts));
        return RunDornick({"/P", "/O", Out(""), Path("mail.eml")});
    }
    std::string Folder(const std::string& relative = "") const {
        return Out("taro@example.jp/2017-01-03") + (relative.empty() ? "" : "/" + relative);
    }
};

TEST_F(TnefInMail, ContainerIsExpandedBesideTheStoredFile) {
    const std::string data = NoiseBytes(20000, 4);
    const std::string first = TnefWriter().Header(932).Title(kReportCp932).Data(data).Bytes();
    // The second container names no code page and no date: it starts from what the first left.
    const std::string second = TnefWriter()
                                   .Title("x")
                                   .ModifyDate(2020, 5, 4, 10, 20, 30)
                                   .Data("X")
                                   .RendData()
                                   .Title(kReportCp932)
                                   .Data("Y")
                                   .Bytes();
    const std::string third = TnefWriter().Title(kReportCp932).Data("Z").Bytes();
    RunResult r = ExtractMail({kTextBody, Base64Part("application/ms-tnef", "winmail.dat", first),
                               Base64Part("application/octet-stream", "WINMAIL.DAT", second),
                               Base64Part("application/ms-tnef", "other.bin", third)});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.Err(), Created(Folder("winmail.dat(expand)")) + Created(Folder("WINMAIL.DAT(expand)")) +
                           Created(Folder("other.bin(expand)")));
    const std::string f = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(ListTree(Out("")),
              (std::vector<std::string>{"taro@example.jp/", f, f + "WINMAIL.DAT", f + "WINMAIL.DAT(expand)/",
                                        f + "WINMAIL.DAT(expand)/x", f + "WINMAIL.DAT(expand)/報告書.pdf",
                                        f + "other.bin", f + "other.bin(expand)/",
                                        f + "other.bin(expand)/報告書.pdf", f + "winmail.dat",
                                        f + "winmail.dat(expand)/", f + "winmail.dat(expand)/報告書.pdf"}));
    EXPECT_EQ(ReadFile(Folder("winmail.dat")), first);
    EXPECT_EQ(ReadFile(Folder("winmail.dat(expand)/報告書.pdf")), data);
    EXPECT_EQ(ModifiedAt(Folder("winmail.dat(expand)/報告書.pdf")), kMailTime);
    EXPECT_EQ(ModifiedAt(Folder("WINMAIL.DAT(expand)/x")), kModifyTime);
    EXPECT_EQ(ModifiedAt(Folder("other.bin(expand)/報告書.pdf")), kModifyTime);
    EXPECT_EQ(ModifiedAt(Folder("other.bin")), kMailTime);
    const std::u16string progress =
        u"\"" + U(Path("mail.eml")) + u"\" からファイルを抽出中です。<taro@example.jp/2017-01-03>\n";
    EXPECT_EQ(r.Out(), u"フォルダを作成しました。\n->" + U(Out("")) + u"\n\n" + progress +
                           u"\t-> \"winmail.dat\"\n\t-> \"WINMAIL.DAT\"\n\t-> \"other.bin\"\n\n");
}

TEST_F(TnefInMail, ContainerWithoutFilesLeavesNoFolder) {
    RunResult r = ExtractMail(
        {kTextBody, Base64Part("application/ms-tnef", "winmail.dat",
                               TnefWriter().Header().Attribute(1, 0x8004, 1, "subject").Bytes())});
    EXPECT_EQ(r.Err(), Created(Folder("winmail.dat(expand)")) + Removed(Folder("winmail.dat(expand)")));
    EXPECT_EQ(ListTree(Folder()), std::vector<std::string>{"winmail.dat"});
}

TEST_F(TnefInMail, NameTakenByAFileIsNotEntered) {
    // A file where the folder would go: the container stays as it is.
    WriteFile(Path("x"), "");
    fs::create_directories(Folder());
    WriteFile(Folder("winmail.dat(expand)"), "in the way");
    RunResult r = ExtractMail({kTextBody, Base64Part("application/ms-tnef", "winmail.dat",
                                                     TnefWriter().Title("a").Data("A").Bytes())});
    EXPECT_EQ(r.Err(), u"指定されたフォルダが作成出来ませんでした。(winmail.dat)\n->" +
                           U(Folder("winmail.dat(expand)")) + u"\n");
    EXPECT_EQ(ReadFile(Folder("winmail.dat(expand)")), "in the way");
}

// The real containers of the shared corpus, read in place: the names and sizes that their
// attachment attributes give, and no failure on the ones without any.
TEST_F(TnefExpand, CorpusContainersGiveTheirFiles) {
    const std::string corpus = "/work/shared/corpus/";
    if (!fs::exists(corpus + "tnef")) GTEST_SKIP() << "no corpus";
    struct Row {
        std::string file;
        std::vector<std::pair<std::string, uintmax_t>> files;
    };
    const Row rows[] = {
        {"tnef/one-file.dat", {{"AUTHORS", 244}}},
        {"tnef/two-files.dat", {{"AUTHORS", 244}, {"README", 893}}},
        {"tnef/long-filename.dat", {{"allproductsmar2000.dat", 279}}},
        {"tnef/data-before-name.dat", {{"AUTOEXEC.BAT", 0}, {"CONFIG.SYS", 0}, {"boot.ini", 289}}},
        {"tnef/multi-value-attribute.dat", {{"208225__5_seconds__Voice_Mail.mp3", 10656}}},
        {"ytnef/multi-value-attribute.dat", {{"208225 (5 seconds) Voice Mail.mp3", 10656}}},
        {"tnef/missing-filenames.dat",
         {{"TechlibDEC99-JAN00.doc", 33792}, {"TechlibDEC99.doc", 61210}, {"TechlibNOV99.doc", 34304}}},
        {"tnef/unicode-mapi-attr.dat", {{"example.dat", 1024}}},
        {"ytnef/winmail.dat", {{"bookmark.htm", 85805}, {"zappa_av1.jpg", 2937}}},
        {"mimekit/tnef/panic.dat", {{"image001.jpg", 11250}, {"image002.jpg", 9583}, {"image003.png", 7147}}},
        {"tnef/garbage-at-end.dat", {}},
        {"tnef/triples.dat", {}},
        {"tnef/body.dat", {}},
        {"ytnef/ytnef-oob-TNEFVersion-SwapWord.dat", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        fs::remove_all(Out(""));
        RunResult r = RunDornick({"/O", Out(""), corpus + row.file});
        EXPECT_EQ(r.exit_code, 0);
        std::vector<std::pair<std::string, uintmax_t>> found;
        for (const std::string& name : ListTree(Out("")))
            found.emplace_back(name, fs::file_size(Out(name)));
        if (row.files.empty()) {
            // Read as a mail afterwards: whatever that gives, nothing of the container is named.
            EXPECT_EQ(r.Err(), Created(Out("")));
            continue;
        }
        EXPECT_EQ(found, row.files);
    }
}

} // namespace
} // namespace e2e

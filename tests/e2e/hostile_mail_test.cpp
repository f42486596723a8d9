// Mail written to harm or to choke the program: every case runs the built dornick under a memory
// limit and checks that it ends normally and leaves nothing outside its output root.

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

// Address space allowed to one run: the program maps the mail and holds at most a few pieces
// of output; nothing here needs more.
#ifdef DORNICK_SANITIZED
constexpr const char* kMemoryLimit = "--as=unlimited"; // the sanitizers reserve terabytes of address space
#else
constexpr const char* kMemoryLimit = "--as=1500000000";
#endif

class HostileMail : public TempDir {
  protected:
    RunResult Run(const std::string& mail, std::vector<std::string> options = {}) {
        WriteFile(Path("mail.eml"), mail);
        return RunLimited(Path("mail.eml"), std::move(options));
    }
    RunResult RunLimited(const std::string& mail_path, std::vector<std::string> options) {
        std::vector<std::string> args = {kMemoryLimit, DORNICK_PATH};
        args.insert(args.end(), options.begin(), options.end());
        args.insert(args.end(), {"/O", Path("out"), mail_path});
        return RunProgram("/usr/bin/prlimit", args);
    }
    // Only the mail and the output root stand in the test's folder: nothing was written beside.
    void ExpectNothingOutsideTheRoot(const std::string& mail_file = "mail.eml") {
        std::vector<std::string> top;
        for (const std::string& entry : ListTree(root))
            if (entry.find('/') == std::string::npos || entry.find('/') == entry.size() - 1)
                top.push_back(entry);
        EXPECT_EQ(top, (std::vector<std::string>{mail_file, "out/"}));
    }
    std::vector<std::string> Files() const {
        std::vector<std::string> files;
        for (const std::string& entry : ListTree(root + "/out"))
            if (entry.back() != '/') files.push_back(entry);
        return files;
    }
};

Part NamedPart(const std::string& name_header, const std::string& data) {
    return Part{
        {"Content-Type: application/octet-stream; " + name_header, "Content-Transfer-Encoding: base64"},
        Base64Lines(data)};
}

// Names that try to leave the root, in every form a mail can carry them.
TEST_F(HostileMail, NamesNeverLeaveTheRoot) {
    const char* const headers[] = {
        "name=\"../../evil.txt\"",
        "name=\"/etc/passwd\"",
        "name=\"..\"",
        "name=\".\"",
        "name=\"..\\\\..\\\\evil.txt\"",
        "name*=UTF-8''..%2F..%2Fevil.txt",
        "name*0=\"..\"; name*1=\"/..\"; name*2=\"/evil.txt\"",
        "name=\"=?UTF-8?B?Li4vLi4vZXZpbC50eHQ=?=\"",
        "name=\"=?UTF-8?Q?=2E=2E=2F=2E=2E=2Fevil.txt?=\"",
        "name=\"=?UTF-7?Q?+AC4ALgAv-evil.txt?=\"",
        "name=\"\xC0\xAE\xC0\xAE/evil.txt\"",
        "name=\"\xEF\xBC\x8E\xEF\xBC\x8E\xEF\xBC\x8F"
        "evil.txt\"", // full-width "../"
        "name=\"=?ISO-2022-JP?B?GyRCIiMiI0VAGyhC?=\"",
    };
    for (const char* header : headers) {
        SCOPED_TRACE(header);
        std::filesystem::remove_all(Path("out"));
        const RunResult r = Run(MultipartMail(
            TopHeader(), "b", {{{"Content-Type: text/plain"}, "text\r\n"}, NamedPart(header, "payload")}));
        EXPECT_EQ(r.exit_code, 0);
        ExpectNothingOutsideTheRoot();
        const std::vector<std::string> files = Files();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].rfind("taro@example.jp/2017-01-03/", 0), 0u) << files[0];
        EXPECT_EQ(ReadFile(Path("out/" + files[0])), "payload");
    }
}

// True when UTF-8 text holds a C0 or C1 control, DEL or a bidi embedding, override or isolate.
bool HoldsControl(std::string_view utf8) {
    for (size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x20 || c == 0x7F) return true;
        if (c == 0xC2 && i + 1 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) < 0xA0) return true;
        if (c == 0xE2 && i + 2 < utf8.size()) {
            const unsigned char b1 = static_cast<unsigned char>(utf8[i + 1]);
            const unsigned char b2 = static_cast<unsigned char>(utf8[i + 2]);
            if ((b1 == 0x80 && b2 >= 0xAA && b2 <= 0xAE) || (b1 == 0x81 && b2 >= 0xA6 && b2 <= 0xA9))
                return true;
        }
    }
    return false;
}

// The same for UTF-16 text; the tabs and line ends of the messages aside.
bool HoldsControlUnit(std::u16string_view text, bool line_ends_allowed) {
    for (char16_t c : text) {
        if (line_ends_allowed && (c == u'\r' || c == u'\n' || c == u'\t')) continue;
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2066 && c <= 0x2069))
            return true;
    }
    return false;
}

// Controls and bidi characters from names and addresses: "_" in file and folder names, never raw
// in the log or on a terminal.
TEST_F(HostileMail, ControlAndBidiCharactersNeverPassThrough) {
    struct Row {
        const char* name;
        std::string from;   ///< the address of From and Return-Path
        std::string header; ///< the part's name parameter
        std::string file;   ///< the file expected, below the sender's folder
        std::string mail_file = "mail.eml";
    };
    const Row rows[] = {
        {"escape sequence in an encoded name", "taro@example.jp",
         "name=\"" + EncodedWord("a\x1B[2Jb.txt") + "\"", "taro@example.jp/2017-01-03/a_[2Jb.txt"},
        {"C1 controls in an encoded name", "taro@example.jp",
         "name=\"" +
             EncodedWord("a\xC2\x9B"
                         "1m\xC2\x85.txt") +
             "\"",
         "taro@example.jp/2017-01-03/a_1m_.txt"},
        {"bidi override in an encoded name", "taro@example.jp",
         "name=\"" +
             EncodedWord("invoice\xE2\x80\xAE"
                         "fdp.exe") +
             "\"",
         "taro@example.jp/2017-01-03/invoice_fdp.exe"},
        {"isolates in an RFC 2231 name", "taro@example.jp", "name*=UTF-8''%E2%81%A6a%E2%81%A9.txt",
         "taro@example.jp/2017-01-03/_a_.txt"},
        {"RFC 2231 NUL", "taro@example.jp", "name*=UTF-8''abc%00def.txt",
         "taro@example.jp/2017-01-03/abc_def.txt"},
        {"RFC 2231 escape and DEL", "taro@example.jp", "name*=UTF-8''a%1B%7Fb.txt",
         "taro@example.jp/2017-01-03/a__b.txt"},
        {"raw escape and tab in a quoted name", "taro@example.jp", "name=\"a\x1B]0;x\x07\tb.txt\"",
         "taro@example.jp/2017-01-03/a_]0;x__b.txt"},
        {"escape sequence in the sender", "ev\x1B[31mil@example.jp", "name=\"a.txt\"",
         "ev_[31mil@example.jp/2017-01-03/a.txt"},
        {"bidi override in the sender", "ev\xE2\x80\xAEil@example.jp", "name=\"a.txt\"",
         "ev_il@example.jp/2017-01-03/a.txt"},
        {"escape sequence and bidi override in the mail's own file name", "taro@example.jp", "name=\"a.txt\"",
         "taro@example.jp/2017-01-03/a.txt",
         "m\x1B[2J\xE2\x80\xAE"
         "ail.eml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(Path("out"));
        std::vector<std::string> header = TopHeader(row.from);
        header[0] = "Return-Path: <other\x1B[1m\xC2\x9B@example.jp>"; // differs from From: shown in the log
        const std::string mail = MultipartMail(
            header, "b", {{{"Content-Type: text/plain"}, "t\r\n"}, NamedPart(row.header, "data")});
        const std::string mail_path = Path(row.mail_file);
        WriteFile(mail_path, mail);
        const RunResult r = RunLimited(mail_path, {"/P", "/L"});
        EXPECT_EQ(r.exit_code, 0);
        ExpectNothingOutsideTheRoot(row.mail_file);
        const std::vector<std::string> files = Files();
        EXPECT_EQ(files, (std::vector<std::string>{"dornick.txt", row.file}));
        EXPECT_NE(r.Out().find(u"Return-Path: other?[1m?@example.jp"), std::u16string::npos);
        for (const std::string& file : ListTree(Path("out")))
            EXPECT_FALSE(HoldsControl(file)) << file;
        EXPECT_FALSE(HoldsControlUnit(r.Out(), true));
        EXPECT_FALSE(HoldsControlUnit(r.Err(), true));
        const std::string log = ReadFile(Path("out/dornick.txt"));
        ASSERT_GE(log.size(), 2u);
        EXPECT_FALSE(HoldsControlUnit(DecodePipe(log.substr(2)), true));
        // On a terminal the same run shows nothing that could drive it.
        std::filesystem::remove_all(Path("out"));
        const RunResult t = RunOnTerminal({"/P", "/O", Path("out"), mail_path}, {"LC_ALL=C.UTF-8"});
        EXPECT_NE(t.out_bytes.find("Return-Path"), std::string::npos);
        std::string shown = t.out_bytes; // the terminal's own line ends aside
        std::erase_if(shown, [](char c) { return c == '\r' || c == '\n' || c == '\t'; });
        EXPECT_FALSE(HoldsControl(shown)) << shown;
        std::filesystem::remove(mail_path);
    }
}

// A name value on the line after "name=" that itself ends in "filename=" once made the raw-value
// reader look past the line's end: the run died and every later mail was lost.
TEST_F(HostileMail, NameValueOnTheNextLineWithAnotherFilename) {
    const std::string mail = MultipartMail(TopHeader(), "b",
                                           {{{"Content-Type: text/plain"}, "t\r\n"},
                                            {{"Content-Type: application/octet-stream; name=",
                                              " \"a filename=", "Content-Transfer-Encoding: base64"},
                                             Base64Lines("first")}});
    WriteFile(Path("mail.eml"), mail);
    WriteFile(Path("next.eml"),
              MultipartMail(TopHeader("jiro@example.jp"), "b",
                            {{{"Content-Type: text/plain"}, "t\r\n"}, NamedPart("name=\"n.txt\"", "next")}));
    const RunResult r = RunProgram("/usr/bin/prlimit", {kMemoryLimit, DORNICK_PATH, "/O", Path("out"),
                                                        Path("mail.eml"), Path("next.eml")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/a filename=")), "first");
    EXPECT_EQ(ReadFile(Path("out/jiro@example.jp/2017-01-03/n.txt")), "next");
}

// Long names are shortened to what a Linux file name can hold, and the file is still written: a
// name of 300 units is cut to the 255 units a name may hold and a Japanese name within those units
// but over 255 bytes to 255 bytes, each by its stem, so that the extension stays.
TEST_F(HostileMail, LongNamesAreShortenedNotLost) {
    std::string japanese;
    for (int i = 0; i < 120; ++i)
        japanese += "長";
    struct Row {
        std::string name;
        const char* ending;
    };
    const Row rows[] = {{std::string(300, 'n') + ".pdf", "n.pdf"},
                        // More than a name's bytes can be collected: the end never arrives.
                        {std::string(10000, 'n') + ".pdf", "nnnnn"},
                        // Cut before the controls become "_": one of them is left.
                        {std::string(250, 'n') + "\x1B\x1B\x1B\x1B\x1B\x1B.pdf", "n_.pdf"},
                        {japanese + ".pdf", "長.pdf"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name.size());
        std::filesystem::remove_all(Path("out"));
        const RunResult r = Run(MultipartMail(TopHeader(), "b",
                                              {{{"Content-Type: text/plain"}, "t\r\n"},
                                               NamedPart("name=\"" + EncodedWord(row.name) + "\"", "long")}));
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.Err(), u""); // a result too long for a name is no failure of the conversion
        const std::vector<std::string> files = Files();
        ASSERT_EQ(files.size(), 1u);
        const std::string file = files[0].substr(files[0].rfind('/') + 1);
        const std::string ending = row.ending;
        EXPECT_LE(file.size(), 255u);
        EXPECT_EQ(file.substr(file.size() - ending.size()), ending);
        EXPECT_EQ(ReadFile(Path("out/" + files[0])), "long");
    }
}

// The signature image of every mail has the same name: each copy gets its own counted name.
TEST_F(HostileMail, ThousandsOfAttachmentsOfOneName) {
    std::vector<Part> parts = {{{"Content-Type: text/plain"}, "t\r\n"}};
    constexpr int kCount = 5000;
    for (int i = 0; i < kCount; ++i)
        parts.push_back(NamedPart("name=\"image001.png\"", "image " + std::to_string(i)));
    const RunResult r = Run(MultipartMail(TopHeader(), "b", parts));
    EXPECT_EQ(r.exit_code, 0);
    const std::vector<std::string> files = Files();
    ASSERT_EQ(files.size(), static_cast<size_t>(kCount));
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/image001.png")), "image 0");
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/image001_(4999)_.png")), "image 4999");
}

// Structures of absurd size end normally, in bounded memory.
TEST_F(HostileMail, AbsurdStructuresEndNormally) {
    struct Row {
        const char* name;
        std::function<std::string()> mail;
    };
    const std::string attachment = "\r\n--b\r\nContent-Type: application/octet-stream; name=\"a.bin\"\r\n"
                                   "Content-Transfer-Encoding: base64\r\n\r\nYWJj\r\n--b--\r\n";
    auto top = [] {
        std::string header;
        for (const std::string& line : TopHeader())
            header += line + "\r\n";
        return header;
    };
    const Row rows[] = {
        {"10,000 nested multiparts",
         [&] {
             std::string mail = top() + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n";
             for (int i = 0; i < 10000; ++i)
                 mail += "Content-Type: multipart/mixed; boundary=\"n" + std::to_string(i) + "\"\r\n\r\n--n" +
                         std::to_string(i) + "\r\n";
             return mail + attachment;
         }},
        {"10,000 forwarded messages in each other",
         [&] {
             std::string mail = top() + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n";
             for (int i = 0; i < 10000; ++i)
                 mail +=
                     "Content-Type: message/rfc822\r\n\r\nFrom: x" + std::to_string(i) + "@example.jp\r\n";
             return mail + attachment;
         }},
        {"a header folded over a million lines",
         [&] {
             std::string mail = "Subject: x\r\n";
             for (int i = 0; i < 1000000; ++i)
                 mail += " y\r\n";
             return mail + top() + "Content-Type: multipart/mixed; boundary=\"b\"\r\n" + attachment;
         }},
        {"a name parameter folded over a million lines",
         [&] {
             std::string mail = top() + "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                                        "Content-Type: application/octet-stream;\r\n";
             for (int i = 0; i < 1000000; ++i)
                 mail += " x-param" + std::to_string(i % 10) + "=1;\r\n";
             return mail + " name=\"late.bin\"\r\nContent-Transfer-Encoding: base64\r\n\r\nYWJj\r\n--b--\r\n";
         }},
        {"a From folded over a million lines without an address",
         [&] {
             std::string mail = "From: somebody\r\n";
             for (int i = 0; i < 1000000; ++i)
                 mail += " still nobody\r\n";
             return mail + "Content-Type: multipart/mixed; boundary=\"b\"\r\n" + attachment;
         }},
        {"a sender and a date of 100 KB",
         [&] {
             return "Return-Path: <" + std::string(100000, 's') + "@example.jp>\r\nFrom: <" +
                    std::string(100000, 'f') + ">\r\nDate: Tue, 3 Jan 2017 " + std::string(100000, '9') +
                    "\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n" + attachment;
         }},
        {"CR-only, LF-only and mixed line ends",
         [&] {
             std::string mail = top() + "Content-Type: multipart/mixed; boundary=\"b\"\r\n" + attachment;
             std::string mixed;
             for (size_t i = 0; i < mail.size(); ++i) {
                 if (mail[i] == '\r') {
                     mixed += (i % 3 == 0) ? "\r" : (i % 3 == 1) ? "\n" : "\r\n";
                     ++i;
                 } else {
                     mixed += mail[i];
                 }
             }
             return mixed;
         }},
        {"NUL bytes everywhere",
         [&] {
             std::string mail = top() + "Content-Type: multipart/mixed; boundary=\"b\"\r\n" + attachment;
             for (size_t i = 3; i < mail.size(); i += 7)
                 mail[i] = '\0';
             return mail;
         }},
        {"a 100 MB line in a base64 part",
         [&] {
             return top() +
                    "Content-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                    "Content-Type: application/octet-stream; name=\"big.bin\"\r\n"
                    "Content-Transfer-Encoding: base64\r\n\r\n" +
                    std::string(100 << 20, 'A') + "\r\n--b--\r\n";
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(Path("out"));
        const RunResult r = Run(row.mail());
        EXPECT_EQ(r.exit_code, 0);
        ExpectNothingOutsideTheRoot();
    }
}

// A line of a gigabyte (a sparse file of NUL bytes) is read through without being held.
TEST_F(HostileMail, GigabyteLine) {
    WriteFile(Path("mail.eml"), "Subject: big\r\n");
    ASSERT_EQ(::truncate(Path("mail.eml").c_str(), 1LL << 30), 0);
    const RunResult r = RunLimited(Path("mail.eml"), {});
    EXPECT_EQ(r.exit_code, 0);
    ExpectNothingOutsideTheRoot();
}

// A mail cut short at every line of its structure ends normally each time.
TEST_F(HostileMail, TruncatedAtEveryLine) {
    const std::string inner = MultipartMail(
        {}, "mix",
        {{{"Content-Type: text/plain"}, "body\r\n"}, NamedPart("name=\"a.bin\"", NoiseBytes(300))});
    const std::string mail = MultipartMail(
        TopHeader(), "sig",
        {{{"Content-Type: multipart/mixed; boundary=\"mix\""}, inner.substr(inner.find("\r\n\r\n") + 4)},
         {{"Content-Type: application/pgp-signature; name=\"s.asc\""}, "sig\r\n"}},
        "multipart/signed");
    for (size_t cut = mail.find('\n'); cut != std::string::npos; cut = mail.find('\n', cut + 1)) {
        SCOPED_TRACE(cut);
        std::filesystem::remove_all(Path("out"));
        const RunResult r = Run(mail.substr(0, cut - 1)); // each cut also splits a CR LF
        EXPECT_EQ(r.exit_code, 0);
        ExpectNothingOutsideTheRoot();
    }
}

} // namespace
} // namespace e2e

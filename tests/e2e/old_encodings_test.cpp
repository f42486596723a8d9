// The old in-body encodings end to end: blocks in text bodies beside MIME parts, their names, a
// broken BinHex block's message, and names that try to leave the output root.

#include <filesystem>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

// uuencode of `data` in lines of 45 bytes, with the grave accent for 0, then the zero-length
// line and "end".
std::string Uuencode(std::string_view data) {
    auto letter = [](unsigned value) { return static_cast<char>(value == 0 ? '`' : value + 0x20); };
    std::string text;
    for (size_t at = 0; at < data.size(); at += 45) {
        const std::string_view chunk = data.substr(at, 45);
        text += letter(static_cast<unsigned>(chunk.size()));
        for (size_t i = 0; i < chunk.size(); i += 3) {
            unsigned group = 0;
            for (size_t k = 0; k < 3; ++k)
                group = group << 8 | (i + k < chunk.size() ? static_cast<unsigned char>(chunk[i + k]) : 0);
            for (int shift = 18; shift >= 0; shift -= 6)
                text += letter(group >> shift & 63);
        }
        text += "\r\n";
    }
    return text + "`\r\nend\r\n";
}

class OldEncodings : public TempDir {
  protected:
    std::vector<std::string> Files(const std::string& out = "out") const {
        std::vector<std::string> files;
        for (const std::string& entry : ListTree(Path(out)))
            if (entry.back() != '/') files.push_back(entry);
        return files;
    }
};

TEST_F(OldEncodings, BlocksInATextBodyComeBackBesideTheMimeParts) {
    const std::string data = NoiseBytes(3000, 3);
    const std::string pdf = NoiseBytes(900, 4);
    const Part text{{"Content-Type: text/plain; charset=ISO-2022-JP"},
                    "Hello.\r\n\r\nbegin 644 \x1b$B%G!<%?\x1b(B.bin\r\n" + Uuencode(data) + "\r\nBye.\r\n"};
    const std::string mail =
        MultipartMail(TopHeader(), "b", {text, Base64Part("application/pdf", "a.pdf", pdf)});
    WriteFile(Path("mail.eml"), mail);
    const RunResult r = RunDornick({"/P", "/CO", "/O", Path("out"), Path("mail.eml")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "");
    const std::string folder = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(Files(), (std::vector<std::string>{folder + "a.pdf", folder + "データ.bin"}));
    EXPECT_EQ(ReadFile(Path("out/" + folder + "データ.bin")), data);
    EXPECT_EQ(ReadFile(Path("out/" + folder + "a.pdf")), pdf);
    const std::u16string out = r.Out();
    EXPECT_LT(out.find(U("\t-> \"データ.bin\"\n")), out.find(U("\t-> \"a.pdf\"\n")));
}

// A BinHex block that never closes ends its mail with the designed message, its log form and the
// empty line after it; the next mail on the command line is still extracted.
TEST_F(OldEncodings, ABrokenBinHexBlockEndsOnlyItsMail) {
    const Part binhex{
        {"Content-Type: application/mac-binhex40; name=\"mac.txt\"", "Content-Transfer-Encoding: 7bit"},
        "(This file must be converted with BinHex 4.0)\r\n\r\n:$f*TEQKPH#jdCA0d,R0TG!\r\n"};
    WriteFile(Path("broken.eml"),
              MultipartMail(TopHeader(), "b", {{{"Content-Type: text/plain"}, "t\r\n"}, binhex}));
    WriteFile(Path("next.eml"), MultipartMail(TopHeader(), "b",
                                              {{{"Content-Type: text/plain"}, "t\r\n"},
                                               Base64Part("text/plain", "next.txt", "next")}));
    const RunResult r = RunDornick({"/L", "/O", Path("out"), Path("broken.eml"), Path("next.eml")});
    EXPECT_EQ(r.exit_code, 1);
    const std::string folder = Path("out/taro@example.jp/2017-01-03");
    EXPECT_EQ(r.Err(), U("binhexdecode内でエラーが発生しました。\n->" + folder + "/mac.txt\n"));
    EXPECT_EQ(ReadFile(folder + "/next.txt"), "next");
    EXPECT_NE(ReadFile(Path("out/dornick.txt"))
                  .find(PipeBytes(U("\t-> \"mac.txt\"\n\t-> binhexdecode内でエラーが発生しました。\n\n"))),
              std::string::npos);
}

// Names on begin lines are sanitised like any other: nothing leaves the root. A mail without a
// header puts its blocks in the root itself, each under a name of its own.
TEST_F(OldEncodings, BeginLineNamesStayInsideTheRoot) {
    const char* const names[] = {"../../escape.bin", "/etc/passwd", "..", "\x1b[31mred\x07.bin",
                                 "a\\..\\..\\b.bin"};
    std::string mail = "Just text, no header at all.\r\n\r\n";
    for (const char* name : names)
        mail += "begin 644 " + std::string(name) + "\r\n" + Uuencode(name) + "\r\n";
    WriteFile(Path("bare.eml"), mail);
    const RunResult r = RunDornick({"/O", Path("out"), Path("bare.eml")});
    EXPECT_EQ(r.exit_code, 0);
    const std::vector<std::string> files = Files();
    ASSERT_EQ(files.size(), std::size(names));
    for (const std::string& file : files) {
        EXPECT_EQ(file.find('/'), std::string::npos) << file;
        EXPECT_NE(file, "..");
    }
    std::vector<std::string> top;
    for (const std::string& entry : ListTree(root))
        if (entry.find('/') == std::string::npos || entry.find('/') + 1 == entry.size()) top.push_back(entry);
    EXPECT_EQ(top, (std::vector<std::string>{"bare.eml", "out/"}));
}

} // namespace
} // namespace e2e

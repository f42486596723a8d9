// The same mails extracted at every vector width that DORNICK_VECTOR_WIDTH can ask for: the output
// trees must be the same, byte for byte (a width the processor lacks falls back to its widest).

#include <string>
#include <utility>
#include <vector>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

std::string LfOnly(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

// Mails whose parts take each vector path: long base64 runs of several line shapes, damaged base64
// lines, quoted-printable with escapes everywhere, long lines, "=" among digits, and a base64 part
// mislabelled as quoted-printable.
std::vector<std::string> Mails() {
    const Part text{{"Content-Type: text/plain; charset=UTF-8"}, "Hello,\r\nsee the attachments.\r\n"};
    std::vector<std::string> mails;
    mails.push_back(MultipartMail(TopHeader(), "b1",
                                  {text, Base64Part("application/pdf", "a.pdf", NoiseBytes(40000, 1)),
                                   Base64Part("image/png", "b.png", NoiseBytes(777, 2))}));
    mails.push_back(LfOnly(MultipartMail(
        TopHeader("hanako@example.jp"), "b2",
        {text,
         {{"Content-Type: application/octet-stream; name=\"c.bin\"", "Content-Transfer-Encoding: base64"},
          Base64Lines(NoiseBytes(30000, 3), 64)}})));
    std::string damaged = Base64Lines(NoiseBytes(9000, 4), 72);
    damaged.insert(500, "!");
    damaged.insert(2000, "   ");
    damaged.insert(4100, std::string("\0", 1));
    damaged.insert(6000, "QUJD=QUJD\r\n");
    mails.push_back(MultipartMail(
        TopHeader(), "b3",
        {text,
         {{"Content-Type: application/octet-stream; name=\"d.bin\"", "Content-Transfer-Encoding: base64"},
          damaged}}));
    std::string odd_qp = "==41==42===43 " + std::string(1500, 'x') + "=4\r\n" + std::string(40, '=') + "\r\n";
    for (int i = 0; i < 50; ++i)
        odd_qp += "line " + std::to_string(i) + " =E3=81=82=zz=0a_=3D=\r\ncontinued\r\n";
    mails.push_back(MultipartMail(
        TopHeader(), "b4",
        {text,
         {{"Content-Type: text/plain; name=\"e.txt\"", "Content-Transfer-Encoding: quoted-printable"},
          QuotedPrintable(NoiseBytes(20000, 5))},
         {{"Content-Type: text/plain; name=\"f.txt\"", "Content-Transfer-Encoding: quoted-printable"},
          odd_qp},
         {{"Content-Type: application/octet-stream; name=\"g.bin\"",
           "Content-Transfer-Encoding: quoted-printable"},
          Base64Lines(NoiseBytes(3000, 6))}}));
    return mails;
}

class VectorWidths : public TempDir {};

TEST_F(VectorWidths, EveryWidthWritesTheSameTree) {
    std::vector<std::string> paths;
    const std::vector<std::string> mails = Mails();
    for (size_t i = 0; i < mails.size(); ++i) {
        paths.push_back(Path("mail" + std::to_string(i) + ".eml"));
        WriteFile(paths.back(), mails[i]);
    }
    struct Run {
        std::string width;
        std::vector<std::string> tree;
        std::vector<std::pair<std::string, std::string>> files; // name, bytes
        std::u16string out;
    };
    std::vector<Run> runs;
    // "0" is the plain code; "8" is no width and is ignored (the widest).
    for (const std::string width : {"0", "16", "32", "64", "8"}) {
        Run run{width, {}, {}, {}};
        // Options are read from left to right: the output folder before the mails.
        std::vector<std::string> run_args = {"/P", "/O", Path("out" + width)};
        run_args.insert(run_args.end(), paths.begin(), paths.end());
        const RunResult r = RunDornick(run_args, {"DORNICK_VECTOR_WIDTH=" + width});
        ASSERT_EQ(r.exit_code, 0) << width;
        run.tree = ListTree(Path("out" + width));
        for (const std::string& entry : run.tree)
            if (entry.back() != '/')
                run.files.emplace_back(entry, ReadFile(Path("out" + width + "/" + entry)));
        // The messages name the output folder; the rest must match.
        run.out = r.Out();
        const std::u16string folder = U(Path("out" + width));
        for (size_t at; (at = run.out.find(folder)) != std::u16string::npos;)
            run.out.replace(at, folder.size(), u"OUT");
        runs.push_back(run);
    }
    const Run& plain = runs.front();
    // The mails were really decoded: the attachments come back whole.
    ASSERT_GE(plain.files.size(), 8u);
    EXPECT_EQ(plain.files.front().first, "hanako@example.jp/2017-01-03/c.bin");
    EXPECT_TRUE(plain.files.front().second == NoiseBytes(30000, 3));
    for (const Run& run : runs) {
        SCOPED_TRACE("DORNICK_VECTOR_WIDTH=" + run.width);
        EXPECT_EQ(run.tree, plain.tree);
        ASSERT_EQ(run.files.size(), plain.files.size());
        for (size_t i = 0; i < run.files.size(); ++i)
            EXPECT_TRUE(run.files[i] == plain.files[i]) << plain.files[i].first;
        EXPECT_EQ(run.out, plain.out);
    }
}

} // namespace
} // namespace e2e

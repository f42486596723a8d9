// Signed mail end to end: the attachments inside the signed content come back under their own
// names beside the signature file, with the mail's time, and the body texts stay unwritten.

#include <sys/stat.h>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

constexpr time_t kMailTime = 1483405500; // Tue, 3 Jan 2017 10:05:00 in Japan

// The parts of a multipart, as the body of an enclosing part (without the MIME header lines).
std::string Group(const std::string& boundary, const std::vector<Part>& parts) {
    const std::string mail = MultipartMail({}, boundary, parts);
    return mail.substr(mail.find("\r\n\r\n") + 4);
}

class SignedMail : public TempDir {};

TEST_F(SignedMail, AttachmentsOfTheSignedContentComeBackWithTheSignature) {
    const std::string report = NoiseBytes(3000, 7);
    const std::string image = NoiseBytes(1200, 8);
    const std::string signature =
        "-----BEGIN PGP SIGNATURE-----\r\n\r\niQEz\r\n-----END PGP SIGNATURE-----\r\n";
    const Part html{{"Content-Type: text/html; charset=UTF-8"}, "<html>body</html>\r\n"};
    const Part alternative{{"Content-Type: multipart/alternative; boundary=\"alt\""},
                           Group("alt", {{{"Content-Type: text/plain"}, "body\r\n"}, html})};
    const Part mixed{
        {"Content-Type: multipart/mixed;", " boundary=\"mix\""},
        Group("mix", {alternative, Base64Part("application/pdf", EncodedWord("週次報告.pdf"), report),
                      Base64Part("image/png", "photo.png", image)})};
    const Part signature_part{{"Content-Type: application/pgp-signature; name=\"signature.asc\"",
                               "Content-Transfer-Encoding: 7bit"},
                              signature};
    const std::string mail =
        MultipartMail(TopHeader(), "sig", {mixed, signature_part},
                      "multipart/signed; micalg=pgp-sha256; protocol=\"application/pgp-signature\"");
    WriteFile(Path("signed.eml"), mail);

    const RunResult r = RunDornick({"/P", "/O", Path("out"), Path("signed.eml")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.err_bytes, "");
    const std::string folder = "taro@example.jp/2017-01-03/";
    EXPECT_EQ(ListTree(Path("out")),
              (std::vector<std::string>{"taro@example.jp/", folder, folder + "photo.png",
                                        folder + "signature.asc", folder + "週次報告.pdf"}));
    EXPECT_EQ(ReadFile(Path("out/" + folder + "週次報告.pdf")), report);
    EXPECT_EQ(ReadFile(Path("out/" + folder + "photo.png")), image);
    // The plain copy keeps the lines' own ends; the last one belongs to the boundary line.
    EXPECT_EQ(ReadFile(Path("out/" + folder + "signature.asc")), signature.substr(0, signature.size() - 2));
    struct stat info {};
    ASSERT_EQ(::stat(Path("out/" + folder + "photo.png").c_str(), &info), 0);
    EXPECT_EQ(info.st_mtime, kMailTime);
    const std::u16string out = r.Out();
    const size_t first = out.find(U("\t-> \"週次報告.pdf\"\n"));
    const size_t second = out.find(U("\t-> \"photo.png\"\n"));
    const size_t third = out.find(U("\t-> \"signature.asc\"\n"));
    EXPECT_NE(first, std::u16string::npos);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_NE(third, std::u16string::npos);
}

} // namespace
} // namespace e2e

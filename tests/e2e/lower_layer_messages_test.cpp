// The header readers only report an ICU failure; the program itself must still print it, in its
// place among the run's messages.

#include <string>

#include "mail_builder.h"
#include "run_program.h"

namespace e2e {
namespace {

class LowerLayerMessages : public TempDir {};

// A name longer than a name may be is no ICU failure: ICU's overflow only tells the length, and
// nothing is reported.
TEST_F(LowerLayerMessages, AnOverlongNameIsNoFailure) {
    // 300 characters of three bytes each, in two B words that split on a whole group, so that the
    // joined name overflows the 255 units a name may have.
    const std::string half = [] {
        std::string text;
        for (int i = 0; i < 150; ++i)
            text += "\xE3\x81\x82"; // あ
        return text;
    }();
    const Part text{{"Content-Type: text/plain; charset=UTF-8"}, "Hello.\r\n"};
    const Part part{{"Content-Type: application/octet-stream;",
                     " name=\"" + EncodedWord(half) + "\r\n " + EncodedWord(half) + "\"",
                     "Content-Transfer-Encoding: base64"},
                    Base64Lines("data")};
    WriteFile(Path("mail.eml"), MultipartMail(TopHeader(), "b1", {text, part}));
    const RunResult r = RunDornick({"/O", Path("out"), Path("mail.eml")});
    EXPECT_EQ(r.exit_code, 0);
    EXPECT_EQ(r.Err(), u"");
    // The 255 units kept are then cut to the 255 bytes a Linux name may have: 85 characters.
    EXPECT_EQ(ReadFile(Path("out/taro@example.jp/2017-01-03/" + half.substr(0, 85 * 3))), "data");
}

} // namespace
} // namespace e2e

// Which bytes are opened as an attached mail, and what is kept of a part on its way to its file.

#include <gtest/gtest.h>

#include "console/run/attached_mail.h"

namespace dornick {
namespace {

TEST(AttachedMail, BytesThatBeginLikeAMail) {
    struct Case {
        const char* bytes;
        bool mail;
    };
    const Case cases[] = {
        {"From: a@example.com\r\nSubject: s\r\n\r\nbody", true},
        {"X-Mailer: m\nreceived: by host\n\n", true},                     // a known field later, any case
        {"From a@example.com Tue Jan  3 10:00:00 2017\nDate: x\n", true}, // an envelope line first
        {"X-Mailer: m\r\n folded From: a\r\n\r\nFrom: a\r\n", false},     // known fields only in the body
        {"Key: value\r\nOther: 1\r\n", false},                            // fields, none of a mail's
        {"PK\x03\x04 From: a\r\n", false},                                // the first line opens no field
        {"\r\nFrom: a\r\n", false},                                       // no header at all
        {"From : a\r\n", false},                                          // a blank before the colon
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BeginsLikeMail(c.bytes), c.mail) << c.bytes;
}

// Hands its bytes on and counts them.
struct CountingSink final : ByteSink {
    size_t bytes = 0;
    SinkResult Append(const uint8_t*, size_t size) override {
        bytes += size;
        return SinkResult::Ok;
    }
};

TEST(AttachedMail, CaptureKeepsWhatMayBeAMailAndPassesEverythingOn) {
    const std::string mail = "From: a@example.com\r\n\r\n" + std::string(5000, 'm');
    const std::string binary = std::string("\x89PNG\r\n", 6) + std::string(5000, 'b');
    struct Case {
        const char* what;
        MailHint hint;
        const std::string& bytes;
        bool kept;
    };
    const Case cases[] = {
        {"message part", MailHint::Message, binary, true},
        {"maybe, a mail", MailHint::Maybe, mail, true},
        {"maybe, not a mail", MailHint::Maybe, binary, false},
        {"not looked at", MailHint::None, mail, false},
    };
    for (const Case& c : cases) {
        CountingSink file;
        MailCapture capture(&file, c.hint);
        // In pieces as a decoder hands them on, across the look at the first line.
        for (size_t at = 0; at < c.bytes.size(); at += 700)
            ASSERT_EQ(capture.Append(reinterpret_cast<const uint8_t*>(c.bytes.data()) + at,
                                     std::min<size_t>(700, c.bytes.size() - at)),
                      SinkResult::Ok);
        EXPECT_EQ(file.bytes, c.bytes.size()) << c.what;
        EXPECT_EQ(capture.Mail(), c.kept ? std::string_view(c.bytes) : std::string_view()) << c.what;
    }
}

TEST(AttachedMail, LongMailIsReadBackWholeFromTheTemporaryFile) {
    std::string mail = "Subject: big\r\n\r\n";
    while (mail.size() < kAttachedMailMemoryBytes * 2 + 12345)
        mail += "line " + std::to_string(mail.size()) + "\r\n";
    MailCapture capture(nullptr, MailHint::Maybe);
    for (size_t at = 0; at < mail.size(); at += 65536)
        ASSERT_EQ(capture.Append(reinterpret_cast<const uint8_t*>(mail.data()) + at,
                                 std::min<size_t>(65536, mail.size() - at)),
                  SinkResult::Ok);
    EXPECT_TRUE(capture.Mail() == mail);
}

} // namespace
} // namespace dornick

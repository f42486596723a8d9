// The part path of a byte of a mail, counted from the mail's lines alone.

#include <gtest/gtest.h>

#include <string>

#include "console/run/part_path.h"

namespace dornick {
namespace {

struct PathRow {
    const char* name;
    std::string mail;
    const char* marker; ///< the path asked for is that of this text's first byte
    const char* path;
};

const std::string kNested = "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n"
                            "preamble\r\n"
                            "--outer\r\n"
                            "Content-Type: multipart/alternative;\r\n boundary=inner\r\n\r\n"
                            "--inner\r\n\r\nPLAIN\r\n"
                            "--inner\r\nContent-Type: text/html\r\n\r\nHTML\r\n"
                            "--inner--\r\nINNER-EPILOGUE\r\n"
                            "--outer \r\nContent-Type: image/png\r\n\r\nPNG\r\n"
                            "--outer\r\n"
                            "--outer\r\n\r\nFOURTH\r\n"
                            "--outer--\r\nEPILOGUE\r\n";

const PathRow kRows[] = {
    {"single part body", "Subject: x\n\nBODY\n", "BODY", "1"},
    {"top preamble", kNested, "preamble", "1"},
    {"first nested part", kNested, "PLAIN", "1.1"},
    {"second nested part", kNested, "HTML", "1.2"},
    {"inner epilogue counts to its multipart", kNested, "INNER-EPILOGUE", "1"},
    {"boundary with trailing space", kNested, "PNG", "2"},
    {"boundary line ends the part before it", kNested, "--outer\r\n--outer\r\n\r\nFOURTH", "2"},
    {"part without header", kNested, "FOURTH", "4"},
    {"epilogue", kNested, "EPILOGUE", "1"},
    {"unquoted boundary, LF lines",
     "Content-Type: MULTIPART/mixed; boundary=b1\n\n--b1\n\none\n--b1\n\ntwo\n", "two", "2"},
    {"not multipart despite a boundary parameter", "Content-Type: text/plain; boundary=b1\n\n--b1\n\nTEXT\n",
     "TEXT", "1"},
    {"longer boundary is another", "Content-Type: multipart/mixed; boundary=b\n\n--b\n\nA\n--bx\n\nB\n", "B",
     "1"},
};

TEST(PartPath, CountsAsAMimeParser) {
    for (const PathRow& row : kRows) {
        SCOPED_TRACE(row.name);
        const size_t at = row.mail.find(row.marker);
        ASSERT_NE(at, std::string::npos);
        PartPathTracker tracker;
        tracker.Start(reinterpret_cast<const unsigned char*>(row.mail.data()), row.mail.size());
        EXPECT_EQ(tracker.PathAt(at), row.path);
    }
}

TEST(PartPath, QueriesForwardAndBackGiveTheSameAnswers) {
    PartPathTracker tracker;
    tracker.Start(reinterpret_cast<const unsigned char*>(kNested.data()), kNested.size());
    for (const char* marker : {"PLAIN", "HTML", "PNG", "FOURTH", "HTML", "PLAIN"}) {
        SCOPED_TRACE(marker);
        PartPathTracker fresh;
        fresh.Start(reinterpret_cast<const unsigned char*>(kNested.data()), kNested.size());
        const size_t at = kNested.find(marker);
        EXPECT_EQ(tracker.PathAt(at), fresh.PathAt(at));
    }
    EXPECT_EQ(NestedPartPath("3.", tracker.PathAt(kNested.find("HTML"))), "3.1.2");
}

TEST(PartPath, ManyPartsAreCountedInOnePass) {
    std::string mail = "Content-Type: multipart/mixed; boundary=z\n\n";
    constexpr int kParts = 20000;
    for (int i = 0; i < kParts; ++i)
        mail += "--z\nContent-Type: text/plain\n\nP" + std::to_string(i + 1) + "\n";
    mail += "--z--\n";
    PartPathTracker tracker;
    tracker.Start(reinterpret_cast<const unsigned char*>(mail.data()), mail.size());
    for (int i = 0; i < kParts; i += 997)
        EXPECT_EQ(tracker.PathAt(mail.find("\nP" + std::to_string(i + 1) + "\n") + 1), std::to_string(i + 1));
}

} // namespace
} // namespace dornick

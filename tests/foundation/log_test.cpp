#include "console/run/log.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/file.h>
#include <unistd.h>

#include "platform/text.h"

namespace dornick {
namespace {

namespace fs = std::filesystem;

std::string ReadAllBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

TEST(LogBuffer, GrowsInStepsAndKeepsEveryLine) {
    LogBuffer log;
    std::u16string expected;
    for (int i = 0; i < 500; ++i) {
        std::u16string line = u"\t-> \"" + platform::Utf8ToU16(std::to_string(i)) + u".bin\"\r\n";
        LogAppend(log, line);
        expected += line;
        EXPECT_GT(log.capacity, log.text.size());
        EXPECT_EQ(log.capacity % kLogGrowthUnits, 0u);
    }
    EXPECT_EQ(log.text, expected);
    LogAppend(log, std::u16string(10000, u'x')); // more than one step at once
    EXPECT_GT(log.capacity, log.text.size());
}

TEST(LogBuffer, AnEntryIsCutAtTheLogLine) {
    LogBuffer log;
    LogAppendFormat(log, u"\t-> \"%s\"\r\n", {std::u16string(2000, u'n')});
    ASSERT_EQ(log.text.size(), kLogLineLimit);
    EXPECT_EQ(log.text.substr(0, 5), u"\t-> \"");
}

class LogFile : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/dornick-log-XXXXXX";
        root = ::mkdtemp(name);
    }
    void TearDown() override { fs::remove_all(root); }
    std::string root;
};

TEST_F(LogFile, ByteOrderMarkOnlyOnAnEmptyFile) {
    std::u16string folder = platform::Utf8ToU16(root);
    LogWriteFile(u"", folder);
    EXPECT_FALSE(fs::exists(root + "/dornick.txt"));
    LogWriteFile(u"あ\r\n", folder);
    LogWriteFile(u"b", folder + u"/");
    EXPECT_EQ(ReadAllBytes(root + "/dornick.txt"), std::string("\xFF\xFE\x42\x30\r\0\n\0b\0", 10));
}

TEST_F(LogFile, AHeldFileIsRetriedAndThenGivenUp) {
    std::u16string folder = platform::Utf8ToU16(root);
    int holder = ::open((root + "/dornick.txt").c_str(), O_WRONLY | O_CREAT, 0666);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    LogWriteFile(u"lost", folder, platform::RetryPolicy{2, std::chrono::milliseconds(1)});
    EXPECT_EQ(fs::file_size(root + "/dornick.txt"), 0u);
    ::close(holder);
    LogWriteFile(u"kept", folder, platform::RetryPolicy{2, std::chrono::milliseconds(1)});
    EXPECT_EQ(fs::file_size(root + "/dornick.txt"), 10u);
}

} // namespace
} // namespace dornick

// Output files claimed by name and written so that no partial file ever stands under the name: one
// write straight into the claim, more than one into a staged file that replaces the claim whole.

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <random>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "platform/async_writer.h"
#include "platform/deferred_files.h"
#include "platform/interrupt.h"
#include "platform/staged_file.h"
#include "test_support.h"

namespace platform {
namespace {

constexpr size_t kPiece = 4096;

class StagedWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/dornick-staged-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        path_ = pattern;
        folder_ = ::open(pattern, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(folder_, 0);
    }
    void TearDown() override {
        SetInterruptSignal(0);
        ::close(folder_);
        std::system(("rm -rf '" + path_ + "'").c_str());
    }
    std::string Read(const std::string& name) const {
        std::string bytes;
        const int fd = ::openat(folder_, name.c_str(), O_RDONLY);
        char buffer[65536];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, static_cast<size_t>(n));
        if (fd >= 0) ::close(fd);
        return bytes;
    }
    void Put(const std::string& name, const std::string& bytes) const {
        const int fd = ::openat(folder_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    // Every name in the folder, hidden ones included.
    std::set<std::string> Names() const {
        std::set<std::string> names;
        DIR* dir = ::opendir(path_.c_str());
        while (dirent* entry = dir ? ::readdir(dir) : nullptr)
            if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
                names.insert(entry->d_name);
        if (dir) ::closedir(dir);
        return names;
    }

    std::string path_;
    int folder_ = -1;
};

struct SizeCase {
    size_t size;
    bool replace;
    bool staged;           // more than one write, or an older file to keep whole
    bool may_drop = false; // one write is held back until it is known to stay
};

TEST_F(StagedWriterTest, NamedBytesAreNeverPartial) {
    const SizeCase cases[] = {
        {0, false, false},
        {100, false, false},
        {kPiece - 1, false, false},
        {kPiece, false, true},
        {kPiece * 5 + 17, false, true},
        {0, true, true},
        {100, true, true},
        {kPiece * 3 + 1, true, true},
        {0, false, false, true},
        {100, false, false, true},
        {kPiece * 2 + 5, false, true, true},
    };
    std::mt19937 random(11);
    AsyncWriter writer(kPiece, 2);
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << (c.replace ? " replacing" : " new"));
        const std::string old = "the older file, whole";
        if (c.replace) Put("out.bin", old);
        StagedFile file;
        int error = 0;
        ASSERT_EQ(ClaimFile(folder_, u"out.bin", c.replace, file, error), CreateResult::Created);
        EXPECT_EQ(file.replaces, c.replace);
        file.may_be_dropped = c.may_drop;
        const std::string data = dornick::test::RandomBytes(random, c.size);
        writer.Begin(file);
        for (size_t at = 0; at < data.size(); at += 1000)
            ASSERT_EQ(writer.Append(data.data() + at, std::min<size_t>(1000, data.size() - at)),
                      WriteStatus::Ok);
        // Before Finish the name holds nothing of the new bytes.
        EXPECT_EQ(Read("out.bin"), c.replace ? old : "");
        ASSERT_EQ(writer.Finish(), WriteStatus::Ok);
        EXPECT_EQ(file.Staged(), c.staged);
        if (c.staged || c.may_drop) EXPECT_EQ(Read("out.bin"), c.replace ? old : "");
        // Kept: what was held back is written now.
        ASSERT_EQ(writer.WriteHeld(), WriteStatus::Ok);
        ASSERT_EQ(PublishFile(file), 0);
        file = {};
        EXPECT_EQ(Read("out.bin"), data);
        EXPECT_EQ(Names(), std::set<std::string>{"out.bin"});
        ASSERT_EQ(::unlinkat(folder_, "out.bin", 0), 0);
    }
}

// A file that may yet be dropped (a duplicate) is given up after Finish without its bytes ever
// standing under its name or any other, and nothing of it reaches the next file.
TEST_F(StagedWriterTest, DroppedFileLeavesNothing) {
    AsyncWriter writer(kPiece, 2);
    for (size_t size : {size_t{0}, size_t{100}, kPiece * 2 + 5}) {
        SCOPED_TRACE(size);
        StagedFile file;
        int error = 0;
        ASSERT_EQ(ClaimFile(folder_, u"dup.bin", false, file, error), CreateResult::Created);
        file.may_be_dropped = true;
        writer.Begin(file);
        const std::string data(size, 'd');
        ASSERT_EQ(writer.Append(data.data(), data.size()), WriteStatus::Ok);
        ASSERT_EQ(writer.Finish(), WriteStatus::Ok);
        EXPECT_EQ(Read("dup.bin"), "");
        writer.DropHeld();
        AbandonFile(file);
        EXPECT_EQ(Names(), std::set<std::string>{});

        ASSERT_EQ(ClaimFile(folder_, u"next.bin", false, file, error), CreateResult::Created);
        writer.Begin(file);
        ASSERT_EQ(writer.Append("next", 4), WriteStatus::Ok);
        ASSERT_EQ(writer.Finish(), WriteStatus::Ok);
        ASSERT_EQ(writer.WriteHeld(), WriteStatus::Ok); // nothing held: nothing more written
        ASSERT_EQ(PublishFile(file), 0);
        file = {};
        EXPECT_EQ(Read("next.bin"), "next");
        ASSERT_EQ(::unlinkat(folder_, "next.bin", 0), 0);
    }
}

// A mail worked on ahead of its turn: its files stand without names until they are linked in, a
// name it has chosen is taken for its next file too, and a name taken meanwhile by someone else
// undoes the links made before it and leaves the other's file alone.
TEST_F(StagedWriterTest, DeferredFilesAreLinkedInOrNotAtAll) {
    for (bool taken_meanwhile : {false, true}) {
        SCOPED_TRACE(taken_meanwhile);
        AsyncWriter writer(kPiece, 2);
        DeferredFiles deferred;
        {
            const DeferredFilesInUse bound(deferred);
            for (const char16_t* name : {u"a.bin", u"b.bin"}) {
                StagedFile file;
                int error = 0;
                ASSERT_EQ(ClaimFile(folder_, name, false, file, error), CreateResult::Created);
                writer.Begin(file);
                const std::string data = name[0] == u'a' ? std::string(kPiece * 3 + 1, 'a') : "b";
                ASSERT_EQ(writer.Append(data.data(), data.size()), WriteStatus::Ok);
                ASSERT_EQ(writer.Finish(), WriteStatus::Ok);
                ASSERT_EQ(PublishFile(file), 0);
            }
            StagedFile again;
            int error = 0;
            EXPECT_EQ(ClaimFile(folder_, u"a.bin", false, again, error), CreateResult::Exists);
        }
        EXPECT_EQ(Names(), std::set<std::string>{});
        if (taken_meanwhile) Put("b.bin", "other");
        EXPECT_EQ(LinkDeferredFiles(deferred), taken_meanwhile ? EEXIST : 0);
        if (taken_meanwhile) {
            EXPECT_EQ(Names(), std::set<std::string>{"b.bin"});
            EXPECT_EQ(Read("b.bin"), "other");
        } else {
            EXPECT_EQ(Read("a.bin"), std::string(kPiece * 3 + 1, 'a'));
            EXPECT_EQ(Read("b.bin"), "b");
        }
        ASSERT_EQ(std::system(("rm -f '" + path_ + "'/*").c_str()), 0);
    }
}

// Where unnamed files are refused, the bytes go under a hidden name beside the claim, which is
// gone afterwards whether the file was published or given up.
TEST_F(StagedWriterTest, HiddenNameWhereUnnamedFilesAreRefused) {
    for (bool publish : {true, false}) {
        SCOPED_TRACE(publish);
        StagedFile file;
        int error = 0;
        ASSERT_EQ(ClaimFile(folder_, u"c.bin", false, file, error), CreateResult::Created);
        ASSERT_EQ(StageUnderHiddenName(file), 0);
        ASSERT_TRUE(file.Staged());
        ASSERT_EQ(::write(file.Fd(), "complete", 8), 8);
        const std::set<std::string> during = Names();
        ASSERT_EQ(during.size(), 2u);
        EXPECT_EQ(during.count("c.bin"), 1u);
        EXPECT_EQ(during.begin()->front(), '.'); // the hidden name sorts first
        EXPECT_EQ(Read("c.bin"), "");
        if (publish) {
            ASSERT_EQ(PublishFile(file), 0);
            EXPECT_EQ(Read("c.bin"), "complete");
        } else {
            AbandonFile(file);
        }
        EXPECT_EQ(Names(), publish ? std::set<std::string>{"c.bin"} : std::set<std::string>{});
        ::unlinkat(folder_, "c.bin", 0);
    }
}

// A claim is the name's creation: a second claim of a new name finds it taken.
TEST_F(StagedWriterTest, ClaimHoldsTheNameAgainstOthers) {
    StagedFile first, second;
    int error = 0;
    ASSERT_EQ(ClaimFile(folder_, u"a.txt", false, first, error), CreateResult::Created);
    EXPECT_EQ(ClaimFile(folder_, u"a.txt", false, second, error), CreateResult::Exists);
    ASSERT_EQ(::symlinkat("a.txt", folder_, "link"), 0);
    EXPECT_EQ(ClaimFile(folder_, u"link", true, second, error), CreateResult::Failed);
    EXPECT_EQ(error, ELOOP);
    // Replacing a name that is free creates it as a plain claim, removed again if abandoned.
    ASSERT_EQ(ClaimFile(folder_, u"b.txt", true, second, error), CreateResult::Created);
    EXPECT_FALSE(second.replaces);
    AbandonFile(second);
    EXPECT_EQ(Names(), (std::set<std::string>{"a.txt", "link"}));
}

// A stop asked for fails the file at its next piece; abandoning it leaves nothing of it, and an
// older file that was to be replaced stays whole.
TEST_F(StagedWriterTest, InterruptedFileLeavesNothing) {
    for (bool replace : {false, true}) {
        SCOPED_TRACE(replace);
        if (replace) Put("big", "old");
        StagedFile file;
        int error = 0;
        ASSERT_EQ(ClaimFile(folder_, u"big", replace, file, error), CreateResult::Created);
        AsyncWriter writer(kPiece, 2);
        writer.Begin(file);
        const std::string block(kPiece, 'x');
        ASSERT_EQ(writer.Append(block.data(), block.size()), WriteStatus::Ok);
        SetInterruptSignal(SIGTERM);
        EXPECT_EQ(writer.Append(block.data(), block.size()), WriteStatus::Failed);
        EXPECT_EQ(writer.Finish(), WriteStatus::Failed);
        EXPECT_EQ(writer.error(), EINTR);
        AbandonFile(file);
        SetInterruptSignal(0);
        EXPECT_EQ(Names(), replace ? std::set<std::string>{"big"} : std::set<std::string>{});
        if (replace) EXPECT_EQ(Read("big"), "old");
    }
}

// Over the file-size limit (a full disk's stand-in) the staged file fails and leaves no name.
TEST_F(StagedWriterTest, FailedWriteLeavesNoFile) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{32 * 1024, 32 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        StagedFile file;
        int error = 0;
        if (ClaimFile(folder_, u"big", false, file, error) != CreateResult::Created) ::_exit(11);
        AsyncWriter writer(kPiece, 2);
        writer.Begin(file);
        const std::string block(kPiece, 'x');
        for (int i = 0; i < 20; ++i)
            (void)writer.Append(block.data(), block.size());
        if (writer.Finish() != WriteStatus::Failed || writer.error() != EFBIG) ::_exit(12);
        AbandonFile(file);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_TRUE(Names().empty());
}

} // namespace
} // namespace platform

namespace platform {
namespace {

// The handlers note the first signal; a second one kills at once unless the run has begun to clean
// up, after which signals are ignored. Each case in a child of its own.
TEST(InterruptSignals, SecondSignalKillsOnlyBeforeCleanup) {
    struct Case {
        int first;
        int second;
        bool cleaning_up;
        bool killed;
    };
    const Case cases[] = {
        {SIGTERM, 0, false, false},     {SIGINT, 0, false, false},      {SIGTERM, SIGTERM, false, true},
        {SIGINT, SIGTERM, false, true}, {SIGTERM, SIGINT, true, false}, {SIGINT, SIGINT, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " " << c.second << " " << c.cleaning_up);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            InstallInterruptHandlers();
            if (Interrupted()) ::_exit(10);
            ::raise(c.first);
            if (InterruptSignal() != c.first) ::_exit(11);
            if (c.cleaning_up && !StopRequested()) ::_exit(12);
            if (c.second) ::raise(c.second);
            ::_exit(InterruptSignal() == c.first ? 0 : 13);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        if (c.killed) {
            ASSERT_TRUE(WIFSIGNALED(status));
            EXPECT_EQ(WTERMSIG(status), c.second);
        } else {
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0);
        }
    }
}

} // namespace
} // namespace platform

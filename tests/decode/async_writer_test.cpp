#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <memory>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

#include "platform/async_writer.h"
#include "platform/files.h"
#include "platform/text.h"
#include "test_support.h"

namespace platform {
namespace {

class AsyncWriterTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/dornick-writer-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder_ = pattern;
        ASSERT_EQ(::getcwd(previous_, sizeof previous_), previous_);
        ASSERT_EQ(::chdir(folder_.c_str()), 0);
    }
    void TearDown() override {
        ASSERT_EQ(::chdir(previous_), 0);
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }
    static std::string ReadAll(const char* name) {
        std::string bytes;
        const int fd = ::open(name, O_RDONLY);
        char buffer[65536];
        for (ssize_t n; fd >= 0 && (n = ::read(fd, buffer, sizeof buffer)) > 0;)
            bytes.append(buffer, n);
        if (fd >= 0) ::close(fd);
        return bytes;
    }

    std::string folder_;
    char previous_[4096] = {};
};

TEST_F(AsyncWriterTest, WritesEveryPieceInOrder) {
    std::mt19937 random(5);
    // Small pieces and few in flight, so that the bound and the hand-over are exercised.
    AsyncWriter writer(4096, 2);
    for (int file = 0; file < 3; ++file) {
        SCOPED_TRACE(file);
        const std::string name = "out" + std::to_string(file);
        int fd = -1, error = 0;
        ASSERT_EQ(CreateNewFile(kCurrentFolder, Ascii(name), fd, error), CreateResult::Created);
        const std::string data = dornick::test::RandomBytes(random, 100000 + file * 7777);
        writer.Begin(fd);
        for (size_t at = 0; at < data.size();) {
            const size_t size = std::min<size_t>(data.size() - at, random() % 9000);
            ASSERT_EQ(writer.Append(data.data() + at, size), WriteStatus::Ok);
            at += size;
        }
        EXPECT_EQ(writer.total(), data.size());
        EXPECT_EQ(writer.Finish(), WriteStatus::Ok);
        EXPECT_EQ(writer.error(), 0);
        ::close(fd);
        EXPECT_EQ(ReadAll(name.c_str()), data);
    }
}

TEST_F(AsyncWriterTest, EmptyAndSmallFiles) {
    AsyncWriter writer;
    int fd = -1, error = 0;
    ASSERT_EQ(CreateNewFile(kCurrentFolder, u"empty", fd, error), CreateResult::Created);
    writer.Begin(fd);
    EXPECT_EQ(writer.Finish(), WriteStatus::Ok);
    ::close(fd);
    ASSERT_EQ(CreateNewFile(kCurrentFolder, u"small", fd, error), CreateResult::Created);
    writer.Begin(fd);
    ASSERT_EQ(writer.Append("abc", 3), WriteStatus::Ok);
    ASSERT_EQ(writer.Append("", 0), WriteStatus::Ok);
    EXPECT_EQ(writer.Finish(), WriteStatus::Ok);
    ::close(fd);
    EXPECT_EQ(ReadAll("empty"), "");
    EXPECT_EQ(ReadAll("small"), "abc");
}

// Keeps what it is given, and on which thread, so that the order and the thread can be checked.
struct KeepingHasher final : WrittenBytesHasher {
    std::string bytes;
    int restarts = 0;
    bool on_calling_thread = false;
    std::thread::id calling = std::this_thread::get_id();

    void Restart() override {
        bytes.clear();
        ++restarts;
    }
    void Update(const void* data, size_t size) override {
        bytes.append(static_cast<const char*>(data), size);
        on_calling_thread = on_calling_thread || std::this_thread::get_id() == calling;
    }
};

// The hasher takes every byte in order, in pieces on the writer thread or in one write at Finish.
TEST_F(AsyncWriterTest, HashesEveryByteInOrderBesideTheWrites) {
    constexpr size_t kPiece = 64 * 1024;
    const size_t beside = AsyncWriter::kHashBesideMin;
    std::mt19937 random(11);
    AsyncWriter writer(kPiece, 2);
    KeepingHasher hasher;
    const size_t sizes[] = {0,      1,          beside - 1, beside,         kPiece - 1,
                            kPiece, kPiece + 1, 2 * kPiece, 3 * kPiece + 5, 2 * kPiece + beside - 1};
    for (size_t i = 0; i < std::size(sizes); ++i) {
        const size_t size = sizes[i];
        SCOPED_TRACE(size);
        const std::string name = "hashed" + std::to_string(i);
        int fd = -1, error = 0;
        ASSERT_EQ(CreateNewFile(kCurrentFolder, Ascii(name), fd, error), CreateResult::Created);
        const std::string data = dornick::test::RandomBytes(random, size);
        hasher.on_calling_thread = false;
        writer.Begin(fd, &hasher);
        EXPECT_EQ(hasher.restarts, static_cast<int>(i) + 1);
        for (size_t at = 0; at < data.size();) {
            const size_t part = std::min<size_t>(data.size() - at, 1 + random() % 20000);
            ASSERT_EQ(writer.Append(data.data() + at, part), WriteStatus::Ok);
            at += part;
        }
        ASSERT_EQ(writer.Finish(), WriteStatus::Ok);
        writer.Settle();
        ::close(fd);
        EXPECT_EQ(ReadAll(name.c_str()), data);
        EXPECT_EQ(hasher.bytes, data);
        // A file in one write is hashed by the caller only when too small to be worth the hand-over.
        if (size < kPiece) EXPECT_EQ(hasher.on_calling_thread, size != 0 && size < beside);
    }
}

// Files hashed later are hashed on the writer thread after the caller has gone on, and what follows
// each runs there in the order it was handed on, with the file's whole digest. Files written and
// hashed the other ways between them keep every byte: a buffer that went with one file's last bytes
// carries nothing of that file into the next.
TEST_F(AsyncWriterTest, FilesHashedLaterFollowInOrder) {
    constexpr size_t kPiece = 64 * 1024;
    enum class Way { Later, LaterNeverHandedOn, Beside, Unhashed, Note };
    struct Case {
        Way way;
        size_t size;
    };
    const Case cases[] = {
        {Way::Later, 0},
        {Way::Later, 1},
        {Way::Later, kPiece - 1},
        {Way::Unhashed, 3 * kPiece + 5},
        {Way::Later, kPiece},
        {Way::Note, 0},
        {Way::Later, kPiece + 1},
        {Way::LaterNeverHandedOn, 2 * kPiece + 9},
        {Way::Later, 100},
        {Way::Beside, 2 * kPiece + 3},
        {Way::Later, 3 * kPiece + 5},
        {Way::Later, 7},
    };
    struct Seen {
        std::string bytes;
        bool on_calling_thread;
    };
    // What followed each file handed on (or the note), in the order it ran.
    std::vector<Seen> seen;
    KeepingHasher hasher;
    struct Follow final : AfterWrite {
        KeepingHasher* hasher;
        std::vector<Seen>* seen;
        Follow(KeepingHasher* h, std::vector<Seen>* s) : hasher(h), seen(s) {}
        void Run() override {
            if (!hasher) {
                seen->push_back({"note", false});
                return;
            }
            seen->push_back({hasher->bytes, hasher->on_calling_thread});
            hasher->on_calling_thread = false;
        }
    };
    std::mt19937 random(23);
    AsyncWriter writer(kPiece, 2);
    std::vector<std::string> expected;
    for (size_t i = 0; i < std::size(cases); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(i);
        if (c.way == Way::Note) {
            writer.Later(AfterWritePtr(new Follow(nullptr, &seen)));
            expected.push_back("note");
            continue;
        }
        const std::string name = "file" + std::to_string(i);
        int fd = -1, error = 0;
        ASSERT_EQ(CreateNewFile(kCurrentFolder, Ascii(name), fd, error), CreateResult::Created);
        const std::string data = dornick::test::RandomBytes(random, c.size);
        const bool later = c.way == Way::Later || c.way == Way::LaterNeverHandedOn;
        writer.Begin(fd, c.way == Way::Unhashed ? nullptr : &hasher, later);
        for (size_t at = 0; at < data.size();) {
            const size_t part = std::min<size_t>(data.size() - at, 1 + random() % 30000);
            ASSERT_EQ(writer.Append(data.data() + at, part), WriteStatus::Ok);
            at += part;
        }
        ASSERT_EQ(writer.Finish(), WriteStatus::Ok);
        ::close(fd);
        // The bytes stand whole once Finish returns, whatever is still to be hashed.
        EXPECT_EQ(ReadAll(name.c_str()), data);
        if (c.way == Way::Later) {
            writer.HashThen(AfterWritePtr(new Follow(&hasher, &seen)));
            expected.push_back(data);
        }
        if (c.way == Way::Beside) {
            writer.Settle();
            EXPECT_EQ(hasher.bytes, data);
            hasher.on_calling_thread = false;
        }
    }
    writer.Settle();
    ASSERT_EQ(seen.size(), expected.size());
    for (size_t i = 0; i < seen.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(seen[i].bytes == expected[i])
            << seen[i].bytes.size() << " bytes against " << expected[i].size();
        EXPECT_FALSE(seen[i].on_calling_thread);
    }
}

// A file-size limit stands in for a full disk: the failure must come back from Finish (and stop
// further appends), not be lost on the writer's thread.
TEST_F(AsyncWriterTest, ReportsAFullDisk) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(10);
        int fd = -1, error = 0;
        if (CreateNewFile(kCurrentFolder, u"big", fd, error) != CreateResult::Created) ::_exit(11);
        AsyncWriter writer(16 * 1024, 2);
        writer.Begin(fd);
        const std::string block(10000, 'x');
        bool refused = false;
        for (int i = 0; i < 100 && !refused; ++i)
            refused = writer.Append(block.data(), block.size()) != WriteStatus::Ok;
        if (writer.Finish() != WriteStatus::Failed) ::_exit(12);
        if (writer.error() != EFBIG) ::_exit(13);
        if (writer.Append("y", 1) != WriteStatus::Failed) ::_exit(14);
        // The next file starts clean.
        int small = -1;
        if (CreateNewFile(kCurrentFolder, u"next", small, error) != CreateResult::Created) ::_exit(15);
        writer.Begin(small);
        if (writer.Append("ok", 2) != WriteStatus::Ok || writer.Finish() != WriteStatus::Ok) ::_exit(16);
        ::_exit(refused ? 0 : 17);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadAll("next"), "ok");
}

// An address-space limit just above what the process holds leaves no room for a thread's stack:
// the writer must write the pieces itself, every byte in its place, instead of aborting.
TEST_F(AsyncWriterTest, WritesOnTheCallingThreadWhenNoThreadCanStart) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's reserved address space does not allow a tight limit";
#endif
    std::mt19937 random(9);
    const std::string data = dornick::test::RandomBytes(random, 300000);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int fd = -1, error = 0;
        if (CreateNewFile(kCurrentFolder, u"alone", fd, error) != CreateResult::Created) ::_exit(10);
        AsyncWriter writer(4096, 2);
        // The pieces come from the heap; only a thread would need a new mapping of megabytes.
        writer.Begin(fd);
        if (writer.Append(data.data(), 1) != WriteStatus::Ok) ::_exit(11);
        long pages = 0, resident = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) pages = 0;
            std::fclose(statm);
        }
        if (pages == 0) ::_exit(12);
        const rlim_t room = static_cast<rlim_t>(pages) * ::sysconf(_SC_PAGESIZE) + 2 * 1024 * 1024;
        const rlimit limit{room, room};
        if (::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(13);
        if (writer.Append(data.data() + 1, data.size() - 1) != WriteStatus::Ok) ::_exit(14);
        if (writer.Finish() != WriteStatus::Ok) ::_exit(15);
        ::_exit(writer.total() == data.size() ? 0 : 16);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadAll("alone"), data);
}

TEST_F(AsyncWriterTest, OffsetsBeyondFourGigabytes) {
    int fd = -1, error = 0;
    ASSERT_EQ(CreateNewFile(kCurrentFolder, u"sparse", fd, error), CreateResult::Created);
    const uint64_t offset = (5ull << 30) + 3;
    ASSERT_EQ(WriteAllAt(fd, reinterpret_cast<const uint8_t*>("tail"), 4, offset), 0);
    struct stat info;
    ASSERT_EQ(::fstat(fd, &info), 0);
    EXPECT_EQ(static_cast<uint64_t>(info.st_size), offset + 4);
    ::close(fd);
    const int reader = ::open("sparse", O_RDONLY);
    char back[4] = {};
    EXPECT_EQ(::pread(reader, back, 4, static_cast<off_t>(offset)), 4);
    EXPECT_EQ(std::string(back, 4), "tail");
    ::close(reader);
}

TEST_F(AsyncWriterTest, CreationModes) {
    int fd = -1, error = 0;
    ASSERT_EQ(CreateNewFile(kCurrentFolder, u"a.txt", fd, error), CreateResult::Created);
    ASSERT_EQ(::write(fd, "old", 3), 3);
    ::close(fd);
    EXPECT_EQ(CreateNewFile(kCurrentFolder, u"a.txt", fd, error), CreateResult::Exists);
    EXPECT_EQ(error, EEXIST);
    ASSERT_EQ(CreateAlwaysFile(kCurrentFolder, u"a.txt", fd, error), CreateResult::Created);
    ::close(fd);
    EXPECT_EQ(ReadAll("a.txt"), "");

    // A link planted where a file is to be made is never followed.
    ASSERT_EQ(CreateNewFile(kCurrentFolder, u"target", fd, error), CreateResult::Created);
    ASSERT_EQ(::write(fd, "keep", 4), 4);
    ::close(fd);
    ASSERT_EQ(::symlink("target", "link"), 0);
    EXPECT_EQ(CreateAlwaysFile(kCurrentFolder, u"link", fd, error), CreateResult::Failed);
    EXPECT_EQ(error, ELOOP);
    EXPECT_EQ(CreateNewFile(kCurrentFolder, u"link", fd, error), CreateResult::Exists);
    EXPECT_EQ(ReadAll("target"), "keep");
    EXPECT_EQ(CreateNewFile(kCurrentFolder, u"missing/x", fd, error), CreateResult::Failed);
    EXPECT_EQ(error, ENOENT);
}

} // namespace
} // namespace platform

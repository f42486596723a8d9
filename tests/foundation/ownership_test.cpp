// The platform's owning types and the folder queries of the output names.

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <unordered_set>

#include "platform/files.h"
#include "platform/folder_entries.h"
#include "platform/paths.h"
#include "platform/text.h"
#include "platform/unique_fd.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

bool IsOpen(int fd) {
    return fd >= 0 && ::fcntl(fd, F_GETFD) != -1;
}

// A mapping is live while mincore accepts its first page.
bool IsMapped(const unsigned char* data) {
    unsigned char resident = 0;
    const auto page =
        reinterpret_cast<uintptr_t>(data) & ~static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE) - 1);
    return ::mincore(reinterpret_cast<void*>(page), 1, &resident) == 0;
}

class ScratchFolder : public ::testing::Test {
  protected:
    void SetUp() override {
        old_ = fs::current_path();
        root_ = fs::temp_directory_path() / ("dornick_ownership_" + std::to_string(::getpid()));
        fs::remove_all(root_);
        fs::create_directories(root_);
        fs::current_path(root_);
    }
    void TearDown() override {
        fs::current_path(old_);
        fs::remove_all(root_);
    }
    // The file is made large enough to be mapped rather than read into memory.
    MappedFile OpenMapped(const std::string& name, const std::string& content) {
        std::ofstream(root_ / name) << content << std::string(kReadIntoMemoryBytes, ' ');
        MappedFile file;
        EXPECT_EQ(OpenSharedExisting(Utf8ToU16((root_ / name).string()), false, file), OpenStatus::Ok);
        EXPECT_TRUE(QueryFileSize(file));
        EXPECT_TRUE(MapWholeFile(file));
        return file;
    }

    fs::path old_, root_;
};

TEST(UniqueFd, ClosesOnceWhereverOwnershipEnds) {
    int raw = -1;
    {
        UniqueFd fd(::open("/dev/null", O_RDONLY | O_CLOEXEC));
        raw = fd.Get();
        ASSERT_TRUE(IsOpen(raw));
        UniqueFd moved(std::move(fd));
        EXPECT_FALSE(fd);
        EXPECT_EQ(moved.Get(), raw);
        UniqueFd assigned;
        assigned = std::move(moved);
        EXPECT_FALSE(moved);
        EXPECT_TRUE(IsOpen(raw));
    }
    EXPECT_FALSE(IsOpen(raw));

    UniqueFd first(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    const int old = first.Get();
    first.Reset(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    EXPECT_FALSE(IsOpen(old));
    EXPECT_TRUE(IsOpen(first.Get()));

    const int kept = first.Release();
    EXPECT_FALSE(first);
    EXPECT_TRUE(IsOpen(kept));
    UniqueFd again(kept);
    EXPECT_EQ(again.Close(), 0);
    EXPECT_FALSE(IsOpen(kept));
    EXPECT_EQ(again.Close(), 0); // nothing held: nothing closed twice
}

TEST_F(ScratchFolder, MappedFileOwnsItsMappingAndDescriptor) {
    int fd = -1;
    const unsigned char* data = nullptr;
    {
        MappedFile file = OpenMapped("a.eml", "hello");
        fd = file.fd;
        data = file.data;
        MappedFile moved(std::move(file));
        EXPECT_EQ(file.fd, -1);
        EXPECT_EQ(file.data, nullptr);
        EXPECT_EQ(file.size, 0u);
        ASSERT_EQ(moved.size, 5u + kReadIntoMemoryBytes);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved.data), 5), "hello");
        EXPECT_TRUE(IsOpen(fd));
        EXPECT_TRUE(IsMapped(data));
    }
    EXPECT_FALSE(IsOpen(fd));
    EXPECT_FALSE(IsMapped(data));
}

size_t OpenDescriptors() {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

TEST_F(ScratchFolder, ReplacingAMappedFileReleasesTheOldOne) {
    MappedFile file = OpenMapped("a.eml", "first");
    const int first_fd = file.fd;
    const unsigned char* first_data = file.data;
    // The new file is opened while the old one is still held, so the two never share a number.
    file = OpenMapped("b.eml", "second");
    EXPECT_FALSE(IsOpen(first_fd));
    EXPECT_FALSE(IsMapped(first_data));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file.data), 6), "second");

    // Opening into a file that still holds one releases it first: no descriptor is left behind.
    std::ofstream(root_ / "c.eml") << "third";
    const size_t before = OpenDescriptors();
    ASSERT_EQ(OpenSharedExisting(Utf8ToU16((root_ / "c.eml").string()), false, file), OpenStatus::Ok);
    EXPECT_EQ(OpenDescriptors(), before);
    EXPECT_EQ(file.data, nullptr);
    EXPECT_EQ(fs::file_size(fs::path("/proc/self/fd") / std::to_string(file.fd)), 5u);
}

TEST_F(ScratchFolder, FolderQueries) {
    std::ofstream("file.txt") << "x";
    fs::create_symlink("nowhere", "dangling");
    fs::create_directory("sub");
    // Asked through a handle of the folder, wherever the process stands.
    const UniqueFd folder = OpenFolder(Utf8ToU16(root_.string()));
    ASSERT_TRUE(folder);
    fs::current_path("/");
    EXPECT_TRUE(NativeNameTaken(folder.Get(), "file.txt"));
    EXPECT_TRUE(NativeNameTaken(folder.Get(), "dangling")); // a link counts even when it leads nowhere
    EXPECT_TRUE(NativeNameTaken(folder.Get(), "sub"));
    EXPECT_FALSE(NativeNameTaken(folder.Get(), "missing"));

    std::unordered_set<std::string> names;
    ASSERT_TRUE(ListFolder(folder.Get(), names));
    EXPECT_EQ(names, (std::unordered_set<std::string>{".", "..", "file.txt", "dangling", "sub"}));

    FolderIdentity here, again, sub;
    ASSERT_TRUE(IdentifyFolder(folder.Get(), here));
    ASSERT_TRUE(IdentifyFolder(OpenFolder(Utf8ToU16(root_.string())).Get(), again));
    EXPECT_EQ(here, again);
    ASSERT_TRUE(IdentifyFolder(OpenFolderNoFollowAt(folder.Get(), u"sub").Get(), sub));
    EXPECT_FALSE(here == sub);
    fs::current_path(root_);
}

} // namespace
} // namespace platform

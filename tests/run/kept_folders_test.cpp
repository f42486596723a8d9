// The output folders a run keeps open: used again only while their names still give them.

#include "console/run/kept_folders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/paths.h"
#include "platform/text.h"

namespace dornick {
namespace {

namespace fs = std::filesystem;

class KeptFolderTree : public testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/dornick_kept_XXXXXX";
        ASSERT_NE(::mkdtemp(name), nullptr);
        root = name;
        fs::create_directories(root + "/out/taro/2017-01-03");
    }
    void TearDown() override {
        ::chmod((root + "/out/taro").c_str(), 0755);
        fs::remove_all(root);
    }
    std::u16string OutPath() const { return platform::Utf8ToU16(root + "/out/"); }
    int OpenRoot() {
        platform::UniqueFd opened = platform::OpenFolder(OutPath());
        return KeepRoot(kept, OutPath(), opened);
    }
    // The folder as EnterMailFolder opens it and offers it to be kept.
    int Enter(int parent, const std::string& name) {
        if (const int fd = KeptFolder(kept, parent, name); fd >= 0) return fd;
        platform::UniqueFd opened(
            ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!opened) return -1;
        const int fd = KeepFolder(kept, parent, name, opened);
        return fd >= 0 ? fd : 0; // 0: opened but not kept
    }

    std::string root;
    KeptFolders kept;
};

TEST_F(KeptFolderTree, AFolderIsKeptFromItsSecondEntryAndLetGoWhenItsNameGivesAnotherFolder) {
    struct Row {
        const char* what;
        std::function<void(const std::string& sender)> change;
        bool still_kept;
    };
    const Row rows[] = {
        {"nothing changed", [](const std::string&) {}, true},
        {"a file written in it",
         [](const std::string& s) { std::system(("touch '" + s + "/a.txt'").c_str()); }, true},
        {"moved away, another made in its place",
         [](const std::string& s) {
             fs::rename(s, s + ".moved");
             fs::create_directory(s);
         },
         false},
        {"removed", [](const std::string& s) { fs::remove_all(s); }, false},
        {"made a link to the folder it was",
         [](const std::string& s) {
             fs::rename(s, s + ".moved");
             fs::create_directory_symlink(s + ".moved", s);
         },
         false},
        {"its permissions taken away", [](const std::string& s) { ::chmod(s.c_str(), 0); }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        TearDown();
        SetUp();
        kept = KeptFolders{};
        const int out = OpenRoot();
        ASSERT_GE(out, 0);
        EXPECT_EQ(KeptRoot(kept, OutPath()), out);
        EXPECT_EQ(Enter(out, "taro"), 0) << "the first entry is not kept";
        const int sender = Enter(out, "taro");
        ASSERT_GT(sender, 0) << "the second one is";
        EXPECT_EQ(Enter(out, "taro"), sender);
        row.change(root + "/out/taro");
        EXPECT_EQ(KeptFolder(kept, out, "taro") >= 0, row.still_kept);
        EXPECT_EQ(kept.folders.size(), row.still_kept ? 1u : 0u);
    }
}

TEST_F(KeptFolderTree, TheRootIsLetGoWithItsFoldersWhenItsPathGivesAnotherFolder) {
    const int out = OpenRoot();
    ASSERT_GE(out, 0);
    Enter(out, "taro");
    const int sender = Enter(out, "taro");
    ASSERT_GT(sender, 0);
    Enter(sender, "2017-01-03");
    ASSERT_GT(Enter(sender, "2017-01-03"), 0);
    EXPECT_EQ(kept.folders.size(), 2u);
    EXPECT_EQ(KeptRoot(kept, platform::Utf8ToU16(root + "/other/")), -1)
        << "another path is not the kept root";
    EXPECT_EQ(kept.folders.size(), 2u);

    fs::rename(root + "/out", root + "/out.moved");
    fs::create_directory(root + "/out");
    EXPECT_EQ(KeptRoot(kept, OutPath()), -1);
    EXPECT_TRUE(kept.folders.empty());
    EXPECT_FALSE(kept.root.fd);
}

TEST_F(KeptFolderTree, LettingAFolderGoLetsGoTheFoldersKeptInIt) {
    const int out = OpenRoot();
    ASSERT_GE(out, 0);
    Enter(out, "taro");
    const int sender = Enter(out, "taro");
    Enter(sender, "2017-01-03");
    ASSERT_GT(Enter(sender, "2017-01-03"), 0);
    fs::create_directories(root + "/out/hanako");
    Enter(out, "hanako");
    ASSERT_GT(Enter(out, "hanako"), 0);
    ASSERT_EQ(kept.folders.size(), 3u);
    fs::rename(root + "/out/taro", root + "/out/taro.moved");
    EXPECT_EQ(KeptFolder(kept, out, "taro"), -1);
    ASSERT_EQ(kept.folders.size(), 1u);
    EXPECT_EQ(kept.folders[0].name, "hanako");
}

TEST_F(KeptFolderTree, TheLongestUnusedFolderIsLetGoButNeverTheOneAFolderIsMadeIn) {
    const int out = OpenRoot();
    ASSERT_GE(out, 0);
    for (size_t i = 0; i <= KeptFolders::kMaxFolders; ++i) {
        const std::string name = "s" + std::to_string(i);
        fs::create_directories(root + "/out/" + name + "/d");
        Enter(out, name);
        const int sender = Enter(out, name);
        ASSERT_GT(sender, 0) << name;
        Enter(sender, "d");
        EXPECT_GT(Enter(sender, "d"), 0) << name;
        EXPECT_GE(KeptFolder(kept, out, name), 0) << name << ": the parent stays while its folder is kept";
    }
    EXPECT_LE(kept.folders.size(), KeptFolders::kMaxFolders);
    EXPECT_EQ(KeptFolder(kept, out, "s0"), -1) << "the longest unused went first";
}

} // namespace
} // namespace dornick

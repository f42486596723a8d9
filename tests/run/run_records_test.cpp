// Reading an earlier run's manifest: what counts as done, which copies are known, what is refused.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "console/run/run_records.h"
#include "platform/text.h"

namespace dornick {
namespace {

constexpr const char* kDone =
    R"({"type":"mail","source":"/m/a.eml","message":1,"root":"/out","status":"done"})";
constexpr const char* kFailed =
    R"({"type":"mail","source":"/m/b.eml","message":1,"root":"/out","status":"failed","error":"output"})";
constexpr const char* kArchive =
    R"({"type":"mail","source":"/m/box","message":7,"root":"/out","status":"done"})";
constexpr const char* kFirstCopy =
    R"({"type":"file","root":"/out","path":"x/a.png","sha256":"ab","duplicate_of":null})";
constexpr const char* kDuplicate =
    R"({"type":"file","root":"/out","path":"x/b.png","sha256":"cd","duplicate_of":"x/z.png"})";

struct ManifestRow {
    const char* name;
    std::string text;
    ManifestOpen result;
    std::vector<std::pair<const char*, uint64_t>> done; ///< passed over with --resume
    std::vector<std::pair<const char*, uint64_t>> redone;
};

const ManifestRow kRows[] = {
    {"empty file", "", ManifestOpen::Ok, {}, {{"/m/a.eml", 1}}},
    {"done, failed, archive message",
     std::string(kDone) + "\n" + kFailed + "\n" + kArchive + "\n",
     ManifestOpen::Ok,
     {{"/m/a.eml", 1}, {"/m/box", 7}},
     {{"/m/b.eml", 1}, {"/m/box", 6}, {"/m/c.eml", 1}}},
    {"last line cut by a killed run",
     std::string(kFailed) + "\n" + std::string(kDone).substr(0, 40),
     ManifestOpen::Ok,
     {},
     {{"/m/a.eml", 1}}},
    {"cut line in the middle, later runs after it",
     std::string(kDone).substr(0, 40) + "\n" + kArchive + "\n",
     ManifestOpen::Ok,
     {{"/m/box", 7}},
     {{"/m/a.eml", 1}}},
    {"only a cut first record", std::string(kDone).substr(0, 30), ManifestOpen::Ok, {}, {{"/m/a.eml", 1}}},
    {"status of another type",
     R"({"type":"mail","source":"/m/a.eml","message":1,"status":true})"
     "\n",
     ManifestOpen::Ok,
     {},
     {{"/m/a.eml", 1}}},
    {"message number as text",
     R"({"type":"mail","source":"/m/a.eml","message":"1","status":"done"})"
     "\n",
     ManifestOpen::Ok,
     {},
     {{"/m/a.eml", 1}}},
    {"text file", "shopping list\nmilk\n", ManifestOpen::NotManifest, {}, {}},
    {"text without a line end", "milk", ManifestOpen::NotManifest, {}, {}},
    {"JSON that is no record", "[1,2,3]\n", ManifestOpen::NotManifest, {}, {}},
};

class RunRecordsTest : public testing::Test {
  protected:
    void SetUp() override {
        char folder[] = "/tmp/dornick-records-XXXXXX";
        ASSERT_NE(::mkdtemp(folder), nullptr);
        folder_ = folder;
        path_ = folder_ + "/m.jsonl";
    }
    void TearDown() override {
        ::unlink(path_.c_str());
        ::rmdir(folder_.c_str());
    }
    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Read() {
        std::ostringstream text;
        text << std::ifstream(path_, std::ios::binary).rdbuf();
        return text.str();
    }
    std::u16string Path() const { return platform::Utf8ToU16(path_); }

    std::string folder_, path_;
};

TEST_F(RunRecordsTest, ManifestsOfEarlierRuns) {
    for (const ManifestRow& row : kRows) {
        SCOPED_TRACE(row.name);
        Write(row.text);
        RunRecords records({u"m", DedupeMode::Off, true});
        ASSERT_EQ(records.OpenManifest(Path()), row.result);
        if (row.result != ManifestOpen::Ok) {
            EXPECT_EQ(Read(), row.text); // a refused file is left as it is
            continue;
        }
        for (const auto& [source, message] : row.done)
            EXPECT_TRUE(records.PassOver(platform::Utf8ToU16(source), message)) << source << " " << message;
        for (const auto& [source, message] : row.redone)
            EXPECT_FALSE(records.PassOver(platform::Utf8ToU16(source), message)) << source << " " << message;
        EXPECT_EQ(records.passed_over, row.done.size());
        // This run's records begin on a line of their own.
        records.Write("{}");
        records.Flush();
        const std::string text = Read();
        EXPECT_EQ(text.substr(0, row.text.size()), row.text);
        const std::string added = text.substr(row.text.size());
        EXPECT_EQ(added, row.text.empty() || row.text.back() == '\n' ? "{}\n" : "\n{}\n");
    }
}

TEST_F(RunRecordsTest, RootsAndFirstCopies) {
    Write(std::string(kDone) + "\n" + kFirstCopy + "\n" + kDuplicate + "\n");
    RunRecords records({u"m", DedupeMode::Link, false});
    ASSERT_EQ(records.OpenManifest(Path()), ManifestOpen::Ok);
    EXPECT_TRUE(records.OtherRoots({u"/out", u"/other"}).empty());
    EXPECT_EQ(records.OtherRoots({u"/other"}), std::vector<std::u16string>{u"/out"});
    // Without --resume nothing is passed over.
    EXPECT_FALSE(records.PassOver(u"/m/a.eml", 1));
    // The recorded first copy is found in its root only; a recorded duplicate is no first copy.
    const FirstCopy* first = records.FindOrAdd("ab", u"/out", u"/out/y/a.png", u"y/a.png");
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->path, u"x/a.png");
    EXPECT_EQ(first->full_path, u"/out/x/a.png");
    EXPECT_EQ(records.FindOrAdd("ab", u"/other", u"/other/a.png", u"a.png"), nullptr);
    EXPECT_EQ(records.FindOrAdd("cd", u"/out", u"/out/c.png", u"c.png"), nullptr);
    const FirstCopy* again = records.FindOrAdd("cd", u"/out", u"/out/d.png", u"d.png");
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->path, u"c.png");
}

// Records are gathered and written as whole lines: not at all below the bound (the mail's records
// go out together at Flush), all of them once the bound is passed, the rest when the run ends.
TEST_F(RunRecordsTest, GatheredRecordsGoOutAsWholeLines) {
    const std::string record = "{\"type\":\"file\",\"path\":\"" + std::string(990, 'x') + "\"}";
    const size_t line = record.size() + 1;
    const size_t below = (RunRecords::kGatherLimit - 1) / line;
    {
        RunRecords records({u"m", DedupeMode::Off, false});
        ASSERT_EQ(records.OpenManifest(Path()), ManifestOpen::Ok);
        records.Write(record);
        EXPECT_EQ(Read(), "");
        records.Flush();
        EXPECT_EQ(Read(), record + "\n");
        for (size_t i = 0; i < below; ++i)
            records.Write(record);
        EXPECT_EQ(Read().size(), line);
        records.Write(record); // passes the bound
        std::string text = Read();
        EXPECT_EQ(text.size(), (below + 2) * line);
        records.Write("{}");
        EXPECT_EQ(Read().size(), text.size());
    }
    const std::string text = Read();
    ASSERT_EQ(text.size(), (below + 2) * line + 3);
    EXPECT_EQ(text.substr(text.size() - 3), "{}\n");
    for (size_t at = 0; at + 3 < text.size(); at += line)
        EXPECT_EQ(text.substr(at, line), record + "\n") << at;
}

} // namespace
} // namespace dornick

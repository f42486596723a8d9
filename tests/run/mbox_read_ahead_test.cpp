// Reading an mbox ahead hands over what the splitter alone gives, in order: many messages, messages
// past the bytes that may wait, refused ones, an archive cut short while it was read.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "console/run/mbox_read_ahead.h"

namespace dornick {
namespace {

struct Seen {
    uint64_t number, offset;
    std::string bytes;
    bool whole;
    bool operator==(const Seen&) const = default;
};

ArchiveReader ReaderOf(const std::string& bytes) {
    return [&bytes](uint64_t offset, unsigned char* into, size_t count) -> size_t {
        if (offset >= bytes.size()) return 0;
        const size_t n = std::min<size_t>(count, bytes.size() - offset);
        std::memcpy(into, bytes.data() + offset, n);
        return n;
    };
}

void StartOver(MboxSplitter& splitter, const std::string& archive, uint64_t size, uint64_t largest) {
    StartMboxSplit(splitter, ReaderOf(archive), size);
    splitter.largest_message = largest;
}

std::vector<Seen> InTurn(const std::string& archive, uint64_t size, uint64_t largest, bool& shrank) {
    MboxSplitter splitter;
    StartOver(splitter, archive, size, largest);
    std::vector<Seen> seen;
    MboxMessage message;
    MessageBytes bytes;
    while (NextMboxMessage(splitter, message)) {
        const bool whole = ReadMboxMessage(splitter, message, bytes);
        seen.push_back({message.number, message.offset, std::string(bytes.begin(), bytes.end()), whole});
    }
    shrank = splitter.shrank;
    return seen;
}

std::vector<Seen> Ahead(const std::string& archive, uint64_t size, uint64_t largest, bool& shrank) {
    MboxSplitter splitter;
    StartOver(splitter, archive, size, largest);
    MboxReadAhead ahead;
    ahead.Start(splitter);
    std::vector<Seen> seen;
    MboxPiece piece;
    while (ahead.Next(piece))
        seen.push_back({piece.message.number, piece.message.offset,
                        std::string(piece.bytes.begin(), piece.bytes.end()), piece.whole});
    ahead.Stop();
    shrank = splitter.shrank;
    return seen;
}

TEST(MboxReadAhead, GivesWhatTheSplitterGivesInOrder) {
    std::string many;
    for (int i = 0; i < 3000; ++i)
        many += "From x\nS: " + std::to_string(i) + "\n\n>From " + std::string(i % 97, 'q') + "\n\n";
    std::string large; // messages past the bytes that may wait, between small ones
    for (size_t size : {size_t{10}, size_t{5} << 20, size_t{20}, size_t{3} << 20, size_t{3} << 20, size_t{1}})
        large += "From y\nS: 1\n\n" + std::string(size, 'z') + "\n\n";
    const std::string refused = "From a\nS: 1\n\n" + std::string(5000, 'x') + "\n\nFrom b\nS: 2\n\ny\n";
    struct Row {
        const char* name;
        const std::string& archive;
        uint64_t size; ///< as opened; more than the archive holds: cut short while it was read
        uint64_t largest;
    } rows[] = {
        {"3,000 messages", many, many.size(), UINT64_MAX},
        {"large messages", large, large.size(), UINT64_MAX},
        {"a message refused", refused, refused.size(), 4096},
        {"cut short", refused, refused.size() + 100, UINT64_MAX},
        {"empty", refused, 0, UINT64_MAX},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        bool shrank_in_turn = false;
        bool shrank_ahead = false;
        const std::vector<Seen> expected = InTurn(row.archive, row.size, row.largest, shrank_in_turn);
        EXPECT_EQ(Ahead(row.archive, row.size, row.largest, shrank_ahead), expected);
        EXPECT_EQ(shrank_ahead, shrank_in_turn);
    }
}

// A reader stopped before the end of the archive lets go of its thread at once.
TEST(MboxReadAhead, StopsBeforeTheEnd) {
    std::string archive;
    for (int i = 0; i < 1000; ++i)
        archive += "From x\nS: " + std::to_string(i) + "\n\n";
    MboxSplitter splitter;
    StartOver(splitter, archive, archive.size(), UINT64_MAX);
    MboxReadAhead ahead;
    ahead.Start(splitter);
    MboxPiece piece;
    ASSERT_TRUE(ahead.Next(piece));
    EXPECT_EQ(piece.message.number, 1u);
    ahead.Stop();
    EXPECT_LT(splitter.count, 1000u); // held up by the bound on what may wait
}

} // namespace
} // namespace dornick

#pragma once
// One part of a run's input, so that N processes (on N machines, or N jobs of a batch scheduler),
// each into its own output root, together take every file once. The mails of the input list go to
// the parts by position, in turn (position modulo N); the messages of an mbox by byte range, each
// to the part whose range holds the first byte of its separator.

#include <cstdint>
#include <string_view>

namespace dornick {

/// Part `number` of `count`, both from 1: 1/1 is the whole input.
struct Shard {
    uint64_t number = 1;
    uint64_t count = 1;
};

/// Reads "K/N" (decimal, 1 <= K <= N); false for anything else, `shard` unchanged.
[[nodiscard]] bool ParseShard(std::u16string_view text, Shard& shard);

/// True when the input at `position` (from 0, over the run's whole list) belongs to the part.
constexpr bool OwnsPosition(const Shard& shard, uint64_t position) {
    return position % shard.count == shard.number - 1;
}

/// Bytes [begin, end) of an archive; `end` of the last part is past every offset.
struct ByteRange {
    uint64_t begin = 0;
    uint64_t end = UINT64_MAX;
    bool Holds(uint64_t offset) const { return offset >= begin && offset < end; }
};

/// The part's share of an archive of `size` bytes: the N ranges cut it in N nearly equal pieces.
ByteRange ShardByteRange(const Shard& shard, uint64_t size);

} // namespace dornick

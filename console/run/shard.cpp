#include "console/run/shard.h"

namespace dornick {
namespace {

// Far more parts than any cluster has, and small enough that no arithmetic on it overflows.
constexpr uint64_t kMostParts = 1'000'000'000;

bool ParseCount(std::u16string_view digits, uint64_t& value) {
    if (digits.empty()) return false;
    value = 0;
    for (char16_t digit : digits) {
        if (digit < u'0' || digit > u'9') return false;
        value = value * 10 + static_cast<uint64_t>(digit - u'0');
        if (value > kMostParts) return false;
    }
    return true;
}

} // namespace

bool ParseShard(std::u16string_view text, Shard& shard) {
    const size_t slash = text.find(u'/');
    if (slash == std::u16string_view::npos) return false;
    Shard read;
    if (!ParseCount(text.substr(0, slash), read.number) || !ParseCount(text.substr(slash + 1), read.count))
        return false;
    if (read.number < 1 || read.number > read.count) return false;
    shard = read;
    return true;
}

ByteRange ShardByteRange(const Shard& shard, uint64_t size) {
    // size * K / N without overflow for any 64-bit size.
    auto cut = [&](uint64_t k) {
        return static_cast<uint64_t>(static_cast<unsigned __int128>(size) * k / shard.count);
    };
    ByteRange range;
    range.begin = cut(shard.number - 1);
    range.end = shard.number == shard.count ? UINT64_MAX : cut(shard.number);
    return range;
}

} // namespace dornick

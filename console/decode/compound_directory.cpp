#include "console/decode/compound_directory.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "console/decode/little_endian.h"

namespace dornick {
namespace {

constexpr uint32_t kNoEntry = 0xFFFFFFFF;
constexpr uint32_t kLastSector = 0xFFFFFFFE;
constexpr size_t kHeaderFatSlots = 109;
constexpr size_t kEntryBytes = 128;
constexpr std::string_view kAttachPrefix = "__attach_version1.0_#";

class Directory {
  public:
    Directory(const unsigned char* data, uint64_t size) : data_(data), size_(size) {}

    // The sectors of the directory stream, in order; false when they cannot be followed.
    bool Load() {
        if (size_ < 512) return false;
        const unsigned shift = data_[30] | data_[31] << 8;
        if (shift != 9 && shift != 12) return false;
        sector_bytes_ = size_t{1} << shift;
        if (!LoadFat()) return false;
        const uint64_t limit = size_ / sector_bytes_ + 1;
        for (uint32_t s = Dword(data_ + 48); s != kLastSector; s = Next(s)) {
            if (!Inside(s) || sectors_.size() > limit) return false;
            sectors_.push_back(s);
        }
        return !sectors_.empty();
    }

    uint32_t Entries() const {
        return static_cast<uint32_t>(sectors_.size() * (sector_bytes_ / kEntryBytes));
    }

    const unsigned char* Entry(uint32_t index) const {
        const size_t per_sector = sector_bytes_ / kEntryBytes;
        return data_ + Offset(sectors_[index / per_sector]) + index % per_sector * kEntryBytes;
    }

  private:
    uint64_t Offset(uint32_t sector) const { return (uint64_t{sector} + 1) * sector_bytes_; }
    bool Inside(uint32_t sector) const { return Offset(sector) + sector_bytes_ <= size_; }

    // The sectors that hold the allocation table: 109 named in the header, the rest in a chain.
    bool LoadFat() {
        const uint64_t count = Dword(data_ + 44);
        if (count > size_ / sector_bytes_) return false;
        for (size_t i = 0; i < kHeaderFatSlots && fat_.size() < count; ++i)
            fat_.push_back(Dword(data_ + 76 + 4 * i));
        const size_t per_sector = sector_bytes_ / 4 - 1;
        for (uint32_t s = Dword(data_ + 68); fat_.size() < count;
             s = Dword(data_ + Offset(s) + per_sector * 4)) {
            if (!Inside(s)) return false;
            for (size_t i = 0; i < per_sector && fat_.size() < count; ++i)
                fat_.push_back(Dword(data_ + Offset(s) + 4 * i));
        }
        return true;
    }

    uint32_t Next(uint32_t sector) const {
        const size_t per_sector = sector_bytes_ / 4;
        const size_t slot = sector / per_sector;
        if (slot >= fat_.size() || !Inside(fat_[slot])) return kLastSector;
        return Dword(data_ + Offset(fat_[slot]) + sector % per_sector * 4);
    }

    const unsigned char* data_;
    uint64_t size_;
    size_t sector_bytes_ = 512;
    std::vector<uint32_t> fat_;
    std::vector<uint32_t> sectors_;
};

bool IsAttachmentStorage(const unsigned char* entry) {
    if (entry[66] != 1) return false;
    for (size_t i = 0; i < kAttachPrefix.size(); ++i)
        if (entry[2 * i] != static_cast<unsigned char>(kAttachPrefix[i]) || entry[2 * i + 1] != 0)
            return false;
    return true;
}

} // namespace

CompoundDirectoryShape MeasureCompoundDirectory(const unsigned char* data, uint64_t size) {
    CompoundDirectoryShape shape;
    Directory directory(data, size);
    if (!directory.Load()) return shape;
    const uint32_t entries = directory.Entries();
    std::vector<bool> seen(entries);
    std::vector<uint32_t> width(entries); // per storage: the entries met directly inside it
    struct Visit {
        uint32_t entry, storage, depth;
    };
    std::vector<Visit> pending{{0, kNoEntry, 1}};
    seen[0] = true;
    while (!pending.empty()) {
        const Visit visit = pending.back();
        pending.pop_back();
        const unsigned char* entry = directory.Entry(visit.entry);
        shape.deepest = std::max(shape.deepest, visit.depth);
        if (visit.storage != kNoEntry) shape.widest = std::max(shape.widest, ++width[visit.storage]);
        if (IsAttachmentStorage(entry)) ++shape.attachment_storages;
        auto follow = [&](uint32_t link, uint32_t storage) {
            if (link >= entries || seen[link]) return;
            seen[link] = true;
            pending.push_back({link, storage, visit.depth + 1});
        };
        follow(Dword(entry + 68), visit.storage);
        follow(Dword(entry + 72), visit.storage);
        if (entry[66] == 1 || entry[66] == 5) follow(Dword(entry + 76), visit.entry);
    }
    shape.measured = true;
    return shape;
}

} // namespace dornick

#include "console/decode/tnef_walk.h"

#include <cstring>
#include <string>

#include "console/decode/little_endian.h"
#include "console/decode/mapi_properties.h"

namespace dornick {
namespace {

constexpr unsigned char kSignature[4] = {0x78, 0x9F, 0x3E, 0x22};

// Attribute ids and types.
constexpr uint16_t kAttachTitle = 0x8010;
constexpr uint16_t kAttachModifyDate = 0x8013;
constexpr uint16_t kOemCodepage = 0x9007;
constexpr uint16_t kAttachData = 0x800F;
constexpr uint16_t kAttachment = 0x9005;
constexpr uint16_t kTypeString = 0x0001;
constexpr uint16_t kTypeDate = 0x0003;
constexpr uint16_t kTypeByte = 0x0006;

// Property types and ids of the attachment's property list.
constexpr uint16_t kMultiValued = mapi::kMultiValued;
constexpr uint16_t kNamedProperty = mapi::kNamedProperty;
constexpr uint16_t kPropString8 = mapi::kTypeString8;
constexpr uint16_t kPropUnicode = mapi::kTypeUnicode;
constexpr uint16_t kPropObject = mapi::kTypeObject;
constexpr uint16_t kPropBinary = mapi::kTypeBinary;
constexpr uint16_t kLongFileName = mapi::kAttachLongFileName;

// The date record: year, month, day, hour, minute, second, day of week.
constexpr size_t kDateBytes = 14;
// attOemCodepage is read into an area of this size; only its first 4 bytes are used.
constexpr size_t kCodepageArea = 16;
// Two skipped bytes (key or checksum), level, id, type, length.
constexpr int64_t kUnitBytes = 11;

// The text before the first NUL: titles and long names are C strings in the container.
std::string_view UpToNul(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

// The attribute's data as the mapping holds it: at most `length` bytes, the cursor moved past them.
std::string_view TakeData(LineCursor& cursor, uint32_t length) {
    const unsigned char* start = cursor.pos;
    const int64_t taken = ReadBytes(nullptr, length, nullptr, cursor);
    return {reinterpret_cast<const char*>(start), static_cast<size_t>(taken)};
}

// Reads fixed-size values out of the attachment's property list, never past its end.
struct PropertyReader {
    const unsigned char* p;
    const unsigned char* end;

    bool Has(uint64_t n) const { return static_cast<uint64_t>(end - p) >= n; }
    bool Dword(uint32_t& value) {
        if (!Has(4)) return false;
        value = dornick::Dword(p);
        p += 4;
        return true;
    }
};

using mapi::FixedValueSize;

class Walk {
  public:
    Walk(LineCursor& cursor, TnefEvents& events) : cursor_(cursor), events_(events) {}

    TnefWalkResult Run() {
        unsigned char unit[kUnitBytes];
        for (;;) {
            // The last attribute leaves only its 2 checksum bytes: a partial unit ends the walk as
            // an empty one does.
            if (ReadBytes(unit, kUnitBytes, nullptr, cursor_) < kUnitBytes) return Stop(TnefStop::EndOfData);
            const uint16_t id = Word(unit + 3);
            const uint16_t type = Word(unit + 5);
            const uint32_t length = Dword(unit + 7);
            if (type == kTypeString && id == kAttachTitle) {
                if (length == 0) return Stop(TnefStop::ZeroLength);
                Title(length);
            } else if (type == kTypeDate && id == kAttachModifyDate && length <= kDateBytes) {
                ModifyDate(length);
            } else if (type == kTypeByte && id == kOemCodepage) {
                Codepage(length);
            } else if (type == kTypeByte && id == kAttachData) {
                Data(TakeData(cursor_, length));
            } else if (type == kTypeByte && id == kAttachment) {
                if (!Properties(TakeData(cursor_, length))) return Stop(TnefStop::UnknownProperty);
            } else {
                if (length == 0) return Stop(TnefStop::ZeroLength);
                ReadBytes(nullptr, length, nullptr, cursor_);
            }
        }
    }

  private:
    TnefWalkResult Stop(TnefStop why) const { return {result_, why}; }

    void Title(uint32_t length) {
        const uint32_t kept = length < kTnefNameLimit ? length : static_cast<uint32_t>(kTnefNameLimit);
        // A longer title is cut, and its remaining bytes skipped so that the walk stays in step.
        title_.assign(UpToNul(TakeData(cursor_, kept)));
        if (length > kept) ReadBytes(nullptr, length - kept, nullptr, cursor_);
        if (!has_pending_) return;
        Hand(pending_);
        has_pending_ = false;
    }

    void Data(std::string_view data) {
        if (title_.empty()) {
            // The title may follow the data; a second untitled piece replaces the first.
            pending_ = data;
            has_pending_ = true;
            return;
        }
        Hand(data);
    }

    void Hand(std::string_view data) {
        events_.OnAttachment(title_, data);
        last_title_ = title_;
        title_.clear();
        result_ = 1;
    }

    void ModifyDate(uint32_t length) {
        unsigned char record[kDateBytes] = {};
        ReadBytes(record, length, nullptr, cursor_);
        platform::SystemTime local;
        local.wYear = Word(record);
        local.wMonth = Word(record + 2);
        local.wDay = Word(record + 4);
        local.wHour = Word(record + 6);
        local.wMinute = Word(record + 8);
        local.wSecond = Word(record + 10);
        local.wDayOfWeek = Word(record + 12);
        events_.OnModifyDate(local);
    }

    void Codepage(uint32_t length) {
        unsigned char area[kCodepageArea] = {};
        const uint32_t kept = length < kCodepageArea ? length : static_cast<uint32_t>(kCodepageArea);
        ReadBytes(area, kept, nullptr, cursor_);
        if (length > kept) ReadBytes(nullptr, length - kept, nullptr, cursor_);
        events_.OnCodePage(static_cast<int32_t>(Dword(area)));
    }

    // The attachment's property list, within its data only. False when a property type of unknown
    // size ends the whole walk.
    bool Properties(std::string_view data) {
        PropertyReader in{reinterpret_cast<const unsigned char*>(data.data()),
                          reinterpret_cast<const unsigned char*>(data.data()) + data.size()};
        uint32_t count = 0;
        if (!in.Dword(count)) return true;
        for (uint32_t i = 0; i < count; ++i) {
            uint32_t tag = 0;
            if (!in.Dword(tag)) return true;
            const uint16_t type = static_cast<uint16_t>(tag & 0xFFFF);
            const uint16_t id = static_cast<uint16_t>(tag >> 16);
            if (id & kNamedProperty) return true;
            const uint16_t base = type & static_cast<uint16_t>(~kMultiValued);
            const int fixed = FixedValueSize(base);
            if (fixed < 0) return false;
            uint32_t values = 1;
            if ((type & kMultiValued) || fixed == 0) {
                if (!in.Dword(values)) return true;
            }
            for (uint32_t v = 0; v < values; ++v) {
                if (fixed > 0) {
                    if (!in.Has(static_cast<uint64_t>(fixed))) return true;
                    in.p += fixed;
                    continue;
                }
                uint32_t length = 0;
                if (!in.Dword(length)) return true;
                // The value is padded to a multiple of 4; a value that runs past the data ends the list.
                const uint64_t padded = (static_cast<uint64_t>(length) + 3) & ~uint64_t{3};
                if (!in.Has(length)) return true;
                const char* bytes = reinterpret_cast<const char*>(in.p);
                in.p += in.Has(padded) ? padded : length;
                if (id == kLongFileName && v == 0) LongName(base, std::string_view(bytes, length));
            }
        }
        return true;
    }

    void LongName(uint16_t type, std::string_view bytes) {
        if (type == kPropString8) {
            std::string_view name = UpToNul(bytes.substr(0, kTnefNameLimit));
            // A terminating NUL on either side does not make the names differ.
            if (name != last_title_) events_.OnLongName(name);
            return;
        }
        if (type != kPropUnicode) return;
        // An odd last byte is no whole unit and is left out.
        std::u16string name;
        for (size_t i = 0; i + 1 < bytes.size() && i < kTnefNameLimit; i += 2) {
            const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                        static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (unit == 0) break;
            name.push_back(unit);
        }
        events_.OnUnicodeLongName(name);
    }

    LineCursor& cursor_;
    TnefEvents& events_;
    std::string title_;
    std::string last_title_;
    std::string_view pending_;
    bool has_pending_ = false;
    int result_ = 0;
};

} // namespace

bool HasTnefSignature(const unsigned char* data, uint64_t size) {
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

TnefWalkResult TnefWalkAttributes(LineCursor& cursor, TnefEvents& events) {
    return Walk(cursor, events).Run();
}

} // namespace dornick

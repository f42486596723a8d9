#include "msg_writer.h"

#include <cstdio>
#include <cstring>

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-memory.h>
#include <gsf/gsf-output.h>

namespace msg_test {
namespace {

constexpr int64_t kEpochOffset = 11644473600;

void PutU32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>(v >> (8 * i)));
}

std::string Utf16Le(const std::u16string& text, bool terminated = true) {
    std::string out;
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    if (terminated) out.append(2, '\0');
    return out;
}

void Stream(GsfOutfile* storage, const std::string& name, const std::string& bytes) {
    GsfOutput* child = gsf_outfile_new_child(storage, name.c_str(), FALSE);
    gsf_output_write(child, bytes.size(), reinterpret_cast<const guint8*>(bytes.data()));
    gsf_output_close(child);
    g_object_unref(child);
}

std::string SubName(uint16_t id, uint16_t type) {
    char name[32];
    std::snprintf(name, sizeof name, "__substg1.0_%04X%04X", id, type);
    return name;
}

// The fixed-size property stream: a header of `header_bytes` zeros, then 16-byte entries.
struct Properties {
    std::string bytes;
    explicit Properties(size_t header_bytes) : bytes(header_bytes, '\0') {}
    void Entry(uint16_t id, uint16_t type, uint64_t value) {
        PutU32(bytes, static_cast<uint32_t>(id) << 16 | type);
        PutU32(bytes, 6);
        PutU32(bytes, static_cast<uint32_t>(value));
        PutU32(bytes, static_cast<uint32_t>(value >> 32));
    }
    void Time(uint16_t id, int64_t seconds) {
        Entry(id, 0x0040, static_cast<uint64_t>(seconds + kEpochOffset) * 10000000u);
    }
};

void Message(GsfOutfile* storage, const MsgLayout& layout, bool top);

void Attachment(GsfOutfile* storage, const AttachmentSpec& layout) {
    Properties props(8);
    props.Entry(0x3705, 0x0003, static_cast<uint32_t>(layout.method));
    Stream(storage, "__properties_version1.0", props.bytes);
    if (!layout.long_unicode.empty()) Stream(storage, SubName(0x3707, 0x001F), Utf16Le(layout.long_unicode));
    if (!layout.long8.empty()) Stream(storage, SubName(0x3707, 0x001E), layout.long8 + '\0');
    if (!layout.short_unicode.empty())
        Stream(storage, SubName(0x3704, 0x001F), Utf16Le(layout.short_unicode));
    if (!layout.short8.empty()) Stream(storage, SubName(0x3704, 0x001E), layout.short8 + '\0');
    if (layout.embedded) {
        GsfOutput* inner = gsf_outfile_new_child(storage, SubName(0x3701, 0x000D).c_str(), TRUE);
        Message(GSF_OUTFILE(inner), *layout.embedded, false);
        gsf_output_close(inner);
        g_object_unref(inner);
    } else if (layout.has_data) {
        Stream(storage, SubName(0x3701, 0x0102), layout.data);
    }
}

void Message(GsfOutfile* storage, const MsgLayout& layout, bool top) {
    Properties props(top ? 32 : 24);
    if (layout.code_page) props.Entry(0x3FFD, 0x0003, static_cast<uint32_t>(*layout.code_page));
    if (layout.submit_time) props.Time(0x0039, *layout.submit_time);
    if (layout.delivery_time) props.Time(0x0E06, *layout.delivery_time);
    Stream(storage, "__properties_version1.0", props.bytes);
    if (!layout.smtp_sender.empty()) Stream(storage, SubName(0x5D01, 0x001F), Utf16Le(layout.smtp_sender));
    if (!layout.sender_email.empty()) Stream(storage, SubName(0x0C1F, 0x001F), Utf16Le(layout.sender_email));
    if (!layout.transport_headers.empty()) {
        if (layout.headers_in_unicode) {
            std::u16string wide;
            for (unsigned char c : layout.transport_headers)
                wide.push_back(c);
            Stream(storage, SubName(0x007D, 0x001F), Utf16Le(wide));
        } else {
            Stream(storage, SubName(0x007D, 0x001E), layout.transport_headers + '\0');
        }
    }
    for (size_t i = 0; i < layout.attachments.size(); ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "__attach_version1.0_#%08zX", i);
        GsfOutput* child = gsf_outfile_new_child(storage, name, TRUE);
        Attachment(GSF_OUTFILE(child), layout.attachments[i]);
        gsf_output_close(child);
        g_object_unref(child);
    }
}

} // namespace

std::string WriteMsg(const MsgLayout& layout) {
    GsfOutput* memory = gsf_output_memory_new();
    GsfOutfile* file = gsf_outfile_msole_new(memory);
    Message(file, layout, true);
    gsf_output_close(GSF_OUTPUT(file));
    g_object_unref(file);
    const guint8* bytes = gsf_output_memory_get_bytes(GSF_OUTPUT_MEMORY(memory));
    std::string out(reinterpret_cast<const char*>(bytes), static_cast<size_t>(gsf_output_size(memory)));
    g_object_unref(memory); // closed with the file
    return out;
}

std::u16string Utf16(const std::string& utf8) {
    std::u16string out;
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        int extra;
        if (c < 0x80)
            cp = c, extra = 0;
        else if (c < 0xE0)
            cp = c & 0x1F, extra = 1;
        else if (c < 0xF0)
            cp = c & 0x0F, extra = 2;
        else
            cp = c & 0x07, extra = 3;
        ++i;
        for (int k = 0; k < extra && i < utf8.size(); ++k, ++i)
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::shared_ptr<MsgLayout> NestedMessage(int depth) {
    auto inner = std::make_shared<MsgLayout>();
    inner->attachments.push_back(
        {u"level" + Utf16(std::to_string(depth)) + u".txt", "", u"", "", 1, "deepest"});
    for (int level = depth - 1; level >= 0; --level) {
        auto outer = std::make_shared<MsgLayout>();
        outer->attachments.push_back(
            {u"level" + Utf16(std::to_string(level)) + u".txt", "", u"", "", 1, "text"});
        AttachmentSpec embedded;
        embedded.method = 5;
        embedded.embedded = inner;
        outer->attachments.push_back(embedded);
        inner = outer;
    }
    return inner;
}

bool SetDeclaredSize(std::string& file, const std::string& name, uint32_t size) {
    // A directory entry: the name in UTF-16 (64 bytes), its length, ..., the size at byte 120.
    const std::string wide = Utf16Le(Utf16(name), false);
    for (size_t at = file.find(wide); at != std::string::npos; at = file.find(wide, at + 1)) {
        if (at % 128 != 0 || at + 128 > file.size()) continue;
        std::memcpy(file.data() + at + 120, &size, 4);
        return true;
    }
    return false;
}

} // namespace msg_test

namespace msg_test {
namespace {

constexpr uint32_t kNoEntry = 0xFFFFFFFF;
constexpr uint32_t kEndOfChain = 0xFFFFFFFE;
constexpr uint32_t kFatSector = 0xFFFFFFFD;
constexpr size_t kSectorBytes = 4096;
constexpr size_t kEntryBytes = 128;

void SetU32(std::string& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out[at + i] = static_cast<char>(v >> (8 * i));
}

// One directory entry: name, type, and the left, right and child links.
void DirectoryEntry(std::string& out, size_t at, const std::string& name, uint8_t type, uint32_t left,
                    uint32_t right, uint32_t child) {
    const std::string wide = Utf16Le(Utf16(name));
    out.replace(at, wide.size(), wide);
    out[at + 64] = static_cast<char>(wide.size());
    out[at + 66] = static_cast<char>(type);
    out[at + 67] = 1; // black
    SetU32(out, at + 68, left);
    SetU32(out, at + 72, right);
    SetU32(out, at + 76, child);
    SetU32(out, at + 116, kEndOfChain);
}

// Links the entries first..last (sorted by name) as a balanced tree; returns its top.
uint32_t Balance(std::string& out, size_t directory, uint32_t first, uint32_t last) {
    if (first > last) return kNoEntry;
    const uint32_t middle = first + (last - first) / 2;
    const size_t at = directory + middle * kEntryBytes;
    SetU32(out, at + 68, middle > first ? Balance(out, directory, first, middle - 1) : kNoEntry);
    SetU32(out, at + 72, Balance(out, directory, middle + 1, last));
    return middle;
}

} // namespace

std::string WriteBareStorages(int count, StorageShape shape) {
    const size_t entries = static_cast<size_t>(count) + 1;
    const size_t per_sector = kSectorBytes / kEntryBytes;
    const uint32_t directory_sectors = static_cast<uint32_t>((entries + per_sector - 1) / per_sector);
    uint32_t fat_sectors = 1;
    while (uint64_t{fat_sectors} * (kSectorBytes / 4) < fat_sectors + directory_sectors)
        ++fat_sectors;
    std::string out(kSectorBytes * (1 + fat_sectors + directory_sectors), '\0');

    static const unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    out.replace(0, 8, reinterpret_cast<const char*>(kSignature), 8);
    out[24] = 0x3E; // minor version
    out[26] = 4;    // major version: 4096-byte sectors
    out[28] = '\xFE', out[29] = '\xFF';
    out[30] = 12; // sector shift
    out[32] = 6;  // mini sector shift
    SetU32(out, 40, directory_sectors);
    SetU32(out, 44, fat_sectors);
    SetU32(out, 48, fat_sectors); // the directory follows the allocation table
    SetU32(out, 56, 4096);        // mini stream cutoff
    SetU32(out, 60, kEndOfChain); // no mini allocation table
    SetU32(out, 68, kEndOfChain); // no further table of the allocation table's sectors
    for (size_t i = 0; i < 109; ++i)
        SetU32(out, 76 + 4 * i, i < fat_sectors ? static_cast<uint32_t>(i) : kNoEntry);

    const size_t fat = kSectorBytes;
    for (size_t s = 0; s < fat_sectors * (kSectorBytes / 4); ++s) {
        uint32_t next = kNoEntry;
        if (s < fat_sectors)
            next = kFatSector;
        else if (s < fat_sectors + directory_sectors)
            next = s + 1 < fat_sectors + directory_sectors ? static_cast<uint32_t>(s + 1) : kEndOfChain;
        SetU32(out, fat + 4 * s, next);
    }

    const size_t directory = kSectorBytes * (1 + fat_sectors);
    for (size_t i = entries; i < directory_sectors * per_sector; ++i) {
        const size_t at = directory + i * kEntryBytes;
        SetU32(out, at + 68, kNoEntry), SetU32(out, at + 72, kNoEntry), SetU32(out, at + 76, kNoEntry);
    }
    DirectoryEntry(out, directory, "Root Entry", 5, kNoEntry, kNoEntry, count > 0 ? 1 : kNoEntry);
    for (uint32_t i = 1; i < entries; ++i) {
        char name[40];
        std::snprintf(name, sizeof name, "__attach_version1.0_#%08X", i - 1);
        const uint32_t next = i + 1 < entries ? i + 1 : kNoEntry;
        if (shape == StorageShape::Nested)
            DirectoryEntry(out, directory + i * kEntryBytes, "nest", 1, kNoEntry, kNoEntry, next);
        else
            DirectoryEntry(out, directory + i * kEntryBytes, name, 1, kNoEntry,
                           shape == StorageShape::Chain ? next : kNoEntry, kNoEntry);
    }
    if (shape == StorageShape::Balanced && count > 0)
        SetU32(out, directory + 76, Balance(out, directory, 1, static_cast<uint32_t>(count)));
    return out;
}

} // namespace msg_test

#include "console/decode/msg_reader.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>

#include "console/decode/compound_directory.h"
#include "console/decode/little_endian.h"
#include "console/decode/mapi_properties.h"

namespace dornick {
namespace {

constexpr unsigned char kSignature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
constexpr std::string_view kAttachPrefix = "__attach_version1.0_#";
constexpr const char* kProperties = "__properties_version1.0";
// Bytes before the first property entry: the top message, an embedded one, an attachment.
constexpr size_t kTopHeaderBytes = 32;
constexpr size_t kEmbeddedHeaderBytes = 24;
constexpr size_t kAttachmentHeaderBytes = 8;
constexpr size_t kEntryBytes = 16;
// Seconds from 1601-01-01 to 1970-01-01, and the FILETIME unit.
constexpr int64_t kEpochOffset = 11644473600;
constexpr int64_t kTicksPerSecond = 10000000;

// Releases a GObject reference on scope exit.
template <typename T> struct Ref {
    T* p = nullptr;
    explicit Ref(T* object) : p(object) {}
    ~Ref() {
        if (p) g_object_unref(p);
    }
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    explicit operator bool() const { return p != nullptr; }
};

std::string StreamName(uint16_t id, uint16_t type) {
    char name[32];
    std::snprintf(name, sizeof name, "__substg1.0_%04X%04X", id, type);
    return name;
}

// The fixed-size values of one property stream, by id.
struct FixedProperties {
    struct Entry {
        uint16_t id;
        uint16_t type;
        const unsigned char* value; // 8 bytes
    };
    std::string bytes;
    std::vector<Entry> entries;

    const unsigned char* Find(uint16_t id, uint16_t type) const {
        for (const Entry& entry : entries)
            if (entry.id == id && entry.type == type) return entry.value;
        return nullptr;
    }
    std::optional<int32_t> Int32(uint16_t id) const {
        const unsigned char* value = Find(id, mapi::kTypeInt32);
        if (!value) return std::nullopt;
        return static_cast<int32_t>(Dword(value));
    }
    // A FILETIME as seconds since 1970; none for a zero time.
    std::optional<int64_t> Time(uint16_t id) const {
        const unsigned char* value = Find(id, mapi::kTypeSysTime);
        if (!value) return std::nullopt;
        const uint64_t ticks = static_cast<uint64_t>(Dword(value)) | static_cast<uint64_t>(Dword(value + 4))
                                                                         << 32;
        if (ticks == 0 || ticks > static_cast<uint64_t>(INT64_MAX)) return std::nullopt;
        return static_cast<int64_t>(ticks) / kTicksPerSecond - kEpochOffset;
    }
};

std::u16string Utf16Le(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                    static_cast<unsigned char>(bytes[i + 1]) << 8);
        if (unit == 0) break;
        text.push_back(unit);
    }
    return text;
}

std::string Utf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | c >> 6));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | c >> 12));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | c >> 18));
            out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::string_view UpToNul(std::string_view bytes) {
    return bytes.substr(0, bytes.find('\0'));
}

class Reader {
  public:
    Reader(uint64_t file_size, MsgEvents& events, MsgReadResult& result, bool header_only)
        : events_(events), result_(result), header_only_(header_only),
          // Streams of a sound file never add up to more than the file: a chain that points
          // again and again at the same sectors is read only to a few times its size.
          budget_(file_size * 4 + (64u << 20)), file_size_(file_size) {}

    void Message(GsfInfile* storage, int depth, int32_t code_page, MsgHeader* header) {
        const FixedProperties fixed =
            Properties(storage, depth == 0 ? kTopHeaderBytes : kEmbeddedHeaderBytes);
        if (const auto own = fixed.Int32(mapi::kMessageCodePage))
            code_page = *own;
        else if (const auto internet = fixed.Int32(mapi::kInternetCodePage))
            code_page = *internet;
        if (header) ReadHeader(storage, fixed, code_page, *header);
        if (header_only_) return;

        const int children = gsf_infile_num_children(storage);
        int seen = 0;
        for (int i = 0; i < children; ++i) {
            const char* name = gsf_infile_name_by_index(storage, i);
            if (!name || std::string_view(name).substr(0, kAttachPrefix.size()) != kAttachPrefix) continue;
            if (++seen > kMsgAttachmentLimit) {
                ++result_.skipped;
                continue;
            }
            Ref<GsfInput> child(gsf_infile_child_by_index(storage, i));
            if (!child || !GSF_IS_INFILE(child.p) || gsf_infile_num_children(GSF_INFILE(child.p)) < 0)
                continue;
            Attachment(GSF_INFILE(child.p), depth, code_page);
        }
    }

  private:
    void Attachment(GsfInfile* storage, int depth, int32_t code_page) {
        const FixedProperties fixed = Properties(storage, kAttachmentHeaderBytes);
        MsgAttachment attachment;
        attachment.method = fixed.Int32(mapi::kAttachMethod).value_or(0);
        attachment.depth = depth;
        attachment.code_page = code_page;
        if (attachment.method == mapi::kAttachEmbeddedMessage) {
            Ref<GsfInput> inner(
                gsf_infile_child_by_name(storage, StreamName(mapi::kAttachData, mapi::kTypeObject).c_str()));
            if (inner && GSF_IS_INFILE(inner.p) && gsf_infile_num_children(GSF_INFILE(inner.p)) >= 0) {
                if (depth + 1 > kMsgDepthLimit)
                    result_.depth_cut = true;
                else
                    Message(GSF_INFILE(inner.p), depth + 1, code_page, nullptr);
                return;
            }
        }
        for (uint16_t id : {mapi::kAttachLongFileName, mapi::kAttachFileName}) {
            if (auto unicode = Stream(storage, id, mapi::kTypeUnicode)) {
                attachment.unicode_name = Utf16Le(*unicode);
                if (!attachment.unicode_name.empty()) break;
            }
            if (auto bytes = Stream(storage, id, mapi::kTypeString8)) {
                attachment.name8 = std::string(UpToNul(*bytes));
                if (!attachment.name8.empty()) break;
            }
        }
        const std::string data_name = StreamName(mapi::kAttachData, mapi::kTypeBinary);
        const auto data = Stream(storage, mapi::kAttachData, mapi::kTypeBinary);
        if (!data) {
            // Listed but not opened: its directory entry is damaged (a size past the file's end).
            if (Listed(storage, data_name)) ++result_.unreadable;
            return;
        }
        ++result_.attachments;
        events_.OnAttachment(attachment, *data);
    }

    void ReadHeader(GsfInfile* storage, const FixedProperties& fixed, int32_t code_page, MsgHeader& header) {
        header.code_page = code_page;
        header.submit_time = fixed.Time(mapi::kClientSubmitTime);
        header.delivery_time = fixed.Time(mapi::kDeliveryTime);
        for (uint16_t id :
             {mapi::kSenderSmtpAddress, mapi::kSentRepresentingSmtpAddress, mapi::kSenderEmailAddress}) {
            std::u16string address = Text(storage, id);
            if (id == mapi::kSenderEmailAddress && address.find(u'@') == std::u16string::npos) continue;
            if (!address.empty()) {
                header.smtp_sender = std::move(address);
                break;
            }
        }
        if (auto unicode = Stream(storage, mapi::kTransportHeaders, mapi::kTypeUnicode))
            header.transport_headers = Utf8(Utf16Le(*unicode));
        else if (auto bytes = Stream(storage, mapi::kTransportHeaders, mapi::kTypeString8))
            header.transport_headers = std::string(UpToNul(*bytes));
    }

    static bool Listed(GsfInfile* storage, const std::string& name) {
        const int children = gsf_infile_num_children(storage);
        for (int i = 0; i < children; ++i) {
            const char* listed = gsf_infile_name_by_index(storage, i);
            if (listed && name == listed) return true;
        }
        return false;
    }

    // A string property in Unicode, else its 8-bit form widened byte by byte (addresses are ASCII).
    std::u16string Text(GsfInfile* storage, uint16_t id) {
        if (auto unicode = Stream(storage, id, mapi::kTypeUnicode)) return Utf16Le(*unicode);
        std::u16string text;
        if (auto bytes = Stream(storage, id, mapi::kTypeString8))
            for (char c : UpToNul(*bytes))
                text.push_back(static_cast<unsigned char>(c));
        return text;
    }

    FixedProperties Properties(GsfInfile* storage, size_t header_bytes) {
        FixedProperties fixed;
        Ref<GsfInput> stream(gsf_infile_child_by_name(storage, kProperties));
        if (!stream || !Read(stream.p, fixed.bytes)) return fixed;
        const auto* p = reinterpret_cast<const unsigned char*>(fixed.bytes.data());
        for (size_t at = header_bytes; at + kEntryBytes <= fixed.bytes.size(); at += kEntryBytes) {
            const uint32_t tag = Dword(p + at);
            fixed.entries.push_back(
                {static_cast<uint16_t>(tag >> 16), static_cast<uint16_t>(tag & 0xFFFF), p + at + 8});
        }
        return fixed;
    }

    std::optional<std::string> Stream(GsfInfile* storage, uint16_t id, uint16_t type) {
        Ref<GsfInput> stream(gsf_infile_child_by_name(storage, StreamName(id, type).c_str()));
        std::string bytes;
        if (!stream || (GSF_IS_INFILE(stream.p) && gsf_infile_num_children(GSF_INFILE(stream.p)) >= 0) ||
            !Read(stream.p, bytes))
            return std::nullopt;
        return bytes;
    }

    // The whole stream, or false when it claims more than the file holds, the read budget is spent,
    // or its sectors cannot be read.
    bool Read(GsfInput* stream, std::string& bytes) {
        const gsf_off_t size = gsf_input_size(stream);
        if (size < 0 || static_cast<uint64_t>(size) > file_size_) {
            ++result_.unreadable;
            return false;
        }
        if (static_cast<uint64_t>(size) > budget_) {
            ++result_.skipped;
            return false;
        }
        budget_ -= static_cast<uint64_t>(size);
        bytes.resize(static_cast<size_t>(size));
        if (size > 0 &&
            !gsf_input_read(stream, static_cast<size_t>(size), reinterpret_cast<guint8*>(bytes.data()))) {
            ++result_.unreadable;
            bytes.clear();
            return false;
        }
        return true;
    }

    MsgEvents& events_;
    MsgReadResult& result_;
    bool header_only_;
    uint64_t budget_;
    uint64_t file_size_;
};

// libgsf reports damaged files through GLib's log, straight to standard error; the run gives its
// own messages, so GLib's are only counted: a directory entry it refused (a size past the file's
// end, a broken chain) leaves no other trace.
thread_local int glib_complaints = 0;
void QuietGlibLog(const gchar*, GLogLevelFlags, const gchar*, gpointer) {
    ++glib_complaints;
}

} // namespace

bool HasCompoundSignature(const unsigned char* data, uint64_t size) {
    return size >= sizeof kSignature && std::memcmp(data, kSignature, sizeof kSignature) == 0;
}

MsgReadResult ReadMsgFile(const unsigned char* data, uint64_t size, MsgHeader& header, MsgEvents& events,
                          bool header_only) {
    MsgReadResult result;
    if (!HasCompoundSignature(data, size)) return result;
    result.status = MsgStatus::Damaged;
    // Too wide or too deep to open: nothing is read. Without attachment storages such a directory
    // is no message file, and counts as damaged.
    const CompoundDirectoryShape shape = MeasureCompoundDirectory(data, size);
    if (shape.widest > kMsgStorageWidthLimit || shape.deepest > 2 * kMsgStorageWidthLimit) {
        result.skipped = static_cast<int>(shape.attachment_storages);
        if (result.skipped > 0) result.status = MsgStatus::Read;
        return result;
    }
    static const bool quiet = (g_log_set_default_handler(QuietGlibLog, nullptr), true);
    (void)quiet;
    Ref<GsfInput> input(gsf_input_memory_new(data, static_cast<gsf_off_t>(size), FALSE));
    if (!input) return result;
    GError* error = nullptr;
    glib_complaints = 0;
    Ref<GsfInfile> file(gsf_infile_msole_new(input.p, &error));
    if (error) g_error_free(error);
    if (!file) return result;
    result.status = MsgStatus::Read;
    Reader(size, events, result, header_only).Message(file.p, 0, 0, &header);
    result.unreadable += glib_complaints;
    return result;
}

} // namespace dornick

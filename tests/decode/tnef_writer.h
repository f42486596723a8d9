#pragma once
// A small TNEF writer for the tests: the signature and key, attributes with their checksums, and
// attachment property lists, so that every rule of the reader can be fed the container it needs.

#include <cstdint>
#include <string>
#include <string_view>

namespace tnef_test {

// Attribute ids and types the reader acts on.
constexpr uint16_t kIdTitle = 0x8010;
constexpr uint16_t kIdModifyDate = 0x8013;
constexpr uint16_t kIdOemCodepage = 0x9007;
constexpr uint16_t kIdData = 0x800F;
constexpr uint16_t kIdAttachment = 0x9005;
constexpr uint16_t kIdRendData = 0x9002;
constexpr uint16_t kTypeString = 0x0001;
constexpr uint16_t kTypeDate = 0x0003;
constexpr uint16_t kTypeByte = 0x0006;
constexpr uint16_t kTypeDword = 0x0008;

/// An attachment's property list: a count, then the properties.
class PropertyList {
  public:
    /// A PT_STRING8 (0x001E) value; `with_nul` adds the terminating NUL that real lists carry.
    PropertyList& String8(uint16_t id, std::string_view text, bool with_nul = true);
    /// A PT_UNICODE (0x001F) value of raw UTF-16LE bytes (any length, even odd).
    PropertyList& Unicode(uint16_t id, std::string_view utf16le);
    /// A PT_LONG (0x0003) value.
    PropertyList& Long(uint16_t id, uint32_t value);
    /// A property of any type with its value bytes as given (no count, no padding added).
    PropertyList& Raw(uint16_t type, uint16_t id, std::string_view value_bytes);
    /// Overrides the count written in front (for counts that lie).
    PropertyList& Count(uint32_t count);
    std::string Bytes() const;

  private:
    uint32_t count_ = 0;
    std::string body_;
};

/// A container: signature and key, then attributes in the order they are added.
class TnefWriter {
  public:
    explicit TnefWriter(uint16_t key = 0x5A3C);
    /// One attribute with its checksum; `declared` replaces the length field (for lying lengths).
    TnefWriter& Attribute(uint8_t level, uint16_t id, uint16_t type, std::string_view data);
    TnefWriter& AttributeWithLength(uint8_t level, uint16_t id, uint16_t type, uint32_t declared,
                                    std::string_view data, bool checksum = true);
    /// The usual message-level start: TNEF version and the OEM code page.
    TnefWriter& Header(uint32_t code_page = 1252);
    TnefWriter& Codepage(uint32_t code_page);
    /// attAttachRenddata, which opens an attachment and is skipped by the reader.
    TnefWriter& RendData();
    /// attAttachTitle with its terminating NUL.
    TnefWriter& Title(std::string_view name);
    TnefWriter& Data(std::string_view bytes);
    TnefWriter& ModifyDate(int year, int month, int day, int hour, int minute, int second);
    TnefWriter& Attachment(const PropertyList& list);
    /// Bytes appended as they are (garbage, truncation tests).
    TnefWriter& Raw(std::string_view bytes);
    const std::string& Bytes() const { return bytes_; }

  private:
    std::string bytes_;
};

/// UTF-16LE bytes of a UTF-8 text.
std::string Utf16Le(std::string_view utf8);

} // namespace tnef_test

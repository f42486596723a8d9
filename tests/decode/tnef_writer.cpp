#include "tnef_writer.h"

namespace tnef_test {
namespace {

void Put16(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void PadTo4(std::string& out, size_t length) {
    out.append((4 - length % 4) % 4, '\0');
}

} // namespace

PropertyList& PropertyList::String8(uint16_t id, std::string_view text, bool with_nul) {
    std::string value(text);
    if (with_nul) value.push_back('\0');
    ++count_;
    Put16(body_, 0x001E);
    Put16(body_, id);
    Put32(body_, 1);
    Put32(body_, static_cast<uint32_t>(value.size()));
    body_ += value;
    PadTo4(body_, value.size());
    return *this;
}

PropertyList& PropertyList::Unicode(uint16_t id, std::string_view utf16le) {
    ++count_;
    Put16(body_, 0x001F);
    Put16(body_, id);
    Put32(body_, 1);
    Put32(body_, static_cast<uint32_t>(utf16le.size()));
    body_ += utf16le;
    PadTo4(body_, utf16le.size());
    return *this;
}

PropertyList& PropertyList::Long(uint16_t id, uint32_t value) {
    ++count_;
    Put16(body_, 0x0003);
    Put16(body_, id);
    Put32(body_, value);
    return *this;
}

PropertyList& PropertyList::Raw(uint16_t type, uint16_t id, std::string_view value_bytes) {
    ++count_;
    Put16(body_, type);
    Put16(body_, id);
    body_ += value_bytes;
    return *this;
}

PropertyList& PropertyList::Count(uint32_t count) {
    count_ = count;
    return *this;
}

std::string PropertyList::Bytes() const {
    std::string out;
    Put32(out, count_);
    return out + body_;
}

TnefWriter::TnefWriter(uint16_t key) : bytes_("\x78\x9F\x3E\x22", 4) {
    Put16(bytes_, key);
}

TnefWriter& TnefWriter::Attribute(uint8_t level, uint16_t id, uint16_t type, std::string_view data) {
    return AttributeWithLength(level, id, type, static_cast<uint32_t>(data.size()), data);
}

TnefWriter& TnefWriter::AttributeWithLength(uint8_t level, uint16_t id, uint16_t type, uint32_t declared,
                                            std::string_view data, bool checksum) {
    bytes_.push_back(static_cast<char>(level));
    Put16(bytes_, id);
    Put16(bytes_, type);
    Put32(bytes_, declared);
    bytes_ += data;
    if (checksum) {
        uint32_t sum = 0;
        for (unsigned char c : data)
            sum += c;
        Put16(bytes_, sum & 0xFFFF);
    }
    return *this;
}

TnefWriter& TnefWriter::Header(uint32_t code_page) {
    std::string version;
    Put32(version, 0x00010000);
    Attribute(1, 0x9006, kTypeDword, version);
    return Codepage(code_page);
}

TnefWriter& TnefWriter::Codepage(uint32_t code_page) {
    std::string data;
    Put32(data, code_page);
    Put32(data, 0);
    return Attribute(1, kIdOemCodepage, kTypeByte, data);
}

TnefWriter& TnefWriter::RendData() {
    return Attribute(2, kIdRendData, kTypeByte, std::string(14, '\x01'));
}

TnefWriter& TnefWriter::Title(std::string_view name) {
    std::string data(name);
    data.push_back('\0');
    return Attribute(2, kIdTitle, kTypeString, data);
}

TnefWriter& TnefWriter::Data(std::string_view bytes) {
    return Attribute(2, kIdData, kTypeByte, bytes);
}

TnefWriter& TnefWriter::ModifyDate(int year, int month, int day, int hour, int minute, int second) {
    std::string record;
    for (int v : {year, month, day, hour, minute, second, 0})
        Put16(record, static_cast<uint32_t>(v));
    return Attribute(2, kIdModifyDate, kTypeDate, record);
}

TnefWriter& TnefWriter::Attachment(const PropertyList& list) {
    return Attribute(2, kIdAttachment, kTypeByte, list.Bytes());
}

TnefWriter& TnefWriter::Raw(std::string_view bytes) {
    bytes_ += bytes;
    return *this;
}

std::string Utf16Le(std::string_view utf8) {
    std::string out;
    for (size_t i = 0; i < utf8.size();) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = c;
        size_t n = 1;
        if (c >= 0xF0) {
            cp = c & 0x07;
            n = 4;
        } else if (c >= 0xE0) {
            cp = c & 0x0F;
            n = 3;
        } else if (c >= 0xC0) {
            cp = c & 0x1F;
            n = 2;
        }
        for (size_t k = 1; k < n && i + k < utf8.size(); ++k)
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += n;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            Put16(out, 0xD800 + (cp >> 10));
            Put16(out, 0xDC00 + (cp & 0x3FF));
        } else {
            Put16(out, cp);
        }
    }
    return out;
}

} // namespace tnef_test

#pragma once
// The text of manifest records: strings of any content made valid JSON, and one record line read
// back. Records are JSON Lines, one object a line.

#include <cstdint>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace dornick {

/// `text` as a quoted JSON string. Text that is not Unicode keeps every unit: a lone surrogate (a
/// byte that was not UTF-8, kept as U+DC80..U+DCFF, or any other) is written as its "\udcNN"
/// escape, the form that Python reads back with os.fsencode; controls and NUL are escaped.
void AppendJsonString(std::string& out, std::u16string_view text);
/// Bytes of unknown encoding as a quoted JSON string: UTF-8 sequences as they are, every other
/// byte as the escape of U+DC00 plus the byte.
void AppendJsonBytes(std::string& out, std::string_view bytes);

/// Members of a record being built: `"key":` (after a comma unless it is the object's first
/// member), then the value.
void JsonKey(std::string& out, const char* key);
void JsonText(std::string& out, const char* key, std::u16string_view value);
void JsonBytes(std::string& out, const char* key, std::string_view value);
void JsonNumber(std::string& out, const char* key, uint64_t value);
void JsonNull(std::string& out, const char* key);
/// The members every record opens with: its type, and the input, number and offset of its mail.
void JsonRecordStart(std::string& out, const char* type, std::u16string_view source, uint64_t message,
                     uint64_t offset);

/// One line of a manifest as an object; a discarded value when it is not one (a line cut short by a
/// killed run, or text of another kind). A string's "\udcNN" escapes read back as U+DCNN.
nlohmann::json ParseRecordLine(std::string_view line);
/// A string member of a parsed record as its UTF-8 bytes ("" when missing, not a string, or the
/// line was no record).
std::string RecordBytes(const nlohmann::json& record, const char* key);
/// A string member of a parsed record as the program's text ("" when missing or not a string).
std::u16string RecordText(const nlohmann::json& record, const char* key);

} // namespace dornick

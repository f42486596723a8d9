#include "console/run/part_path.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/text.h"

namespace dornick {
namespace {

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return platform::StartsNoCaseAscii(text, prefix);
}

std::string_view TrimSpace(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r'))
        text.remove_suffix(1);
    return text;
}

// The boundary parameter of a multipart Content-Type value, quoted or not; empty for any other type.
std::string MultipartBoundary(std::string_view value) {
    value = TrimSpace(value);
    if (!StartsNoCase(value, "multipart/")) return {};
    size_t at = 0;
    while ((at = value.find(';', at)) != std::string_view::npos) {
        std::string_view parameter = TrimSpace(value.substr(++at));
        if (!StartsNoCase(parameter, "boundary")) continue;
        parameter = TrimSpace(parameter.substr(8));
        if (parameter.empty() || parameter.front() != '=') continue;
        parameter = TrimSpace(parameter.substr(1));
        if (!parameter.empty() && parameter.front() == '"') {
            const size_t close = parameter.find('"', 1);
            return std::string(parameter.substr(1, close == std::string_view::npos ? close : close - 1));
        }
        const size_t end = parameter.find_first_of("; \t");
        return std::string(parameter.substr(0, end));
    }
    return {};
}

} // namespace

void PartPathTracker::Start(const unsigned char* data, uint64_t size) {
    data_ = data;
    size_ = size;
    Reset();
}

void PartPathTracker::Reset() {
    read_ = 0;
    phase_ = Phase::Header;
    levels_.clear();
    field_.clear();
    next_boundary_.clear();
}

void PartPathTracker::EndHeaderField() {
    if (StartsNoCase(field_, "content-type:"))
        next_boundary_ = MultipartBoundary(std::string_view(field_).substr(13));
    field_.clear();
}

// A line "--boundary" or "--boundary--" of any open multipart, the innermost first: the levels
// inside it are closed, and its next part begins (or it closes).
bool PartPathTracker::TakeBoundaryLine(std::string_view line) {
    if (line.size() < 3 || line[0] != '-' || line[1] != '-') return false;
    line = TrimSpace(line.substr(2));
    for (size_t depth = levels_.size(); depth-- > 0;) {
        const std::string& boundary = levels_[depth].boundary;
        if (line.substr(0, boundary.size()) != boundary) continue;
        const std::string_view rest = line.substr(boundary.size());
        if (rest != "" && rest != "--") continue;
        levels_.resize(depth + 1);
        if (rest == "--") {
            levels_.pop_back();
            phase_ = Phase::Body; // the epilogue counts to the enclosing part
        } else {
            ++levels_.back().count;
            phase_ = Phase::Header;
            field_.clear();
            next_boundary_.clear();
        }
        return true;
    }
    return false;
}

void PartPathTracker::TakeLine(const unsigned char* bytes, size_t length) {
    std::string_view line(reinterpret_cast<const char*>(bytes), length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (phase_ == Phase::Body) {
        if (!levels_.empty()) TakeBoundaryLine(line);
        return;
    }
    if (!line.empty() && (line.front() == ' ' || line.front() == '\t')) {
        if (!field_.empty()) field_.append(line);
        return;
    }
    EndHeaderField();
    if (!line.empty()) {
        // A boundary line where a header was expected: the part had no header and no body.
        if (!levels_.empty() && TakeBoundaryLine(line)) return;
        field_.assign(line);
        return;
    }
    phase_ = Phase::Body;
    if (!next_boundary_.empty()) levels_.push_back({std::move(next_boundary_), 0});
    next_boundary_.clear();
}

// In a body only a line that begins with "--" can change anything: the lines before the next one
// are passed over whole. False when no such line starts before the line that holds `offset`.
bool PartPathTracker::SkipBodyLines(uint64_t offset) {
    const uint64_t end = std::min(offset, size_);
    if (read_ + 2 <= size_ && data_[read_] == '-' && data_[read_ + 1] == '-') return true;
    if (read_ >= end) return false;
    // Found by its first "-", which base64 lines never hold, so the search runs at memchr's pace.
    for (uint64_t at = read_ + 1; at < end;) {
        const void* dash = std::memchr(data_ + at, '-', static_cast<size_t>(end - at));
        if (!dash) break;
        at = static_cast<const unsigned char*>(dash) - data_;
        if (data_[at - 1] == '\n' && at + 1 < size_ && data_[at + 1] == '-') {
            read_ = at;
            return true;
        }
        ++at;
    }
    // The last line start before `offset`: nothing between changes the state.
    const void* newline = memrchr(data_ + read_, '\n', static_cast<size_t>(end - read_));
    if (newline) read_ = static_cast<const unsigned char*>(newline) - data_ + 1;
    return false;
}

std::string PartPathTracker::PathAt(uint64_t offset) {
    if (offset < read_) Reset();
    while (read_ < size_) {
        if (phase_ == Phase::Body && !SkipBodyLines(offset)) break;
        const unsigned char* line = data_ + read_;
        const uint64_t left = size_ - read_;
        const void* newline =
            std::memchr(line, '\n', static_cast<size_t>(std::min<uint64_t>(left, SIZE_MAX)));
        const uint64_t length = newline ? static_cast<const unsigned char*>(newline) - line + 1 : left;
        if (read_ + length > offset) break; // the line that holds the byte asked for
        TakeLine(line, static_cast<size_t>(length));
        read_ += length;
    }
    std::string path;
    for (const Level& level : levels_) {
        if (level.count == 0) break;
        if (!path.empty()) path.push_back('.');
        path += std::to_string(level.count);
    }
    return path.empty() ? "1" : path;
}

std::string NestedPartPath(const std::string& prefix, const std::string& path) {
    return prefix + path;
}

} // namespace dornick

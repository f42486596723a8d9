#include "console/run/mbox_split.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>

namespace dornick {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != prefix[i]) return false;
    }
    return true;
}

namespace {

// A window holds this much of the archive; lines and messages longer than it are crossed window by
// window.
constexpr size_t kWindowBytes = size_t{4} << 20;
// How much of a line the classifiers look at: a field name, a Content-Length value, a patch line.
constexpr size_t kLookBytes = 4096;
constexpr std::string_view kFromSpace = "From ";
constexpr std::string_view kLineFrom = "\nFrom ";

// Makes the window hold `offset` and at least kLookBytes after it (or all up to the end); the
// bytes from `offset` on, as many as the window holds.
std::string_view WindowAt(MboxSplitter& s, uint64_t offset) {
    const uint64_t window_end = s.window_start + s.window_fill;
    if (offset < s.window_start || offset > window_end ||
        (window_end - offset < kLookBytes && window_end < s.size)) {
        const size_t capacity = static_cast<size_t>(std::min<uint64_t>(kWindowBytes, s.size));
        if (s.window.size() < capacity) s.window.resize(capacity);
        s.window_start = offset;
        s.window_fill = 0;
        if (offset < s.size) {
            const size_t want = static_cast<size_t>(std::min<uint64_t>(kWindowBytes, s.size - offset));
            s.window_fill = s.read(offset, s.window.data(), want);
            if (s.window_fill < want) {
                // Cut short while it was read: what is left is all there is.
                s.size = offset + s.window_fill;
                s.shrank = true;
            }
        }
    }
    const size_t from = static_cast<size_t>(offset - s.window_start);
    return {reinterpret_cast<const char*>(s.window.data()) + from, s.window_fill - from};
}

// The offset of the line end ("\n") of the line at `offset`, or the archive's size.
uint64_t LineEnd(MboxSplitter& s, uint64_t offset) {
    while (offset < s.size) {
        std::string_view bytes = WindowAt(s, offset);
        if (bytes.empty()) break;
        if (const void* found = std::memchr(bytes.data(), '\n', bytes.size()))
            return offset + static_cast<uint64_t>(static_cast<const char*>(found) - bytes.data());
        offset += bytes.size();
    }
    return s.size;
}

// The line at `offset` without its line end, at most kLookBytes of it.
std::string_view LookAtLine(MboxSplitter& s, uint64_t offset) {
    std::string_view bytes = WindowAt(s, offset).substr(0, kLookBytes);
    bytes = bytes.substr(0, bytes.find('\n'));
    if (!bytes.empty() && bytes.back() == '\r') bytes.remove_suffix(1);
    return bytes;
}

// The value of a "Content-Length:" line; false when the line is another field or the value is no
// number that fits.
bool ContentLength(std::string_view line, uint64_t& length) {
    constexpr std::string_view kName = "content-length:";
    if (!StartsWithNoCase(line, kName)) return false;
    line.remove_prefix(kName.size());
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (line.empty() || line.front() < '0' || line.front() > '9') return false;
    length = 0;
    for (char c : line) {
        if (c < '0' || c > '9') break;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (length > (std::numeric_limits<uint64_t>::max() - digit) / 10) return false;
        length = length * 10 + digit;
    }
    return true;
}

bool IsEmptyLine(std::string_view bytes) {
    return bytes.starts_with("\n") || bytes.starts_with("\r\n");
}

// A line at `offset` that begins with "From " is a separator when it is no patch's first line and
// the line after it opens a header field. (The empty line before it is the caller's test.)
bool IsSeparatorAt(MboxSplitter& s, uint64_t offset) {
    std::string_view line = LookAtLine(s, offset);
    if (!line.starts_with(kFromSpace) || IsPatchEnvelopeLine(line)) return false;
    const uint64_t end = LineEnd(s, offset);
    if (end >= s.size) return false;
    return IsHeaderFieldLine(LookAtLine(s, end + 1));
}

// Where a Content-Length of `length` from `body` ends the message: true with the next envelope
// line's offset in `next` when it lands on the end of the archive or on a separator, directly or
// after one empty line.
bool LengthEndsMessage(MboxSplitter& s, uint64_t body, uint64_t length, uint64_t& next) {
    if (length > s.size - body) return false;
    const uint64_t end = body + length;
    if (end == s.size) {
        next = end;
        return true;
    }
    // Only where a line starts: directly on a separator, or on one empty line before it.
    if (WindowAt(s, end - 1).front() != '\n') return false;
    if (IsSeparatorAt(s, end)) {
        next = end;
        return true;
    }
    std::string_view bytes = WindowAt(s, end);
    if (!IsEmptyLine(bytes)) return false;
    const uint64_t after = end + (bytes.front() == '\r' ? 2 : 1);
    if (after == s.size || IsSeparatorAt(s, after)) {
        next = after;
        return true;
    }
    return false;
}

// Looks for the next separator from `from` (the offset of the empty line that ends the header, or
// later). True with the message's end (the start of the empty line before the separator) and the
// separator's offset.
bool FindSeparator(MboxSplitter& s, uint64_t from, uint64_t& end, uint64_t& next) {
    uint64_t at = from; // where the "\n" before a separator's "From " may be
    while (at < s.size) {
        // Two bytes before `at` stay in view, for the test of the empty line.
        const uint64_t base = at >= 2 ? at - 2 : 0;
        std::string_view bytes = WindowAt(s, base);
        const size_t skip = static_cast<size_t>(at - base);
        if (bytes.size() < skip + kLineFrom.size()) return false;
        const size_t found = bytes.find(kLineFrom, skip);
        if (found == std::string_view::npos) {
            if (base + bytes.size() >= s.size) return false;
            at = base + bytes.size() - (kLineFrom.size() - 1);
            continue;
        }
        const uint64_t line_end = base + found; // the empty line's "\n"
        uint64_t empty_start = 0;
        bool after_empty = false;
        if (found >= 1 && bytes[found - 1] == '\n') {
            after_empty = true;
            empty_start = line_end;
        } else if (found >= 2 && bytes[found - 1] == '\r' && bytes[found - 2] == '\n') {
            after_empty = true;
            empty_start = line_end - 1;
        }
        if (after_empty && empty_start >= from && IsSeparatorAt(s, line_end + 1)) {
            end = empty_start;
            next = line_end + 1;
            return true;
        }
        at = line_end + 1;
    }
    return false;
}

} // namespace

void StartMboxSplit(MboxSplitter& splitter, ArchiveReader read, uint64_t size) {
    splitter.read = std::move(read);
    splitter.size = size;
    splitter.shrank = false;
    splitter.next = 0;
    splitter.count = 0;
    splitter.window_start = 0;
    splitter.window_fill = 0;
}

bool NextMboxMessage(MboxSplitter& s, MboxMessage& message) {
    if (s.next >= s.size) return false;
    message = {};
    message.number = ++s.count;
    message.offset = s.next;
    const uint64_t envelope_end = LineEnd(s, s.next);
    std::string_view envelope = LookAtLine(s, s.next);
    message.envelope.assign(envelope.substr(0, kEnvelopeBytes));
    message.start = envelope_end < s.size ? envelope_end + 1 : s.size;

    // The header, up to its empty line: only a Content-Length field matters here.
    uint64_t line = message.start;
    bool has_length = false;
    uint64_t length = 0;
    while (line < s.size && !IsEmptyLine(WindowAt(s, line))) {
        uint64_t value = 0;
        if (!has_length && ContentLength(LookAtLine(s, line), value)) {
            has_length = true;
            length = value;
        }
        const uint64_t end = LineEnd(s, line);
        line = end < s.size ? end + 1 : s.size;
    }
    if (line >= s.size) {
        message.end = s.size;
        s.next = s.size;
        return true;
    }
    const uint64_t body = line + (WindowAt(s, line).front() == '\r' ? 2 : 1);
    uint64_t next = 0;
    if (has_length && body <= s.size && LengthEndsMessage(s, body, length, next)) {
        message.end = body + length;
        message.length_used = true;
        s.next = next;
        return true;
    }
    uint64_t end = 0;
    if (FindSeparator(s, line, end, next)) {
        message.end = end;
        s.next = next;
        return true;
    }
    // The last message: an empty line at the very end is the separator's, as between messages.
    message.end = s.size;
    if (s.size > message.start) {
        const uint64_t from = s.size - std::min<uint64_t>(3, s.size - message.start);
        std::string_view tail = WindowAt(s, from);
        uint64_t empty = s.size;
        if (tail.ends_with("\r\n"))
            empty = s.size - 2;
        else if (tail.ends_with("\n"))
            empty = s.size - 1;
        if (empty == message.start || (empty > from && tail[empty - 1 - from] == '\n')) message.end = empty;
    }
    s.next = s.size;
    return true;
}

bool ReadMboxMessage(MboxSplitter& s, const MboxMessage& message, MessageBytes& bytes) {
    const uint64_t length = message.end - message.start;
    if (length > s.largest_message) {
        bytes.clear();
        return false;
    }
    try {
        bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        // A message larger than the memory to be had: nothing of it can be read.
        bytes.clear();
        return false;
    }
    size_t got = 0;
    if (message.start >= s.window_start && message.end <= s.window_start + s.window_fill) {
        // Most messages are still in the window that found their end: no second read.
        got = static_cast<size_t>(length);
        if (got > 0) std::memcpy(bytes.data(), s.window.data() + (message.start - s.window_start), got);
    } else if (length > 0) {
        got = s.read(message.start, bytes.data(), bytes.size());
    }
    bytes.resize(UnquoteFromLines(bytes.data(), got));
    return got == length;
}

bool FindNextSeparator(MboxSplitter& splitter, uint64_t from, uint64_t& end, uint64_t& separator) {
    return FindSeparator(splitter, from, end, separator);
}

bool IsHeaderFieldLine(std::string_view line) {
    size_t i = 0;
    while (i < line.size() && line[i] > ' ' && line[i] < 0x7F && line[i] != ':')
        ++i;
    return i > 0 && i < line.size() && line[i] == ':';
}

bool IsPatchEnvelopeLine(std::string_view line) {
    constexpr size_t kHashDigits = 40;
    constexpr std::string_view kPatchDate = " Mon Sep 17 00:00:00 2001";
    if (!line.starts_with(kFromSpace)) return false;
    line.remove_prefix(kFromSpace.size());
    if (line.size() != kHashDigits + kPatchDate.size() || !line.ends_with(kPatchDate)) return false;
    for (size_t i = 0; i < kHashDigits; ++i) {
        const char c = line[i];
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

size_t UnquoteFromLines(unsigned char* data, size_t size) {
    // Every quoted line holds a ">", which mail text holds seldom and base64 never: the search goes
    // from one ">" to the next, not from one "From " or one line to the next.
    size_t write = 0; // bytes before `read` are final up to here
    size_t read = 0;
    size_t at = 0;
    while (at < size) {
        const void* found = std::memchr(data + at, '>', size - at);
        if (found == nullptr) break;
        const size_t quotes = static_cast<size_t>(static_cast<const unsigned char*>(found) - data);
        size_t text = quotes;
        while (text < size && data[text] == '>')
            ++text;
        if ((quotes == 0 || data[quotes - 1] == '\n') && size - text >= kFromSpace.size() &&
            std::memcmp(data + text, kFromSpace.data(), kFromSpace.size()) == 0) {
            // Keep everything up to the first ">" and drop that one.
            if (write != read) std::memmove(data + write, data + read, quotes - read);
            write += quotes - read;
            read = quotes + 1;
        }
        at = text;
    }
    if (write != read) std::memmove(data + write, data + read, size - read);
    return write + (size - read);
}

std::string_view EnvelopeDate(std::string_view envelope) {
    if (!envelope.starts_with(kFromSpace)) return {};
    envelope.remove_prefix(kFromSpace.size());
    const size_t space = envelope.find_first_of(" \t");
    if (space == std::string_view::npos) return {};
    envelope.remove_prefix(space);
    const size_t text = envelope.find_first_not_of(" \t");
    return text == std::string_view::npos ? std::string_view{} : envelope.substr(text);
}

} // namespace dornick

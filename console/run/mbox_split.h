#pragma once
// Splitting an mbox archive into its messages. A separator is a line that begins with "From ",
// stands at the start of the archive or after an empty line, and is followed by a header field;
// a Content-Length field is believed only when it ends the message exactly on the end of the
// archive or on a separator. The archive is read in windows at 64-bit offsets, so that memory
// stays bounded by the largest message, however large the archive.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dornick {

/// Reads up to `count` bytes at `offset` into `into`; returns how many it read (fewer at the end,
/// or where the archive was cut short while it was read).
using ArchiveReader = std::function<size_t(uint64_t offset, unsigned char* into, size_t count)>;

/// Storage that grows without being zeroed first: a message's bytes are read over it at once.
template <class T> struct UninitializedAllocator : std::allocator<T> {
    template <class U> struct rebind { using other = UninitializedAllocator<U>; };
    UninitializedAllocator() = default;
    template <class U> UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U> void construct(U* at) noexcept { ::new (static_cast<void*>(at)) U; }
    template <class U, class... Args> void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

/// The bytes of one message as the run gets them.
using MessageBytes = std::vector<unsigned char, UninitializedAllocator<unsigned char>>;

/// One message of an mbox: the envelope line at `offset`, the message from `start` to `end`.
struct MboxMessage {
    uint64_t number = 0;      ///< 1 for the first message of the archive
    uint64_t offset = 0;      ///< of the envelope line ("From ...")
    uint64_t start = 0;       ///< first byte after the envelope line
    uint64_t end = 0;         ///< one past the message's last byte, before the empty line of the separator
    std::string envelope;     ///< the envelope line without its line end (at most kEnvelopeBytes)
    bool length_used = false; ///< a Content-Length field decided the end
};

/// Bytes of an envelope line that are kept.
constexpr size_t kEnvelopeBytes = 1024;

struct MboxSplitter {
    ArchiveReader read;
    uint64_t size = 0;   ///< the archive's size when it was opened; lowered when it reads shorter
    bool shrank = false; ///< the archive ended before `size` while it was read
    uint64_t next = 0;   ///< offset of the next envelope line
    uint64_t count = 0;  ///< messages given so far
    uint64_t largest_message = UINT64_MAX; ///< a longer message is not read into memory
    std::vector<unsigned char> window;
    uint64_t window_start = 0;
    size_t window_fill = 0;
};

/// Starts splitting an archive of `size` bytes read by `read`.
void StartMboxSplit(MboxSplitter& splitter, ArchiveReader read, uint64_t size);
/// The next message: false at the end of the archive.
[[nodiscard]] bool NextMboxMessage(MboxSplitter& splitter, MboxMessage& message);
/// Reads the message's bytes into `bytes` and takes one ">" off each quoted "From " line; false
/// when the archive no longer holds all of them (what it did hold is in `bytes`), or when the
/// message is longer than `largest_message` or the memory to be had (`bytes` empty).
[[nodiscard]] bool ReadMboxMessage(MboxSplitter& splitter, const MboxMessage& message, MessageBytes& bytes);
/// The next separator whose empty line begins at `from` or later: true with the offset of its
/// envelope line in `separator` and that of its empty line in `end` (where the message before it
/// ends). The rule the splitter cuts by, for cutting an archive into pieces at separators.
[[nodiscard]] bool FindNextSeparator(MboxSplitter& splitter, uint64_t from, uint64_t& end,
                                     uint64_t& separator);

/// True for a line (without its line end) that opens a header field: a name of printable
/// characters other than ":", then ":".
bool IsHeaderFieldLine(std::string_view line);
/// True for the first line of an inline patch ("From " 40 hex digits " Mon Sep 17 00:00:00 2001"),
/// which is text of the message even where it looks like a separator.
bool IsPatchEnvelopeLine(std::string_view line);
/// Takes one ">" off every line that is ">" repeated and then "From " (">From " becomes "From ",
/// ">>From " becomes ">From "); returns the new size.
size_t UnquoteFromLines(unsigned char* data, size_t size);
/// The date text of an envelope line: what follows its address ("From addr Wed Dec  9 ...").
std::string_view EnvelopeDate(std::string_view envelope);

/// Whether `text` begins with `prefix` (lower-case ASCII), ASCII letters in any case.
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

} // namespace dornick

#pragma once
// The lines of one mapped mail as the walk and its readers take them: the current line and the
// reading position behind it. Only the source's own operations move the position; a reader that
// moves it line by line itself (a decoder, a header value reader) is lent it through ReadOn.

#include <algorithm>
#include <cstdint>
#include <string>

#include "console/decode/line_cursor.h"

namespace dornick {

class LineSource {
  public:
    char16_t line[kLineCapacity] = {}; ///< the line being examined, widened; the walk may cut it

    /// Reads from the start of `size` bytes at `data`.
    void Start(const unsigned char* data, uint64_t size) {
        cursor_ = MakeLineCursor(data, size);
        pending_ = false;
    }
    /// The line for the next pass: the pending one again, or the next one read; false when no
    /// line is left.
    bool Take() {
        if (pending_) {
            pending_ = false;
            return true;
        }
        return ReadNext();
    }
    /// Reads the next line into `line`; false when no line is left.
    bool ReadNext() { return ReadLineW(line, cursor_) != 0; }
    /// The current line is examined again by the next pass.
    void Unread() { pending_ = true; }
    bool LinePending() const { return pending_; }
    /// True once the last byte was read.
    bool Ended() const { return cursor_.pos == nullptr; }

    /// The reading position, for a look-ahead over a copy or a later ReturnTo.
    LineCursor Here() const { return cursor_; }
    void ReturnTo(const LineCursor& at) { cursor_ = at; }
    /// Moves to the start of the line n lines back (1: the line just read); that start.
    const unsigned char* StepBack(int n) { return StepBackLines(cursor_, n); }
    /// Reads the line that ends where a line starts at `at` into `buffer` (kLineCapacity units);
    /// the position is then after that line. Returns the line's start.
    const unsigned char* ReadLineEndingAt(const unsigned char* at, char16_t* buffer) {
        cursor_.pos = at;
        const unsigned char* start = StepBackLines(cursor_, 1);
        ReadLineW(buffer, cursor_);
        return start;
    }
    /// The first byte of the mail.
    const unsigned char* FileStart() const { return cursor_.start; }
    /// Reads the line before the current one into `buffer` (kLineCapacity units); the reading
    /// position stays where it is.
    void PeekLineBefore(char16_t* buffer) const {
        LineCursor peek = cursor_;
        StepBackLines(peek, 2);
        ReadLineW(buffer, peek);
    }
    /// Lets `reader(line, cursor)` read on from here, moving the position as it goes.
    template <typename Reader> decltype(auto) ReadOn(Reader&& reader) { return reader(line, cursor_); }

  private:
    LineCursor cursor_;
    bool pending_ = false;
};

/// The reading position and the current line, put back when a look ahead is over.
class LineMark {
  public:
    explicit LineMark(LineSource& source) : source_(source), at_(source.Here()), line_(source.line) {}
    ~LineMark() {
        source_.ReturnTo(at_);
        std::copy(line_.begin(), line_.end(), source_.line);
        source_.line[line_.size()] = 0;
    }
    LineMark(const LineMark&) = delete;
    LineMark& operator=(const LineMark&) = delete;

  private:
    LineSource& source_;
    LineCursor at_;
    std::u16string line_;
};

} // namespace dornick

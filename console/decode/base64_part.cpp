#include "console/decode/base64_part.h"

#include <algorithm>
#include <cstring>

#include "console/decode/ascii_text.h"
#include "console/decode/base64_text.h"

namespace dornick {
namespace {

constexpr char kNextPartPrefix[] = "------=_NextPart_";
constexpr size_t kNextPartLength = sizeof(kNextPartPrefix) - 1;
// ReadLineW stores at most this many characters; a longer line arrives in pieces.
constexpr size_t kMaxLineChars = kLineCapacity - 1;

bool IsPadLine(const char* bytes) {
    return std::strcmp(bytes, "====") == 0;
}

} // namespace

void Base64PartDecoder::Reset() {
    const bool fast = use_fast_path;
    *this = Base64PartDecoder{};
    use_fast_path = fast;
}

void Base64PartDecoder::Notice(const RepairNoticeFn& notice) {
    if (repaired) return;
    repaired = true;
    if (notice) notice();
}

bool Base64PartDecoder::Emit(const uint8_t* data, int count, ByteSink& sink) {
    if (count <= 0) return true;
    sink_result = sink.Append(data, static_cast<size_t>(count));
    if (sink_result != SinkResult::Ok) return false;
    decoded_total += static_cast<uint64_t>(count);
    return true;
}

DataEnd Base64PartDecoder::Run(char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                               ByteSink& sink, const RepairNoticeFn& notice) {
    char bytes[kLineBytes];
    // A boundary made only of base64 letters could sit inside a clean line; then every line takes
    // the full path.
    const bool fast = use_fast_path && !boundary.CouldHideInBase64();
    DataEnd end = DataEnd::EndOfData;

    NarrowLine(line, bytes);
    LineOutcome outcome = DecodeLine(line, bytes, cursor, boundary, sink, notice);
    while (outcome == LineOutcome::Next) {
        if (damaged) Notice(notice);
        if (!cursor.pos) {
            line[0] = 0;
            break;
        }
        if (fast && first_line_checked) {
            // Clean lines are decoded into one batch, which goes to the sink when it is full and
            // before anything else is written.
            uint8_t batch[kBase64BatchBytes];
            size_t filled = 0;
            bool clean = true;
            while (clean && cursor.pos) {
                Base64LineShape shape;
                clean = DecodeCleanLine(cursor, batch + filled, filled, shape) == FastOutcome::Done;
                // The lines after a clean one mostly have its shape: they go many at a time.
                if (clean && shape.letters && cursor.pos)
                    filled += Base64DecodeLineRun(cursor.pos, cursor.last + 1, shape, batch + filled,
                                                  sizeof batch - filled);
                if (filled + kLineOutBytes + 4 > sizeof batch || !clean || !cursor.pos) {
                    if (!Emit(batch, static_cast<int>(filled), sink)) return DataEnd::SinkFailed;
                    filled = 0;
                }
            }
            if (clean) continue;
        }
        const int returned = ReadLineW(line, cursor);
        NarrowLine(line, bytes);
        if (boundary.HoldsText(bytes)) {
            outcome = LineOutcome::Boundary;
            break;
        }
        if (IsDamagedLine(cursor, line, returned)) damaged = true;
        if (std::strncmp(bytes, kNextPartPrefix, kNextPartLength) == 0) {
            // The separator form many mailers use, met where the part's own boundary was lost.
            Notice(notice);
            end = DataEnd::NextPartLine;
            break;
        }
        outcome = DecodeLine(line, bytes, cursor, boundary, sink, notice);
    }
    if (outcome == LineOutcome::SinkFailed) return DataEnd::SinkFailed;
    if (outcome == LineOutcome::Boundary) end = DataEnd::Boundary;
    if (outcome == LineOutcome::PadLine) end = DataEnd::PadLine;
    if (!FlushCarry(sink, notice)) return DataEnd::SinkFailed;
    return end;
}

Base64PartDecoder::LineOutcome Base64PartDecoder::DecodeLine(const char16_t* line, char* bytes,
                                                             LineCursor& cursor, const PartBoundary& boundary,
                                                             ByteSink& sink, const RepairNoticeFn& notice) {
    if (boundary.HoldsText(bytes)) return LineOutcome::Boundary;
    if (IsPadLine(bytes)) return LineOutcome::PadLine;
    // Text in the middle of the data (a signature, a mailer's banner) is skipped, and the file may
    // miss bytes: say so.
    if (!IsPrintableAscii(bytes) || std::strchr(bytes, '-')) {
        Notice(notice);
        return LineOutcome::Next;
    }
    if (!first_line_checked) {
        first_line_checked = true;
        LookAheadOfFirstLine(bytes, cursor, boundary);
    }
    const size_t original_length = std::strlen(bytes);
    Base64StripForeign(bytes);
    TrimBlanks(bytes);
    // Empty, or an "=" in the middle: nothing base64 can make of it.
    if (bytes[0] == 0 || !Base64HasInnerPad(bytes)) return LineOutcome::Next;
    SpacesToPlus(bytes);
    if (std::strlen(bytes) != original_length) Notice(notice);
    Base64SplitCarry(bytes, carry);
    uint8_t out[kLineOutBytes];
    const int count = Base64DecodeBlock(bytes, static_cast<int>(std::strlen(bytes)), out);
    if (!Emit(out, count, sink)) return LineOutcome::SinkFailed;
    return LineOutcome::Next;
}

void Base64PartDecoder::LookAheadOfFirstLine(char* bytes, LineCursor& cursor, const PartBoundary& boundary) {
    // A first "data" line followed by text was the end of a header, not base64: drop it.
    const unsigned char* saved = cursor.pos;
    char next[kLineCapacity];
    bool found = false;
    while (ReadLineA(next, cursor)) {
        if (next[0]) {
            found = true;
            break;
        }
    }
    cursor.pos = saved;
    if (!found) return;
    if (!IsPrintableAscii(next)) {
        bytes[0] = 0;
        return;
    }
    if (boundary.HoldsText(next)) return;
    const size_t length = std::strlen(next);
    Base64StripForeign(next);
    if (std::strlen(next) != length && !IsBlank(static_cast<unsigned char>(next[0]))) bytes[0] = 0;
}

// The usual line: base64 letters, at most two pads at its end, a line end (or the file's end)
// within the reader's limit, and a carry without pads. For such a line every clean-up step of
// DecodeLine leaves it unchanged and no notice is due, so it is decoded straight from the mapping,
// checking and decoding in one pass; anything else is left to the full path. Nothing changes until
// the whole line has been found clean.
Base64PartDecoder::FastOutcome Base64PartDecoder::DecodeCleanLine(LineCursor& cursor, uint8_t* const line_out,
                                                                  size_t& decoded, Base64LineShape& shape) {
    size_t carried = 0;
    for (; carry[carried]; ++carried)
        if (carry[carried] == '=') return FastOutcome::NotClean;
    const unsigned char* start = cursor.pos;
    const unsigned char* data_end = cursor.last + 1;
    const unsigned char* limit =
        start + std::min<size_t>(static_cast<size_t>(data_end - start), kMaxLineChars);
    const unsigned char* p = start;
    uint8_t* const out = line_out;
    size_t count = 0;

    // The carry and the first letters of the line make the first group.
    char pending[8];
    std::memcpy(pending, carry, carried);
    size_t pending_count = carried;
    if (carried) {
        const size_t need = 4 - carried;
        size_t letters = 0;
        while (letters < need && p + letters < limit && kBase64Values[p[letters]] < kBase64Pad)
            ++letters;
        if (letters == need) {
            std::memcpy(pending + carried, p, need);
            Base64DecodeLetterGroups(reinterpret_cast<const unsigned char*>(pending), 1, out);
            count = 3;
            p += need;
            pending_count = 0;
        }
    }
    if (pending_count == 0) {
        const size_t groups = Base64DecodeLetterGroups(p, static_cast<size_t>(limit - p) / 4, out + count);
        p += groups * 4;
        count += groups * 3;
    }
    // Fewer than four letters are left, then the pads and the line end.
    while (p < limit && kBase64Values[*p] < kBase64Pad && pending_count < 4)
        pending[pending_count++] = static_cast<char>(*p++);
    size_t pads = 0;
    while (p < limit && *p == '=' && pads < 3) {
        pending[pending_count++] = '=';
        ++pads;
        ++p;
    }
    const size_t length = static_cast<size_t>(p - start);
    if (length == 0 || pads > 2) return FastOutcome::NotClean;

    // Where ReadLineW would leave the cursor.
    const unsigned char* next;
    if (p == data_end) {
        next = nullptr;
    } else {
        // A line of the reader's full length stops before its line end: a piece, not clean.
        if (length >= kMaxLineChars) return FastOutcome::NotClean;
        if (*p == '\n') {
            next = p == cursor.last ? nullptr : p + 1;
        } else if (*p == '\r') {
            if (p == cursor.last)
                next = nullptr;
            else if (p[1] == '\n')
                next = p + 1 == cursor.last ? nullptr : p + 2;
            else
                next = p + 1;
        } else {
            return FastOutcome::NotClean;
        }
    }

    // What is left holds at most three letters and two pads, the pads at its end: a last group
    // (which the pads may close) and a new carry.
    size_t rest = pending_count;
    if (pending_count >= 4) {
        count += static_cast<size_t>(std::max(Base64DecodeBlock(pending, 4, out + count), 0));
        rest = pending_count - 4;
    }
    std::memcpy(carry, pending + pending_count - rest, rest);
    carry[rest] = 0;
    // Whole groups only, with a line after it: the shape the next lines are tried against.
    if (!carried && !pending_count && next && (*p == '\n' || p[1] == '\n')) shape = {length, *p == '\r'};
    cursor.pos = next;
    decoded += count;
    return FastOutcome::Done;
}

bool Base64PartDecoder::FlushCarry(ByteSink& sink, const RepairNoticeFn& notice) {
    if (carry[0] == 0) return true;
    // The data ended inside a group: pad what is left, keep what it gives, and say the file was
    // repaired.
    char group[8];
    std::strcpy(group, carry);
    carry[0] = 0;
    Base64PadToQuad(group);
    uint8_t out[4];
    const int count = Base64DecodeBlock(group, static_cast<int>(std::strlen(group)), out);
    if (!Emit(out, count, sink)) {
        failed_on_remainder = true;
        return false;
    }
    Notice(notice);
    return true;
}

} // namespace dornick

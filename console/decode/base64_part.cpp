#include "console/decode/base64_part.h"

#include <algorithm>
#include <cstring>

#include "console/decode/base64_text.h"

namespace dornick {
namespace {

constexpr char kNextPartPrefix[] = "------=_NextPart_";
constexpr size_t kNextPartLength = sizeof(kNextPartPrefix) - 1;
// ReadLineW stores at most this many characters; a longer line arrives in pieces.
constexpr size_t kMaxLineChars = kLineCapacity - 1;

bool IsPadLine(const char* bytes) { return std::strcmp(bytes, "====") == 0; }

}  // namespace

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

DataEnd Base64PartDecoder::Run(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                               const RepairNoticeFn& notice) {
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
            const FastOutcome clean = DecodeCleanLine(cursor, sink);
            if (clean == FastOutcome::Done) continue;
            if (clean == FastOutcome::SinkFailed) return DataEnd::SinkFailed;
        }
        const int returned = ReadLineW(line, cursor);
        NarrowLine(line, bytes);
        if (boundary.HoldsText(bytes)) {
            outcome = LineOutcome::Boundary;
            break;
        }
        if (IsDamagedLine(cursor, line, returned)) damaged = true;
        if (std::strncmp(bytes, kNextPartPrefix, kNextPartLength) == 0) {
            // A part separator of a known mailer whose boundary header was lost: the data ends.
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

Base64PartDecoder::LineOutcome Base64PartDecoder::DecodeLine(const char16_t* line, char* bytes, LineCursor& cursor,
                                                             const PartBoundary& boundary, ByteSink& sink,
                                                             const RepairNoticeFn& notice) {
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
    if (std::strlen(next) != length && next[0] != ' ' && next[0] != '\t') bytes[0] = 0;
}

// The usual line: base64 letters, at most two pads at its end, a line end (or the file's end)
// within the reader's limit, and a carry without pads. For such a line every clean-up step of
// DecodeLine leaves it unchanged and no notice is due, so it is decoded straight from the mapping;
// anything else is left to the full path.
Base64PartDecoder::FastOutcome Base64PartDecoder::DecodeCleanLine(LineCursor& cursor, ByteSink& sink) {
    if (std::strchr(carry, '=')) return FastOutcome::NotClean;
    const unsigned char* start = cursor.pos;
    const unsigned char* data_end = cursor.last + 1;
    const unsigned char* limit = start + std::min<size_t>(static_cast<size_t>(data_end - start), kMaxLineChars);
    const unsigned char* p = start;
    while (p < limit && kBase64Values[*p] < kBase64Pad) ++p;
    const unsigned char* letters_end = p;
    while (p < limit && *p == '=') ++p;
    const size_t length = static_cast<size_t>(p - start);
    if (length == 0 || p - letters_end > 2) return FastOutcome::NotClean;

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
            if (p == cursor.last) next = nullptr;
            else if (p[1] == '\n') next = p + 1 == cursor.last ? nullptr : p + 2;
            else next = p + 1;
        } else {
            return FastOutcome::NotClean;
        }
    }

    // The carry and the line form one run whose pads all stand at its end, at most two of them, so
    // decoding the first group and the rest separately gives what one block gives.
    const size_t carried = std::strlen(carry);
    const size_t total = carried + length;
    const size_t rest = total % 4;
    const size_t decodable = total - rest;
    uint8_t out[kLineOutBytes];
    int count = 0;
    if (decodable > 0) {
        const char* from = reinterpret_cast<const char*>(start);
        size_t remaining = decodable;
        if (carried) {
            char head[4];
            std::memcpy(head, carry, carried);
            std::memcpy(head + carried, from, 4 - carried);
            count = std::max(Base64DecodeBlock(head, 4, out), 0);
            from += 4 - carried;
            remaining -= 4;
        }
        if (remaining) count += std::max(Base64DecodeBlock(from, static_cast<int>(remaining), out + count), 0);
        std::memcpy(carry, start + length - rest, rest);
    } else {
        std::memcpy(carry + carried, start, length);
    }
    carry[rest] = 0;
    cursor.pos = next;
    if (!Emit(out, count, sink)) return FastOutcome::SinkFailed;
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

}  // namespace dornick

#include "console/decode/yenc_copy.h"

#include <cstring>
#include <string>

namespace dornick {
namespace {

// Bytes gathered before they are handed on: consecutive lines are contiguous in the mapping.
constexpr size_t kRunLimit = 1 << 20;

const unsigned char* FindLineEnd(const unsigned char* p, const unsigned char* end) {
    for (; p < end; ++p)
        if (*p == '\r' || *p == '\n') return p;
    return end;
}

const unsigned char* SkipLineEnd(const unsigned char* p, const unsigned char* end) {
    if (p < end) p += (*p == '\r' && p + 1 < end && p[1] == '\n') ? 2 : 1;
    return p;
}

bool IsLastLine(std::string_view text, const BlockLastLine& last_line) {
    if (last_line.text.empty()) return false;
    if (last_line.test == BlockLastLine::Test::BeginsWith)
        return text.substr(0, last_line.text.size()) == last_line.text;
    return text.find(last_line.text) != std::string_view::npos;
}

// The line as the line reader gives it: NUL bytes dropped, at most kLineCapacity - 1 units.
void StoreLine(std::string_view text, char16_t* line) {
    size_t n = 0;
    for (char c : text)
        if (c && n + 1 < kLineCapacity) line[n++] = static_cast<unsigned char>(c);
    line[n] = 0;
}

} // namespace

DataEnd CopyUndecodedBlock(char16_t* line, LineCursor& cursor, const PartBoundary& boundary,
                           const BlockLastLine& last_line, ByteSink& sink, SinkResult& sink_result,
                           const RepairNoticeFn& notice) {
    const unsigned char* p = StepBackLines(cursor, 1);
    // The header line was found as the block's start and is always copied: ending the block there
    // because it holds a boundary (a name like "x--b--") would give the walk the same line again.
    const unsigned char* const header = p;
    const unsigned char* const end = cursor.last + 1;
    // A line's end is data only once the next line is known not to hold the boundary, so the
    // bytes not yet handed on always stop at the text end of the line before the one looked at.
    const unsigned char* run = p;
    const unsigned char* previous_text_end = p;
    bool repaired = false;
    auto hand_on = [&](const unsigned char* until) {
        if (until > run) sink_result = sink.Append(run, static_cast<size_t>(until - run));
        run = until;
        return sink_result == SinkResult::Ok;
    };
    auto append = [&](std::string_view bytes) {
        if (!bytes.empty())
            sink_result = sink.Append(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        return sink_result == SinkResult::Ok;
    };
    while (p < end) {
        const unsigned char* text_end = FindLineEnd(p, end);
        const size_t size = static_cast<size_t>(text_end - p);
        if (p != header && boundary.Holds(reinterpret_cast<const char*>(p), size)) {
            if (!hand_on(previous_text_end)) return DataEnd::SinkFailed;
            cursor.pos = p;
            ReadLineW(line, cursor);
            return DataEnd::Boundary;
        }
        std::string_view text(reinterpret_cast<const char*>(p), size);
        std::string cleaned;
        if (std::memchr(p, 0, size)) {
            // A damaged line: written as the line reader gives it, without its NUL bytes.
            for (char c : text)
                if (c) cleaned += c;
            if (!hand_on(p) || !append(cleaned)) return DataEnd::SinkFailed;
            run = text_end;
            text = cleaned;
            if (!repaired) {
                repaired = true;
                if (notice) notice();
            }
        }
        const unsigned char* next = SkipLineEnd(text_end, end);
        if (IsLastLine(text, last_line)) {
            // The line end of the block's last line belongs to a boundary right after it.
            const unsigned char* until = next;
            if (next < end && boundary.Holds(reinterpret_cast<const char*>(next),
                                             static_cast<size_t>(FindLineEnd(next, end) - next)))
                until = text_end;
            if (!hand_on(until)) return DataEnd::SinkFailed;
            StoreLine(text, line);
            cursor.pos = next < end ? next : nullptr;
            return DataEnd::BlockEnd;
        }
        previous_text_end = text_end;
        p = next;
        if (previous_text_end - run >= static_cast<std::ptrdiff_t>(kRunLimit) && !hand_on(previous_text_end))
            return DataEnd::SinkFailed;
    }
    // The last line of the file keeps the line end the file ends with.
    if (!hand_on(end)) return DataEnd::SinkFailed;
    cursor.pos = nullptr;
    line[0] = 0;
    return DataEnd::EndOfData;
}

} // namespace dornick

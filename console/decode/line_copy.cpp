#include "console/decode/line_copy.h"

#include <cstring>

namespace dornick {
namespace {

// Bytes gathered before they are handed on: consecutive lines are contiguous in the mapping.
constexpr size_t kRunLimit = 1 << 20;

const unsigned char* FindLineEnd(const unsigned char* p, const unsigned char* end) {
    for (; p < end; ++p)
        if (*p == '\r' || *p == '\n') return p;
    return end;
}

} // namespace

DataEnd CopyPlainLines(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                       SinkResult& sink_result) {
    const unsigned char* p = StepBackLines(cursor, 1);
    const unsigned char* const end = cursor.last + 1;
    // Consecutive lines are contiguous in the mapping: the data goes on in runs. A line's end is
    // data only once the next line is known not to be the boundary, so a run always stops at the
    // text end of the line before the one being looked at.
    const unsigned char* run = p;
    const unsigned char* previous_text_end = p;
    auto hand_on = [&](const unsigned char* until) {
        if (until > run) sink_result = sink.Append(run, static_cast<size_t>(until - run));
        run = until;
        return sink_result == SinkResult::Ok;
    };
    while (p < end) {
        const unsigned char* text_end = FindLineEnd(p, end);
        if (boundary.Holds(reinterpret_cast<const char*>(p), static_cast<size_t>(text_end - p))) {
            if (!hand_on(previous_text_end)) return DataEnd::SinkFailed;
            cursor.pos = p;
            ReadLineW(line, cursor);
            return DataEnd::Boundary;
        }
        const unsigned char* next = text_end;
        if (next < end) next += (*next == '\r' && next + 1 < end && next[1] == '\n') ? 2 : 1;
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

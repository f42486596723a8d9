#include "console/decode/uu_part.h"

#include <cstring>

#include "console/decode/uu_line.h"

namespace dornick {
namespace {

// The damage test of the part loops, for a line read by ReadLineA: it held NUL bytes.
bool IsDamaged(const LineCursor& cursor, size_t stored, int returned) {
    if (stored == 0) return returned > 1;
    return cursor.pos != nullptr && static_cast<int>(stored) != returned;
}

} // namespace

void UuPartDecoder::Reset() {
    const UuCode kept = code;
    *this = UuPartDecoder{};
    code = kept;
}

DataEnd UuPartDecoder::Run(char16_t* line, LineCursor& cursor, const PartBoundary& boundary, ByteSink& sink,
                           const RepairNoticeFn& notice) {
    char bytes[kLineCapacity];
    NarrowLine(line, bytes);
    const char* text = bytes;
    size_t length = std::strlen(bytes);
    const bool xx = code == UuCode::Xxencode;
    uint8_t out[kLineOutBytes];
    DataEnd end = DataEnd::EndOfData;
    for (;;) {
        if (boundary.Holds(text, length)) {
            end = DataEnd::Boundary;
            break;
        }
        int count = 0;
        const bool folded_header = after_header && length > 2 && text[0] == ' ';
        const UuLineResult result = folded_header ? UuLineResult::PassedOver
                                    : xx          ? XxDecodeLine(text, length, out, &count)
                                                  : UuDecodeLine(text, length, out, &count);
        if (length > 0 && !folded_header) after_header = IsUuHeaderLine(text, length);
        if (result == UuLineResult::End) {
            end = DataEnd::BlockEnd;
            break;
        }
        if (count > 0) {
            sink_result = sink.Append(out, static_cast<size_t>(count));
            if (sink_result != SinkResult::Ok) return DataEnd::SinkFailed;
            decoded_total += static_cast<uint64_t>(count);
        }
        if (damaged && !repaired) {
            repaired = true;
            if (notice) notice();
        }
        if (!cursor.pos) {
            length = 0;
            break;
        }
        if (!ReadOrdinaryLine(cursor, text, length)) {
            const int returned = ReadLineA(bytes, cursor);
            text = bytes;
            length = std::strlen(bytes);
            if (IsDamaged(cursor, length, returned)) damaged = true;
        }
    }
    // The line that ended the data, for the walk.
    for (size_t i = 0; i < length; ++i)
        line[i] = static_cast<unsigned char>(text[i]);
    line[length] = 0;
    return end;
}

} // namespace dornick

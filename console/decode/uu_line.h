#pragma once
// One line of a uuencoded or xxencoded block turned into bytes.
//
// Both codes carry the line's byte count in its first character. A line whose count promises more
// characters than the line holds is decoded from the count character on, for as many bytes as the
// whole line can carry.

#include <cstddef>
#include <cstdint>

namespace dornick {

/// What one line of a block gave.
enum class UuLineResult : int {
    Bytes = 0,      ///< 0 or more bytes (the count)
    PassedOver = 1, ///< empty, not printable ASCII, or a "begin" header line
    End = 2,        ///< the block's data ends at this line
};

/// The most bits a uuencode line is read into (its decoded bytes then fit kLineOutBytes).
constexpr int kUuLineBits = 1032;

/// True for a header line met inside the data: "begin ", longer than 10, a space as 10th character.
bool IsUuHeaderLine(const char* line, size_t length);

/// Decodes one uuencode line (`length` bytes, no line end) into `out` (kLineOutBytes bytes).
/// Characters stand for their code minus 0x20, the grave accent for 0; a value of 64 or more takes
/// as many bits as it needs, so such lines give no meaningful data, but never more than fits.
[[nodiscard]] UuLineResult UuDecodeLine(const char* line, size_t length, uint8_t* out, int* count);

/// Decodes one xxencode line into `out` (kLineOutBytes bytes); characters outside the alphabet
/// count as 0.
[[nodiscard]] UuLineResult XxDecodeLine(const char* line, size_t length, uint8_t* out, int* count);

} // namespace dornick

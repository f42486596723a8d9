#pragma once
// Building test mails: headers, parts and encodings written out by hand, CR LF line ends.

#include <string>
#include <string_view>
#include <vector>

namespace e2e {

/// Base64 in lines of `width` characters, each ended by CR LF.
std::string Base64Lines(std::string_view bytes, size_t width = 76);
/// Quoted-printable with soft line breaks ("=" CR LF) and every byte outside printable ASCII escaped.
std::string QuotedPrintable(std::string_view bytes);
/// An RFC 2047 B word of UTF-8 text.
std::string EncodedWord(std::string_view utf8, std::string_view charset = "UTF-8");
/// `size` bytes of reproducible data that compress badly.
std::string NoiseBytes(size_t size, unsigned seed = 1);
/// A gzip stream of the bytes (zlib, gzip wrapper).
std::string Gzip(std::string_view bytes);

/// One part of a multipart mail: its header lines and its body text (already encoded).
struct Part {
    std::vector<std::string> header;
    std::string body;
};

/// A part carrying `data` in base64 with the given Content-Type line value and name.
Part Base64Part(std::string_view type, std::string_view name, std::string_view data);

/// A "multipart/mixed" (or other) mail: top header lines, then the parts with the boundary.
std::string MultipartMail(const std::vector<std::string>& header, const std::string& boundary,
                          const std::vector<Part>& parts, std::string_view type = "multipart/mixed");

/// The usual top header of a test mail from `from` dated Tue, 3 Jan 2017 10:05:00 +0900.
std::vector<std::string> TopHeader(std::string_view from = "taro@example.jp");

} // namespace e2e

#include "mail_builder.h"

#include <zlib.h>

namespace e2e {

std::string Base64Lines(std::string_view bytes, size_t width) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        text.push_back(kAlphabet[(group >> 18) & 63]);
        text.push_back(kAlphabet[(group >> 12) & 63]);
        text.push_back(i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=');
        text.push_back(i + 2 < bytes.size() ? kAlphabet[group & 63] : '=');
    }
    std::string lines;
    for (size_t i = 0; i < text.size(); i += width)
        lines += text.substr(i, width) + "\r\n";
    return lines;
}

std::string QuotedPrintable(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    size_t column = 0;
    for (unsigned char c : bytes) {
        std::string piece;
        if (c == '\n') {
            out += "\r\n";
            column = 0;
            continue;
        }
        if (c >= 33 && c <= 126 && c != '=')
            piece = std::string(1, static_cast<char>(c));
        else
            piece = {'=', kHex[c >> 4], kHex[c & 15]};
        if (column + piece.size() > 75) {
            out += "=\r\n";
            column = 0;
        }
        out += piece;
        column += piece.size();
    }
    return out + "\r\n";
}

std::string EncodedWord(std::string_view utf8, std::string_view charset) {
    std::string b64 = Base64Lines(utf8, 100000);
    b64.resize(b64.size() - 2);
    return "=?" + std::string(charset) + "?B?" + b64 + "?=";
}

std::string NoiseBytes(size_t size, unsigned seed) {
    std::string bytes(size, '\0');
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (char& b : bytes) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        b = static_cast<char>(state >> 24);
    }
    return bytes;
}

std::string Gzip(std::string_view bytes) {
    z_stream stream{};
    deflateInit2(&stream, 6, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&stream, bytes.size()) + 32, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    stream.avail_in = static_cast<uInt>(bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

Part Base64Part(std::string_view type, std::string_view name, std::string_view data) {
    return Part{{"Content-Type: " + std::string(type) + "; name=\"" + std::string(name) + "\"",
                 "Content-Transfer-Encoding: base64",
                 "Content-Disposition: attachment; filename=\"" + std::string(name) + "\""},
                Base64Lines(data)};
}

std::string MultipartMail(const std::vector<std::string>& header, const std::string& boundary,
                          const std::vector<Part>& parts, std::string_view type) {
    std::string mail;
    for (const std::string& line : header)
        mail += line + "\r\n";
    mail +=
        "MIME-Version: 1.0\r\nContent-Type: " + std::string(type) + "; boundary=\"" + boundary + "\"\r\n\r\n";
    mail += "This is a multi-part message in MIME format.\r\n\r\n";
    for (const Part& part : parts) {
        mail += "--" + boundary + "\r\n";
        for (const std::string& line : part.header)
            mail += line + "\r\n";
        mail += "\r\n" + part.body;
        if (!part.body.empty() && part.body.back() != '\n') mail += "\r\n";
    }
    mail += "--" + boundary + "--\r\n";
    return mail;
}

std::vector<std::string> TopHeader(std::string_view from) {
    return {"Return-Path: <" + std::string(from) + ">", "From: Taro <" + std::string(from) + ">",
            "To: hanako@example.com", "Date: Tue, 3 Jan 2017 10:05:00 +0900", "Subject: test"};
}

} // namespace e2e

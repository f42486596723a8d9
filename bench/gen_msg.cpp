// Writes the message-file benchmark corpus and its manifest (file name, size, SHA-256, SHA-256 with
// CR LF as LF, as gen_corpus.py does):
//   msg/m0000.msg ...  COUNT message files (default 200) with 1-3 attachments of 5-100 KiB each of
//                      random bytes; every second one names its files in Japanese, alternately as
//                      Unicode properties and as 8-bit properties in code page 932 (the message's
//                      code page then says 932); the others name them in ASCII, 8-bit, code page 1252
//   msg.manifest
// Every attachment name is unique in the corpus, so that the check can find each file by its name.
// The files are made with libgsf's compound-file writer through the tests' message writer.
//
// Usage: gen_msg ROOT [COUNT]

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <glib.h>

#include "msg_writer.h"

namespace {

constexpr int64_t kFirstSubmit = 1646096400; // 2022-03-01 10:00:00 in Japan

// SHA-256 as lower-case hex.
std::string Sha256(const std::string& data) {
    gchar* hex = g_compute_checksum_for_data(G_CHECKSUM_SHA256, reinterpret_cast<const guchar*>(data.data()),
                                             data.size());
    std::string out(hex);
    g_free(hex);
    return out;
}

std::string CrLfAsLf(const std::string& data) {
    std::string out;
    out.reserve(data.size());
    for (size_t i = 0; i < data.size(); ++i)
        if (!(data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')) out.push_back(data[i]);
    return out;
}

// UTF-8 text in code page 932; empty when the conversion fails.
std::string Cp932(const std::string& utf8) {
    gsize written = 0;
    gchar* bytes = g_convert(utf8.data(), static_cast<gssize>(utf8.size()), "CP932", "UTF-8", nullptr,
                             &written, nullptr);
    if (!bytes) return {};
    std::string out(bytes, written);
    g_free(bytes);
    return out;
}

std::string RandomBytes(std::mt19937_64& rng, size_t size) {
    std::string out(size, '\0');
    for (size_t i = 0; i < size; i += 8) {
        const uint64_t word = rng();
        for (size_t k = 0; k < 8 && i + k < size; ++k)
            out[i + k] = static_cast<char>(word >> (8 * k));
    }
    return out;
}

std::string Name(int index, int k, bool japanese) {
    char name[64];
    std::snprintf(name, sizeof name, japanese ? "資料%04d_%d.pdf" : "file%04d_%d.bin", index, k);
    return name;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: gen_msg ROOT [COUNT]\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const int count = argc > 2 ? std::atoi(argv[2]) : 200;
    std::filesystem::create_directories(root / "msg");
    std::ofstream manifest(root / "msg.manifest", std::ios::binary);
    std::mt19937_64 rng(3707);
    for (int index = 0; index < count; ++index) {
        const bool japanese = index % 2 == 1;
        const bool in_unicode = japanese && index % 4 == 1;
        msg_test::MsgLayout layout;
        const std::string sender = "sender" + std::to_string(index % 50) + "@example.com";
        layout.smtp_sender = msg_test::Utf16(sender);
        layout.submit_time = kFirstSubmit + int64_t{index} * 3671;
        layout.code_page = japanese && !in_unicode ? 932 : 1252;
        layout.transport_headers = "From: Sender <" + sender +
                                   ">\r\nTo: someone@example.org\r\nSubject: message " +
                                   std::to_string(index) + "\r\nMIME-Version: 1.0\r\n\r\n";
        const int files = 1 + static_cast<int>(rng() % 3);
        for (int k = 0; k < files; ++k) {
            const std::string name = Name(index, k, japanese);
            msg_test::AttachmentSpec attachment;
            if (in_unicode) {
                attachment.long_unicode = msg_test::Utf16(name);
            } else {
                attachment.long8 = japanese ? Cp932(name) : name;
                if (attachment.long8.empty()) {
                    std::fprintf(stderr, "gen_msg: no code page 932 converter\n");
                    return 1;
                }
            }
            attachment.data = RandomBytes(rng, (5 + rng() % 96) * 1024);
            manifest << name << '\t' << attachment.data.size() << '\t' << Sha256(attachment.data) << '\t'
                     << Sha256(CrLfAsLf(attachment.data)) << '\n';
            layout.attachments.push_back(std::move(attachment));
        }
        char file[32];
        std::snprintf(file, sizeof file, "m%04d.msg", index);
        std::ofstream out(root / "msg" / file, std::ios::binary);
        const std::string bytes = msg_test::WriteMsg(layout);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "gen_msg: cannot write %s\n", (root / "msg" / file).c_str());
            return 1;
        }
    }
    return manifest ? 0 : 1;
}

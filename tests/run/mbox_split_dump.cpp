// Splits an mbox into one file per message ("1", "2", ... in the output folder), as the run reads
// them, for the differential test against another reader.

#include <cstdio>
#include <string>
#include <vector>

#include "console/run/mbox_read_ahead.h"
#include "console/run/mbox_split.h"
#include "platform/archive_file.h"
#include "platform/text.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: mbox_split_dump ARCHIVE FOLDER\n");
        return 2;
    }
    platform::ArchiveFile archive;
    if (!platform::OpenArchiveFile(platform::Utf8ToU16(argv[1]), archive)) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    dornick::MboxSplitter splitter;
    dornick::StartMboxSplit(
        splitter,
        [&](uint64_t offset, unsigned char* into, size_t count) {
            return platform::ReadArchiveBytes(archive, offset, into, count);
        },
        archive.size);
    // Read ahead as the run reads it, so that the comparison covers the hand-over too.
    dornick::MboxReadAhead ahead;
    ahead.Start(splitter);
    dornick::MboxPiece piece;
    while (ahead.Next(piece)) {
        const dornick::MboxMessage& message = piece.message;
        const dornick::MessageBytes& bytes = piece.bytes;
        if (!piece.whole) return 1;
        const std::string path = std::string(argv[2]) + "/" + std::to_string(message.number);
        std::FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) return 1;
        std::fclose(out);
    }
    ahead.Stop();
    std::printf("%llu\n", static_cast<unsigned long long>(splitter.count));
    return 0;
}

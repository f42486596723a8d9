#include "console/run/archive_run.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "console/run/archive_search.h"
#include "console/run/mbox_read_ahead.h"
#include "console/run/mbox_split.h"
#include "console/run/messages.h"
#include "platform/archive_file.h"
#include "platform/interrupt.h"

namespace dornick {
namespace {

// An ".emlx" count line is short; this much is read to find it.
constexpr size_t kEmlxCountBytes = 64;

ArchiveReader ReaderOf(const platform::ArchiveFile& archive) {
    return [&archive](uint64_t offset, unsigned char* into, size_t count) {
        return platform::ReadArchiveBytes(archive, offset, into, count);
    };
}

bool OnlyLineEnds(const MessageBytes& bytes) {
    return std::all_of(bytes.begin(), bytes.end(), [](unsigned char c) { return c == '\n' || c == '\r'; });
}

} // namespace

std::u16string ArchiveMessageName(std::u16string_view archive, uint64_t number, uint64_t offset) {
    return platform::Format(
        Localize(u"%s (%I64u 通目、%I64u バイト目)"),
        {archive, static_cast<unsigned long long>(number), static_cast<unsigned long long>(offset)});
}

bool RunMboxArchive(std::u16string_view path, std::u16string_view shown, const ArchiveMailHandler& handler,
                    ArchiveTally& tally, const Shard& shard, const std::function<void()>& settle) {
    const auto settled = [&settle] {
        if (settle) settle();
    };
    platform::ArchiveFile archive;
    if (!platform::OpenArchiveFile(path, archive)) {
        PrintErr(u"メールファイルを開けませんでした。\n->%s\n", {shown});
        return false;
    }
    MboxSplitter splitter;
    StartMboxSplit(splitter, ReaderOf(archive), archive.size);
    splitter.largest_message = platform::MemoryForOneMessage();
    // The next messages are split and read on a second core while this one is decoded.
    MboxReadAhead ahead;
    // A part of a sharded run takes only the messages whose separator begins in its share.
    ahead.Start(splitter, ShardByteRange(shard, archive.size));
    MboxPiece piece;
    bool all_done = true;
    while (!platform::StopRequested() && ahead.Next(piece)) {
        const MboxMessage& message = piece.message;
        ArchiveMail mail;
        mail.shown = ArchiveMessageName(shown, message.number, message.offset);
        mail.source = std::u16string(path);
        mail.number = message.number;
        mail.offset = message.offset;
        if (!piece.whole) {
            // Larger than the memory to be had, or cut off the archive while it was read.
            settled();
            PrintErr(u"メッセージを読み込めませんでした。\n->%s\n", {mail.shown});
            ++tally.failed;
            all_done = false;
            continue;
        }
        if (OnlyLineEnds(piece.bytes)) {
            settled();
            PrintErr(u"空のメッセージを読み飛ばしました。\n->%s\n", {mail.shown});
            continue;
        }
        mail.data = piece.bytes.data();
        mail.size = piece.bytes.size();
        mail.bytes = &piece.bytes;
        mail.envelope_date = EnvelopeDate(message.envelope);
        ++tally.messages;
        if (!handler(mail)) {
            ++tally.failed;
            all_done = false;
        }
    }
    settled();
    ahead.Stop();
    if (splitter.shrank) {
        PrintErr(u"読み込み中にアーカイブが短くなりました。\n->%s\n", {shown});
        all_done = false;
    }
    return all_done;
}

bool RunEmlxFile(std::u16string_view path, std::u16string_view shown, const ArchiveMailHandler& handler,
                 ArchiveTally& tally) {
    platform::ArchiveFile file;
    if (!platform::OpenArchiveFile(path, file)) {
        PrintErr(u"メールファイルを開けませんでした。\n->%s\n", {shown});
        return false;
    }
    unsigned char start[kEmlxCountBytes];
    const size_t got = platform::ReadArchiveBytes(file, 0, start, sizeof start);
    uint64_t offset = 0;
    uint64_t length = 0;
    if (!EmlxMessageSpan({reinterpret_cast<const char*>(start), got}, file.size, offset, length)) {
        PrintErr(u"emlx ファイルの形式が正しくありません。\n->%s\n", {shown});
        ++tally.failed;
        return false;
    }
    std::vector<unsigned char> bytes;
    try {
        bytes.resize(static_cast<size_t>(length));
    } catch (const std::bad_alloc&) {
        length = 0;
    }
    if (bytes.size() != length ||
        platform::ReadArchiveBytes(file, offset, bytes.data(), bytes.size()) != length) {
        PrintErr(u"メッセージを読み込めませんでした。\n->%s\n", {shown});
        ++tally.failed;
        return false;
    }
    ++tally.messages;
    const bool done =
        handler({std::u16string(shown), bytes.data(), bytes.size(), {}, std::u16string(path), 1, offset});
    if (!done) ++tally.failed;
    return done;
}

uint64_t EnvelopeLineLength(const unsigned char* data, uint64_t size) {
    constexpr std::string_view kFromSpace = "From ";
    if (size < kFromSpace.size() || std::memcmp(data, kFromSpace.data(), kFromSpace.size()) != 0) return 0;
    const void* end = std::memchr(data, '\n', static_cast<size_t>(size));
    return end == nullptr ? size : static_cast<uint64_t>(static_cast<const unsigned char*>(end) - data) + 1;
}

} // namespace dornick

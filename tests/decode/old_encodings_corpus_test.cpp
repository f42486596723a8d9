// Real-world mail from the shared corpus: every line is offered to the detectors of the old
// in-body encodings as the walk offers it, every block found is decoded or copied, and every file
// is also decoded whole as a part of each code. Nothing may crash or read out of bounds (run under
// the sanitizer preset), and the blocks the corpus is known to hold must be found.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "console/decode/binhex_block.h"
#include "console/decode/binhex_decode.h"
#include "console/decode/ish_block.h"
#include "console/decode/uu_block.h"
#include "console/decode/uu_part.h"
#include "console/decode/yenc_block.h"
#include "console/decode/yenc_copy.h"
#include "test_support.h"

namespace dornick {
namespace {

namespace fs = std::filesystem;

struct Found {
    int uuencode = 0, xxencode = 0, yenc = 0, ish = 0, binhex = 0, binhex_decoded = 0;
};

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs the decoder a detector chose from the line after the header, then goes back to where
// the detector was asked.
void ScanMail(const std::string& mail, Found& found, std::map<std::string, std::string>& names) {
    const auto* data = reinterpret_cast<const unsigned char*>(mail.data());
    LineCursor cursor = MakeLineCursor(data, mail.size());
    const PartBoundary boundary;
    char16_t line[kLineCapacity];
    while (ReadLineW(line, cursor)) {
        const LineCursor saved = cursor;
        test::MemorySink sink;
        SinkResult result = SinkResult::Ok;
        IshBlock ish;
        YencBlock yenc;
        if (IshDetect(line, cursor, boundary, ish)) {
            ++found.ish;
            StepBackLines(cursor, 1);
            ReadLineW(line, cursor);
            (void)CopyUndecodedBlock(line, cursor, boundary, IshLastLine(ish.end_marker), sink, result);
        } else if (YencDetect(line, cursor, boundary, yenc)) {
            ++found.yenc;
            names[yenc.output_name] = "yenc";
            StepBackLines(cursor, 1);
            ReadLineW(line, cursor);
            (void)CopyUndecodedBlock(line, cursor, boundary, YencLastLine(), sink, result);
            EXPECT_EQ(sink.bytes.substr(0, 8), "=ybegin ");
        } else if (const UuCode code = UuDetect(line, cursor, boundary); code != UuCode::None) {
            ++(code == UuCode::Xxencode ? found.xxencode : found.uuencode);
            char name[kLineCapacity];
            UuBeginName(line, name);
            names[name] = code == UuCode::Xxencode ? "xxencode" : "uuencode";
            UuPartDecoder decoder;
            decoder.code = code;
            if (ReadLineW(line, cursor)) {
                EXPECT_NE(decoder.Run(line, cursor, boundary, sink), DataEnd::SinkFailed);
            }
            EXPECT_GT(sink.bytes.size(), 0u);
        } else if (BinHexDetect(line, cursor, boundary)) {
            ++found.binhex;
            if (ReadLineW(line, cursor) && FindBinHexStart(line, cursor, boundary) == BinHexStart::Block) {
                BinHexFile file;
                if (BinHexDecode(cursor, file) == BinHexStatus::Ok) {
                    ++found.binhex_decoded;
                    names[file.name] = "binhex";
                    EXPECT_LE(file.data_offset + file.data_length, file.expanded.size());
                }
            }
        }
        cursor = saved;
    }
}

// The whole file as the data of a part in each code, from its first line.
void DecodeWhole(const std::string& mail) {
    const auto* data = reinterpret_cast<const unsigned char*>(mail.data());
    for (UuCode code : {UuCode::Uuencode, UuCode::Xxencode}) {
        LineCursor cursor = MakeLineCursor(data, mail.size());
        char16_t line[kLineCapacity] = {};
        ReadLineW(line, cursor);
        test::MemorySink sink;
        UuPartDecoder decoder;
        decoder.code = code;
        while (decoder.Run(line, cursor, PartBoundary(u"--"), sink) != DataEnd::EndOfData && cursor.pos)
            ReadLineW(line, cursor);
    }
    LineCursor cursor = MakeLineCursor(data, mail.size());
    char16_t line[kLineCapacity] = {};
    ReadLineW(line, cursor);
    while (FindBinHexStart(line, cursor, PartBoundary()) == BinHexStart::Block) {
        BinHexFile file;
        (void)BinHexDecode(cursor, file);
        if (!ReadLineW(line, cursor)) break;
    }
}

TEST(OldEncodingsCorpus, RealMailIsScannedAndDecodedSafely) {
    const fs::path corpus = DORNICK_CORPUS_DIR;
    if (!fs::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    Found found;
    std::map<std::string, std::string> names;
    std::map<std::string, Found> by_file;
    int files = 0;
    for (const char* folder : {"uudeview", "zbateson", "kmime", "mimekit"}) {
        if (!fs::is_directory(corpus / folder)) continue;
        for (const auto& entry : fs::recursive_directory_iterator(corpus / folder)) {
            if (!entry.is_regular_file()) continue;
            SCOPED_TRACE(entry.path().string());
            const std::string mail = ReadFile(entry.path());
            Found here;
            ScanMail(mail, here, names);
            by_file[entry.path().filename().string()] = here;
            found.uuencode += here.uuencode;
            found.xxencode += here.xxencode;
            found.yenc += here.yenc;
            found.binhex_decoded += here.binhex_decoded;
            DecodeWhole(mail);
            ++files;
        }
    }
    ASSERT_GT(files, 50);
    EXPECT_GE(found.uuencode, 5);
    EXPECT_GE(found.xxencode, 2);
    EXPECT_GE(found.yenc, 5);
    EXPECT_GE(found.binhex_decoded, 1);
    EXPECT_EQ(by_file["plain-xxencode.good.eml"].xxencode, 1);
    EXPECT_EQ(by_file["plain-uuencode.good.eml"].uuencode, 1);
    EXPECT_EQ(by_file["binhex.good.eml"].binhex_decoded, 1);
    EXPECT_EQ(names["joystick.jpg.yenc#002"], "yenc");
    for (const auto& [name, code] : names)
        if (code == "binhex") {
            EXPECT_FALSE(name.empty());
        }
}

} // namespace
} // namespace dornick

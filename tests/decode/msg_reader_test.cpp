// The message-file reader over files made by libgsf's writer: names in every form, methods,
// embedded messages and their depth limit, sender and dates, code pages, and damaged files.

#include <gtest/gtest.h>

#include "console/decode/msg_reader.h"
#include "msg_writer.h"

namespace dornick {
namespace {

using msg_test::AttachmentSpec;
using msg_test::MsgLayout;
using msg_test::Utf16;

struct Collected : MsgEvents {
    std::vector<MsgAttachment> attachments;
    std::vector<std::string> data;
    void OnAttachment(const MsgAttachment& attachment, std::string_view bytes) override {
        attachments.push_back(attachment);
        data.emplace_back(bytes);
    }
};

struct Read {
    MsgReadResult result;
    MsgHeader header;
    Collected got;
};

Read ReadBytes(const std::string& file) {
    Read read;
    read.result =
        ReadMsgFile(reinterpret_cast<const unsigned char*>(file.data()), file.size(), read.header, read.got);
    return read;
}

const std::string kReportCp932 = "\x95\xF1\x8D\x90\x8F\x91.pdf"; // 報告書.pdf

TEST(MsgReader, NamesInEveryFormAndTheirData) {
    struct Row {
        AttachmentSpec attachment;
        std::u16string unicode_name;
        std::string name8;
    };
    const std::vector<Row> rows = {
        {{Utf16("見積書.xlsx"), "", u"", "", 1, "unicode long"}, Utf16("見積書.xlsx"), ""},
        {{u"", kReportCp932, u"", "", 1, "8-bit long"}, u"", kReportCp932},
        // The long name wins over the short one, in either form.
        {{Utf16("長い名前.docx"), "", u"LONG~1.DOC", "", 1, "both"}, Utf16("長い名前.docx"), ""},
        {{u"", "", u"SHORT.TXT", "", 1, "short only"}, u"SHORT.TXT", ""},
        {{u"", "", u"", "SHORT8.TXT", 1, "short 8-bit only"}, u"", "SHORT8.TXT"},
        {{u"", "", u"", "", 6, "no name"}, u"", ""},
    };
    MsgLayout layout;
    layout.code_page = 932;
    for (const Row& row : rows)
        layout.attachments.push_back(row.attachment);
    const Read read = ReadBytes(msg_test::WriteMsg(layout));
    ASSERT_EQ(read.result.status, MsgStatus::Read);
    ASSERT_EQ(read.got.attachments.size(), rows.size());
    EXPECT_EQ(read.result.attachments, static_cast<int>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(rows[i].attachment.data);
        EXPECT_EQ(read.got.attachments[i].unicode_name, rows[i].unicode_name);
        EXPECT_EQ(read.got.attachments[i].name8, rows[i].name8);
        EXPECT_EQ(read.got.attachments[i].method, rows[i].attachment.method);
        EXPECT_EQ(read.got.attachments[i].code_page, 932);
        EXPECT_EQ(read.got.attachments[i].depth, 0);
        EXPECT_EQ(read.got.data[i], rows[i].attachment.data);
    }
}

TEST(MsgReader, EmbeddedMessagesAreOpenedToTheDepthLimit) {
    struct Row {
        int depth;
        size_t attachments;
        bool cut;
    };
    for (const Row& row : {Row{3, 4, false}, Row{kMsgDepthLimit, kMsgDepthLimit + 1u, false},
                           Row{kMsgDepthLimit + 8, kMsgDepthLimit + 1u, true}}) {
        SCOPED_TRACE(row.depth);
        const Read read = ReadBytes(msg_test::WriteMsg(*msg_test::NestedMessage(row.depth)));
        ASSERT_EQ(read.result.status, MsgStatus::Read);
        EXPECT_EQ(read.got.attachments.size(), row.attachments);
        EXPECT_EQ(read.result.depth_cut, row.cut);
        for (size_t i = 0; i < read.got.attachments.size(); ++i) {
            EXPECT_EQ(read.got.attachments[i].depth, static_cast<int>(i));
            EXPECT_EQ(read.got.attachments[i].unicode_name, u"level" + Utf16(std::to_string(i)) + u".txt");
        }
    }
}

TEST(MsgReader, EmbeddedMessageKeepsItsOwnCodePageElseTheOuterOne) {
    auto inner = std::make_shared<MsgLayout>();
    inner->attachments.push_back({u"", "a.txt", u"", "", 1, "a"});
    auto inner_own = std::make_shared<MsgLayout>(*inner);
    inner_own->code_page = 1252;
    MsgLayout layout;
    layout.code_page = 932;
    AttachmentSpec first, second;
    first.method = second.method = 5;
    first.embedded = inner;
    second.embedded = inner_own;
    layout.attachments = {first, second};
    const Read read = ReadBytes(msg_test::WriteMsg(layout));
    ASSERT_EQ(read.got.attachments.size(), 2u);
    EXPECT_EQ(read.got.attachments[0].code_page, 932);
    EXPECT_EQ(read.got.attachments[1].code_page, 1252);
    EXPECT_EQ(read.header.code_page, 932);
}

TEST(MsgReader, SenderAndDatesFromTheirProperties) {
    struct Row {
        const char* what;
        std::u16string smtp;
        std::u16string email;
        std::optional<int64_t> submit, delivery;
        std::u16string sender;
    };
    const std::vector<Row> rows = {
        {"smtp wins", u"taro@example.jp", u"jiro@example.jp", 1714964400, 1714968000, u"taro@example.jp"},
        {"e-mail address with @", u"", u"jiro@example.jp", std::nullopt, 1714968000, u"jiro@example.jp"},
        {"exchange address ignored", u"", u"/O=ORG/OU=EXCHANGE/CN=RECIPIENTS/CN=TARO", std::nullopt,
         std::nullopt, u""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        MsgLayout layout;
        layout.smtp_sender = row.smtp;
        layout.sender_email = row.email;
        layout.submit_time = row.submit;
        layout.delivery_time = row.delivery;
        const Read read = ReadBytes(msg_test::WriteMsg(layout));
        EXPECT_EQ(read.header.smtp_sender, row.sender);
        EXPECT_EQ(read.header.submit_time, row.submit);
        EXPECT_EQ(read.header.delivery_time, row.delivery);
    }
}

TEST(MsgReader, TransportHeadersInEitherFormComeOutAsBytes) {
    for (bool unicode : {true, false}) {
        MsgLayout layout;
        layout.transport_headers =
            "From: Taro <taro@example.jp>\r\nDate: Mon, 6 May 2024 12:00:00 +0900\r\n\r\n";
        layout.headers_in_unicode = unicode;
        const Read read = ReadBytes(msg_test::WriteMsg(layout));
        EXPECT_EQ(read.header.transport_headers, layout.transport_headers) << unicode;
    }
}

TEST(MsgReader, DamagedAndForeignFilesAreToldApart) {
    MsgLayout layout;
    layout.attachments.push_back({u"a.bin", "", u"", "", 1, std::string(20000, 'x')});
    const std::string file = msg_test::WriteMsg(layout);
    EXPECT_EQ(ReadBytes("From: a@b\r\n\r\nbody\r\n").result.status, MsgStatus::NotCompound);
    EXPECT_EQ(ReadBytes(file.substr(0, 7)).result.status, MsgStatus::NotCompound);
    EXPECT_EQ(ReadBytes(file.substr(0, 600)).result.status, MsgStatus::Damaged);

    // A property stream that declares 4 GB: not read, counted, and the rest goes on.
    std::string huge = file;
    ASSERT_TRUE(msg_test::SetDeclaredSize(huge, "__substg1.0_37010102", 0xFFFFFFF0u));
    const Read read = ReadBytes(huge);
    EXPECT_EQ(read.result.status, MsgStatus::Read);
    EXPECT_TRUE(read.got.attachments.empty());
    EXPECT_GE(read.result.unreadable, 1);

    // The data stream's sectors cut off: what remains is read or counted, never past the end.
    for (size_t keep : {file.size() / 2, file.size() - 512}) {
        const Read cut = ReadBytes(file.substr(0, keep));
        EXPECT_NE(cut.result.status, MsgStatus::NotCompound);
        EXPECT_EQ(cut.got.attachments.size() + static_cast<size_t>(cut.result.unreadable) > 0 ||
                      cut.result.status == MsgStatus::Damaged,
                  true);
        for (const std::string& data : cut.got.data)
            EXPECT_EQ(data, std::string(20000, 'x'));
    }
}

TEST(MsgReader, AttachmentStoragesOverTheLimitAreSkipped) {
    MsgLayout layout;
    for (int i = 0; i < kMsgAttachmentLimit + 5; ++i)
        layout.attachments.push_back({u"", "", u"", "", 1, "", false});
    layout.attachments.back() = {u"last.txt", "", u"", "", 1, "last"};
    const Read read = ReadBytes(msg_test::WriteMsg(layout));
    ASSERT_EQ(read.result.status, MsgStatus::Read);
    EXPECT_EQ(read.result.skipped, 5);
    EXPECT_TRUE(read.got.attachments.empty()); // the named one is past the limit
}

} // namespace
} // namespace dornick

namespace dornick {
namespace {

// Directories too wide or too deep for the compound-file library to open in bounded time and stack
// are measured and refused before it sees them; up to the limit they are opened as before.
TEST(MsgReader, DirectoriesPastTheWidthOrDepthLimitAreNotOpened) {
    using msg_test::StorageShape;
    struct Row {
        const char* what;
        int count;
        StorageShape shape;
        MsgStatus status;
        int skipped;
    };
    const std::vector<Row> rows = {
        // As libgsf's own writer lays out siblings.
        {"100,000 storages, one chain", 100000, StorageShape::Chain, MsgStatus::Read, 100000},
        {"one over the width limit", kMsgStorageWidthLimit + 1, StorageShape::Balanced, MsgStatus::Read,
         kMsgStorageWidthLimit + 1},
        // At the limit the library opens it, and the attachment limit skips the rest.
        {"at the width limit", kMsgStorageWidthLimit, StorageShape::Balanced, MsgStatus::Read,
         kMsgStorageWidthLimit - kMsgAttachmentLimit},
        {"a few, as a chain", 20, StorageShape::Chain, MsgStatus::Read, 0},
        // Nested storages that are no attachments: no message file, so damaged.
        {"nested past the depth limit", 2 * kMsgStorageWidthLimit + 1, StorageShape::Nested,
         MsgStatus::Damaged, 0},
        {"nested within it", 100, StorageShape::Nested, MsgStatus::Read, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Read read = ReadBytes(msg_test::WriteBareStorages(row.count, row.shape));
        EXPECT_EQ(read.result.status, row.status);
        EXPECT_EQ(read.result.skipped, row.skipped);
        EXPECT_EQ(read.result.unreadable, 0);
        EXPECT_TRUE(read.got.attachments.empty());
    }
}

} // namespace
} // namespace dornick

#include "console/run/msg_files.h"

#include "console/run/container_records.h"
#include "console/run/messages.h"
#include "platform/format.h"
#include "platform/text.h"

namespace dornick {

void MsgAttachmentFiles::OnAttachment(const MsgAttachment& attachment, std::string_view data) {
    if (stopped_) return;
    charset_ =
        attachment.code_page > 0 ? platform::Format(u"CP%d", {attachment.code_page}) : std::u16string();
    naming_.charset = charset_;
    std::u16string safe = !attachment.unicode_name.empty()
                              ? UnicodeSafeName(attachment.unicode_name, naming_.full_width)
                          : !attachment.name8.empty() ? TnefSafeName(attachment.name8, naming_)
                                                      : std::u16string();
    // Like a part without a name, a nameless attachment is not written.
    if (safe.empty()) {
        ++nameless;
        if (records_) records_->Pass();
        return;
    }
    if (!started_) {
        started_ = true;
        if (before_first_ && !before_first_(naming_)) {
            stopped_ = true;
            return;
        }
    }
    // A duplicate that is dropped claims its name all the same, so that the names after it come
    // out as they would have.
    const bool keep = !records_ || records_->Next(data);
    std::u16string written_path;
    if (WriteNamedAttachment(safe, written_path, keep ? data : std::string_view(), naming_) != 0) return;
    if (records_) records_->Named(written_path, safe);
    ++written;
    if (announce_) announce_(written_path);
}

bool IsMessageFilePart(std::u16string_view content_type, std::u16string_view name) {
    constexpr std::u16string_view kType = u"application/vnd.ms-outlook";
    if (content_type.size() >= kType.size() &&
        platform::EqualsNoCaseAscii(content_type.substr(0, kType.size()), kType))
        return true;
    return name.size() > 4 && platform::EqualsNoCaseAscii(name.substr(name.size() - 4), u".msg");
}

void ReportMsgResult(const MsgReadResult& result, const std::u16string& shown) {
    if (result.status == MsgStatus::Damaged) {
        PrintErr(u"メッセージファイルが壊れているため読み込めませんでした。\n->%s\n", {shown});
        return;
    }
    if (result.skipped > 0)
        PrintErr(u"メッセージファイルの添付ファイルが多すぎるため、%d 個を読み飛ばしました。\n->%s\n",
                 {result.skipped, shown});
    if (result.unreadable > 0)
        PrintErr(u"メッセージファイルの一部が壊れていて読めませんでした。(%d 個のストリーム)\n->%s\n",
                 {result.unreadable, shown});
    if (result.depth_cut)
        PrintErr(u"埋め込みメッセージの入れ子が深すぎるため、%d 段より深いものは開きませんでした。\n->%s\n",
                 {kMsgDepthLimit, shown});
}

} // namespace dornick

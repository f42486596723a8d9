#pragma once
// The attachments of a message file (and of the messages embedded in it) as files of one folder.

#include <functional>
#include <string>

#include "console/decode/msg_reader.h"
#include "console/run/tnef_attachment.h"

namespace dornick {

class ContainerRecords;

/// Names and writes every attachment handed on by the message reader. The naming's charset is set
/// per attachment from the code page of its message, so 8-bit names are read in it.
class MsgAttachmentFiles : public MsgEvents {
  public:
    /// `before_first` runs once, before the first file is made (it may set the folder and the time,
    /// and stops the files when false); `announce`
    /// after each file with the name it got.
    MsgAttachmentFiles(TnefNaming naming, std::function<bool(TnefNaming&)> before_first = {},
                       std::function<void(const std::u16string&)> announce = {})
        : naming_(naming), before_first_(std::move(before_first)), announce_(std::move(announce)) {}

    void OnAttachment(const MsgAttachment& attachment, std::string_view data) override;
    /// With records, every attachment is numbered and each file recorded there.
    void RecordInto(ContainerRecords* records) { records_ = records; }

    /// Attachments that had no name in any form, and so were not written.
    int nameless = 0;
    /// Attachments written.
    int written = 0;

  private:
    TnefNaming naming_;
    std::u16string charset_;
    std::function<bool(TnefNaming&)> before_first_;
    std::function<void(const std::u16string&)> announce_;
    bool started_ = false;
    bool stopped_ = false;
    ContainerRecords* records_ = nullptr;
};

/// A mail part to be expanded as a message file once stored: named "*.msg" or of the type
/// "application/vnd.ms-outlook" (both without regard to case).
bool IsMessageFilePart(std::u16string_view content_type, std::u16string_view name);

/// The messages about what the reader could not read, naming the file `shown`.
void ReportMsgResult(const MsgReadResult& result, const std::u16string& shown);

} // namespace dornick

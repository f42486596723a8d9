#pragma once
// Attached messages opened as mails of their own ("--recurse"): which parts may hold one, the
// decoded bytes kept on the way to the part's file, and the walk over them, whose files go into
// the folders of the mail that holds them.

#include <string>
#include <string_view>

#include "console/decode/byte_sink.h"
#include "console/run/mail_state.h"
#include "console/run/part_output.h"
#include "platform/scratch_file.h"

namespace dornick {

/// The deepest level of attached messages that is opened (the mail file is level 0).
constexpr int kAttachedMailDepthLimit = 32;
/// Bytes kept in memory; a longer message goes on in an unnamed temporary file.
constexpr size_t kAttachedMailMemoryBytes = size_t{4} << 20;

/// What a part's header says of its content.
enum class MailHint {
    None,    ///< not looked at
    Message, ///< a "message/rfc822" part: opened whatever its bytes are
    Maybe,   ///< a ".eml" name, another "message/" type or an octet-stream: opened when it begins like a mail
};

/// The hint for the current part, to be written under `name`; None without "--recurse".
MailHint AttachedMailHint(const MailState& mail, std::u16string_view name);

/// True when the bytes begin like a mail: after an optional envelope line ("From ..."), a header
/// field, and among the fields up to the first empty line one that every mail has (From, To,
/// Subject, Date, Received, Return-Path, Message-ID, MIME-Version).
bool BeginsLikeMail(std::string_view bytes);

/// Passes a part's decoded bytes on to `inner` (none: they only are kept) and keeps them while
/// they may be a mail: a "Maybe" part whose first line opens no header field is let go at once.
class MailCapture final : public ByteSink {
  public:
    MailCapture(ByteSink* inner, MailHint hint)
        : inner_(inner), hint_(hint), keeping_(hint != MailHint::None),
          start_checked_(hint == MailHint::Message) {}
    [[nodiscard]] SinkResult Append(const uint8_t* data, size_t size) override;
    /// Whether bytes are being kept (else the capture need not stand between decoder and file).
    bool Keeping() const { return keeping_; }
    /// The kept bytes when they are a mail to open, else empty. Valid while the capture lives.
    std::string_view Mail();

  private:
    void Keep(const uint8_t* data, size_t size);

    ByteSink* inner_;
    MailHint hint_;
    bool keeping_;
    bool start_checked_;
    std::string memory_;
    platform::ScratchFile spill_;
};

/// Walks `bytes` as a mail of its own, one level below `outer`: its files go into the outer mail's
/// folders, dated with its time, named by the same rules; its messages and log lines are the outer
/// mail's. Below the depth limit nothing is opened (the mail file is told once).
void OpenAttachedMail(MailState& outer, std::string_view bytes);

/// An unnamed "message/rfc822" part that "--recurse" opens, though no file is written for it.
bool OpensUnsavedMessage(const MailState& mail);
/// Reads such a part's data from its first data line (the current line) and opens it.
PartEnd OpenUnsavedMessage(MailState& mail);

} // namespace dornick

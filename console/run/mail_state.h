#pragma once
// Everything of one mail file while it is processed: the walk's members (the lines, the mail's own
// facts, the multipart structure, the current part's header, where the walk stands), each a value
// of its own that a step is given alone, then what the run keeps of the mail.

#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "console/decode/line_source.h"
#include "console/run/log.h"
#include "console/run/mail_record.h"
#include "console/run/run_options.h"
#include "console/run/tnef_carry.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/unique_fd.h"

namespace dornick {

/// Units a text taken from a mail line may hold (the line buffer less its terminator).
constexpr size_t kTextLimit = 1023;
/// Units a charset name may hold.
constexpr size_t kCharsetLimit = 23;

enum class WalkState : int {
    TopHeader = 0,    ///< the top header, before a Return-Path or From
    SenderSeen = 1,   ///< a Return-Path or From was read
    SeekBoundary = 2, ///< between parts
    PartHeader = 3,   ///< a part's header
    PartBody = 4,     ///< the line after a part's header
};

/// How the walk ended, which decides what the end of the mail prints.
enum class WalkEnd {
    NoLineLeft,   ///< the data ended at the start of a pass, or the "/NI" stop
    InsideHeader, ///< the data ended while a header value was being read
    Stopped,      ///< any other stop (date mode, a broken header, an output failure)
};

/// How a part's data is decoded.
enum class EncodingMode : int {
    Unknown = 0,
    Base64 = 1, ///< also gzip64 and "begin-base64" blocks
    QuotedPrintable = 2,
    PlainCopy = 3,
    Uuencode = 4,
    Xxencode = 5,
    BinHex = 6,
    Ish = 7,  ///< stored undecoded
    Yenc = 8, ///< stored undecoded
};

/// The five multipart boundaries a mail may have at once, in the order lines are tested for them.
enum class BoundarySlot { Main, Alternative, Related, AppleDouble, Mixed };
constexpr int kBoundarySlots = 5;
constexpr std::array<BoundarySlot, kBoundarySlots> kSlotOrder = {
    BoundarySlot::Main, BoundarySlot::Alternative, BoundarySlot::Related, BoundarySlot::AppleDouble,
    BoundarySlot::Mixed};

/// What the mail says of itself: sender, date, charset and which of them were found.
struct MailFacts {
    std::u16string sender;
    std::u16string date_text;
    std::u16string return_path;
    std::u16string from_address;
    std::u16string apparently_from;
    std::u16string charset; ///< CharsetText
    platform::SystemTime mail_time;
    bool mail_epoch_known = false;         ///< mail_epoch was worked out (for the first output file)
    std::optional<std::time_t> mail_epoch; ///< mail_time as a moment; none for a mail without a date
    TnefTimeCarry tnef_time;               ///< the file time the mail's last TNEF container left

    bool return_path_found = false;
    bool from_found = false;
    bool date_found = false;
    bool boundary_found = false;
    bool japanese_mail = false;

    /// The mail has a header of its own (a bare block of text has none).
    bool HasHeader() const { return return_path_found || from_found || date_found || boundary_found; }
};

/// One multipart level: its boundary in the marker form ("-" and the value less its last
/// character, tested as a substring of a line) and whether its first boundary line was passed.
struct BoundaryLevel {
    std::u16string marker;
    bool inside = false; ///< the first part (the body text) is being skipped
};

/// Boundaries kept beyond the slots: far more than any real mail nests, few enough that a mail made
/// of nothing but multipart headers cannot make every data line's test slow.
constexpr size_t kUnslottedLimit = 256;

/// The multipart structure as the walk has learnt it.
struct MultipartSlots {
    std::array<BoundaryLevel, kBoundarySlots> slots;
    /// Boundaries of the multiparts that have no slot (a kind without one, a kind whose slot was
    /// taken, a slot's earlier boundary), in the order they were met. They decide nothing about
    /// which parts are written; they end a part's data and start a new part header, so that no
    /// part runs on into the parts after it.
    std::vector<std::u16string> unslotted;
    BoundarySlot current_boundary = BoundarySlot::Main; ///< the boundary that ends the current part
    int current_unslotted = -1; ///< the current boundary is unslotted[this] instead; -1: none
    bool container = false;     ///< the top-level type is a multipart container
    bool skip_blank_lines = false;

    BoundaryLevel& Level(BoundarySlot slot) { return slots[static_cast<int>(slot)]; }
    const BoundaryLevel& Level(BoundarySlot slot) const { return slots[static_cast<int>(slot)]; }
    std::u16string& Boundary(BoundarySlot slot) { return Level(slot).marker; }
    const std::u16string& Boundary(BoundarySlot slot) const { return Level(slot).marker; }
    bool& Inside(BoundarySlot slot) { return Level(slot).inside; }

    /// The boundary that ends the current part.
    const std::u16string& CurrentBoundary() const {
        return current_unslotted < 0 ? Boundary(current_boundary) : unslotted[current_unslotted];
    }
    void SetCurrent(BoundarySlot slot) {
        current_boundary = slot;
        current_unslotted = -1;
    }
    /// True when `marker` is already some slot's or in `unslotted`.
    bool Knows(std::u16string_view marker) const;
    /// A boundary met outside the slots' rules is kept in `unslotted`, unless already known or
    /// the list is full.
    void Remember(std::u16string_view marker);
    /// `slot` takes `marker`: a different boundary it held before is kept in `unslotted`, and
    /// `marker` leaves that list.
    void Settle(BoundarySlot slot, std::u16string marker);
    /// Some multipart's first part is being skipped.
    bool InsideAny() const {
        return Level(BoundarySlot::Main).inside || Level(BoundarySlot::Alternative).inside ||
               Level(BoundarySlot::Related).inside || Level(BoundarySlot::Mixed).inside;
    }
};

/// What the current part's header said.
struct PartFields {
    std::u16string content_type;
    std::u16string sub_type;
    std::u16string part_name; ///< at most 255 units
    bool name_found = false;  ///< the name came from a Content-ID
    EncodingMode mode = EncodingMode::Unknown;
    bool is_rfc822 = false;
    bool is_gzip64 = false;
    bool is_tnef = false;
    bool is_attachment = false; ///< "Content-Disposition: attachment": written even without an encoding
    std::u16string name_suffix; ///< ".(value).txt" for an unknown transfer encoding
    std::string ish_end_marker; ///< the line that ends an ish block (mode 7)

    /// Clears what a part header set: the mode, the flags of the part and the name suffix.
    void ResetFlags() {
        mode = EncodingMode::Unknown;
        is_rfc822 = false;
        name_found = false;
        is_gzip64 = false;
        is_tnef = false;
        is_attachment = false;
        name_suffix.clear();
        ish_end_marker.clear();
    }
};

struct RunContext;

/// An open folder of a mail: its own, closed with it, or one the run keeps open for the mails to
/// come, only lent to it.
class MailFolderFd {
  public:
    MailFolderFd& operator=(platform::UniqueFd owned) {
        owned_ = std::move(owned);
        lent_ = -1;
        return *this;
    }
    void Lend(int fd) {
        owned_.Reset();
        lent_ = fd;
    }
    int Get() const { return owned_ ? owned_.Get() : lent_; }
    explicit operator bool() const { return Get() >= 0; }
    void Reset() { *this = platform::UniqueFd(); }

  private:
    platform::UniqueFd owned_;
    int lent_ = -1;
};

/// The open folders a mail's files go into: the output root, and the per-mail folder once made.
struct MailOutput {
    MailFolderFd root;
    MailFolderFd folder; ///< the innermost per-mail folder entered; none: the root
    /// The path of `folder` below the root as it was entered, with "/" after it; "" for the root.
    std::u16string folder_below_root;

    /// The folder the mail's next file is made in.
    int Here() const { return folder ? folder.Get() : root.Get(); }
};

/// Where the walk stands: its state and the one it came from, which together make the sub-states
/// named below.
struct WalkPosition {
    WalkState state = WalkState::TopHeader;
    WalkState previous = WalkState::TopHeader;
    const unsigned char* recovered_from = nullptr; ///< the line the last missed boundary was recovered from
    bool top_header_ended = false;                 ///< the walk has met an empty line

    void MoveTo(WalkState next, WalkState came_from) {
        previous = came_from;
        state = next;
    }
    /// The walk stays in its state but now counts as coming from `came_from`.
    void CameFrom(WalkState came_from) { previous = came_from; }
    /// A boundary was just learnt (at the end of the top header, or from a nested multipart type):
    /// the next boundary line met is the first of its group.
    bool BoundaryJustLearnt() const { return previous == WalkState::SenderSeen; }
    /// Between parts after a group's first boundary line: the group's first part is being passed.
    bool InGroupFirstPart() const {
        return state == WalkState::SeekBoundary && previous == WalkState::SeekBoundary;
    }
    /// A part's data was just written, or its header turned out to go on.
    bool AfterPartBody() const { return previous == WalkState::PartBody; }
    /// The top header is being read as the header of the mail's own content (a named top-level
    /// content with "/CO"): its sender fields are still the mail's.
    bool TopHeaderAsPartHeader() const {
        return !top_header_ended && state == WalkState::PartHeader &&
               (previous == WalkState::TopHeader || previous == WalkState::SenderSeen);
    }
};

/// The names a mail's files are filed under, worked out from its facts when its first file is
/// written; the facts themselves stay as the header gave them.
struct MailFolderNames {
    std::u16string sender;          ///< the sender folder: an address made a file name, or "[UNKNOWN-SENDER]"
    std::u16string date;            ///< the date folder "yyyy-mm-dd", or "[UNKNOWN-DATE]"
    std::u16string return_path;     ///< the Return-Path address, converted
    std::u16string from_address;    ///< the address the sender folder was made from, converted
    platform::SystemTime mail_time; ///< the mail's date as read from its text; zero without one
};

/// One mail while it is walked: the walk's own members, then what the run keeps of the mail.
struct MailState {
    LineSource source;
    MailFacts facts;
    MultipartSlots multipart;
    PartFields part;
    WalkPosition walk;
    MailFolderNames folder_names;

    RunContext* run = nullptr;
    MailOutput output;
    platform::MappedFile file;
    const RunOptions* options = nullptr;
    std::u16string mail_path;   ///< full path of the mail file, display form
    std::u16string output_root; ///< full path of the output root, ending with "/"

    bool folders_made = false;
    bool progress_pending = true;
    bool output_written = false;
    bool output_failed = false; ///< an output file could not be written: the run's exit status says so

    bool log_on = false;
    LogBuffer log; ///< an attached message being walked holds its mail file's log meanwhile
    MailRecordState record;

    /// An attached message opened with "--recurse": the mail that holds it (whose folders its files
    /// go into) and its level (the mail file is level 0). A mail file has none.
    MailState* outer = nullptr;
    int depth = 0;
    bool depth_noted = false; ///< (mail file) the notice that attached messages nest too deep was given

    /// The mail file this mail is, or lies in.
    MailState& MailFile() {
        MailState* mail = this;
        while (mail->outer)
            mail = mail->outer;
        return *mail;
    }
};

} // namespace dornick

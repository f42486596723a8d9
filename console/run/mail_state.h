#pragma once
// Everything of one mail file while it is processed.

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "console/decode/line_cursor.h"
#include "console/run/log.h"
#include "console/run/run_options.h"
#include "platform/clock.h"
#include "platform/files.h"

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

/// The five multipart boundaries a mail may have at once.
enum class BoundarySlot { Main, Alternative, Related, AppleDouble, Mixed };

struct MailState {
    const RunOptions* options = nullptr;
    std::u16string mail_path;   ///< full path of the mail file, display form
    std::u16string output_root; ///< full path of the output root, ending with "/"
    platform::MappedFile file;
    LineCursor cursor;
    char16_t line[kLineCapacity] = {}; ///< the line being examined, widened
    int line_length = 0;               ///< what the reader returned for it

    std::u16string sender;
    std::u16string date_text;
    std::u16string return_path;
    std::u16string from_address;
    std::u16string apparently_from;
    std::u16string charset; ///< CharsetText
    platform::SystemTime mail_time;
    bool mail_epoch_known = false;         ///< mail_epoch was worked out (for the first output file)
    std::optional<std::time_t> mail_epoch; ///< mail_time as a moment; none for a mail without a date

    bool return_path_found = false;
    bool from_found = false;
    bool date_found = false;
    bool boundary_found = false;
    bool japanese_mail = false;
    bool folders_made = false;
    bool progress_pending = true;
    bool output_written = false;
    bool output_failed = false;
    bool line_pending = false;

    bool log_on = false;
    LogBuffer log;

    WalkState state = WalkState::TopHeader;
    WalkState previous = WalkState::TopHeader;

    // The multipart structure, each boundary in its marker form ("-" and the value less its last
    // character), tested as a substring of a line.
    std::u16string main_boundary;
    std::u16string alternative_boundary;
    std::u16string related_boundary;
    std::u16string appledouble_boundary;
    std::u16string mixed_boundary;
    BoundarySlot current_boundary = BoundarySlot::Main; ///< the boundary that ends the current part
    bool in_main = false; ///< the first boundary line of the multipart was passed
    bool in_alternative = false;
    bool in_related = false;
    bool in_mixed = false;
    bool container = false; ///< the top-level type is a multipart container
    bool skip_blank_lines = false;

    // The current part.
    std::u16string content_type;
    std::u16string sub_type;
    std::u16string part_name; ///< at most 255 units
    bool name_found = false;  ///< the name came from a Content-ID
    EncodingMode mode = EncodingMode::Unknown;
    bool is_rfc822 = false;
    bool is_gzip64 = false;
    bool is_tnef = false;
    std::u16string name_suffix; ///< ".(value).txt" for an unknown transfer encoding
};

/// Clears what a part header set: the mode, the flags of the part and the name suffix.
inline void ResetPartFlags(MailState& mail) {
    mail.mode = EncodingMode::Unknown;
    mail.is_rfc822 = false;
    mail.name_found = false;
    mail.is_gzip64 = false;
    mail.is_tnef = false;
    mail.name_suffix.clear();
}

/// The text of one boundary slot.
inline std::u16string& Boundary(MailState& mail, BoundarySlot slot) {
    switch (slot) {
    case BoundarySlot::Alternative:
        return mail.alternative_boundary;
    case BoundarySlot::Related:
        return mail.related_boundary;
    case BoundarySlot::AppleDouble:
        return mail.appledouble_boundary;
    case BoundarySlot::Mixed:
        return mail.mixed_boundary;
    case BoundarySlot::Main:
        break;
    }
    return mail.main_boundary;
}

/// Reads the next line into `mail.line`; false when no line is left.
inline bool ReadNextLine(MailState& mail) {
    mail.line_length = ReadLineW(mail.line, mail.cursor);
    return mail.line_length != 0;
}

} // namespace dornick

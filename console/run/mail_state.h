#pragma once
// Everything of one mail file while it is processed.

#include <cstdint>
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
    TopHeader = 0,     ///< the top header, before a Return-Path or From
    SenderSeen = 1,    ///< a Return-Path or From was read
    SeekBoundary = 2,  ///< between parts
    PartHeader = 3,    ///< a part's header
    PartBody = 4,      ///< the line after a part's header
};

/// How the walk ended, which decides what the end of the mail prints.
enum class WalkEnd {
    NoLineLeft,      ///< the data ended at the start of a pass (or the "/NI" stop)
    InsideHeader,    ///< the data ended while a header value was being read
    Stopped,         ///< any other stop
};

struct MailState {
    const RunOptions* options = nullptr;
    std::u16string mail_path;    ///< full path of the mail file, display form
    std::u16string output_root;  ///< full path of the output root, ending with "/"
    platform::MappedFile file;
    LineCursor cursor;
    char16_t line[kLineCapacity] = {};  ///< the line being examined, widened
    int line_length = 0;                ///< what the reader returned for it

    std::u16string sender;
    std::u16string date_text;
    std::u16string return_path;
    std::u16string from_address;
    std::u16string apparently_from;
    std::u16string charset;  ///< CharsetText
    platform::SystemTime mail_time;

    bool return_path_found = false;
    bool from_found = false;
    bool date_found = false;
    bool boundary_found = false;
    bool japanese_mail = false;
    bool folders_made = false;
    bool progress_pending = true;
    bool output_written = false;
    bool line_pending = false;

    bool log_on = false;
    LogBuffer log;

    WalkState state = WalkState::TopHeader;
    WalkState previous = WalkState::TopHeader;
};

/// Reads the next line into `mail.line`; false when no line is left.
inline bool ReadNextLine(MailState& mail) {
    mail.line_length = ReadLineW(mail.line, mail.cursor);
    return mail.line_length != 0;
}

}  // namespace dornick

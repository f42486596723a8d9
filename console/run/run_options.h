#pragma once
// The options of one run, as the command line sets them.

#include <string>

namespace dornick {

struct RunOptions {
    bool no_sender_folder = false; ///< "/NN"
    bool no_date_folder = false;   ///< "/ND"
    bool date_then_sender = false; ///< "/RF"
    bool no_inline = false;        ///< "/NI"
    bool content_only = false;     ///< "/CO"
    bool full_width = false;       ///< "/CW"
    bool date_mode = false;        ///< "/DM"
    bool print = false;            ///< "/P"
    bool log = false;              ///< "/L"
    bool recurse = false;          ///< "--recurse": attached messages are opened, their files extracted too
    std::u16string forward_name;   ///< "/FW": stem of inline forwarded mails, at most 251 units
    std::u16string output_folder;  ///< "/O": root of the output tree; empty for the default

    bool operator==(const RunOptions&) const = default;
};

} // namespace dornick

#pragma once
// How a part is to be written, decided once from its header: its name, its kind. The file writer
// and the tests' recording writer both follow it, so the naming lives here only.

#include <string>
#include <string_view>

#include "console/run/mail_state.h"
#include "console/run/part_kinds.h"

namespace dornick {

/// What naming takes from the mail and the run.
struct NamingContext {
    std::u16string_view charset;
    bool japanese_mail = false;
    bool full_width = false; ///< "/CW": forbidden name characters become their full-width forms
};

inline NamingContext NamingOf(const MailState& mail) {
    return {mail.facts.charset, mail.facts.japanese_mail, mail.options->full_width};
}

struct PartPlan {
    std::u16string name; ///< before it is fitted to the file system and made unique; empty: unnamed
    EncodingMode mode = EncodingMode::PlainCopy;
    const PartKind* kind = nullptr;
    bool tnef = false; ///< a TNEF container, expanded once written
};

/// The plan of the current part: a Content-ID name gets its type's extension, the suffix of an
/// unknown transfer encoding is added, and an unknown mode is the plain copy.
PartPlan PlanPart(const PartFields& part, const NamingContext& naming);

/// Names an unnamed part of a kind named by its "begin" line from the line at hand (nothing is read
/// away); the name stays empty when there is none.
void NameFromBeginLine(PartPlan& plan, const LineSource& source, const NamingContext& naming);

/// The name a BinHex block's own header carries (bytes in the mail's charset), made a file name.
std::u16string NameFromBlockHeader(const std::string& bytes, const NamingContext& naming);

} // namespace dornick

#include "console/run/part_plan.h"

#include "console/decode/uu_block.h"
#include "console/header/charset_conversion.h"
#include "console/header/header_search.h"
#include "console/header/nfc.h"
#include "console/header/sanitize_file_name.h"
#include "console/run/walk_lines.h"

namespace dornick {
namespace {

constexpr size_t kNameLimit = 255;

// A name taken from a Content-ID gets the extension of its type; doubled extensions that this
// produces are folded.
void FinishContentIdName(std::u16string& name, const PartFields& part, bool full_width) {
    if (name.size() + part.sub_type.size() + 2 < kNameLimit + 1) {
        std::u16string extension;
        if (BeginsNoCase(part.content_type, u"text/plain")) {
            extension = u".txt";
        } else {
            size_t x = FindNoCase(part.sub_type, u"x-");
            extension = u"." + (x == kNotFound ? part.sub_type : part.sub_type.substr(x + 2));
        }
        if (name.size() < extension.size() ||
            FindNoCase(std::u16string_view(name).substr(name.size() - extension.size()), extension) != 0)
            name += extension;
        struct Fold {
            std::u16string_view doubled;
            std::u16string_view single;
        };
        static constexpr Fold kFolds[] = {{u".jpg.jpeg", u".jpg"},
                                          {u".jpeg.jpg", u".jpeg"},
                                          {u".css.txt", u".css"},
                                          {u".js.txt", u".js"},
                                          {u".js.javascript", u".js"}};
        for (const Fold& fold : kFolds) {
            size_t at = FindNoCase(name, fold.doubled);
            if (at == kNotFound) continue;
            name = name.substr(0, at) + std::u16string(fold.single);
            break;
        }
    }
    SanitizeFileName(name, full_width);
}

} // namespace

PartPlan PlanPart(const PartFields& part, const NamingContext& naming) {
    PartPlan plan;
    plan.name = part.part_name;
    if (part.name_found) FinishContentIdName(plan.name, part, naming.full_width);
    if (!part.name_suffix.empty() && part.name_suffix.size() + plan.name.size() < kNameLimit + 1)
        plan.name += part.name_suffix;
    plan.mode = part.mode == EncodingMode::Unknown ? EncodingMode::PlainCopy : part.mode;
    plan.kind = &KindOf(plan.mode);
    plan.tnef =
        plan.mode == EncodingMode::Base64 &&
        (BeginsNoCase(part.content_type, u"application/ms-tnef") || BeginsNoCase(plan.name, u"winmail.dat"));
    return plan;
}

void NameFromBeginLine(PartPlan& plan, const LineSource& source, const NamingContext& naming) {
    if (!plan.name.empty() || plan.kind->unnamed_part != NameSource::BeginLine) return;
    char bytes[kLineCapacity];
    LineCursor look_ahead = source.Here();
    const size_t size = UuPartName(source.line, look_ahead, bytes);
    if (size == 0) return;
    std::u16string name;
    ConvertToUnicode(std::string_view(bytes, size), name, naming.charset, 1, naming.japanese_mail);
    NormalizeNfc(name);
    SanitizeFileName(name, naming.full_width);
    plan.name = name;
}

std::u16string NameFromBlockHeader(const std::string& bytes, const NamingContext& naming) {
    std::u16string name;
    if (ConvertToUnicode(bytes, name, naming.charset, 0, naming.japanese_mail) == -1)
        ConvertToUnicode(bytes, name, u"", 0, naming.japanese_mail);
    NormalizeNfc(name);
    SanitizeFileName(name, naming.full_width);
    return name;
}

} // namespace dornick

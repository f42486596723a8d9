#include "console/header/file_extension.h"

#include <string>
#include <unordered_map>
#include <unordered_set>

#include "console/decode/ascii_text.h"
#include "console/header/mime_extension_table.h"

namespace dornick {
namespace {

// Extensions of this many units at least (dot included) may stand in for a first choice that does
// not fit, when they agree with the name's own extension in this many units.
constexpr size_t kFallbackExtensionUnits = 4;
constexpr size_t kFallbackAgreeingUnits = 3;

// A text folded unit by unit as EqualsNoCase compares: two texts are equal to it exactly when
// their folded forms are equal.
std::u16string Folded(std::u16string_view text) {
    std::u16string folded(text);
    for (char16_t& c : folded)
        c = UpperUnit(c);
    return folded;
}

// The table by folded type (its first row) and by folded extension, made once: every file of a
// run looks its type and its extension up.
struct TableIndex {
    std::unordered_map<std::u16string, const MimeExtensionRow*> first_of_type;
    std::unordered_set<std::u16string> extensions;
};

const TableIndex& Index() {
    static const TableIndex index = [] {
        TableIndex made;
        for (const MimeExtensionRow& row : MimeExtensionTable) {
            made.first_of_type.emplace(Folded(row.type), &row); // a later row of a type is no first
            made.extensions.insert(Folded(row.extension));
        }
        return made;
    }();
    return index;
}

const MimeExtensionRow* FirstRowOfType(std::u16string_view type) {
    const auto& rows = Index().first_of_type;
    const auto found = rows.find(Folded(type));
    return found == rows.end() ? nullptr : found->second;
}

bool IsTableExtension(std::u16string_view extension) {
    return Index().extensions.count(Folded(extension)) != 0;
}

} // namespace

size_t ExtensionStart(std::u16string_view name) {
    const size_t last_dot = name.rfind(u'.');
    if (last_dot == std::u16string_view::npos) return name.size();
    for (size_t dot = name.find(u'.'); dot < last_dot; dot = name.find(u'.', dot + 1)) {
        for (std::u16string_view suffix : CompoundSuffixes)
            if (EqualsNoCase(name.substr(dot, suffix.size()), suffix)) return dot;
    }
    return last_dot;
}

void CutKeepingExtension(std::u16string& name, size_t units) {
    if (name.size() <= units) return;
    const size_t start = ExtensionStart(name);
    const size_t extension = name.size() - start;
    // Without a stem left beside it the extension is cut like the rest.
    size_t stem = extension < units ? units - extension : units;
    if (stem > 0 && name[stem - 1] >= 0xD800 && name[stem - 1] <= 0xDBFF) --stem; // half a pair
    if (extension < units)
        name.erase(stem, start - stem);
    else
        name.resize(stem);
}

void ApplyTypeExtension(std::u16string& name, std::u16string_view mime_type) {
    if (mime_type.empty()) return;
    const MimeExtensionRow* first = FirstRowOfType(mime_type);
    if (!first) return;
    const size_t start = ExtensionStart(name);
    if (start == name.size()) {
        if (name.size() + first->extension.size() <= kFileNameUnits) name.append(first->extension);
        return;
    }
    const std::u16string_view current = std::u16string_view(name).substr(start);
    if (IsTableExtension(current)) return;
    if (start + first->extension.size() <= kFileNameUnits) {
        name.replace(start, std::u16string::npos, first->extension);
        return;
    }
    // The first choice does not fit: the last shorter relative of the name's own extension does.
    const MimeExtensionRow* fallback = nullptr;
    for (const MimeExtensionRow& row : MimeExtensionTable) {
        if (!EqualsNoCase(row.type, first->type)) continue;
        if (row.extension.size() < kFallbackExtensionUnits || current.size() < kFallbackAgreeingUnits)
            continue;
        if (!EqualsNoCase(row.extension.substr(0, kFallbackAgreeingUnits),
                          current.substr(0, kFallbackAgreeingUnits)))
            continue;
        if (start + row.extension.size() <= kFileNameUnits) fallback = &row;
    }
    if (fallback) name.replace(start, std::u16string::npos, fallback->extension);
}

} // namespace dornick

#include "console/header/header_search.h"

#include <algorithm>

namespace dornick {
namespace {

template <typename Char, typename Find>
int ExtractFolded(std::basic_string_view<Char> text, std::basic_string<Char>& out,
                  std::basic_string_view<Char> open, std::basic_string_view<Char> close, Find find) {
    out.clear();
    const size_t at = find(text, open);
    if (at == kNotFound) return -1;
    // The closing delimiter is first looked for past the first open.size() units of the text, not
    // past the match; a close that stands only before the opening one lets the text run to the end.
    const size_t skip = std::min(open.size(), text.size());
    if (find(text.substr(skip), close) == kNotFound) return -1;
    const size_t begin = at + open.size();
    const size_t end = find(text.substr(begin), close);
    out.assign(text.substr(begin, end == kNotFound ? kNotFound : end));
    return 0;
}

} // namespace

int ExtractBetween(std::u16string_view text, std::u16string& out, std::u16string_view open,
                   std::u16string_view close) {
    return ExtractFolded(text, out, open, close, FindNoCase);
}

int ExtractBetweenA(std::string_view text, std::string& out, std::string_view open, std::string_view close) {
    return ExtractFolded(text, out, open, close, FindNoCaseA);
}

} // namespace dornick

#include "platform/format.h"

#include <charconv>

namespace platform {
namespace {

void AppendNumber(std::u16string& out, uint64_t magnitude, bool negative, int width, bool zero_pad) {
    char digits[24];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, magnitude);
    int length = static_cast<int>(end - digits) + (negative ? 1 : 0);
    if (!zero_pad)
        for (int i = length; i < width; ++i)
            out.push_back(u' ');
    if (negative) out.push_back(u'-');
    if (zero_pad)
        for (int i = length; i < width; ++i)
            out.push_back(u'0');
    for (const char* p = digits; p != end; ++p)
        out.push_back(static_cast<char16_t>(*p));
}

} // namespace

size_t FormatAppend(std::u16string& out, size_t limit, std::u16string_view format,
                    std::initializer_list<FormatArg> args) {
    const size_t start = out.size();
    std::u16string piece;
    auto arg = args.begin();
    for (size_t i = 0; i < format.size(); ++i) {
        char16_t c = format[i];
        if (c != u'%' || i + 1 >= format.size()) {
            out.push_back(c);
            continue;
        }
        ++i;
        if (format[i] == u'%') {
            out.push_back(u'%');
            continue;
        }
        bool zero_pad = false;
        int width = 0;
        if (format[i] == u'0') {
            zero_pad = true;
            ++i;
        }
        while (i < format.size() && format[i] >= u'0' && format[i] <= u'9')
            width = width * 10 + (format[i++] - u'0');
        bool bytes = false;
        if (format.substr(i, 3) == u"I64")
            i += 3;
        else if (i < format.size() && (format[i] == u'h' || format[i] == u'l')) {
            bytes = format[i] == u'h';
            ++i;
        }
        if (i >= format.size()) break;
        char16_t type = format[i];
        if (arg == args.end()) continue;
        const FormatArg& a = *arg++;
        switch (type) {
        case u's':
            if (a.kind == FormatArg::Kind::Text)
                out.append(a.text);
            else if (a.kind == FormatArg::Kind::Bytes)
                for (char b : a.bytes)
                    out.push_back(static_cast<unsigned char>(b));
            (void)bytes;
            break;
        case u'c':
            out.push_back(
                static_cast<char16_t>(a.kind == FormatArg::Kind::Unsigned ? a.unsigned_number : a.number));
            break;
        case u'd':
        case u'u':
        case u'i':
            if (a.kind == FormatArg::Kind::Unsigned)
                AppendNumber(out, a.unsigned_number, false, width, zero_pad);
            else {
                bool negative = a.number < 0;
                uint64_t magnitude =
                    negative ? 0 - static_cast<uint64_t>(a.number) : static_cast<uint64_t>(a.number);
                AppendNumber(out, magnitude, negative, width, zero_pad);
            }
            break;
        default:
            break;
        }
    }
    if (out.size() - start > limit) out.resize(start + limit);
    return out.size() - start;
}

std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args) {
    std::u16string out;
    FormatAppend(out, static_cast<size_t>(-1), format, args);
    return out;
}

} // namespace platform

#pragma once
// The text the fake console program prints for "big N", shared with the tests that check it.

#include <string>

namespace fake {

/// N numbered lines of UTF-16 text with CR LF ends, Japanese and a surrogate pair in each.
inline std::u16string BigText(int lines) {
    std::u16string text;
    for (int i = 0; i < lines; ++i) {
        std::u16string number;
        for (int n = i, digits = 0; digits < 6; ++digits, n /= 10)
            number.insert(number.begin(), char16_t(u'0' + n % 10));
        text += u"行 " + number + u": 添付ファイル \U00020BB7 abc\r\n";
    }
    return text;
}

} // namespace fake

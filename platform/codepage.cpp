#include "platform/codepage.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace platform {
namespace {

struct LanguageCodePage {
    const char* prefix; // language, or language_TERRITORY
    int code_page;
};

// Territory-specific rows come before the bare language.
constexpr LanguageCodePage kCodePages[] = {
    {"ja", 932},  {"zh_CN", 936}, {"zh_SG", 936}, {"zh_TW", 950}, {"zh_HK", 950}, {"ko", 949},
    {"th", 874},  {"ru", 1251},   {"uk", 1251},   {"be", 1251},   {"bg", 1251},   {"sr", 1251},
    {"mk", 1251}, {"el", 1253},   {"tr", 1254},   {"he", 1255},   {"ar", 1256},   {"fa", 1256},
    {"et", 1257}, {"lv", 1257},   {"lt", 1257},   {"vi", 1258},   {"cs", 1250},   {"pl", 1250},
    {"hu", 1250}, {"sk", 1250},   {"sl", 1250},   {"hr", 1250},   {"ro", 1250},   {"sq", 1250},
};

} // namespace

int AnsiCodePage() {
    const char* value = nullptr;
    for (const char* name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        value = std::getenv(name);
        if (value && *value) break;
        value = nullptr;
    }
    if (!value) return 1252;
    std::string locale(value);
    locale = locale.substr(0, locale.find_first_of(".@"));
    for (const LanguageCodePage& row : kCodePages) {
        size_t n = std::strlen(row.prefix);
        bool whole_language = n == 2;
        if (locale.compare(0, n, row.prefix) != 0) continue;
        // "ja" matches "ja" and "ja_JP" but not "jam"; "zh_CN" matches "zh_CN" exactly.
        if (locale.size() == n || (whole_language && locale[n] == '_')) return row.code_page;
    }
    return 1252;
}

const char* CodePageConverterName(int code_page) {
    switch (code_page) {
    case 932:
        return "windows-31j";
    case 936:
        return "windows-936";
    case 950:
        return "windows-950";
    case 949:
        return "windows-949";
    case 874:
        return "windows-874";
    case 1250:
        return "windows-1250";
    case 1251:
        return "windows-1251";
    case 1253:
        return "windows-1253";
    case 1254:
        return "windows-1254";
    case 1255:
        return "windows-1255";
    case 1256:
        return "windows-1256";
    case 1257:
        return "windows-1257";
    case 1258:
        return "windows-1258";
    default:
        return "windows-1252";
    }
}

} // namespace platform

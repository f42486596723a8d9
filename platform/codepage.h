#pragma once
// The ANSI code page that a Windows system of the user's language would use, for text that names
// no character set.

namespace platform {

/// From LC_ALL, LC_CTYPE or LANG (the first that is set): ja 932, zh_CN/zh_SG 936, ... 1252 otherwise.
int AnsiCodePage();
/// The ICU converter name of a code page: "windows-31j" for 932, "windows-NNNN" otherwise.
const char* CodePageConverterName(int code_page);

} // namespace platform

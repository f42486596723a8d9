#include "console/run/messages.h"

#include <cerrno>
#include <string>

#include "console/run/message_table.h"

namespace dornick {
namespace {

thread_local MessageChannel* t_bound = nullptr;

MessageChannel& InUse() {
    if (t_bound) return *t_bound;
    thread_local MessageChannel own;
    return own;
}

bool IsJapaneseLocaleName(std::string_view name) {
    return name.substr(0, 2) == "ja" &&
           (name.size() == 2 || name[2] == '_' || name[2] == '.' || name[2] == '@');
}

} // namespace

Language LanguageFromEnvironment(const char* dornick_messages, const char* lc_all, const char* lc_messages,
                                 const char* lang) {
    if (dornick_messages && *dornick_messages)
        return IsJapaneseLocaleName(dornick_messages) ? Language::Japanese : Language::English;
    for (const char* value : {lc_all, lc_messages, lang})
        if (value && *value) return IsJapaneseLocaleName(value) ? Language::Japanese : Language::English;
    return Language::English;
}

MessageChannelInUse::MessageChannelInUse(MessageChannel& channel) : previous_(t_bound) {
    t_bound = &channel;
}

MessageChannelInUse::~MessageChannelInUse() {
    t_bound = previous_;
}

void SetMessageLanguage(Language language) {
    InUse().language = language;
}

Language MessageLanguage() {
    return InUse().language;
}

std::u16string_view Localize(std::u16string_view japanese) {
    if (InUse().language == Language::Japanese) return japanese;
    std::u16string_view english = EnglishFor(japanese);
    return english.empty() ? japanese : english;
}

std::u16string ShownText(std::u16string_view text) {
    std::u16string shown(text);
    for (char16_t& c : shown)
        if (c < 0x20 || (c >= 0x7F && c < 0xA0) || (c >= 0x202A && c <= 0x202E) ||
            (c >= 0x2066 && c <= 0x2069))
            c = u'?';
    return shown;
}

bool ReportOutOfDescriptors(int error, std::u16string_view folder) {
    if (error != EMFILE && error != ENFILE) return false;
    PrintErr(u"開いているファイルが多すぎるため、フォルダを開けませんでした。\n->%s\n", {folder});
    return true;
}

void PrintOut(std::u16string_view format, std::initializer_list<platform::FormatArg> args) {
    platform::ConsoleWrite(platform::Stream::Out, platform::Format(Localize(format), args));
}

void PrintErr(std::u16string_view format, std::initializer_list<platform::FormatArg> args) {
    platform::ConsoleWrite(platform::Stream::Err, platform::Format(Localize(format), args));
}

} // namespace dornick

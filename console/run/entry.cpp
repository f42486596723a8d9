#include "console/run/entry.h"

#include <unicode/uclean.h>

#include "console/header/icu_objects.h"
#include "console/run/mail_file.h"
#include "console/run/messages.h"
#include "console/run/tnef_expand.h"
#include "platform/console.h"
#include "platform/text.h"

namespace dornick {
namespace {

constexpr size_t kForwardNameLimit = 251;

enum class Option { None, NN, ND, RF, NI, CO, CW, DM, FW, P, L, O };

Option MatchOption(std::u16string_view argument) {
    struct Row {
        std::u16string_view text;
        Option option;
    };
    static constexpr Row kOptions[] = {
        {u"/NN", Option::NN}, {u"/ND", Option::ND}, {u"/RF", Option::RF}, {u"/NI", Option::NI},
        {u"/CO", Option::CO}, {u"/CW", Option::CW}, {u"/DM", Option::DM}, {u"/FW", Option::FW},
        {u"/P", Option::P},   {u"/L", Option::L},   {u"/O", Option::O},
    };
    for (const Row& row : kOptions)
        if (platform::EqualsNoCaseAscii(argument, row.text)) return row.option;
    return Option::None;
}

// Only the last name component is kept, cut at the last "\" and then at the last "/".
std::u16string ForwardNameFrom(std::u16string_view argument) {
    std::u16string name(argument.substr(0, kForwardNameLimit));
    for (char16_t separator : {u'\\', u'/'}) {
        size_t cut = name.rfind(separator);
        if (cut != std::u16string::npos) name.erase(0, cut + 1);
    }
    return name;
}

} // namespace

const char16_t* const kUsageText =
    u"利用方法:\n\n\tdornick.exe [/DM][/P] | [/NN][/ND][/RF][/NI][/FW "
    u"[n]][/CO][/CW]\n\t\t\t\t\t\t[/P][/L][/O [dir]] "
    u"EMLfiles...\n\n\t/NN\t送信者ごとのフォルダを作成しません。\n\t/"
    u"ND\t日付ごとのフォルダを作成しません。\n\t/RF\tフォルダ構成を <日付/送信者> "
    u"の形にします。\n\t/NI\tインライン表示されるファイルを抽出しません。\n\t/FW "
    u"[n]\tインライン表示される転送メールを [n].eml "
    u"として抽出します。\n\t/CO\t特殊な方法で送信されたコンテンツのみのEメールも対象とします。\n\t/"
    u"CW\tファイル名に利用出来ない半角文字を全角文字にします。\n\t/"
    u"DM\tEMLファイルの作成日時を送受信日に変更し、抽出を行いません。\n\t/P\tログを画面出力します。\n\t/"
    u"L\t出力先に UTF-16 形式のログファイル(dornick.txt)を作成します。\n\t/O "
    u"[dir]\t出力先フォルダを指定します。\n\t\n\t添付ファイルが各フォルダ内で重複する場合、\n\n\tファイル名_("
    u"1)_.ext\n\n\tという風に保護されます。\n";

bool IsMailFileName(std::u16string_view argument) {
    size_t dot = argument.rfind(u'.');
    if (dot == std::u16string_view::npos) return false;
    std::u16string_view extension = argument.substr(dot);
    return extension.size() >= 4 && platform::EqualsNoCaseAscii(extension.substr(0, 4), u".eml");
}

void RunArguments(const std::vector<std::u16string>& arguments) {
    RunOptions options;
    // What one container leaves for the next: its code page's charset name and its file time.
    std::u16string tnef_charset;
    std::optional<std::time_t> tnef_time;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::u16string& argument = arguments[i];
        switch (MatchOption(argument)) {
        case Option::NN:
            options.no_sender_folder = true;
            continue;
        case Option::ND:
            options.no_date_folder = true;
            continue;
        case Option::RF:
            options.date_then_sender = true;
            continue;
        case Option::NI:
            options.no_inline = true;
            continue;
        case Option::CO:
            options.content_only = true;
            continue;
        case Option::CW:
            options.full_width = true;
            continue;
        case Option::DM:
            options.date_mode = true;
            continue;
        case Option::P:
            options.print = true;
            continue;
        case Option::L:
            options.log = true;
            continue;
        case Option::FW:
            if (++i < arguments.size()) options.forward_name = ForwardNameFrom(arguments[i]);
            continue;
        case Option::O:
            if (++i < arguments.size()) options.output_folder = arguments[i];
            continue;
        case Option::None:
            break;
        }
        // Any other name may be a TNEF container; one that gives nothing is read as a mail after all.
        if (!IsMailFileName(argument) &&
            TnefExpandFile(argument, options.output_folder.empty() ? u"output" : options.output_folder,
                           tnef_charset, u"", tnef_time, options.full_width, false) != 0) {
            platform::ConsoleFlush();
            continue;
        }
        if (!options.forward_name.empty()) options.no_inline = false;
        ProcessMailFile(argument, options);
        platform::ConsoleFlush();
    }
}

int RunEntry(int argc, char** argv) {
    platform::InitConsole();
    if (argc < 2) {
        platform::ConsoleWrite(platform::Stream::Err, kUsageText);
        return 0;
    }
    std::vector<std::u16string> arguments;
    arguments.reserve(static_cast<size_t>(argc - 1));
    for (int i = 1; i < argc; ++i)
        arguments.push_back(platform::Utf8ToU16(argv[i]));
    RunArguments(arguments);
    platform::ConsoleFlush();
    ReleaseIcuObjects();
    u_cleanup();
    return 0;
}

} // namespace dornick

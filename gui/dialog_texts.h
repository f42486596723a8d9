#pragma once
// Every text the front end shows, in Japanese and in English.

namespace tarnfield {

struct UiText {
    const char* ja;
    const char* en;
};

namespace text {
// Controls (the Japanese ones are the template's, the English ones are set at start-up).
inline constexpr UiText kTargetBrowse{"参照(&S)...", "&Target..."};
inline constexpr UiText kOutputBrowse{"参照(&D)...", "&Output..."};
inline constexpr UiText kSenderFolder{"送信者アドレスのフォルダを作成", "Create folder(Sender address)"};
inline constexpr UiText kDateFolder{"受信日時のフォルダを作成", "Create folder(Rcvd/Sent date)"};
inline constexpr UiText kReverseFolders{"受信日時のフォルダを優先", "Reverse folder structure"};
inline constexpr UiText kInlineParts{"インライン表示のファイルを抽出", "Export inline parts"};
inline constexpr UiText kNoBody{"本文なしのメールから抽出", "Search Email with no body"};
inline constexpr UiText kFullWidth{"禁止文字（\\/?:*\"><|）を全角に変換",
                                   "Replace to double-width(\\/?:*\"><|)"};
inline constexpr UiText kTimestamp{"EMLの作成日時を送受信日に変更", "Modify EML's timestamp"};
inline constexpr UiText kLogFile{"ログファイルの作成（dornick.txt）", "Save log file(dornick.txt)"};
inline constexpr UiText kTargetLabel{"作業元フォルダ", "Target folder:"};
inline constexpr UiText kOutputLabel{"出力先フォルダ", "Output folder:"};
inline constexpr UiText kExport{"抽出開始(&E)", "&Export"};
inline constexpr UiText kAbort{"中止(&A)", "&Abort"};
inline constexpr UiText kNoPrint{"ログを画面出力しない", "No print log"};
inline constexpr UiText kForward{"インライン表示の転送メールを抽出", "Export inline RFC822 message"};
inline constexpr UiText kEmlSuffix{".eml", ".eml"};
inline constexpr UiText kOpenOutput{"出力先フォルダを開く(&F)", "Open output &folder"};

// Titles.
inline constexpr UiText kIdleTitle{"マヴレルGUI", "Mavrel"};
inline constexpr UiText kMultiProcessSuffix{" with MP", " with MP"};
inline constexpr UiText kSearchingTitle{"マヴレルGUI - EMLファイルを検索しています...",
                                        "Mavrel - Enumerating EML files..."};
inline constexpr UiText kQuittingTitle{"マヴレルGUI - マヴレルの終了を待っています...",
                                       "Mavrel - Waiting for Mavrel to finish..."};

// Folder pickers.
inline constexpr UiText kChooseTarget{"EMLファイルの入ったフォルダを指定してください",
                                      "Choose target folder"};
inline constexpr UiText kChooseOutput{"添付ファイルを保存するフォルダを指定してください",
                                      "Choose output folder"};

// Message boxes.
inline constexpr UiText kInformation{"情報", "Information"};
inline constexpr UiText kConfirm{"確認", "Confirm"};
inline constexpr UiText kConsoleMissingTitle{"マヴレル本体が必要です", "dornick.exe is necessary for work"};
inline constexpr UiText kConsoleMissing{"\nが見つかりません。", "\nis not found."};
inline constexpr UiText kTargetEmpty{"作業元フォルダが未設定です。", "Target folder is not specified."};
inline constexpr UiText kTargetMissing{"指定された作業元フォルダは存在しません。",
                                       "Target folder is not exist."};
inline constexpr UiText kDefaultOutputAfter{"\n\n出力先を以上に設定してよろしいですか？", ""};
inline constexpr UiText kDefaultOutputBefore{"", "Output to this folder below?\n\n"};
inline constexpr UiText kLongOutputPath{
    "出力先のフォルダは Windows Explorer "
    "からアクセス出来ない場所になる可能性があります。\n\n%1\n\n続行しますか？",
    "Output folder maybe cannot access from Windows Explorer.\n\n%1\n\nWould you like to continue?"};
inline constexpr UiText kCommandTooLong{"コマンドライン文字列が8191文字を超えています。\n\n",
                                        "Command arguments is too long!(>8191 characters)\n\n"};
inline constexpr UiText kAbortQuestion{"処理を中止しますか？", "Abort processing?"};
inline constexpr UiText kQuitQuestion{"本当に終了しますか？", "Are you sure you want to quit?"};
} // namespace text

} // namespace tarnfield

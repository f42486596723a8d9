#include "console/run/message_table.h"

#include <algorithm>
#include <vector>

#include "console/run/usage_text.h"

namespace dornick {
namespace {

// Screen forms end in "\n", log forms in "\r\n"; both are listed, each with its own row.
constexpr MessageRow kRows[] = {
    // TNEF containers.
    {u"フォルダパスが長すぎます。(winmail.dat)\n->%s\n",
     u"The folder path is too long. (winmail.dat)\n->%s\n"},
    {u"指定されたフォルダが作成出来ませんでした。(winmail.dat)\n->%s\n",
     u"Could not create the given folder. (winmail.dat)\n->%s\n"},
    {u"フォルダを作成しました。(winmail.dat)\n->%s\n\n", u"Created the folder. (winmail.dat)\n->%s\n\n"},
    {u"ファイルを開けませんでした。\n->%s\n", u"Could not open the file.\n->%s\n"},

    // Message files (".msg").
    {u"フォルダパスが長すぎます。(msg)\n->%s\n", u"The folder path is too long. (msg)\n->%s\n"},
    {u"指定されたフォルダが作成出来ませんでした。(msg)\n->%s\n",
     u"Could not create the given folder. (msg)\n->%s\n"},
    {u"フォルダを作成しました。(msg)\n->%s\n\n", u"Created the folder. (msg)\n->%s\n\n"},
    {u"添付ファイルが見つからないため、出力用のフォルダを削除しています...(msg)\n->%s\n\n",
     u"No attachment was found, so the output folder is being removed... (msg)\n->%s\n\n"},
    {u"メッセージファイルが壊れているため読み込めませんでした。\n->%s\n",
     u"Could not read the message file: it is damaged.\n->%s\n"},
    {u"メッセージファイルの添付ファイルが多すぎるため、%d 個を読み飛ばしました。\n->%s\n",
     u"The message file holds too many attachments: %d were skipped.\n->%s\n"},
    {u"メッセージファイルの一部が壊れていて読めませんでした。(%d 個のストリーム)\n->%s\n",
     u"Part of the message file is damaged and could not be read. (%d streams)\n->%s\n"},
    {u"埋め込みメッセージの入れ子が深すぎるため、%d 段より深いものは開きませんでした。\n->%s\n",
     u"Embedded messages are nested too deep: none deeper than %d levels was opened.\n->%s\n"},

    // Attached mails opened with "--recurse".
    {u"添付されたメールの入れ子が深すぎるため、%d 段より深いものは開きませんでした。\n->%s\n",
     u"Attached mails are nested too deep: none deeper than %d levels was opened.\n->%s\n"},
    {u"添付されたメールの入れ子が深すぎるため、%d 段より深いものは開きませんでした。\r\n->%s\r\n",
     u"Attached mails are nested too deep: none deeper than %d levels was opened.\r\n->%s\r\n"},

    // Set-up of one mail and the output root.
    {u"ログ文字列用のメモリ確保に失敗しました。\n", u"Could not allocate memory for the log text.\n"},
    {u"ログ用のメモリ確保に失敗しました。\n", u"Could not allocate memory for the log.\n"},
    {u"メモリ確保に失敗しました。\n->%s\n", u"Could not allocate memory.\n->%s\n"},
    {u"メールファイルを開けませんでした。\n->%s\n", u"Could not open the mail file.\n->%s\n"},
    {u"メールファイルのロックが解除されるのを待っています。\n->%s\n",
     u"Waiting for a lock on the mail file to be released.\n->%s\n"},
    {u"メールファイルが他のプロセスにロックされているため開けませんでした。\n->%s\n",
     u"Could not open the mail file: another process holds it locked.\n->%s\n"},
    {u"ファイルサイズの取得に失敗しました。\n->%s\n", u"Could not get the file size.\n->%s\n"},
    {u"開始時のフォルダが存在しないため、相対パスを使えません。\n->%s\n",
     u"The folder the program was started in no longer exists, so a relative path cannot be used.\n->%s\n"},
    {u"ファイルサイズの取得に失敗しました。->%s\n", u"Could not get the file size.->%s\n"},
    {u"ファイルマッピングに失敗しました。\n->%s\n", u"Could not map the file.\n->%s\n"},
    {u"マップビューに失敗しました。\n->%s\n", u"Could not map a view of the file.\n->%s\n"},
    {u"フォルダパスが長すぎます。\n->%s\n", u"The folder path is too long.\n->%s\n"},
    {u"指定されたフォルダが作成出来ませんでした。\n->%s\n", u"Could not create the given folder.\n->%s\n"},
    {u"開いているファイルが多すぎるため、フォルダを開けませんでした。\n->%s\n",
     u"Too many files are open: could not open the folder.\n->%s\n"},
    {u"フォルダを作成しました。\n->%s\n\n", u"Created the folder.\n->%s\n\n"},
    {u"フォルダを作成しました。\r\n->%s\r\n\r\n", u"Created the folder.\r\n->%s\r\n\r\n"},
    {u"outputフォルダが作成出来ません。終了します。\n->%s/output\n",
     u"Could not create the output folder. Giving up.\n->%s/output\n"},
    {u"outputフォルダを作成しました。\n->%s/output\n\n", u"Created the output folder.\n->%s/output\n\n"},
    {u"outputフォルダを作成しました。\r\n->%s/output\r\n\r\n",
     u"Created the output folder.\r\n->%s/output\r\n\r\n"},
    {u"ログファイルを作成出来ませんでした。\n->%s\n", u"Could not create the log file.\n->%s\n"},
    {u"ログファイルに書き込めませんでした。\n->%s\n", u"Could not write to the log file.\n->%s\n"},
    {u"メールファイルが読み込み中に短くなりました。\n->%s\n",
     u"The mail file became shorter while it was being read.\n->%s\n"},

    // The progress of one mail.
    {u"\"%s\" からファイルを抽出中です。<%s/%s>\n", u"Extracting files from \"%s\". <%s/%s>\n"},
    {u"\"%s\" からファイルを抽出中です。<%s/%s>\r\n", u"Extracting files from \"%s\". <%s/%s>\r\n"},
    {u"このメールは Return-Path と From の内容が異なります。\nReturn-Path: %s\n-> From: %s\n",
     u"The Return-Path and the From of this mail differ.\nReturn-Path: %s\n-> From: %s\n"},
    {u"このメールは Return-Path と From の内容が異なります。\r\nReturn-Path: %s\r\n-> From: %s\r\n",
     u"The Return-Path and the From of this mail differ.\r\nReturn-Path: %s\r\n-> From: %s\r\n"},
    {u"作成日時を %s %s に変更しました。\n->\"%s\"\n\n", u"Changed the file times to %s %s.\n->\"%s\"\n\n"},
    {u"作成日時を変更出来ませんでした。\n->\"%s\"\n", u"Could not change the file times.\n->\"%s\"\n"},
    {u"\t-> Base64で再デコードしています...\n", u"\t-> Decoding again as Base64...\n"},
    {u"\t-> Base64で再デコードしています...\r\n", u"\t-> Decoding again as Base64...\r\n"},

    // Output files.
    {u"ファイルを作成出来ませんでした。\n->%s\n", u"Could not create the file.\n->%s\n"},
    {u"\t-> ファイルを作成出来ませんでした。->\"%s\"\r\n", u"\t-> Could not create the file.->\"%s\"\r\n"},
    {u"ファイルを作成出来ませんでした。。\n->%s\n", u"Could not create the file..\n->%s\n"},
    {u"\t-> ファイルを作成出来ませんでした。。\r\n", u"\t-> Could not create the file..\r\n"},
    {u"ファイルを書き込み中にエラーが発生しました。\n->%s\n",
     u"An error occurred while writing the file.\n->%s\n"},
    {u"\t-> ファイルを書き込み中にエラーが発生しました。\r\n",
     u"\t-> An error occurred while writing the file.\r\n"},
    {u"ファイルを書き込み中にエラーが発生しました。(gzip)\n",
     u"An error occurred while writing the file. (gzip)\n"},
    {u"gzipinflate内でエラーが発生しました。\n->%s\n", u"An error occurred in gzipinflate.\n->%s\n"},
    {u"\t-> gzipinflate内でエラーが発生しました。\r\n", u"\t-> An error occurred in gzipinflate.\r\n"},
    {u"binhexdecode内でエラーが発生しました。\n->%s\n", u"An error occurred in binhexdecode.\n->%s\n"},
    {u"\t-> binhexdecode内でエラーが発生しました。\r\n", u"\t-> An error occurred in binhexdecode.\r\n"},
    {u"<<<<<<<<ファイル \"%s\" に修復処理を行いましたが、破損している可能性があります。\n",
     u"<<<<<<<<The file \"%s\" was repaired, but it may be damaged.\n"},
    {u"<<<<<<<<ファイル \"%s\" に修復処理を行いましたが、破損している可能性があります。\r\n",
     u"<<<<<<<<The file \"%s\" was repaired, but it may be damaged.\r\n"},
    {u"同じファイル名のファイルが多くこれ以上退避出来ないため、\n\n%s\n\nに上書きします。\n",
     u"Too many files have the same name to keep another one apart, so\n\n%s\n\nis overwritten.\n"},
    {u"ファイル名長をこれ以上伸ばせないため、\n\n%s\n\nに上書きします。\n",
     u"The file name cannot be made any longer, so\n\n%s\n\nis overwritten.\n"},
    {u"添付ファイルが見つからないため、出力用のフォルダを削除しています...(winmail.dat)\n->%s\n\n",
     u"No attachment was found, so the output folder is being removed... (winmail.dat)\n->%s\n\n"},

    // Memory, numbered by place.
    {u"メモリ確保に失敗しました。(6)\n->%s\n", u"Could not allocate memory. (6)\n->%s\n"},
    {u"\t-> メモリ確保に失敗しました。(6)\r\n", u"\t-> Could not allocate memory. (6)\r\n"},
    {u"メモリ確保に失敗しました。(7)\n->%s\n", u"Could not allocate memory. (7)\n->%s\n"},
    {u"\t-> メモリ確保に失敗しました。(7)\r\n", u"\t-> Could not allocate memory. (7)\r\n"},
    {u"メモリ確保に失敗しました。(8)\n->%s\n", u"Could not allocate memory. (8)\n->%s\n"},
    {u"\t-> メモリ確保に失敗しました。(8)\r\n", u"\t-> Could not allocate memory. (8)\r\n"},
    {u"メモリ確保に失敗しました。(9)\n->%s\n", u"Could not allocate memory. (9)\n->%s\n"},
    {u"\t-> メモリ確保に失敗しました。(9)\r\n", u"\t-> Could not allocate memory. (9)\r\n"},
    {u"メモリ確保に失敗しました。(BinHex)\n", u"Could not allocate memory. (BinHex)\n"},
    {u"メモリ確保に失敗しました。(gzip (1))\n", u"Could not allocate memory. (gzip (1))\n"},
    {u"メモリ確保に失敗しました。(gzip (2))\n", u"Could not allocate memory. (gzip (2))\n"},
    {u"メモリ確保に失敗しました。(gzip (3))\n", u"Could not allocate memory. (gzip (3))\n"},
    {u"メモリ確保に失敗しました。(gzip (4))\n", u"Could not allocate memory. (gzip (4))\n"},
    {u"メモリ確保に失敗しました。(gzip (5))\n", u"Could not allocate memory. (gzip (5))\n"},
    {u"メモリ確保に失敗しました。(winmail.dat)\n", u"Could not allocate memory. (winmail.dat)\n"},
    {u"ファイル名取得用のメモリ確保に失敗しました。\n", u"Could not allocate memory for the file name.\n"},

    // ICU calls that are retried.
    {u"uconvconvert(ucnv_open)内でエラーが発生しました。 : %hs\n再起動中...\n",
     u"An error occurred in uconvconvert(ucnv_open). : %hs\nRestarting...\n"},
    {u"uconvconvert(ucnv_toUChars)内でエラーが発生しました。 : %hs\n再起動中...\n",
     u"An error occurred in uconvconvert(ucnv_toUChars). : %hs\nRestarting...\n"},
    {u"uconvconvert(ucsdet_open)内でエラーが発生しました。 : %hs\n再起動中...\n",
     u"An error occurred in uconvconvert(ucsdet_open). : %hs\nRestarting...\n"},
    {u"uconvconvert(ucsdet_setText)内でエラーが発生しました。 : %hs\n再起動中...\n",
     u"An error occurred in uconvconvert(ucsdet_setText). : %hs\nRestarting...\n"},
    {u"uconvconvert(ucsdet_detectAll)内でエラーが発生しました。 : %hs\n再起動中...\n",
     u"An error occurred in uconvconvert(ucsdet_detectAll). : %hs\nRestarting...\n"},
    {u"uconvconvert(ucsdet_getName)内でエラーが発生しました。 : %hs\n再起動中...\n",
     u"An error occurred in uconvconvert(ucsdet_getName). : %hs\nRestarting...\n"},

    // The command line and the run as a whole.
    {u"dornick: 不明なオプションです: %s\n詳しくは \"dornick --help\" を実行してください。\n",
     u"dornick: unknown option: %s\nTry \"dornick --help\" for more information.\n"},
    {u"dornick: オプション %s には値が必要です。\n詳しくは \"dornick --help\" を実行してください。\n",
     u"dornick: option %s needs a value.\nTry \"dornick --help\" for more information.\n"},
    {u"dornick: 警告: 最後のファイルの後のオプションは使われません: %s\n",
     u"dornick: warning: options after the last file are not used: %s\n"},
    {u"dornick: オプション %s の値が正しくありません: %s\n詳しくは \"dornick --help\" を実行してください。\n",
     u"dornick: invalid value for option %s: %s\nTry \"dornick --help\" for more information.\n"},
    {u"dornick: 標準入力は一度しか読めません: %s\n詳しくは \"dornick --help\" を実行してください。\n",
     u"dornick: standard input can be read only once: %s\nTry \"dornick --help\" for more information.\n"},
    {u"dornick: ファイル一覧を読み込めませんでした: %s\n", u"dornick: could not read the file list: %s\n"},
    {u"標準入力を読み込めませんでした。\n", u"Could not read standard input.\n"},
    {u"フォルダを読み込めませんでした。\n->%s\n", u"Could not read the folder.\n->%s\n"},
    {u"%s/%s 通  %s MB/s  残り %s  %s", u"%s/%s mails  %s MB/s  %s left  %s"},
    {u"%s 通、%s ファイル (%s バイト) を書き出しました。失敗 %s 件、%s 秒。\n",
     u"%s mails, %s files (%s bytes) written, %s failed, %s s.\n"},

    // The manifest, --dedupe and --resume.
    {u"%s/%s 通  %s MB/s  残り %s  重複 %s  済 %s  %s",
     u"%s/%s mails  %s MB/s  %s left  %s duplicates  %s passed over  %s"},
    {u"重複 %s ファイル、記録により飛ばしたメール %s 通。\n",
     u"%s duplicate files, %s mails passed over as recorded done.\n"},
    {u"記録により完了済みのメール %s 通を処理しませんでした。\n",
     u"Passed over %s mails that the manifest records as done.\n"},
    {u"dornick: --resume には --manifest が必要です。\n詳しくは \"dornick --help\" を実行してください。\n",
     u"dornick: --resume needs --manifest.\nTry \"dornick --help\" for more information.\n"},
    {u"マニフェストを開けませんでした。\n->%s\n", u"Could not open the manifest.\n->%s\n"},
    {u"マニフェストの形式ではありません。\n->%s\n", u"The file is not a manifest.\n->%s\n"},
    {u"マニフェストは別の出力先のものです。\n->%s\n->%s\n",
     u"The manifest belongs to another output root.\n->%s\n->%s\n"},

    // Mail archives: a message is named by its archive, its number and its byte offset.
    {u"%s (%I64u 通目、%I64u バイト目)", u"%s (message %I64u, byte %I64u)"},
    {u"メッセージを読み込めませんでした。\n->%s\n", u"Could not read the message.\n->%s\n"},
    {u"空のメッセージを読み飛ばしました。\n->%s\n", u"Skipped an empty message.\n->%s\n"},
    {u"読み込み中にアーカイブが短くなりました。\n->%s\n",
     u"The archive became shorter while it was read.\n->%s\n"},
    {u"emlx ファイルの形式が正しくありません。\n->%s\n", u"The .emlx file is not well formed.\n->%s\n"},
    {u"mbox ファイルの日時は変更しません。\n->%s\n",
     u"The times of an mbox file are left unchanged.\n->%s\n"},
    {kUsageJapanese, kUsageEnglish},
};

} // namespace

std::span<const MessageRow> MessageTable() {
    return kRows;
}

std::u16string_view EnglishFor(std::u16string_view japanese) {
    // Sorted once by the Japanese text; every message of a run is looked up here.
    static const std::vector<MessageRow> sorted = [] {
        std::vector<MessageRow> rows(std::begin(kRows), std::end(kRows));
        std::sort(rows.begin(), rows.end(),
                  [](const MessageRow& a, const MessageRow& b) { return a.japanese < b.japanese; });
        return rows;
    }();
    auto it =
        std::lower_bound(sorted.begin(), sorted.end(), japanese,
                         [](const MessageRow& row, std::u16string_view key) { return row.japanese < key; });
    if (it == sorted.end() || it->japanese != japanese) return {};
    return it->english;
}

} // namespace dornick

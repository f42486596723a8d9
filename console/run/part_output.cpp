#include "console/run/part_output.h"

#include <unistd.h>

#include "console/decode/gzip64.h"
#include "console/decode/part_boundary.h"
#include "console/decode/writer_sink.h"
#include "console/header/header_search.h"
#include "console/header/sanitize_file_name.h"
#include "console/header/unique_file_name.h"
#include "console/run/mail_folders.h"
#include "console/run/messages.h"
#include "console/run/part_data.h"
#include "console/run/reported_calls.h"
#include "console/run/tnef_expand.h"
#include "console/run/walk_lines.h"
#include "platform/async_writer.h"
#include "platform/paths.h"

namespace dornick {
namespace {

constexpr size_t kNameLimit = 255;
constexpr int kCreateAttempts = 1201;

// One writer for the whole run: its thread is started once.
platform::AsyncWriter& Writer() {
    static platform::AsyncWriter writer;
    return writer;
}

// A name taken from a Content-ID gets the extension of its type; doubled extensions that this
// produces are folded.
void FinishContentIdName(MailState& mail) {
    std::u16string& name = mail.part_name;
    if (name.size() + mail.sub_type.size() + 2 < kNameLimit + 1) {
        std::u16string extension;
        if (BeginsNoCase(mail.content_type, u"text/plain")) {
            extension = u".txt";
        } else {
            size_t x = FindNoCase(mail.sub_type, u"x-");
            extension = u"." + (x == kNotFound ? mail.sub_type : mail.sub_type.substr(x + 2));
        }
        if (name.size() < extension.size() ||
            FindNoCase(std::u16string_view(name).substr(name.size() - extension.size()), extension) != 0)
            name += extension;
        struct Fold {
            std::u16string_view doubled;
            std::u16string_view single;
        };
        static constexpr Fold kFolds[] = {{u".jpg.jpeg", u".jpg"},
                                          {u".jpeg.jpg", u".jpeg"},
                                          {u".css.txt", u".css"},
                                          {u".js.txt", u".js"},
                                          {u".js.javascript", u".js"}};
        for (const Fold& fold : kFolds) {
            size_t at = FindNoCase(name, fold.doubled);
            if (at == kNotFound) continue;
            name = name.substr(0, at) + std::u16string(fold.single);
            break;
        }
    }
    SanitizeFileName(name, mail.options->full_width);
}

// Every failure of an output file ends the mail with its message and the log form.
void ReportFailure(MailState& mail, std::u16string_view screen, std::u16string_view log) {
    mail.output_failed = true;
    PrintErr(screen, {mail.part_name});
    if (mail.log_on) {
        LogAppendFormat(mail.log, log, {mail.part_name});
        LogAppend(mail.log, u"\r\n");
    }
}

void ReportWriteFailure(MailState& mail, SinkResult result) {
    if (result == SinkResult::NoMemory)
        ReportFailure(mail, u"メモリ確保に失敗しました。(7)\n->%s\n",
                      u"\t-> メモリ確保に失敗しました。(7)\r\n");
    else
        ReportFailure(mail, u"ファイルを書き込み中にエラーが発生しました。\n->%s\n",
                      u"\t-> ファイルを書き込み中にエラーが発生しました。\r\n");
}

// Creates the part's file, making its name unique again when another process took the name
// between the test and the creation. The file descriptor, or -1 after the message.
int CreatePartFile(MailState& mail, const std::u16string& saved_name, int overwrite) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        int fd = -1, error = 0;
        platform::CreateResult result = overwrite == 1 ? platform::CreateAlwaysFile(mail.part_name, fd, error)
                                                       : platform::CreateNewFile(mail.part_name, fd, error);
        if (result == platform::CreateResult::Created) return fd;
        if (result != platform::CreateResult::Exists) break;
        mail.part_name = saved_name;
        overwrite = MakeOutputFileName(mail.part_name, mail.content_type, mail.name_suffix);
    }
    ReportFailure(mail, u"ファイルを作成出来ませんでした。\n->%s\n",
                  u"\t-> ファイルを作成出来ませんでした。->\"%s\"\r\n");
    return -1;
}

// The once-per-file notice that a damaged file was repaired, with the file's full path.
RepairNoticeFn RepairNoticeFor(MailState& mail) {
    return [&mail] {
        std::u16string path = platform::DisplayPath(platform::CurrentFolder() + u"/" + mail.part_name);
        PrintErr(u"<<<<<<<<ファイル \"%s\" に修復処理を行いましたが、破損している可能性があります。\n",
                 {path});
        if (mail.log_on)
            LogAppendFormat(
                mail.log,
                u"<<<<<<<<ファイル \"%s\" に修復処理を行いましたが、破損している可能性があります。\r\n",
                {path});
    };
}

} // namespace

namespace {

// A mail without a date leaves the file's times as they are.
void DateFile(MailState& mail, int fd) {
    if (!mail.mail_epoch_known) {
        mail.mail_epoch_known = true;
        std::time_t when;
        if (!mail.mail_time.IsZero() && platform::JapanTimeToEpoch(mail.mail_time, when))
            mail.mail_epoch = when;
    }
    if (mail.mail_epoch) platform::SetFileTimes(fd, *mail.mail_epoch);
}

PartEnd EndOf(DataEnd end) {
    return end == DataEnd::Boundary ? PartEnd::AtBoundary : PartEnd::AtDataEnd;
}

class FileWriter final : public PartWriter {
  public:
    PartEnd Write(MailState& mail) override;
};

PartEnd FileWriter::Write(MailState& mail) {
    const RunOptions& options = *mail.options;
    if (mail.name_found) FinishContentIdName(mail);
    PrepareMailFolders(mail);
    if (!mail.name_suffix.empty() && mail.name_suffix.size() + mail.part_name.size() < kNameLimit + 1)
        mail.part_name += mail.name_suffix;
    const std::u16string saved_name = mail.part_name;
    mail.is_tnef =
        mail.mode == EncodingMode::Base64 && (BeginsNoCase(mail.content_type, u"application/ms-tnef") ||
                                              BeginsNoCase(mail.part_name, u"winmail.dat"));
    if (mail.mode == EncodingMode::Unknown) mail.mode = EncodingMode::PlainCopy;
    const bool decodable = mail.mode == EncodingMode::Base64 || mail.mode == EncodingMode::QuotedPrintable ||
                           mail.mode == EncodingMode::PlainCopy;
    // Blocks of the older encodings are left alone here: the part's lines pass through the header
    // state like those of an unnamed part.
    if (!decodable || mail.part_name.empty()) return PartEnd::NotWritten;
    int overwrite = MakeOutputFileName(mail.part_name, mail.content_type, mail.name_suffix);
    IssueProgressLine(mail);

    const int fd = CreatePartFile(mail, saved_name, overwrite);
    if (fd < 0) return PartEnd::Failed;
    if (options.print) PrintOut(u"\t-> \"%s\"\n", {mail.part_name});
    if (mail.log_on) LogAppendFormat(mail.log, u"\t-> \"%s\"\r\n", {mail.part_name});

    platform::AsyncWriter& writer = Writer();
    writer.Begin(fd);
    WriterSink file_sink(writer);
    Gzip64Buffer compressed;
    ByteSink& sink = mail.is_gzip64 ? static_cast<ByteSink&>(compressed) : file_sink;
    const PartData data = DecodePartData(mail, sink, RepairNoticeFor(mail));
    if (mail.is_gzip64 && data.end != DataEnd::SinkFailed) {
        uint64_t inflated = 0;
        if (InflateGzip64Part(compressed, file_sink, inflated) != 0) {
            (void)writer.Finish();
            ::close(fd);
            ReportFailure(mail, u"gzipinflate内でエラーが発生しました。\n->%s\n",
                          u"\t-> gzipinflate内でエラーが発生しました。\r\n");
            return PartEnd::Failed;
        }
    }
    platform::WriteStatus finished = writer.Finish();
    if (data.end == DataEnd::SinkFailed || finished != platform::WriteStatus::Ok) {
        ::close(fd);
        ReportWriteFailure(mail,
                           data.end == DataEnd::SinkFailed ? data.sink_result : SinkResult::WriteFailed);
        return PartEnd::Failed;
    }
    DateFile(mail, fd);
    ::close(fd);
    mail.output_written = true;
    if (mail.is_tnef)
        (void)TnefExpandFile(mail.part_name, u"", mail.charset, mail.content_type,
                             mail.tnef_time.From(mail.mail_epoch), options.full_width, mail.japanese_mail);

    if (data.wants_base64_redecode) {
        if (options.print) PrintOut(u"\t-> Base64で再デコードしています...\n");
        if (mail.log_on) LogAppend(mail.log, u"\t-> Base64で再デコードしています...\r\n");
        mail.part_name = saved_name;
        return PartEnd::Redecode;
    }
    return EndOf(data.end);
}

} // namespace

PartWriter& FilePartWriter() {
    static FileWriter writer;
    return writer;
}

} // namespace dornick
